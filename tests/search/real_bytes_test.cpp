// The run over drawings written to disk and read by the real reader.
#include <gtest/gtest.h>

#include "reader/jww_reader.h"
#include "search/range_evaluation.h"
#include "search/reader_drawing_source.h"
#include "search/result_report.h"
#include "search/search_range.h"
#include "search/search_run.h"
#include "tests/support/drawing_writer.h"
#include "tests/support/real_drawings.h"
#include "tests/support/recording_messages.h"
#include "tests/support/temp_folder.h"

namespace dorvan {
namespace {

using testing::DrawingRecipe;
using testing::TempFolder;

SearchControls Controls(int range, std::u16string text, std::vector<std::string> targets) {
  SearchControls controls;
  controls.Combo1Text = std::move(text);
  controls.Check3[range] = true;
  controls.TargetList = std::move(targets);
  return controls;
}

class WrittenDrawings : public ::testing::Test {
 protected:
  void SetUp() override {
    DrawingRecipe plan;
    plan.memo = u"一階平面図\r\n縮尺1/100";
    plan.texts = {u"図面番号 A-101"};
    plan.blocks.push_back({u"SHEET@@SfigorgFlag@@4", {u"表題"}});
    plan.layerNames[2][5] = u"壁";
    ASSERT_TRUE(testing::WriteDrawingFile(folder.File("plan.jww"), plan));

    DrawingRecipe door;
    door.version = 700;
    door.strings = testing::StringForm::Utf16;
    door.drawingSize = 12;
    door.printLineWidthBase = 20;
    door.blocks.push_back({u"@@SfigorgFlag@@DOOR", {u"ﾄﾞｱ"}});
    ASSERT_TRUE(testing::WriteDrawingFile(folder.File("Door.jww"), door));

    ASSERT_TRUE(testing::WriteBytesFile(folder.File("broken.jww"), "JwwData.garbage"));
    targets = {folder.File("plan.jww"), folder.File("broken.jww"), folder.File("Door.jww"),
               folder.File("missing.jww")};
  }

  SearchOutcome Run(const SearchControls& controls, int threads = 0) {
    ReaderDrawingSource source;
    SearchObserver observer;
    testing::RecordingMessages messages;
    return Works(controls, source, observer, &messages, RunSettings{threads});
  }

  TempFolder folder;
  std::vector<std::string> targets;
};

TEST_F(WrittenDrawings, EachRangeFindsItsDrawing) {
  struct Case {
    int range;
    std::u16string text;
    std::vector<std::string> found;
  };
  const std::string plan = folder.File("plan.jww"), door = folder.File("Door.jww");
  const Case cases[] = {
      {RangeData, u"a-101", {plan}},
      {RangeData, u"ドア", {door}},       // half-width kana inside a block, normalised
      {RangeMemo, u"平面図縮尺", {plan}},  // across the memo's line break
      {RangeLayerName, u"壁", {plan}},
      {RangeBlockName, u"SHEET", {plan}},
      {RangeBlockName, u"OO", {door}},
      {RangeBlockName, u"@@Sfig", {}},
  };
  for (const Case& c : cases) {
    const SearchOutcome outcome = Run(Controls(c.range, c.text, targets));
    EXPECT_EQ(outcome.FoundList, c.found) << c.range;
    EXPECT_EQ(outcome.ErrorFileList,
              (std::vector<std::string>{folder.File("broken.jww"), folder.File("missing.jww")}));
  }
}

TEST_F(WrittenDrawings, ValueRanges) {
  SearchControls size = Controls(RangeDrawingSize, u"", targets);
  size.Combo3Index = 9;  // "10m", stored as 12
  size.Combo3Text = u"10m";
  EXPECT_EQ(Run(size).FoundList, std::vector<std::string>{folder.File("Door.jww")});

  SearchControls version = Controls(RangeVersion, u"", targets);
  version.Combo2Index = 8;
  version.Combo2Text = u"700";
  const SearchOutcome outcome = Run(version);
  EXPECT_EQ(outcome.FoundList, std::vector<std::string>{folder.File("Door.jww")});
  EXPECT_EQ(outcome.Message, BuildResultMessage(RangeVersion, "700", 1));

  SearchControls width = Controls(RangeLineWidthBase, u"", targets);
  width.Option1 = false;
  EXPECT_EQ(Run(width).FoundList, std::vector<std::string>{folder.File("Door.jww")});
}

TEST_F(WrittenDrawings, ReadingAheadGivesTheSameResult) {
  const SearchControls controls = Controls(RangeData, u"図", targets);
  const SearchOutcome one = Run(controls, 1);
  const SearchOutcome two = Run(controls, 2);
  EXPECT_EQ(one.FoundList, two.FoundList);
  EXPECT_EQ(one.ErrorFileList, two.ErrorFileList);
  EXPECT_EQ(one.Message, two.Message);
}

TEST(RealDrawings, EveryDrawingIsReadableAndItsBlockNamesAreFound) {
  const std::vector<std::string> paths = testing::RealDrawingPaths();
  if (paths.empty()) GTEST_SKIP() << "real drawings absent";
  ReaderDrawingSource source;
  SearchObserver observer;
  testing::RecordingMessages messages;
  // Every block name as the search compares it must find its own drawing.
  for (const std::string& path : paths) {
    JwwDrawing drawing;
    ASSERT_TRUE(source.Read(path, true, drawing, &messages)) << path;
    for (std::size_t b = 1; b < drawing.Data.BlockDefinitions.size(); ++b) {
      const std::u16string_view name = BlockNameCandidate(drawing.Data.BlockDefinitions[b].Name);
      if (name.empty()) continue;
      SearchControls controls = Controls(RangeBlockName, std::u16string(name), {path});
      controls.Check1 = true;
      EXPECT_EQ(Works(controls, source, observer, &messages).SearchResult, 17) << path;
    }
  }
  const SearchOutcome all = Works(Controls(RangeData, u"", paths), source, observer, &messages);
  EXPECT_EQ(all.Ending, RunEnding::Refused);  // range 0 needs a search text
  const SearchOutcome memo = Works(Controls(RangeMemo, u"x", paths), source, observer, &messages);
  EXPECT_TRUE(memo.ErrorFileList.empty());
  EXPECT_TRUE(messages.messages.empty());
}

}  // namespace
}  // namespace dorvan
