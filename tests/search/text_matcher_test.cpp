#include "search/text_matcher.h"

#include <gtest/gtest.h>

#include <chrono>

namespace dorvan {
namespace {

std::unique_ptr<PatternMatcher> Compiled(std::u16string_view pattern) {
  PatternError error;
  auto matcher = PatternMatcher::Compile(pattern, error);
  EXPECT_NE(matcher, nullptr) << error.Reason;
  return matcher;
}

TEST(MatchText, EqualityAndOccurrence) {
  EXPECT_TRUE(MatchText(MatchKind::Equality, u"abc", u"abc", nullptr));
  EXPECT_FALSE(MatchText(MatchKind::Equality, u"xabcx", u"abc", nullptr));
  EXPECT_TRUE(MatchText(MatchKind::Equality, u"", u"", nullptr));
  EXPECT_TRUE(MatchText(MatchKind::Occurrence, u"xabcx", u"abc", nullptr));
  EXPECT_FALSE(MatchText(MatchKind::Occurrence, u"xABCx", u"abc", nullptr));
  // An empty search text occurs in every candidate except the empty one.
  EXPECT_TRUE(MatchText(MatchKind::Occurrence, u"x", u"", nullptr));
  EXPECT_FALSE(MatchText(MatchKind::Occurrence, u"", u"", nullptr));
  EXPECT_FALSE(MatchText(MatchKind::Pattern, u"abc", u"abc", nullptr));
}

struct PatternCase {
  std::u16string pattern;
  std::u16string text;
  bool matches;
};

TEST(PatternMatcher, BehavesLikeAnEcmaScriptStyleExpression) {
  const PatternCase cases[] = {
      {u"図.*番", u"図面番号", true},
      {u"abc", u"ABC", false},              // case-sensitive
      {u"\\u3042", u"あ", true},             // \uXXXX escape
      {u"a[]b", u"ab", false},              // an empty class matches nothing
      {u"a[]?b", u"ab", true},              // a quantified empty class is optional
      {u"a[]*b", u"ab", true},
      {u"a\\[]?b", u"a[]b", true},         // an escaped bracket is no class
      {u"a[]]b", u"a]b", false},            // [] (never matches), then a literal ]
      {u"a[^]b", u"a\nb", true},           // [^] is any character
      {u"[x\\]]?", u"x", true},
      {u"(x)?\\1y", u"y", true},            // an unset back-reference matches empty
      {u"^\\d+$", u"123", true},
      {u"\\d", u"１２３", false},            // \d is ASCII only
      {u"\\w", u"あ", false},                // \w is ASCII only
      {u"^.$", u"𠮷", true},                 // a surrogate pair is one character
      {u"end$", u"the end\n", false},       // $ only at the very end
      {u"^b", u"a\nb", false},              // single-line: ^ only at the start
      {u"", u"", true},
  };
  for (const PatternCase& c : cases) {
    auto matcher = Compiled(c.pattern);
    ASSERT_NE(matcher, nullptr);
    EXPECT_EQ(matcher->Test(c.text), c.matches)
        << std::string(c.pattern.begin(), c.pattern.end());
  }
}

TEST(PatternMatcher, ToleratesBrokenUtf16InTexts) {
  auto matcher = Compiled(u"b");
  ASSERT_NE(matcher, nullptr);
  const std::u16string broken = {u'a', char16_t(0xD800), u'b'};
  EXPECT_TRUE(matcher->Test(broken));
}

TEST(PatternMatcher, MalformedPatternGivesReasonAndOffset) {
  PatternError error;
  EXPECT_EQ(PatternMatcher::Compile(u"ab(c", error), nullptr);
  EXPECT_FALSE(error.Reason.empty());
  EXPECT_EQ(error.Offset, 4u);
  EXPECT_EQ(PatternMatcher::Compile(u"*a", error), nullptr);
  EXPECT_EQ(error.Offset, 0u);
  // Positions point into the pattern as typed, also after an empty class.
  EXPECT_EQ(PatternMatcher::Compile(u"[]?(c", error), nullptr);
  EXPECT_EQ(error.Offset, 5u);
}

TEST(PatternMatcher, CatastrophicPatternHitsTheLimitAndCountsAsNoMatch) {
  auto matcher = Compiled(u"^(a|aa)+$");
  ASSERT_NE(matcher, nullptr);
  const std::u16string text = std::u16string(60, u'a') + u"b";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(matcher->Test(text));
  EXPECT_TRUE(matcher->LastTestHitLimit());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  // The matcher stays usable after a limit.
  EXPECT_TRUE(matcher->Test(u"aaaa"));
  EXPECT_FALSE(matcher->LastTestHitLimit());
}

TEST(PatternMatcher, CloneSharesThePattern) {
  auto matcher = Compiled(u"x+y");
  ASSERT_NE(matcher, nullptr);
  auto clone = matcher->Clone();
  matcher.reset();
  EXPECT_TRUE(clone->Test(u"axxy"));
  EXPECT_FALSE(clone->Test(u"ay"));
}

}  // namespace
}  // namespace dorvan
