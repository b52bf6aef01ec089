// The run over drawings written to disk and read by the real reader.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <thread>

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

// Drawings with this many lines count as large for a source made with kLargeBytes.
constexpr std::size_t kLargeBytes = 16 << 10;

std::string WriteLinesDrawing(TempFolder& folder, const std::string& name, int lines, std::u16string text) {
  DrawingRecipe recipe;
  recipe.lines = lines;
  recipe.texts = {std::move(text)};
  const std::string path = folder.File(name);
  EXPECT_TRUE(testing::WriteDrawingFile(path, recipe));
  return path;
}

// Large drawings are read one at a time in arrays the source keeps for them: the run on
// several threads is still the one-by-one run, and a caller's record gets its own arrays
// back, emptied when they grew too large.
TEST(LargeDrawings, AreReadOneAtATimeWithTheSameResult) {
  TempFolder folder;
  std::vector<std::string> targets;
  for (int i = 0; i < 24; ++i) {
    const int lines = i % 3 == 0 ? 2000 : 10;  // about 100 KB or 1 KB
    targets.push_back(WriteLinesDrawing(folder, std::to_string(i) + ".jww", lines,
                                        i % 4 == 0 ? u"図面番号" : u"注記"));
  }
  const SearchControls controls = Controls(RangeData, u"図面番号", targets);
  SearchObserver observer;
  ReaderDrawingSource plain;
  const SearchOutcome expected = Works(controls, plain, observer, nullptr, RunSettings{1});
  EXPECT_EQ(expected.FoundList.size(), 6u);
  for (int threads : {1, 2, 3}) {
    ReaderDrawingSource source(kLargeBytes, 32 << 10);
    const SearchOutcome outcome = Works(controls, source, observer, nullptr, RunSettings{threads});
    EXPECT_EQ(outcome.FoundList, expected.FoundList) << threads;
    EXPECT_EQ(outcome.ErrorFileList, expected.ErrorFileList);
  }
}

TEST(LargeDrawings, ASecondWaitsUntilTheRunIsDoneWithTheFirst) {
  TempFolder folder;
  const std::string first = WriteLinesDrawing(folder, "a.jww", 2000, u"一");
  const std::string second = WriteLinesDrawing(folder, "b.jww", 2000, u"二");
  const std::string small = WriteLinesDrawing(folder, "c.jww", 10, u"三");
  ReaderDrawingSource source(kLargeBytes, 32 << 10);
  JwwDrawing a, b, c;
  ASSERT_TRUE(source.Read(first, true, a, nullptr));
  EXPECT_EQ(a.Data.Lines.size(), 2001u);
  // A small drawing and a header are not held up.
  ASSERT_TRUE(source.Read(small, true, c, nullptr));
  source.DoneWith(c);
  ASSERT_TRUE(source.Read(second, false, c, nullptr));
  source.DoneWith(c);

  std::atomic<bool> secondRead{false};
  std::thread other([&] {
    EXPECT_TRUE(source.Read(second, true, b, nullptr));
    secondRead = true;
    EXPECT_EQ(b.Data.Texts[1].Text, u"二");
    source.DoneWith(b);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(secondRead.load());
  EXPECT_EQ(a.Data.Texts[1].Text, u"一");  // still intact while the run evaluates it
  source.DoneWith(a);
  other.join();
  EXPECT_TRUE(secondRead.load());
  // Both records have their own small arrays back.
  EXPECT_LE(DataCapacityBytes(a.Data), std::size_t{32} << 10);
  EXPECT_LE(DataCapacityBytes(b.Data), std::size_t{32} << 10);
}

TEST(LargeDrawings, ARecordThatGrewTooLargeIsEmptiedAfterUse) {
  TempFolder folder;
  const std::string path = WriteLinesDrawing(folder, "a.jww", 2000, u"一");
  ReaderDrawingSource source(std::size_t{1} << 30, 32 << 10);  // nothing counts as large
  JwwDrawing drawing;
  ASSERT_TRUE(source.Read(path, true, drawing, nullptr));
  EXPECT_GT(DataCapacityBytes(drawing.Data), std::size_t{32} << 10);
  source.DoneWith(drawing);
  EXPECT_LE(DataCapacityBytes(drawing.Data), std::size_t{32} << 10);
}

// Header ranges read ahead fetch the first bytes of a run of files at once: the run is
// still the one-by-one run, its messages included, whatever the files are.
TEST(HeaderRuns, GiveTheOneByOneRunWithItsMessages) {
  TempFolder folder;
  ASSERT_EQ(::mkdir(folder.File("folder.jww").c_str(), 0755), 0);
  std::vector<std::string> targets;
  for (int i = 0; i < 150; ++i) {
    const std::string path = folder.File(std::to_string(i) + ".jww");
    targets.push_back(path);
    DrawingRecipe recipe;
    recipe.memo = i % 4 == 0 ? u"図面番号のメモ" : u"メモ";
    if (i % 23 == 5) recipe.memo += std::u16string(12000, u'長');  // beyond the first chunk
    recipe.version = i % 2 ? 700 : 351;
    std::string bytes = testing::WriteDrawing(recipe);
    if (i % 17 == 3) bytes = "not a drawing";
    if (i % 19 == 7) bytes.resize(4000);  // a header cut short
    if (i % 29 == 11) continue;           // missing
    ASSERT_TRUE(testing::WriteBytesFile(path, bytes));
  }
  targets.insert(targets.begin() + 40, folder.File("folder.jww"));
  const SearchControls controls = Controls(RangeMemo, u"図面番号", targets);
  auto run = [&](int threads) {
    ReaderDrawingSource source;
    SearchObserver observer;
    testing::RecordingMessages messages;
    SearchOutcome outcome = Works(controls, source, observer, &messages, RunSettings{threads});
    return std::make_pair(outcome, messages.messages.size());
  };
  const auto [expected, expectedMessages] = run(1);
  EXPECT_EQ(expected.FoundList.size(), 33u);
  EXPECT_GT(expected.ErrorFileList.size(), 10u);
  EXPECT_GT(expectedMessages, 5u);
  for (int threads : {2, 3}) {
    const auto [outcome, messages] = run(threads);
    EXPECT_EQ(outcome.FoundList, expected.FoundList);
    EXPECT_EQ(outcome.ErrorFileList, expected.ErrorFileList);
    EXPECT_EQ(outcome.Message, expected.Message);
    EXPECT_EQ(messages, expectedMessages);
  }
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
    source.DoneWith(drawing);
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
