#include "search/range_evaluation.h"

#include <gtest/gtest.h>

#include "search/search_range.h"
#include "search_fixtures.h"

namespace dorvan {
namespace {

using testing::MakeDrawing;

struct Options {
  bool word = false;
  bool caseSensitive = false;
  bool pattern = false;
};

SearchRequest Request(int range, std::u16string text, Options options = {}) {
  SearchRequest request;
  request.Ranges[range] = true;
  request.SearchText = text;
  request.ReportText = text;
  request.PatternText = text;
  request.WordSearch = options.word;
  request.CaseSensitive = options.caseSensitive;
  request.PatternSearch = options.pattern;
  return request;
}

// Evaluates `drawing` as a run would: the pattern compiled from the request's text.
bool Matches(const SearchRequest& request, const JwwDrawing& drawing) {
  std::unique_ptr<PatternMatcher> pattern;
  if (request.PatternSearch) {
    PatternError error;
    pattern = PatternMatcher::Compile(request.PatternText, error);
  }
  RangeEvaluator evaluator(request, pattern.get());
  return evaluator.Append(drawing);
}

TEST(MatchRules, TestChosenForEveryOptionCombination) {
  using K = MatchKind;
  // word, case, pattern -> A, B, C, D
  struct Row {
    bool word, caseSensitive, pattern;
    K a, b, c, d;
  };
  const Row rows[] = {
      {false, false, false, K::Occurrence, K::Occurrence, K::Occurrence, K::Occurrence},
      {true, false, false, K::Equality, K::Equality, K::Equality, K::Equality},
      {false, true, false, K::Equality, K::Occurrence, K::Occurrence, K::Occurrence},
      {true, true, false, K::Equality, K::Equality, K::Equality, K::Equality},
      {false, false, true, K::Pattern, K::Occurrence, K::Pattern, K::Pattern},
      {true, false, true, K::Equality, K::Equality, K::Pattern, K::Pattern},
      {false, true, true, K::Equality, K::Occurrence, K::Pattern, K::Pattern},
      {true, true, true, K::Equality, K::Equality, K::Pattern, K::Pattern},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(::testing::Message() << r.word << r.caseSensitive << r.pattern);
    EXPECT_EQ(RuleTest(MatchRule::A, r.word, r.caseSensitive, r.pattern), r.a);
    EXPECT_EQ(RuleTest(MatchRule::B, r.word, r.caseSensitive, r.pattern), r.b);
    EXPECT_EQ(RuleTest(MatchRule::C, r.word, r.caseSensitive, r.pattern), r.c);
    EXPECT_EQ(RuleTest(MatchRule::D, r.word, r.caseSensitive, r.pattern), r.d);
  }
  EXPECT_TRUE(RuleNormalises(MatchRule::A, false));
  EXPECT_FALSE(RuleNormalises(MatchRule::A, true));
  EXPECT_TRUE(RuleNormalises(MatchRule::C, false));
  EXPECT_FALSE(RuleNormalises(MatchRule::D, false));
}

struct TextCase {
  const char* name;
  int range;
  std::u16string searchText;
  Options options;
  std::u16string candidate;
  bool matches;
};

// Puts `candidate` where `range` looks for it.
JwwDrawing DrawingWith(int range, const std::u16string& candidate) {
  JwwDrawing drawing;
  switch (range) {
    case RangeData:
      drawing = MakeDrawing({u"other", candidate});
      break;
    case RangeMemo:
      drawing.Header.Memo = candidate;
      break;
    case RangeLayerGroupName:
      drawing.Header.LayerGroupNames[9] = candidate;
      break;
    case RangeLayerName:
      drawing.Header.LayerNames[3][15] = candidate;
      break;
    case RangeBlockName:
      drawing = MakeDrawing({}, {{u"first", {}}, {candidate, {}}});
      break;
  }
  return drawing;
}

TEST(Append, TextRangesFollowTheirRules) {
  const Options none, word{true, false, false}, caseOn{false, true, false},
      pattern{false, false, true};
  const TextCase cases[] = {
      {"case-blind occurrence", RangeData, u"abc", none, u"XAbCdY", true},
      {"full-width search text", RangeData, u"ａｂｃ", none, u"XAbCdY", true},
      {"backslash and yen", RangeData, u"C:\\temp", none, u"c:￥ＴＥＭＰ", true},
      {"half-width kana", RangeData, u"ガイド", none, u"ｶﾞｲﾄﾞ図", true},
      {"case alone is whole text under A", RangeData, u"abc", caseOn, u"abc", true},
      {"case alone rejects a part under A", RangeData, u"abc", caseOn, u"xabcx", false},
      {"word: whole text after normalising", RangeData, u"abc", word, u"ＡＢＣ", true},
      {"word rejects a part", RangeData, u"abc", word, u"abcd", false},
      {"pattern on normalised text", RangeData, u"図.*番", pattern, u"図面番号", true},
      {"ascii pattern never matches normalised text", RangeData, u"abc", pattern, u"abc",
       false},
      {"memo", RangeMemo, u"ＭＥＭＯ", none, u"the memo", true},
      {"memo broken with CR LF", RangeMemo, u"長いメモ", none, u"長い\r\nメモ", true},
      {"layer group occurrence", RangeLayerGroupName, u"wall", none, u"WALL-1", true},
      {"case keeps occurrence under C", RangeLayerName, u"abc", caseOn, u"xabcx", true},
      {"case distinguishes under C", RangeLayerName, u"abc", caseOn, u"xABCx", false},
      {"pattern under C", RangeLayerName, u"^Ｌ\\d", pattern, u"l1", false},
      {"pattern under C on normalised text", RangeLayerName, u"^Ｌ１", pattern, u"l1", true},
      {"word under C", RangeLayerGroupName, u"a", word, u"ab", false},
      {"block names are never normalised", RangeBlockName, u"door", none, u"DOOR", false},
      {"block names: width distinguished", RangeBlockName, u"DOOR", none, u"ＤＯＯＲ", false},
      {"block name occurrence", RangeBlockName, u"OO", none, u"DOOR", true},
      {"block name pattern", RangeBlockName, u"^D.+R$", pattern, u"DOOR", true},
      {"block name word", RangeBlockName, u"DOO", word, u"DOOR", false},
  };
  for (const TextCase& c : cases) {
    EXPECT_EQ(Matches(Request(c.range, c.searchText, c.options), DrawingWith(c.range, c.candidate)),
              c.matches)
        << c.name;
  }
}

TEST(Append, PatternInsideBlocksIsPlainText) {
  const SearchRequest request = Request(RangeData, u"図.*番", {false, false, true});
  EXPECT_FALSE(Matches(request, MakeDrawing({}, {{u"B", {u"図面番号"}}})));
  EXPECT_TRUE(Matches(request, MakeDrawing({}, {{u"B", {u"x図.*番x"}}})));
}

TEST(Append, BlockTextsAreSearchedAfterTheDrawingsOwn) {
  const SearchRequest request = Request(RangeData, u"abc");
  EXPECT_TRUE(Matches(request, MakeDrawing({u"none"}, {{u"B", {u"x", u"ABC"}}})));
  EXPECT_FALSE(Matches(request, MakeDrawing({u"none"}, {{u"ABC", {u"x"}}})));
  // Case alone: whole text for the drawing's texts, occurrence inside blocks.
  const SearchRequest caseOn = Request(RangeData, u"abc", {false, true, false});
  EXPECT_FALSE(Matches(caseOn, MakeDrawing({u"xabcx"})));
  EXPECT_TRUE(Matches(caseOn, MakeDrawing({}, {{u"B", {u"xabcx"}}})));
}

TEST(Append, EmptyArraysGiveNoCandidate) {
  EXPECT_FALSE(Matches(Request(RangeData, u""), JwwDrawing{}));
  EXPECT_FALSE(Matches(Request(RangeBlockName, u""), JwwDrawing{}));
}

TEST(BlockNameCandidate, ComparesTheNameTheDrawingProgramWrote) {
  EXPECT_EQ(BlockNameCandidate(u"SHEET@@SfigorgFlag@@4"), u"SHEET");
  EXPECT_EQ(BlockNameCandidate(u"@@SfigorgFlag@@DOOR"), u"DOOR");
  EXPECT_EQ(BlockNameCandidate(u"@@SfigorgFlag@@DOOR@@SfigorgFlag@@2"), u"DOOR");
  EXPECT_EQ(BlockNameCandidate(u"@@SfigorgFlag@@"), u"");
  EXPECT_EQ(BlockNameCandidate(u"PLAIN"), u"PLAIN");
}

TEST(Append, BlockNameMarker) {
  const JwwDrawing sheet = MakeDrawing({}, {{u"SHEET@@SfigorgFlag@@4", {}}});
  const JwwDrawing door = MakeDrawing({}, {{u"@@SfigorgFlag@@DOOR", {}}});
  EXPECT_TRUE(Matches(Request(RangeBlockName, u"SHEET"), sheet));
  EXPECT_FALSE(Matches(Request(RangeBlockName, u"4"), sheet));
  EXPECT_TRUE(Matches(Request(RangeBlockName, u"OO"), door));
  EXPECT_FALSE(Matches(Request(RangeBlockName, u"@@Sfig"), door));
  EXPECT_TRUE(Matches(Request(RangeBlockName, u"PLAIN"), MakeDrawing({}, {{u"PLAIN", {}}})));
  // An empty search text finds every block with a non-empty compared part.
  EXPECT_TRUE(Matches(Request(RangeBlockName, u""), door));
  EXPECT_FALSE(Matches(Request(RangeBlockName, u""), MakeDrawing({}, {{u"@@SfigorgFlag@@", {}}})));
}

TEST(Append, ValueRanges) {
  JwwDrawing drawing;
  drawing.Header.Version = 700;
  drawing.Header.DrawingSize = 3;
  drawing.Header.DrawingFlags[10] = 20;

  SearchRequest version = Request(RangeVersion, u"");
  version.RequestedVersion = 700;
  EXPECT_TRUE(Matches(version, drawing));
  version.RequestedVersion = 600;
  EXPECT_FALSE(Matches(version, drawing));

  SearchRequest size = Request(RangeDrawingSize, u"");
  size.RequestedSizeIndex = 3;  // "A3"
  EXPECT_TRUE(Matches(size, drawing));
  drawing.Header.DrawingSize = 12;
  size.RequestedSizeIndex = 9;  // "10m" is stored as 12
  EXPECT_TRUE(Matches(size, drawing));
  size.RequestedSizeIndex = 12;  // no such item
  EXPECT_FALSE(Matches(size, drawing));

  SearchRequest width = Request(RangeLineWidthBase, u"");
  width.RequestedDpi = 600;
  EXPECT_TRUE(Matches(width, drawing));
  width.RequestedDpi = 300;
  EXPECT_FALSE(Matches(width, drawing));
  drawing.Header.DrawingFlags[10] = 10;
  EXPECT_TRUE(Matches(width, drawing));
}

TEST(Append, OnlyTheLowestTickedRangeIsEvaluated) {
  SearchRequest request = Request(RangeMemo, u"zzz");
  request.Ranges[RangeBlockName] = true;
  JwwDrawing drawing = MakeDrawing({}, {{u"zzz", {}}});
  EXPECT_FALSE(Matches(request, drawing));
  drawing.Header.Memo = u"zzz";
  EXPECT_TRUE(Matches(request, drawing));
}

TEST(Append, LayerNamesAreVisitedEverywhere) {
  const SearchRequest request = Request(RangeLayerName, u"壁", {true, false, false});
  JwwDrawing drawing;
  drawing.Header.LayerNames[15][15] = u"壁";
  EXPECT_TRUE(Matches(request, drawing));
  drawing.Header.LayerNames[15][15] = u"";
  drawing.Header.LayerGroupNames[0] = u"壁";
  EXPECT_FALSE(Matches(request, drawing));
}

}  // namespace
}  // namespace dorvan
