// The built dorvan-search program run on drawings written by the test writer.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "search/result_report.h"
#include "tests/support/drawing_writer.h"
#include "tests/support/temp_folder.h"

namespace dorvan {
namespace {

struct ProgramRun {
  int exitStatus = -1;
  std::string out;
  std::string err;
  // The last line of standard error.
  std::string LastErrorLine() const {
    std::string text = err;
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text.substr(text.rfind('\n') + 1);
  }
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

class DorvanSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::mkdir(folder.File("plans").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(folder.File("plans/sub").c_str(), 0755), 0);
    testing::DrawingRecipe first;
    first.texts = {u"図面番号"};
    first.memo = u"first memo";
    Write("plans/b.jww", first);
    testing::DrawingRecipe second;
    second.texts = {u"ＤＯＯＲ"};
    second.blocks.push_back({u"SHEET@@SfigorgFlag@@4", {u"図面"}});
    Write("plans/A.JWW", second);
    testing::DrawingRecipe deep;
    deep.version = 700;
    deep.texts = {u"図面"};
    Write("plans/sub/c.jww", deep);
    ASSERT_TRUE(testing::WriteBytesFile(folder.File("plans/broken.jww"), "not a drawing"));
    ASSERT_TRUE(testing::WriteBytesFile(folder.File("plans/notes.txt"), "図面"));
  }

  void Write(const std::string& name, const testing::DrawingRecipe& recipe) {
    ASSERT_TRUE(testing::WriteDrawingFile(folder.File(name), recipe));
  }

  // Runs the program; with `interruptAtStart` it starts with a Ctrl-C already waiting.
  ProgramRun Execute(std::vector<std::string> args, bool interruptAtStart = false) {
    const std::string out = folder.File("stdout"), err = folder.File("stderr");
    const std::string cacheFolder = folder.File("cache");
    sigset_t block, previous;
    sigemptyset(&block);
    sigaddset(&block, SIGINT);
    if (interruptAtStart) pthread_sigmask(SIG_BLOCK, &block, &previous);
    const pid_t child = fork();
    if (child == 0) {
      // The child sends itself the Ctrl-C before it runs the program: sent from the parent,
      // it could arrive after the program had already unblocked it and found a drawing.
      // Blocked, it stays pending through execv.
      if (interruptAtStart) ::kill(::getpid(), SIGINT);
      const int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(outFd, 1);
      ::dup2(errFd, 2);
      // The user's index stays untouched: each test has an index of its own.
      ::setenv("XDG_CACHE_HOME", cacheFolder.c_str(), 1);
      std::vector<char*> argv;
      std::string program = DORVAN_SEARCH_PROGRAM;
      argv.push_back(program.data());
      for (std::string& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      ::execv(program.c_str(), argv.data());
      ::_exit(127);
    }
    if (interruptAtStart) pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    int status = 0;
    ::waitpid(child, &status, 0);
    ProgramRun run;
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = ReadAll(out);
    run.err = ReadAll(err);
    return run;
  }

  testing::TempFolder folder;
};

TEST_F(DorvanSearch, FoundDrawingsOnStdoutSortedIgnoringCase) {
  const ProgramRun run = Execute({"--text", "図面", folder.File("plans")});
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.out, folder.File("plans/A.JWW") + "\n" + folder.File("plans/b.jww") + "\n" +
                         folder.File("plans/sub/c.jww") + "\n");
  EXPECT_NE(run.err.find("unreadable: " + folder.File("plans/broken.jww") + "\n"),
            std::string::npos);
  EXPECT_EQ(run.LastErrorLine(), BuildResultMessage(0, "図面", 3));
}

TEST_F(DorvanSearch, NoRecursiveAndNamedFiles) {
  ProgramRun run = Execute({"--no-recursive", "--text", "図面", folder.File("plans")});
  EXPECT_EQ(run.out, folder.File("plans/A.JWW") + "\n" + folder.File("plans/b.jww") + "\n");
  // A file is a target as named, whatever its name.
  run = Execute({"--text", "図面", folder.File("plans/notes.txt"), folder.File("plans/b.jww")});
  EXPECT_EQ(run.out, folder.File("plans/b.jww") + "\n");
  EXPECT_NE(run.err.find("unreadable: " + folder.File("plans/notes.txt")), std::string::npos);
}

TEST_F(DorvanSearch, RangesAndOptions) {
  EXPECT_EQ(Execute({"--range", "block", "--text", "SHEET", folder.File("plans")}).out,
            folder.File("plans/A.JWW") + "\n");
  EXPECT_EQ(Execute({"--text", "door", folder.File("plans")}).out,
            folder.File("plans/A.JWW") + "\n");
  EXPECT_EQ(Execute({"--text", "door", "--case", folder.File("plans")}).exitStatus, 1);
  EXPECT_EQ(Execute({"--range", "version", "--version", "700", folder.File("plans")}).out,
            folder.File("plans/sub/c.jww") + "\n");
  EXPECT_EQ(Execute({"--range", "memo", "--text", "FIRST", folder.File("plans")}).out,
            folder.File("plans/b.jww") + "\n");
  EXPECT_EQ(Execute({"--regex", "--text", "図.*番", folder.File("plans")}).out,
            folder.File("plans/b.jww") + "\n");
}

TEST_F(DorvanSearch, NothingFoundExitsOne) {
  const ProgramRun run = Execute({"--text", "xyz", folder.File("plans")});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.LastErrorLine(), BuildResultMessage(0, "xyz", 0));
}

