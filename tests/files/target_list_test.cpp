// The rules every target list shares: which names are drawings, how paths are joined, the
// order of the sorted lists, the horizontal extent and the batches that feed it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/command_line.h"
#include "files/drawing_name.h"
#include "files/list_extent.h"
#include "files/list_order.h"
#include "files/target_batch.h"
#include "reader/shift_jis.h"

namespace dorvan {
namespace {

TEST(DrawingName, LastThreeCharactersInEitherCase) {
  EXPECT_TRUE(IsDrawingName("a.jww"));
  EXPECT_TRUE(IsDrawingName("A.JWW"));
  EXPECT_TRUE(IsDrawingName("b.JwW"));
  EXPECT_TRUE(IsDrawingName("planjww"));  // no dot needed
  EXPECT_TRUE(IsDrawingName("jww"));
  EXPECT_FALSE(IsDrawingName("ww"));
  EXPECT_FALSE(IsDrawingName(""));
  EXPECT_FALSE(IsDrawingName("d.jww.gz"));
  EXPECT_FALSE(IsDrawingName("c.jw_"));
  EXPECT_FALSE(IsDrawingName("図面.ｊｗｗ"));  // full-width letters are other characters
}

TEST(JoinPath, OneSeparatorEvenAtTheRootFolder) {
  EXPECT_EQ(JoinPath("/home/u", "a.jww"), "/home/u/a.jww");
  EXPECT_EQ(JoinPath("/home/u/", "a.jww"), "/home/u/a.jww");
  EXPECT_EQ(JoinPath("/", "a.jww"), "/a.jww");
}

TEST(ListOrder, AscendingIgnoringCaseWithDuplicatesInOrderOfArrival) {
  std::vector<std::string> list;
  EXPECT_EQ(InsertSorted(list, "b.jww"), 0u);
  EXPECT_EQ(InsertSorted(list, "A.jww"), 0u);  // b then A lists A first
  EXPECT_EQ(InsertSorted(list, "a.jww"), 1u);  // equal ignoring case: after the earlier one
  EXPECT_EQ(InsertSorted(list, "b.jww"), 3u);  // a true duplicate is kept
  EXPECT_EQ(InsertSorted(list, "C.jww"), 4u);
  EXPECT_EQ(list, (std::vector<std::string>{"A.jww", "a.jww", "b.jww", "b.jww", "C.jww"}));
}

TEST(ListOrder, CaseFoldingReachesBeyondAscii) {
  EXPECT_EQ(CompareIgnoringCase("ＡＢ.jww", "ａｂ.JWW"), 0);
  EXPECT_EQ(CompareIgnoringCase("Ärger", "ärger"), 0);
  EXPECT_LT(CompareIgnoringCase("abc", "abcd"), 0);
  EXPECT_GT(CompareIgnoringCase("abd", "ABC"), 0);
  // A byte that is not UTF-8 is not mistaken for a character, and the order stays total.
  EXPECT_NE(CompareIgnoringCase("a\xFF", "a\xC3\xBF"), 0);
  EXPECT_LT(CompareIgnoringCase("a\xC3\xBF", "a\xFF"), 0);
}

TEST(ListOrder, FoldingReachesTheEndOfTheAlphabet) {
  EXPECT_EQ(CompareIgnoringCase("Zebra.jww", "zebra.JWW"), 0);
  std::vector<std::string> names{"zoo", "Zebra", "_x", "apple"};
  SortIgnoringCase(names);
  EXPECT_EQ(names, (std::vector<std::string>{"_x", "apple", "Zebra", "zoo"}));
}

TEST(ListOrder, SortingNamesNeverDependsOnTheirArrival) {
  std::vector<std::string> one{"b.jww", "a.jww", "A.jww", "_x", "B.jww"};
  std::vector<std::string> two{"B.jww", "A.jww", "_x", "b.jww", "a.jww"};
  SortIgnoringCase(one);
  SortIgnoringCase(two);
  EXPECT_EQ(one, two);
  EXPECT_EQ(one, (std::vector<std::string>{"_x", "A.jww", "a.jww", "B.jww", "b.jww"}));
}

TEST(ListExtent, PixelArithmeticPerList) {
  EXPECT_EQ(ListExtentPixels(0, 90, 180, 15), 12);  // a cancelled dialog: the margin alone
  EXPECT_EQ(ListExtentPixels(10, 90, 180, 15), 72);  // 6 pixels a byte plus 12
  EXPECT_EQ(ListExtentPixels(10, 60, 120, 15), 48);
  EXPECT_EQ(ListExtentPixels(1, 90, 180, 12), 22);  // 270 / 12 discards the remainder
  // Where 16-bit arithmetic would have overflowed (more than 362 bytes).
  EXPECT_EQ(ListExtentPixels(4000, 90, 180, 15), 24012);
  EXPECT_EQ(ListExtentPixels(100000, 60, 120, 15), 400008);
  EXPECT_EQ(ListExtentPixels(10, 90, 180, 0), 1080);  // no division by zero
}

TEST(ListExtent, TwipsPerPixelRoundsHalvesToEven) {
  EXPECT_EQ(TwipsPerPixelForDpi(96), 15);
  EXPECT_EQ(TwipsPerPixelForDpi(120), 12);
  EXPECT_EQ(TwipsPerPixelForDpi(1440.0 / 12.5), 12);  // 12.5 -> 12
  EXPECT_EQ(TwipsPerPixelForDpi(1440.0 / 13.5), 14);  // 13.5 -> 14
  EXPECT_EQ(TwipsPerPixelForDpi(0), 15);
}

TEST(ListExtent, EntryBytesAreWindowsJapaneseBytes) {
  EXPECT_EQ(ListEntryBytes("/d/a.jww"), 8u);
  EXPECT_EQ(ListEntryBytes("/d/図面.jww"), 11u);  // each kanji counts 2
  EXPECT_EQ(ListEntryBytes("/d/ｱ.jww"), 8u);      // half-width katakana counts 1
  // A Shift-JIS name counts its own bytes (縺縺, which UTF-8 would take for two broken
  // characters); a byte that is neither counts as one "?".
  EXPECT_EQ(ListEntryBytes("/d/\xe3\x81\xe3\x81.jww"), 11u);
  EXPECT_EQ(ListEntryBytes("/d/\x81 .jww"), 9u);
  for (const char* path : {"/d/a.jww", "/図面/平面図.JWW", "/d/é.jww", "/d/😀.jww"}) {
    EXPECT_EQ(ListEntryBytes(path), sjis::ByteLengthUtf8(path)) << path;
  }
}

TEST(ListExtent, ALaterShorterBatchStillCoversTheLongestEntryPresent) {
  ListExtent extent(kTargetListExtent);
  const std::string longName = "/drawings/a-rather-long-folder-name/plan.jww";
  extent.AddEntry(longName);
  extent.EndBatch(longName.size());
  EXPECT_EQ(extent.Pixels(15), ListExtentPixels(longName.size(), 90, 180, 15));

  extent.AddEntry("/d/b.jww");
  extent.EndBatch(8);  // the batch's own measure would cut the long entry off
  EXPECT_EQ(extent.ExtentBytes(), longName.size());

  extent.EndBatch(0);  // a cancelled dialog
  EXPECT_EQ(extent.ExtentBytes(), longName.size());

  extent.EndBatch(200);  // a drop measured a long refused name: the batch wins
  EXPECT_EQ(extent.ExtentBytes(), 200u);

  // Removing keeps the extent; the next batch shrinks it to the longest remaining entry.
  extent.RemoveEntry(longName);
  EXPECT_EQ(extent.ExtentBytes(), 200u);
  extent.EndBatch(0);
  EXPECT_EQ(extent.ExtentBytes(), 8u);

  extent.RemoveAllEntries();
  extent.EndBatch(0);
  EXPECT_EQ(extent.Pixels(15), 12);
}

TEST(ListExtent, EntriesAddedWithoutABatchAreCoveredAtOnce) {
  ListExtent extent(kFolderListExtent);
  extent.AddEntry("/d/図面.jww");
  EXPECT_EQ(extent.Pixels(15), (11 * 60 + 120) / 15);
  extent.AddEntry("/d/図面.jww");  // duplicates counted apart
  extent.RemoveEntry("/d/図面.jww");
  extent.EndBatch(0);
  EXPECT_EQ(extent.ExtentBytes(), 11u);
}

TEST(TargetBatch, DropKeepsDrawingsAndMeasuresEveryPath) {
  const TargetBatch batch =
      DroppedTargets({"/d/a.JWW", "/d/b.jww", "/d/c-with-a-longer-name.txt", "/d/d.jww.gz", "/d/b.jww"});
  EXPECT_EQ(batch.drawings, (std::vector<std::string>{"/d/a.JWW", "/d/b.jww", "/d/b.jww"}));
  EXPECT_EQ(batch.longestBytes, std::string("/d/c-with-a-longer-name.txt").size());
  EXPECT_EQ(DroppedTargets({}).longestBytes, 0u);
}

TEST(TargetBatch, DialogAppliesNoNameTest) {
  const TargetBatch batch = DialogTargets({"/d/a.jww.gz", "/d/b.jww"});
  EXPECT_EQ(batch.drawings.size(), 2u);
  EXPECT_EQ(batch.longestBytes, 11u);
}

TEST(CommandLine, EachArgumentIsOneItemAsGiven) {
  const std::vector<std::string> args{"/p/rev.2 plans/a.jww", "/p/My Drawings/b.JWW", " c.jww",
                                      "", "notes.txt", "\"q\".jww", "/p/d.jww.gz"};
  EXPECT_EQ(GetCommandLine(args), args);
  EXPECT_TRUE(GetCommandLine({}).empty());

  const TargetBatch targets = CommandLineTargets(GetCommandLine(args));
  EXPECT_EQ(targets.drawings, (std::vector<std::string>{"/p/rev.2 plans/a.jww", "/p/My Drawings/b.JWW",
                                                        " c.jww", "\"q\".jww"}));
  // Only the kept items are measured.
  EXPECT_EQ(targets.longestBytes, std::string("/p/rev.2 plans/a.jww").size());
}

}  // namespace
}  // namespace dorvan
