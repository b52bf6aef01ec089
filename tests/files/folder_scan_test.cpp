// The folder scan over small trees built for each test.
#include "files/folder_scan.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "files/list_extent.h"
#include "tests/support/temp_folder.h"

namespace dorvan {
namespace {

using testing::TempFolder;

struct Recorded {
  std::vector<std::string> drawings;
  std::vector<std::string> folders;
  std::vector<ScanProgress> progress;
  ScanCallbacks callbacks() {
    ScanCallbacks c;
    c.OnDrawing = [this](const std::string& path) { drawings.push_back(path); };
    c.OnFolder = [this](const std::string& folder) { folders.push_back(folder); };
    c.OnProgress = [this](const ScanProgress& p) { progress.push_back(p); };
    return c;
  }
};

// root: A.JWW b.jww c.jw_ d.jww.gz notes.txt, folder.jww/w.jww, Sub1/y.jww,
// Sub1/deeper/z.JWW, sub2/x.jww, and links back to the root from two depths.
class ScanTree : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"b.jww", "A.JWW", "c.jw_", "d.jww.gz", "notes.txt", "sub2/x.jww",
                             "Sub1/y.jww", "Sub1/deeper/z.JWW", "folder.jww/w.jww"}) {
      tree.Write(name);
    }
    std::filesystem::create_directory_symlink(tree.path(), tree / "loop");
    std::filesystem::create_directory_symlink("../..", tree / "Sub1/deeper/up");
  }
  std::string At(const std::string& relative) const { return tree / relative; }

  TempFolder tree;
  ScanState state;
  std::atomic<bool> cancel{false};
  Recorded seen;
};

TEST_F(ScanTree, OwnDrawingsFirstThenEachSubfolderInOrderIgnoringCase) {
  const ScanResult result = ScanFolder(tree.path(), true, state, cancel, seen.callbacks());
  EXPECT_EQ(result.outcome, ScanOutcome::Finished);
  EXPECT_EQ(seen.drawings, (std::vector<std::string>{At("A.JWW"), At("b.jww"), At("folder.jww/w.jww"),
                                                     At("Sub1/y.jww"), At("Sub1/deeper/z.JWW"),
                                                     At("sub2/x.jww")}));
  EXPECT_EQ(result.drawingsFound, 6u);
  // The links lead back to a folder already walked: no loop, no second visit.
  EXPECT_EQ(seen.folders, (std::vector<std::string>{tree.path(), At("folder.jww"), At("Sub1"),
                                                    At("Sub1/deeper"), At("sub2")}));
  EXPECT_EQ(result.foldersSkipped, 2u);
}

TEST_F(ScanTree, WithoutSubfoldersOnlyTheFolderItself) {
  ScanFolder(tree.path(), false, state, cancel, seen.callbacks());
  EXPECT_EQ(seen.drawings, (std::vector<std::string>{At("A.JWW"), At("b.jww")}));
  EXPECT_EQ(ListDrawings(tree.path() + "/", false), seen.drawings);  // no doubled separator
}

TEST_F(ScanTree, CancelStopsAfterTheCurrentFileAndKeepsWhatWasFound) {
  ScanCallbacks callbacks = seen.callbacks();
  callbacks.OnDrawing = [&](const std::string& path) {
    seen.drawings.push_back(path);
    if (seen.drawings.size() == 3) cancel = true;
  };
  const ScanResult result = GetFileState(tree.path(), true, state, cancel, callbacks);
  EXPECT_EQ(result.outcome, ScanOutcome::Cancelled);
  EXPECT_EQ(seen.drawings.size(), 3u);
  EXPECT_EQ(seen.folders.back(), At("folder.jww"));
  EXPECT_FALSE(cancel) << "the next scan starts with the flag cleared";

  // Cancelling between subfolders stops before the next one.
  seen = {};
  callbacks = seen.callbacks();
  callbacks.OnFolder = [&](const std::string& folder) {
    seen.folders.push_back(folder);
    if (folder == At("Sub1/deeper")) cancel = true;
  };
  callbacks.OnDrawing = [&](const std::string& path) { seen.drawings.push_back(path); };
  EXPECT_EQ(GetFileState(tree.path(), true, state, cancel, callbacks).outcome, ScanOutcome::Cancelled);
  EXPECT_EQ(seen.drawings.back(), At("Sub1/deeper/z.JWW"));  // its first file was visited
  EXPECT_EQ(seen.folders.back(), At("Sub1/deeper"));
}

