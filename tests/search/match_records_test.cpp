// The match records behind a found drawing, and that asking for them leaves the run's
// found list as it is.
#include <gtest/gtest.h>

#include "search/match_text.h"
#include "search/range_evaluation.h"
#include "search/reader_drawing_source.h"
#include "search/search_range.h"
#include "search/search_run.h"
#include "search_fixtures.h"
#include "tests/support/real_drawings.h"

namespace dorvan {
namespace {

DrawingMatches Collect(const SearchRequest& request, const JwwDrawing& drawing) {
  RangeEvaluator evaluator(request, nullptr);
  DrawingMatches matches;
  evaluator.Collect(drawing, matches);
  EXPECT_EQ(evaluator.Append(drawing), matches.Total > 0);
  return matches;
}

SearchRequest TextRequest(int range, std::u16string text) {
  SearchRequest request;
  request.Ranges[range] = true;
  request.SearchText = std::move(text);
  return request;
}

TEST(MatchRecords, TextsOfTheDrawingAndOfItsBlocksWithTheirPlaces) {
  JwwDrawing drawing = testing::MakeDrawing({u"図面番号ZX-1", u"平面図", u"ｽﾞﾒﾝ図面"},
                                            {{u"窓W1@@SfigorgFlag@@4", {u"図面枠"}}});
  drawing.Data.Texts[1].Base.LayerGroup = 0;
  drawing.Data.Texts[1].Base.Layer = 5;
  drawing.Data.Texts[1].StartX = 123.4;
  drawing.Data.Texts[1].StartY = -56.7;
  drawing.Header.LayerNames[0][5] = u"寸法";
  drawing.Header.LayerGroupNames[1] = u"建具";
  drawing.Data.BlockDefinitions[1].Number = 4;
  drawing.Data.BlockDefinitions[1].Data.Texts[1].Base.LayerGroup = 1;
  drawing.Data.BlockDefinitions[1].Data.Texts[1].Base.Layer = 2;

  const DrawingMatches matches = Collect(TextRequest(RangeData, u"図面"), drawing);
  ASSERT_EQ(matches.Total, 3u);
  MatchRecord first{.Range = RangeData, .Text = u"図面番号ZX-1", .LayerGroup = 0, .Layer = 5,
                    .LayerName = u"寸法", .X = 123.4, .Y = -56.7, .Index = 1};
  MatchRecord third{.Range = RangeData, .Text = u"ｽﾞﾒﾝ図面", .LayerGroup = 0, .Layer = 0, .Index = 3};
  MatchRecord inBlock{.Range = RangeData, .Text = u"図面枠", .InBlock = true, .BlockName = u"窓W1",
                      .BlockNumber = 4, .LayerGroup = 1, .Layer = 2, .LayerGroupName = u"建具",
                      .Index = 1};
  EXPECT_EQ(matches.Records, (std::vector<MatchRecord>{first, third, inBlock}));
}

TEST(MatchRecords, MemoLinesHoldingTheMatch) {
  struct Case {
    std::u16string memo, text;
    std::u16string lines;
    int32_t firstLine, lastLine;
  };
  const Case cases[] = {
      {u"一階\r\n基準階平面図\r\n縮尺", u"平面", u"基準階平面図", 2, 2},
      {u"一階平面図\r\n縮尺1/100", u"平面図縮尺", u"一階平面図縮尺1/100", 1, 2},  // across a break
      {u"単一行", u"ＴＡＮ", u"", 0, 0},                                      // no match, no record
      {u"a\nb\rc", u"C", u"c", 3, 3},
  };
  for (const Case& c : cases) {
    JwwDrawing drawing;
    drawing.Header.Memo = c.memo;
    const DrawingMatches matches = Collect(TextRequest(RangeMemo, c.text), drawing);
    if (c.firstLine == 0) {
      EXPECT_EQ(matches.Total, 0u) << c.text.size();
      continue;
    }
    ASSERT_EQ(matches.Records.size(), 1u);
    EXPECT_EQ(matches.Records[0].Text, c.lines);
    EXPECT_EQ(matches.Records[0].FirstLine, c.firstLine);
    EXPECT_EQ(matches.Records[0].LastLine, c.lastLine);
  }
}

TEST(MatchRecords, NamesBlocksAndValues) {
  JwwDrawing drawing = testing::MakeDrawing({}, {{u"SHEET@@SfigorgFlag@@4", {}}, {u"@@SfigorgFlag@@DOOR", {}}});
  drawing.Data.BlockDefinitions[1].Number = 7;
  drawing.Header.LayerGroupNames[2] = u"1階";
  drawing.Header.LayerGroupNames[10] = u"2階";
  drawing.Header.LayerNames[2][11] = u"壁";
  drawing.Header.LayerNames[3][0] = u"壁芯";
  drawing.Header.Version = 700;
  drawing.Header.DrawingSize = 12;
  drawing.Header.DrawingFlags[10] = 20;

  DrawingMatches matches = Collect(TextRequest(RangeLayerGroupName, u"階"), drawing);
  ASSERT_EQ(matches.Records.size(), 2u);
  EXPECT_EQ(matches.Records[1].LayerGroup, 10);
  EXPECT_EQ(matches.Records[1].Text, u"2階");

  matches = Collect(TextRequest(RangeLayerName, u"壁"), drawing);
  ASSERT_EQ(matches.Records.size(), 2u);
  EXPECT_EQ(matches.Records[0], (MatchRecord{.Range = RangeLayerName, .Text = u"壁", .LayerGroup = 2,
                                            .Layer = 11, .LayerGroupName = u"1階"}));

  matches = Collect(TextRequest(RangeBlockName, u"E"), drawing);
  EXPECT_EQ(matches.Records, (std::vector<MatchRecord>{
                                 {.Range = RangeBlockName, .Text = u"SHEET@@SfigorgFlag@@4", .InBlock = true,
                                  .BlockName = u"SHEET", .BlockNumber = 7, .Index = 1}}));

  struct ValueCase {
    int range;
    SearchRequest request;
    std::u16string text;
    int32_t value;
  };
  SearchRequest version = TextRequest(RangeVersion, u"");
  version.RequestedVersion = 700;
  SearchRequest size = TextRequest(RangeDrawingSize, u"");
  size.RequestedSizeIndex = 9;
  SearchRequest width = TextRequest(RangeLineWidthBase, u"");
  width.RequestedDpi = 600;
  for (const ValueCase& c : {ValueCase{RangeVersion, version, u"700", 700}, ValueCase{RangeDrawingSize, size, u"10m", 12},
                             ValueCase{RangeLineWidthBase, width, u"20", 20}}) {
    EXPECT_EQ(Collect(c.request, drawing).Records,
              (std::vector<MatchRecord>{{.Range = c.range, .Text = c.text, .Value = c.value}}));
  }
}

TEST(MatchRecords, ADrawingReportsTheFirstRecordsAndCountsThemAll) {
  std::vector<std::u16string> texts(kMatchRecordCap + 5, u"図面");
  const DrawingMatches matches = Collect(TextRequest(RangeData, u"図面"), testing::MakeDrawing(texts));
  EXPECT_EQ(matches.Total, kMatchRecordCap + 5);
  ASSERT_EQ(matches.Records.size(), kMatchRecordCap);
  EXPECT_EQ(matches.Records.back().Index, static_cast<int32_t>(kMatchRecordCap));
}

TEST(MatchRecords, OneLineEach) {
  struct Case {
    MatchRecord record;
    std::string line;
  };
  const Case cases[] = {
      {{.Range = RangeData, .Text = u"W1", .InBlock = true, .BlockName = u"窓W1", .BlockNumber = 4,
        .LayerGroup = 1, .Layer = 11, .LayerName = u"建具", .X = 10, .Y = -0.004},
       "[ブロック 窓W1 #4] 1-B 建具 (10.00, 0.00) W1"},
      {{.Range = RangeData, .Text = u"a\x1b[2Jb\r\nc", .LayerGroup = 0, .Layer = 0}, "[図面] 0-0 (0.00, 0.00) a\uFFFD[2Jb  c"},
      {{.Range = RangeMemo, .Text = u"基準階平面図", .FirstLine = 2, .LastLine = 3}, "[メモ 2-3行目] 基準階平面図"},
      {{.Range = RangeLayerName, .Text = u"壁", .LayerGroup = 15, .Layer = 0}, "[レイヤ F-0] 壁"},
      {{.Range = RangeBlockName, .Text = u"SHEET@@SfigorgFlag@@4", .BlockName = u"SHEET", .BlockNumber = 7},
       "[ブロック #7] SHEET (SHEET@@SfigorgFlag@@4)"},
      {{.Range = RangeDrawingSize, .Text = u"A3", .Value = 3}, "[図面サイズ] A3"},
  };
  for (const Case& c : cases) EXPECT_EQ(MatchLine(c.record), c.line);
}

// Over the real drawings and on worker threads: the same found list, errors and message
// with and without records, and records for every found drawing in the found list's order.
TEST(MatchRecords, AskingForThemNeverChangesTheFoundList) {
  const std::vector<std::string> paths = testing::RealDrawingPaths();
  if (paths.empty()) GTEST_SKIP() << "real drawings absent";
  struct Case {
    int range;
    std::u16string text;
  };
  for (const Case& c : {Case{RangeData, u"1"}, Case{RangeData, u"・"}, Case{RangeLayerName, u"0"},
                        Case{RangeBlockName, u""}, Case{RangeData, u"図"}}) {
    SearchControls controls;
    controls.Combo1Text = c.text;
    controls.Check3[c.range] = true;
    controls.TargetList = paths;
    ReaderDrawingSource source;
    SearchObserver observer;
    const SearchOutcome plain = Works(controls, source, observer, nullptr, RunSettings{2});
    const SearchOutcome withMatches =
        Works(controls, source, observer, nullptr, RunSettings{.ReadThreads = 2, .CollectMatches = true});
    EXPECT_EQ(plain.FoundList, withMatches.FoundList) << c.range;
    EXPECT_EQ(plain.Message, withMatches.Message);
    EXPECT_TRUE(plain.FoundMatches.empty());
    ASSERT_EQ(withMatches.FoundMatches.size(), withMatches.FoundList.size());
    for (const DrawingMatches& matches : withMatches.FoundMatches) EXPECT_GT(matches.Total, 0u);
  }
}

}  // namespace
}  // namespace dorvan