TEST_F(DorvanSearch, JsonObject) {
  const ProgramRun run = Execute({"--json", "--text", "図面番号", folder.File("plans")});
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.out, "{\"found\": [\"" + folder.File("plans/b.jww") + "\"], \"unreadable\": [\"" +
                         folder.File("plans/broken.jww") + "\"], \"code\": 10, \"message\": \"" +
                         BuildResultMessage(0, "図面番号", 1) + "\"}\n");
}

TEST_F(DorvanSearch, RefusedRequestsExitTwo) {
  ProgramRun run = Execute({folder.File("plans")});  // data range without a text
  EXPECT_EQ(run.exitStatus, 2);
  EXPECT_EQ(run.LastErrorLine(), "対象文字が指定されていません。");
  run = Execute({"--json", "--range", "size", folder.File("plans")});
  EXPECT_EQ(run.exitStatus, 2);
  EXPECT_EQ(run.out, "{\"found\": [], \"unreadable\": [], \"code\": 0, \"message\": "
                     "\"図面サイズが指定されていません。\"}\n");
  run = Execute({"--text", "x"});
  EXPECT_EQ(run.exitStatus, 2);
  EXPECT_EQ(run.LastErrorLine(), "ファイルが選択されていません。");
  run = Execute({"--regex", "--text", "図(", folder.File("plans")});
  EXPECT_EQ(run.exitStatus, 2);
  EXPECT_EQ(run.err.rfind("正規表現が正しくありません。\n", 0), 0u);
  EXPECT_EQ(Execute({"--range", "nowhere", "x.jww"}).exitStatus, 2);
}

TEST_F(DorvanSearch, CtrlCCancels) {
  ProgramRun run = Execute({"--text", "図面", folder.File("plans")}, true);
  EXPECT_EQ(run.exitStatus, 130);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.LastErrorLine(), "キャンセルされました 。");
  run = Execute({"--json", "--text", "図面", folder.File("plans/b.jww")}, true);
  EXPECT_EQ(run.exitStatus, 130);
  EXPECT_EQ(run.out, "{\"found\": [], \"unreadable\": [], \"code\": 0, \"message\": "
                     "\"キャンセルされました 。\"}\n");
}