TEST_F(ScanTree, ProgressRestartsInEveryFolderWithFiles) {
  ScanFolder(tree.path(), false, state, cancel, seen.callbacks());
  // Five files at the root: the start, then min(counter, Max) after each file.
  ASSERT_EQ(seen.progress.size(), 6u);
  for (std::size_t i = 0; i < seen.progress.size(); ++i) {
    EXPECT_EQ(seen.progress[i].Max, 5);
    EXPECT_EQ(seen.progress[i].Value, i == 0 ? 0 : static_cast<int32_t>(i - 1));
  }
  EXPECT_EQ(state.ScanFileCounter, 5);

  // A folder without files keeps the previous maximum and starts again at 0.
  TempFolder other;
  other.MakeFolder("empty");
  Recorded second;
  ScanFolder(other / "empty", true, state, cancel, second.callbacks());
  ASSERT_EQ(second.progress.size(), 1u);
  EXPECT_EQ(second.progress[0].Max, 5);
  EXPECT_EQ(second.progress[0].Value, 0);
  EXPECT_EQ(state.ScanFileCounter, 0);
}

TEST_F(ScanTree, LongestPathCountsEveryFileAndOnlyGrows) {
  const std::string longName = "a-long-file-name-that-is-no-drawing-図面.txt";
  tree.Write("sub2/" + longName);
  ScanFolder(tree.path(), true, state, cancel, seen.callbacks());
  const std::size_t longest = ListEntryBytes(At("sub2/" + longName));
  EXPECT_EQ(state.ScanMaxPathBytes, longest);
  EXPECT_EQ(ListEntryBytes(At("sub2/" + longName)), At("sub2/" + longName).size() - 2);  // kanji: 3 -> 2

  ScanFolder(At("sub2"), false, state, cancel, {});  // shorter paths only
  EXPECT_EQ(state.ScanMaxPathBytes, longest);
  ScanFolder(At("sub2"), false, state, cancel, {});
  EXPECT_EQ(state.ScanMaxPathBytes, longest);
}

TEST(FolderScan, UnreadableFolderContributesNothingAndTheWalkGoesOn) {
  if (!testing::PermissionsAreEnforced()) GTEST_SKIP() << "running as root: permissions do not refuse";
  TempFolder tree;
  tree.Write("a/1.jww");
  tree.Write("b/2.jww");
  tree.Write("c/3.jww");
  ASSERT_EQ(chmod((tree / "b").c_str(), 0), 0);
  ScanState state;
  const std::atomic<bool> cancel{false};
  Recorded seen;
  const ScanResult result = ScanFolder(tree.path(), true, state, cancel, seen.callbacks());
  EXPECT_EQ(result.outcome, ScanOutcome::Finished);
  EXPECT_EQ(result.foldersSkipped, 1u);
  EXPECT_EQ(seen.drawings, (std::vector<std::string>{tree / "a/1.jww", tree / "c/3.jww"}));

  ASSERT_EQ(chmod(tree.path().c_str(), 0), 0);
  EXPECT_EQ(ScanFolder(tree.path(), true, state, cancel, {}).outcome, ScanOutcome::RootUnreadable);
}

TEST(FolderScan, MissingFolderFindsNothing) {
  ScanState state;
  std::atomic<bool> cancel{true};
  Recorded seen;
  EXPECT_EQ(GetFileState("/nonexistent/dorvan", true, state, cancel, seen.callbacks()).outcome,
            ScanOutcome::RootUnreadable);
  EXPECT_EQ(GetFileState("", true, state, cancel, seen.callbacks()).outcome, ScanOutcome::RootUnreadable);
  EXPECT_TRUE(seen.drawings.empty());
  EXPECT_FALSE(cancel);
}

TEST(FolderScan, LinksAndSpecialFiles) {
  TempFolder tree;
  tree.Write("real/b.jww");
  std::filesystem::create_symlink(tree / "real/b.jww", tree / "link.jww");  // a link to a file
  std::filesystem::create_symlink(tree / "missing", tree / "gone.jww");     // dangling
  std::filesystem::create_directory_symlink(tree / "real", tree / "alias");  // folder twice
  ASSERT_EQ(mkfifo((tree / "pipe.jww").c_str(), 0600), 0);  // reading it would block
  EXPECT_EQ(ListDrawings(tree.path(), true),
            (std::vector<std::string>{tree / "gone.jww", tree / "link.jww", tree / "alias/b.jww"}));
}

}  // namespace
}  // namespace dorvan
