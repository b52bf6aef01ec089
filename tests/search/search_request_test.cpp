#include "search/search_request.h"

#include <gtest/gtest.h>

#include "search/search_items.h"
#include "search/search_range.h"

namespace dorvan {
namespace {

SearchControls Controls(std::initializer_list<int> ranges, std::u16string text = u"図面") {
  SearchControls controls;
  controls.Combo1Text = std::move(text);
  for (int range : ranges) controls.Check3[range] = true;
  controls.TargetList = {"/d/a.jww"};
  return controls;
}

struct ValidationCase {
  const char* name;
  SearchControls controls;
  bool valid;
  int16_t slot;
  FocusTarget focus;
};

TEST(Check_data, RefusesWithTheFirstFailingCheck) {
  auto noTargets = [](SearchControls c, TargetPage page) {
    c.TargetList.clear();
    c.FrontPage = page;
    return c;
  };
  auto noVersion = Controls({RangeVersion});
  auto withVersion = noVersion;
  withVersion.Combo2Index = 7;
  auto noSize = Controls({RangeDrawingSize});
  auto dataAndSize = Controls({RangeData, RangeDrawingSize}, u"");
  auto tabOnly = Controls({RangeData}, u"\t");
  const ValidationCase cases[] = {
      {"no range", Controls({}), false, kSlotNoRange, FocusTarget::None},
      {"no range before no targets", noTargets(Controls({}), TargetPage::Files), false,
       kSlotNoRange, FocusTarget::None},
      {"no chosen files", noTargets(Controls({RangeData}), TargetPage::Files), false,
       kSlotNoTargets, FocusTarget::Command1},
      {"empty folder result", noTargets(Controls({RangeData}), TargetPage::Folder), false,
       kSlotNoTargets, FocusTarget::None},
      {"no targets before no text", noTargets(Controls({RangeData}, u""), TargetPage::Files),
       false, kSlotNoTargets, FocusTarget::Command1},
      {"data without text", Controls({RangeData}, u""), false, kSlotNoSearchText,
       FocusTarget::Combo1},
      {"memo without text", Controls({RangeMemo}, u""), false, kSlotNoSearchText,
       FocusTarget::Combo1},
      {"layer group without text", Controls({RangeLayerGroupName}, u""), false,
       kSlotNoSearchText, FocusTarget::Combo1},
      {"layer without text", Controls({RangeLayerName}, u""), false, kSlotNoSearchText,
       FocusTarget::Combo1},
      {"version not chosen", noVersion, false, kSlotNoVersion, FocusTarget::Combo2},
      {"version chosen", withVersion, true, 0, FocusTarget::None},
      {"size not chosen", noSize, false, kSlotNoSize, FocusTarget::Combo3},
      {"lower range checked first", dataAndSize, false, kSlotNoSearchText, FocusTarget::Combo1},
      {"line width without text", Controls({RangeLineWidthBase}, u""), true, 0,
       FocusTarget::None},
      {"block name without text", Controls({RangeBlockName}, u""), true, 0, FocusTarget::None},
      {"a tab is a text", tabOnly, true, 0, FocusTarget::None},
  };
  for (const ValidationCase& c : cases) {
    const Validation v = Check_data(c.controls);
    EXPECT_EQ(v.RequestValid, c.valid) << c.name;
    if (!c.valid) {
      EXPECT_EQ(v.ValidationCode, c.slot) << c.name;
      EXPECT_EQ(v.Focus, c.focus) << c.name;
    }
  }
}

TEST(Check_data, MessagesOfTheSlots) {
  const auto& messages = ValidationMessages();
  EXPECT_EQ(messages[kSlotNoSearchText], "対象文字が指定されていません。");
  EXPECT_EQ(messages[kSlotNoRange], "検索範囲の指定が不正です。");
  EXPECT_EQ(messages[kSlotNoVersion], "ファイルバージョンが指定されていません。");
  EXPECT_EQ(messages[kSlotNoSize], "図面サイズが指定されていません。");
  EXPECT_EQ(messages[kSlotNoTargets], "ファイルが選択されていません。");
}

TEST(ReadRequest, CleansTheTextAndRefreshesOnlyTickedRanges) {
  SearchRequest request;
  request.RequestedDpi = 600;
  request.RequestedVersion = 351;
  SearchControls controls = Controls({RangeData, RangeBlockName}, u"a\tb\r\nc\bd");
  int historyCalls = 0;
  std::u16string historyText;
  ReadRequest(controls, request, [&](const std::u16string& text) {
    ++historyCalls;
    historyText = text;
  });
  EXPECT_EQ(request.SearchText, u"abcd");
  EXPECT_EQ(request.ReportText, u"abcd");
  EXPECT_EQ(request.PatternText, u"a\tb\r\nc\bd");
  EXPECT_EQ(historyCalls, 1);  // once, although two text ranges are ticked
  EXPECT_EQ(historyText, u"a\tb\r\nc\bd");
  EXPECT_EQ(request.RequestedDpi, 600);  // range 6 not ticked: kept
  EXPECT_EQ(request.RequestedVersion, 351);
  EXPECT_EQ(request.LowestRange(), RangeData);
}

TEST(ReadRequest, CompanionValues) {
  SearchRequest request;
  SearchControls controls = Controls({RangeVersion, RangeDrawingSize, RangeLineWidthBase}, u"");
  controls.Combo2Index = 8;
  controls.Combo2Text = u"700";
  controls.Combo3Index = 9;
  controls.Combo3Text = u"10m";
  controls.Option1 = false;
  int historyCalls = 0;
  ReadRequest(controls, request, [&](const std::u16string&) { ++historyCalls; });
  EXPECT_EQ(request.RequestedVersion, 700);
  EXPECT_EQ(request.RequestedSizeIndex, 9);
  EXPECT_EQ(request.RequestedDpi, 600);
  EXPECT_EQ(historyCalls, 0);  // no text range
}

TEST(LeadingNumber, TakesTheNumericPrefixRoundedHalfToEven) {
  EXPECT_EQ(LeadingNumber(u"351"), 351);
  EXPECT_EQ(LeadingNumber(u"700 (new)"), 700);
  EXPECT_EQ(LeadingNumber(u"  42x"), 42);
  EXPECT_EQ(LeadingNumber(u"2.5"), 2);
  EXPECT_EQ(LeadingNumber(u"3.5"), 4);
  EXPECT_EQ(LeadingNumber(u"-7"), -7);
  EXPECT_EQ(LeadingNumber(u"abc"), 0);
  EXPECT_EQ(LeadingNumber(u""), 0);
  EXPECT_EQ(LeadingNumber(u"99999999999"), 2147483647);
}

TEST(SearchItems, VersionListEndsWith700AndSizeCodesSkipTheGap) {
  EXPECT_EQ(kVersionItems.back(), "700");
  EXPECT_EQ(kVersionItems[kVersionItems.size() - 2], "600");
  const int expected[] = {0, 1, 2, 3, 4, 8, 9, 10, 11, 12, 13, 14};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(SizeCodeForIndex(i), expected[i]) << kSizeItems[i];
  EXPECT_EQ(SizeCodeForIndex(-1), -1);
  EXPECT_EQ(SizeCodeForIndex(12), -1);
}

}  // namespace
}  // namespace dorvan