TEST_F(DorvanSearch, MatchesAndCountsAfterEachPath) {
  const std::string a = folder.File("plans/A.JWW"), b = folder.File("plans/b.jww");
  ProgramRun run = Execute({"--matches", "--no-recursive", "--text", "図面", folder.File("plans")});
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.out, a + "\n    [ブロック SHEET #1] 0-0 (10.00, 20.00) 図面\n" + b +
                         "\n    [図面] 0-0 (10.00, 20.00) 図面番号\n");
  run = Execute({"--count", "--no-recursive", "--text", "図面", folder.File("plans")});
  EXPECT_EQ(run.out, a + ":1\n" + b + ":1\n");
  run = Execute({"--matches", "--range", "memo", "--text", "memo", b});
  EXPECT_EQ(run.out, b + "\n    [メモ 1行目] first memo\n");
}

TEST_F(DorvanSearch, JsonMatchesBesideTheExistingKeys) {
  const std::string b = folder.File("plans/b.jww");
  const std::string head = "{\"found\": [\"" + b + "\"], \"unreadable\": [], \"code\": 10, \"message\": \"" +
                           BuildResultMessage(0, "図面番号", 1) + "\"";
  EXPECT_EQ(Execute({"--json", "--matches", "--text", "図面番号", b}).out,
            head + ", \"matches\": [{\"path\": \"" + b + "\", \"total\": 1, \"items\": [{\"range\": \"data\", "
                   "\"text\": \"図面番号\", \"block\": null, \"layer_group\": 0, \"layer\": 0, "
                   "\"layer_group_name\": \"\", \"layer_name\": \"\", \"x\": 10, \"y\": 20, \"index\": 1}]}]}\n");
  EXPECT_EQ(Execute({"--json", "--count", "--text", "図面番号", b}).out,
            head + ", \"matches\": [{\"path\": \"" + b + "\", \"total\": 1}]}\n");
}

std::string DecodeBase64(std::string_view text) {
  const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string bytes;
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    if (c == '=') break;
    bits = (bits << 6) | static_cast<uint32_t>(digits.find(c));
    count += 6;
    if (count >= 8) {
      count -= 8;
      bytes += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return bytes;
}

TEST_F(DorvanSearch, JsonGivesBackAPathThatIsNotUtf8) {
  // "図面.jww" in Shift-JIS, as a drawing copied from a Windows share may be named.
  const std::string path = folder.File("\x90\x7d\x96\xca.jww");
  testing::DrawingRecipe recipe;
  recipe.texts = {u"図面"};
  Write("\x90\x7d\x96\xca.jww", recipe);
  ProgramRun run = Execute({"--text", "図面", path});
  EXPECT_EQ(run.out, path + "\n");  // text output: the bytes as they are
  run = Execute({"--json", "--matches", "--text", "図面", path});
  const std::string prefix = "{\"found\": [{\"bytes\": \"";
  ASSERT_EQ(run.out.rfind(prefix, 0), 0u) << run.out;
  const std::size_t end = run.out.find('"', prefix.size());
  EXPECT_EQ(DecodeBase64(run.out.substr(prefix.size(), end - prefix.size())), path);
  EXPECT_NE(run.out.find("\"matches\": [{\"path\": {\"bytes\": "), std::string::npos);
}

TEST_F(DorvanSearch, RepeatSearchesFromTheIndexPrintWhatReadingPrints) {
  const std::vector<std::vector<std::string>> searches = {
      {"--text", "図面"}, {"--range", "memo", "--text", "first"}, {"--range", "block", "--text", ""}};
  for (std::vector<std::string> search : searches) {
    search.push_back(folder.File("plans"));
    std::vector<std::string> noIndex = search;
    noIndex.insert(noIndex.begin(), "--no-index");
    const ProgramRun read = Execute(noIndex);
    for (int run = 0; run < 2; ++run) {
      const ProgramRun indexed = Execute(search);
      EXPECT_EQ(indexed.exitStatus, read.exitStatus) << search[1];
      EXPECT_EQ(indexed.out, read.out) << search[1];
      EXPECT_EQ(indexed.err, read.err) << search[1];
    }
  }
  struct stat info {};
  EXPECT_EQ(::stat(folder.File("cache/dorvan/index.sqlite3").c_str(), &info), 0);

  // Drawings are kept only once they have been left alone for two seconds.
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  std::vector<std::string> stats = {"--index-stats", "--index", folder.File("other.sqlite3"), "--text", "図面",
                                    folder.File("plans")};
  EXPECT_NE(Execute(stats).err.find("hit rate 0.0 % (0 of 4 drawings from the index)"), std::string::npos);
  EXPECT_NE(Execute(stats).err.find("hit rate 100.0 % (4 of 4 drawings from the index)"), std::string::npos);
}

TEST_F(DorvanSearch, AnIndexThatCannotBeOpenedIsToldOnceAndTheDrawingsAreRead) {
  // A folder where the index file should be: it can be neither opened nor made.
  ASSERT_EQ(::mkdir(folder.File("taken").c_str(), 0755), 0);
  const ProgramRun run = Execute({"--index", folder.File("taken"), "--text", "図面", folder.File("plans")});
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.out, Execute({"--no-index", "--text", "図面", folder.File("plans")}).out);
  const std::string note = "dorvan-search: the index " + folder.File("taken");
  ASSERT_NE(run.err.find(note), std::string::npos);
  EXPECT_EQ(run.err.find(note, run.err.find(note) + 1), std::string::npos);
}

