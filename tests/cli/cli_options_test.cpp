#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include "cli/json_output.h"
#include "search/search_range.h"

namespace dorvan::cli {
namespace {

bool Parse(std::vector<const char*> args, CliOptions& options, std::string& error) {
  args.insert(args.begin(), "dorvan-search");
  return ParseCommandLine(static_cast<int>(args.size()), args.data(), options, error);
}

TEST(ParseCommandLine, OptionsBecomeControls) {
  CliOptions options;
  std::string error;
  ASSERT_TRUE(Parse({"--range", "size", "--size=10m", "--word", "--case", "--regex", "--dpi",
                     "600", "--version", "700", "--text", "図面", "--no-recursive", "a.jww",
                     "--", "--odd.jww"},
                    options, error))
      << error;
  EXPECT_EQ(options.paths, (std::vector<std::string>{"a.jww", "--odd.jww"}));
  EXPECT_FALSE(options.recursive);
  const SearchControls controls = ControlsFor(options, options.paths);
  EXPECT_TRUE(controls.Check3[RangeDrawingSize]);
  EXPECT_EQ(controls.Combo3Index, 9);
  EXPECT_EQ(controls.Combo3Text, u"10m");
  EXPECT_EQ(controls.Combo2Index, 8);
  EXPECT_EQ(controls.Combo2Text, u"700");
  EXPECT_FALSE(controls.Option1);
  EXPECT_TRUE(controls.Check1 && controls.Check2 && controls.Check4);
  EXPECT_EQ(controls.Combo1Text, u"図面");
}

// --version without a value asks for the program's version; with one it stays the filter.
TEST(ParseCommandLine, VersionAloneAsksForTheProgramsVersion) {
  const std::vector<std::pair<std::vector<const char*>, bool>> cases = {
      {{"--version"}, true}, {{"--version", "--json"}, true}, {{"--version", "700"}, false}, {{"--version=700"}, false}};
  for (const auto& [args, asks] : cases) {
    CliOptions options;
    std::string error;
    ASSERT_TRUE(Parse(args, options, error)) << error;
    EXPECT_EQ(options.showVersion, asks) << args.size();
  }
}

TEST(ParseCommandLine, RefusesWhatItDoesNotKnow) {
  const std::vector<std::vector<const char*>> bad = {
      {"--range", "texts"}, {"--size", "A5"}, {"--version", "500"}, {"--dpi", "150"},
      {"--text"},           {"--bogus"},      {"--word=yes"},     {"--text", "\x90\x7d"},  // Shift-JIS bytes
  };
  for (const auto& args : bad) {
    CliOptions options;
    std::string error;
    EXPECT_FALSE(Parse(args, options, error)) << args[0];
    EXPECT_FALSE(error.empty());
  }
}

TEST(JsonString, EscapesAndKeepsJsonValid) {
  EXPECT_EQ(JsonString("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\n\\u0001\"");
  EXPECT_EQ(JsonString("図面"), "\"図面\"");
  EXPECT_EQ(JsonString("bad\xff"), "\"bad\xEF\xBF\xBD\"");
  EXPECT_EQ(JsonString("\xE3\x81"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");  // cut short
  EXPECT_EQ(ResultJson({"a"}, {}, 10, "m"),
            "{\"found\": [\"a\"], \"unreadable\": [], \"code\": 10, \"message\": \"m\"}");
}

}  // namespace
}  // namespace dorvan::cli