TEST_F(DorvanSearch, AFileNamedAsTheIndexThatIsNoIndexIsLeftAsItIsAndADamagedOneAtTheDefaultPlaceIsMadeAgain) {
  const std::string notes = folder.Write("notes.txt", "my notes, named as the index by mistake\n");
  ProgramRun run = Execute({"--index", notes, "--text", "図面", folder.File("plans")});
  EXPECT_EQ(run.out, Execute({"--no-index", "--text", "図面", folder.File("plans")}).out);
  EXPECT_NE(run.err.find("the index " + notes + " is not a dorvan index and is left as it is"), std::string::npos)
      << run.err;
  EXPECT_EQ(ReadAll(notes), "my notes, named as the index by mistake\n");

  folder.Write("cache/dorvan/index.sqlite3", "damaged beyond recognition");
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));  // the drawings are quiet
  run = Execute({"--index-stats", "--text", "図面", folder.File("plans")});
  EXPECT_EQ(run.err.find("dorvan-search: the index"), std::string::npos) << run.err;
  run = Execute({"--index-stats", "--text", "図面", folder.File("plans")});
  EXPECT_NE(run.err.find("hit rate 100.0 %"), std::string::npos) << run.err;
}

TEST_F(DorvanSearch, UndecidedDrawingsAreNamedAndNothingFoundIsNotClaimed) {
  testing::DrawingRecipe recipe;
  recipe.texts = {std::u16string(30, u'Ａ') + u"Ｃ"};
  folder.MakeFolder("hard");
  Write("hard/a.jww", recipe);
  const std::string path = folder.File("hard/a.jww");
  ProgramRun run = Execute({"--regex", "--text", "Ｃ|(Ａ|Ａ)+$", path});
  EXPECT_EQ(run.exitStatus, 3);
  EXPECT_NE(run.err.find("undecided: " + path + "\n"), std::string::npos) << run.err;
  run = Execute({"--json", "--regex", "--text", "Ｃ|(Ａ|Ａ)+$", path});
  EXPECT_NE(run.out.find("\"undecided\": [\"" + path + "\"]"), std::string::npos) << run.out;
}

TEST_F(DorvanSearch, HelpDocumentsTheOptions) {
  const ProgramRun run = Execute({"--help"});
  EXPECT_EQ(run.exitStatus, 0);
  for (const char* option : {"--range", "--text", "--word", "--case", "--regex", "--version",
                             "--size", "--dpi", "--no-recursive", "--json", "--matches", "--count",
                             "\"bytes\"", "--no-index", "--index", "--index-stats", "130"}) {
    EXPECT_NE(run.out.find(option), std::string::npos) << option;
  }
}

}  // namespace
}  // namespace dorvan
