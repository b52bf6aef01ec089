// The index never changes what a search gives: every request of a table runs over a
// corpus of written drawings (broken ones included) as a reading run, from a fresh index
// and from a filled one, and again after the files changed under the index; found list,
// unreadable list, result code and message, match records, reader messages and every
// observer call must be those of the reading run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <thread>

#include "index/indexed_drawing_source.h"
#include "index/stored_drawing.h"
#include "reader/unicode_text.h"
#include "search/match_text.h"
#include "search/reader_drawing_source.h"
#include "search/search_items.h"
#include "search/search_range.h"
#include "search/search_run.h"
#include "search/text_normaliser.h"
#include "tests/support/drawing_writer.h"
#include "tests/support/equivalence_requests.h"
#include "tests/support/temp_folder.h"

namespace dorvan {
namespace {

using testing::DrawingRecipe;

// Every callback and reader message, in the order they came.
class Recorder : public SearchObserver, public ReaderMessages {
 public:
  void AddHistory(const std::u16string& text) override { events.push_back("history " + Utf16ToUtf8(text)); }
  void Progress(int current, int total) override {
    events.push_back("progress " + std::to_string(current) + "/" + std::to_string(total));
  }
  void Highlight(int index) override { events.push_back("highlight " + std::to_string(index)); }
  void Deselect(int index) override { events.push_back("deselect " + std::to_string(index)); }
  void Unreadable(const std::string& path) override { events.push_back("unreadable " + path); }
  void Found(const std::string& path, std::size_t position) override {
    events.push_back("found " + path + " at " + std::to_string(position));
  }
  void FoundMatches(std::size_t position, const DrawingMatches& matches) override {
    std::string line = "matches at " + std::to_string(position) + ": " + std::to_string(matches.Total);
    for (const MatchRecord& record : matches.Records) line += "\n" + MatchLine(record);
    events.push_back(line);
  }
  void ShowReaderMessage(const std::string& text, const std::string& title) override {
    events.push_back("message " + title + ": " + text);
  }
  std::vector<std::string> events;
};

using Request = testing::EquivalenceRequest;

SearchControls ControlsFor(const Request& request, const std::vector<std::string>& targets) {
  SearchControls controls;
  controls.Combo1Text = request.text;
  controls.Check1 = request.word;
  controls.Check2 = request.caseSensitive;
  controls.Check4 = request.pattern;
  controls.Check3[request.range] = true;
  controls.Combo2Index = request.versionIndex;
  if (request.versionIndex >= 0) controls.Combo2Text = Utf8ToUtf16(kVersionItems[request.versionIndex]);
  controls.Combo3Index = request.sizeIndex;
  if (request.sizeIndex >= 0) controls.Combo3Text = Utf8ToUtf16(kSizeItems[request.sizeIndex]);
  controls.Option1 = request.dpi300;
  controls.TargetList = targets;
  return controls;
}

std::vector<Request> Requests() { return testing::EquivalenceRequests(); }

struct Recorded {
  SearchOutcome outcome;
  std::vector<std::string> events;
};

Recorded Search(DrawingSource& source, const Request& request, const std::vector<std::string>& targets) {
  Recorded recorded;
  Recorder recorder;
  SearchRequest searchRequest;
  RunSettings settings;
  settings.CollectMatches = true;
  recorded.outcome = Works(ControlsFor(request, targets), searchRequest, source, recorder, &recorder, settings);
  recorded.events = std::move(recorder.events);
  return recorded;
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Rewrites a file in place, one write for all its bytes, as a save over a share does: the
// inode stays, and so does the size when the bytes have the old one's.
bool RewriteInPlace(const std::string& path, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY);
  if (fd < 0) return false;
  const bool written = ::pwrite(fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size());
  ::close(fd);
  return written;
}

void ExpectSame(const Recorded& read, const Recorded& indexed, const std::string& label) {
  EXPECT_EQ(indexed.outcome.Ending, read.outcome.Ending) << label;
  EXPECT_EQ(indexed.outcome.SearchResult, read.outcome.SearchResult) << label;
  EXPECT_EQ(indexed.outcome.Message, read.outcome.Message) << label;
  EXPECT_EQ(indexed.outcome.FoundList, read.outcome.FoundList) << label;
  EXPECT_EQ(indexed.outcome.ErrorFileList, read.outcome.ErrorFileList) << label;
  EXPECT_EQ(indexed.outcome.FoundMatches, read.outcome.FoundMatches) << label;
  EXPECT_EQ(indexed.events, read.events) << label;
}

class IndexEquivalence : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"a", "b", "cache"}) folder.MakeFolder(name);
    const DrawingRecipe plan = testing::EquivalencePlan();
    Write("a/plan.jww", plan);
    Write("a/Door.jww", testing::EquivalenceDoor());
    Write("b/old.jww", testing::EquivalenceOld());

    DrawingRecipe large;  // read one at a time in the arrays kept for large drawings
    large.version = 420;
    large.lines = 30000;
    large.texts = {u"図面番号 LARGE"};
    Write("b/large.jww", large);

    const std::string planBytes = testing::WriteDrawing(plan);
    for (std::size_t cut : {std::size_t{40}, planBytes.size() / 2, planBytes.size() - 9}) {
      const std::string name = "b/cut" + std::to_string(cut) + ".jww";
      ASSERT_TRUE(testing::WriteBytesFile(folder.File(name), planBytes.substr(0, cut)));
      targets.push_back(folder.File(name));
    }
    ASSERT_TRUE(testing::WriteBytesFile(folder.File("a/broken.jww"), "JwwData.garbage"));
    ASSERT_TRUE(testing::WriteBytesFile(folder.File("a/empty.jww"), ""));
    targets.push_back(folder.File("a/broken.jww"));
    targets.push_back(folder.File("a/empty.jww"));
    targets.push_back(folder.File("a/missing.jww"));
    targets.push_back(folder.path());  // a folder named as a target
  }

  void Write(const std::string& name, const DrawingRecipe& recipe) {
    ASSERT_TRUE(testing::WriteDrawingFile(folder.File(name), recipe));
    targets.push_back(folder.File(name));
  }

  // Every request over the targets: read, then through `index`, compared.
  void ExpectEveryRequestAsRead(DrawingSource& index, const std::string& pass) {
    for (const Request& request : Requests()) {
      ReaderDrawingSource files;
      ExpectSame(Search(files, request, targets), Search(index, request, targets), pass + ": " + request.label);
    }
  }

  std::string IndexPath() const { return folder.File("cache/index.sqlite3"); }

  // The drawings are written just before they are searched: kept at once, as if they had
  // been left alone for long.
  static index::IndexSourceOptions AtOnce() {
    index::IndexSourceOptions options;
    options.QuietPeriodNs = 0;
    return options;
  }

  testing::TempFolder folder;
  std::vector<std::string> targets;
};

TEST_F(IndexEquivalence, FreshFilledAndAfterChangesTheIndexGivesWhatReadingGives) {
  struct stat info {};
  ASSERT_EQ(::stat(folder.File("b/large.jww").c_str(), &info), 0);
  ASSERT_GT(info.st_size, 1 << 20);
  {
    index::IndexedDrawingSource fresh(IndexPath(), {}, AtOnce());
    ExpectEveryRequestAsRead(fresh, "fresh index");
  }
  index::IndexedDrawingSource filled(IndexPath(), {}, AtOnce());
  ExpectEveryRequestAsRead(filled, "filled index");
  // Only the folder and the missing file are read from the file system.
  EXPECT_EQ(filled.Counts().FromFiles, 0);
  EXPECT_EQ(filled.Counts().FromIndex, static_cast<int64_t>(targets.size()) - 2);

  // A text edited.
  DrawingRecipe edited;
  edited.texts = {u"図面番号 EDITED"};
  ASSERT_TRUE(testing::WriteDrawingFile(folder.File("a/plan.jww"), edited));
  // A file replaced by another of the same size, its modification time put back.
  ASSERT_EQ(::stat(folder.File("a/Door.jww").c_str(), &info), 0);
  DrawingRecipe sameSize;
  sameSize.version = 700;
  sameSize.strings = testing::StringForm::Utf16;
  sameSize.texts = {u"ＷＩＮＤ", u"c:\\work", u"図面番号"};
  sameSize.blocks.push_back({u"@@SfigorgFlag@@DOOR", {u"ﾄﾞｱ"}});
  ASSERT_TRUE(testing::WriteDrawingFile(folder.File("a/Door.jww"), sameSize));
  struct stat replaced {};
  ASSERT_EQ(::stat(folder.File("a/Door.jww").c_str(), &replaced), 0);
  ASSERT_EQ(replaced.st_size, info.st_size);
  const timespec times[2] = {info.st_atim, info.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, folder.File("a/Door.jww").c_str(), times, 0), 0);
  // A file deleted, permissions removed, a folder renamed.
  ASSERT_EQ(::unlink(folder.File("b/old.jww").c_str()), 0);
  ASSERT_EQ(::chmod(folder.File("b/large.jww").c_str(), 0), 0);
  ASSERT_EQ(::rename(folder.File("a").c_str(), folder.File("c").c_str()), 0);
  for (std::string& target : targets) {
    if (target.rfind(folder.File("a/"), 0) == 0) target = folder.File("c/") + target.substr(folder.File("a/").size());
  }
  index::IndexedDrawingSource changed(IndexPath(), {}, AtOnce());
  ExpectEveryRequestAsRead(changed, "after changes");
  ExpectEveryRequestAsRead(changed, "after changes, filled again");
}

TEST_F(IndexEquivalence, AFileThatIsNoIndexIsLeftAsItIsUnlessItIsAtTheProgramsOwnPlace) {
  auto foreignDatabase = [](const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  };
  struct Case {
    std::string label;
    std::function<void(const std::string&)> make;  // what is at the index's place
    bool ownPlace;
    bool usable;  // else told once and left byte for byte
  };
  const Case cases[] = {
      {"a text file", [](const std::string& p) { testing::WriteBytesFile(p, "plain text, no index"); }, false, false},
      {"another program's database",
       [&](const std::string& p) { foreignDatabase(p, "CREATE TABLE notes(x); INSERT INTO notes VALUES(1)"); }, false,
       false},
      {"a damaged database",
       [](const std::string& p) { testing::WriteBytesFile(p, std::string("SQLite format 3\0", 16) + std::string(5000, 'Z')); },
       false, false},
      {"an empty file", [](const std::string& p) { testing::WriteBytesFile(p, ""); }, false, true},
      {"a damaged database at the own place",
       [](const std::string& p) { testing::WriteBytesFile(p, std::string("SQLite format 3\0", 16) + std::string(5000, 'Z')); },
       true, true},
      {"a text file at the own place", [](const std::string& p) { testing::WriteBytesFile(p, "text"); }, true, true},
  };
  const Request request = Requests().front();
  ReaderDrawingSource files;
  const Recorded read = Search(files, request, targets);
  for (const Case& c : cases) {
    c.make(IndexPath());
    const std::string before = FileBytes(IndexPath());
    index::IndexSourceOptions options = AtOnce();
    options.OwnFile = c.ownPlace;
    std::vector<index::IndexFailure> told;
    index::IndexedDrawingSource source(
        IndexPath(), [&](const index::IndexProblem& problem) { told.push_back(problem.Failure); }, options);
    ExpectSame(read, Search(source, request, targets), c.label);
    ExpectSame(read, Search(source, request, targets), c.label + ", again");
    if (c.usable) {
      EXPECT_TRUE(told.empty()) << c.label;
      EXPECT_GT(source.Counts().FromIndex, 0) << c.label;
    } else {
      EXPECT_EQ(told, (std::vector<index::IndexFailure>{index::IndexFailure::NotAnIndex,
                                                          index::IndexFailure::NotAnIndex}))
          << c.label;
      EXPECT_EQ(FileBytes(IndexPath()), before) << c.label;
      EXPECT_NE(::access((IndexPath() + "-wal").c_str(), F_OK), 0) << c.label;
    }
    for (const char* suffix : {"", "-wal", "-shm", ".rebuild"}) ::unlink((IndexPath() + suffix).c_str());
  }
}

TEST_F(IndexEquivalence, AnEntryDamagedInPlaceIsToldAndTheIndexMadeAgain) {
  // Bytes a crash left from another moment decode as well as the right ones: a memo of
  // another spelling, a signature without the bits of the drawing's texts, another text.
  struct Case {
    std::string column;
    std::function<void(std::string&)> damage;
  };
  const Case cases[] = {
      {"header", [](std::string& bytes) { bytes[17] ^= 1; }},  // the memo's first unit
      {"signature", [](std::string& bytes) { bytes.assign(bytes.size(), '\0'); }},
      {"data", [](std::string& bytes) { bytes.back() ^= 1; }},  // the last distinct text
  };
  const Request request = Requests().front();
  const std::string plan = folder.File("a/plan.jww");
  for (const Case& c : cases) {
    {
      index::IndexedDrawingSource filling(IndexPath(), {}, AtOnce());
      Search(filling, request, targets);
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(IndexPath().c_str(), &db), SQLITE_OK);
    sqlite3_stmt* select = nullptr;
    const std::string selectSql = "SELECT " + c.column + " FROM drawings WHERE path = ?";
    ASSERT_EQ(sqlite3_prepare_v2(db, selectSql.c_str(), -1, &select, nullptr), SQLITE_OK);
    sqlite3_bind_blob(select, 1, plan.data(), static_cast<int>(plan.size()), SQLITE_STATIC);
    ASSERT_EQ(sqlite3_step(select), SQLITE_ROW) << c.column;
    std::string bytes(static_cast<const char*>(sqlite3_column_blob(select, 0)), sqlite3_column_bytes(select, 0));
    sqlite3_finalize(select);
    ASSERT_GT(bytes.size(), 17u) << c.column;
    c.damage(bytes);
    sqlite3_stmt* update = nullptr;
    const std::string updateSql = "UPDATE drawings SET " + c.column + " = ?1 WHERE path = ?2";
    ASSERT_EQ(sqlite3_prepare_v2(db, updateSql.c_str(), -1, &update, nullptr), SQLITE_OK);
    sqlite3_bind_blob(update, 1, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC);
    sqlite3_bind_blob(update, 2, plan.data(), static_cast<int>(plan.size()), SQLITE_STATIC);
    ASSERT_EQ(sqlite3_step(update), SQLITE_DONE);
    sqlite3_finalize(update);
    sqlite3_close(db);

    int told = 0;
    index::IndexedDrawingSource damaged(IndexPath(), [&](const index::IndexProblem&) { ++told; }, AtOnce());
    ReaderDrawingSource files;
    ExpectSame(Search(files, request, targets), Search(damaged, request, targets), c.column);
    EXPECT_EQ(told, 1) << c.column;
    index::IndexedDrawingSource next(IndexPath(), {}, AtOnce());
    Search(next, request, targets);
    EXPECT_EQ(next.Counts().FromIndex, 0) << c.column << ": not made again";
  }
}

TEST_F(IndexEquivalence, TwoProgramsFillingOneIndexAtOnceBothGetWhatReadingGives) {
  auto program = [this](const std::string& name) {
    index::IndexedDrawingSource source(
        IndexPath(), [&name](const index::IndexProblem& problem) { ADD_FAILURE() << name << ": " << problem.Detail; },
        AtOnce());
    ExpectEveryRequestAsRead(source, name);
  };
  std::thread first(program, "first program");
  program("second program");
  first.join();
}

TEST_F(IndexEquivalence, AnIndexAnotherProgramIsMakingIsWaitedForNotGivenUp) {
  // The other program holds the write lock of the new, still empty database: turning the
  // write-ahead log on must wait for it like any other lock.
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(IndexPath().c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  std::thread release([other] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
  });
  index::IndexProblem problem;
  const std::unique_ptr<index::IndexDatabase> database = index::IndexDatabase::Open(IndexPath(), 20000, problem);
  release.join();
  EXPECT_TRUE(database) << problem.Detail;
}

TEST_F(IndexEquivalence, AFirstFillLeavesTheIndexInWalModeForLaterReadersAndWriters) {
  {
    index::IndexedDrawingSource source(IndexPath(), {}, AtOnce());
    Search(source, Requests().front(), targets);
  }
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(IndexPath().c_str(), &db), SQLITE_OK);
  sqlite3_stmt* mode = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &mode, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(mode), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(mode, 0)), "wal");
  sqlite3_finalize(mode);
  sqlite3_close(db);
}

TEST_F(IndexEquivalence, EntriesNotSeenFor90DaysArePrunedWhenTheIndexOpens) {
  constexpr int64_t kToday = 20000;
  {
    index::IndexSourceOptions options = AtOnce();
    options.Today = [] { return kToday; };
    index::IndexedDrawingSource source(IndexPath(), {}, options);
    Search(source, Requests().front(), targets);
  }
  for (const auto& [day, entries] : {std::pair<int64_t, bool>{kToday + 90, true}, {kToday + 91, false}}) {
    index::IndexProblem problem;
    const std::unique_ptr<index::IndexDatabase> database = index::IndexDatabase::Open(IndexPath(), day, problem);
    ASSERT_TRUE(database) << problem.Detail;
    index::IndexStats stats;
    ASSERT_TRUE(database->Stats(stats, problem));
    EXPECT_EQ(stats.Entries > 0, entries) << day;
  }
}

// Two versions of one drawing of the same size, told apart by a search for "版B".
testing::DrawingRecipe Version(char16_t letter) {
  DrawingRecipe recipe;
  recipe.texts = {std::u16string(u"版") + letter + u" 図面"};
  return recipe;
}

bool Finds(DrawingSource& source, const std::u16string& text, const std::string& path) {
  Request request{"", RangeData, text};
  const Recorded recorded = Search(source, request, {path});
  return recorded.outcome.FoundList == std::vector<std::string>{path};
}

TEST_F(IndexEquivalence, ADrawingChangedMomentsBeforeItIsReadIsReadAgainUntilItHasBeenQuiet) {
  const std::string path = folder.File("a/busy.jww");
  ASSERT_TRUE(testing::WriteDrawingFile(path, Version(u'A')));
  index::IndexedDrawingSource source(IndexPath());
  EXPECT_TRUE(Finds(source, u"版A", path));
  EXPECT_TRUE(Finds(source, u"版A", path));
  EXPECT_EQ(source.Counts().FromIndex, 0);

  // A writer saving the drawing again and again while searches read it: whatever half-
  // written bytes a search met, the search after the last save finds the last version.
  const std::string a = testing::WriteDrawing(Version(u'A')), b = testing::WriteDrawing(Version(u'B'));
  ASSERT_EQ(a.size(), b.size());
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; !stop.load(); ++i) RewriteInPlace(path, i % 2 == 0 ? a : b);
    RewriteInPlace(path, b);
  });
  for (int i = 0; i < 50; ++i) Finds(source, u"版B", path);
  stop.store(true);
  writer.join();
  EXPECT_TRUE(Finds(source, u"版B", path));
  EXPECT_FALSE(Finds(source, u"版A", path));
}

TEST_F(IndexEquivalence, ARewriteWithinTheSameSecondOnAFileSystemOfWholeSecondsIsNotMissed) {
  // ext4 with 128-byte inodes keeps whole seconds: the rewrite keeps every part of the stamp.
  const std::string image = folder.File("seconds.img"), mountPoint = folder.MakeFolder("seconds");
  const std::string make = "truncate -s 8M " + image + " && mkfs.ext4 -q -I 128 " + image + " 2>/dev/null";
  if (::geteuid() != 0 || std::system(make.c_str()) != 0 ||
      std::system(("mount -o loop " + image + " " + mountPoint + " 2>/dev/null").c_str()) != 0) {
    GTEST_SKIP() << "needs root and a loop device to mount a file system of whole seconds";
  }
  struct Unmount {
    std::string at;
    ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
  } unmount{mountPoint};
  const std::string path = mountPoint + "/plan.jww";
  const std::string a = testing::WriteDrawing(Version(u'A')), b = testing::WriteDrawing(Version(u'B'));
  index::IndexedDrawingSource source(IndexPath());
  for (int attempt = 0; attempt < 3; ++attempt) {
    // Begin just after a second starts, so the writes and the search share it.
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    std::this_thread::sleep_for(std::chrono::seconds(1) - (now % std::chrono::seconds(1)) +
                                std::chrono::milliseconds(20));
    ASSERT_TRUE(testing::WriteBytesFile(path, a));
    const std::optional<index::FileStamp> before = index::StampOf(path);
    EXPECT_TRUE(Finds(source, u"版A", path));
    ASSERT_TRUE(RewriteInPlace(path, b));
    if (index::StampOf(path) != before) continue;  // the second turned meanwhile
    EXPECT_TRUE(Finds(source, u"版B", path));
    return;
  }
  GTEST_SKIP() << "could not rewrite within one second";
}

// Runs every read of the wrapped source while no file can be opened, as when a process
// has used up its files (or its memory, or access is refused): the reads fail on the
// files, not on their bytes.
class NoFilesToOpen : public DrawingSource {
 public:
  explicit NoFilesToOpen(DrawingSource& inner) : inner_(inner) {}
  bool Read(const std::string& path, bool whole, JwwDrawing& out, ReaderMessages* messages) override {
    return inner_.Read(path, whole, out, messages);
  }
  void ReadRun(const std::vector<const std::string*>& paths, bool whole, JwwDrawing& out,
               const std::function<ReaderMessages*(std::size_t)>& messagesFor,
               const std::function<void(std::size_t, bool)>& each) override {
    inner_.ReadRun(paths, whole, out, messagesFor, each);
  }
  void DoneWith(JwwDrawing& drawing) override { inner_.DoneWith(drawing); }
  void BeginRun(const SearchRequest& request) override {
    inner_.BeginRun(request);
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    const int lowestFree = ::dup(0);
    ::close(lowestFree);
    rlimit none = saved_;
    none.rlim_cur = static_cast<rlim_t>(lowestFree);
    ::setrlimit(RLIMIT_NOFILE, &none);
  }
  void EndRun() override {
    ::setrlimit(RLIMIT_NOFILE, &saved_);
    inner_.EndRun();
  }

 private:
  DrawingSource& inner_;
  rlimit saved_{};
};

TEST_F(IndexEquivalence, ADrawingThatCouldNotBeOpenedIsNotKeptAsUnreadable) {
  for (const Request& request : {Requests().front(), Request{"memo", RangeMemo, u"ｶﾞ"}}) {
    index::IndexedDrawingSource source(IndexPath(), {}, AtOnce());
    NoFilesToOpen starved(source);
    const Recorded failed = Search(starved, request, targets);
    EXPECT_TRUE(failed.outcome.FoundList.empty()) << request.label;
    ReaderDrawingSource files;
    ExpectSame(Search(files, request, targets), Search(source, request, targets), request.label + ", files back");
    for (const char* suffix : {"", "-wal", "-shm"}) ::unlink((IndexPath() + suffix).c_str());
  }
}

TEST_F(IndexEquivalence, OneDrawingNamedThroughAnotherFolderPathIsOneEntry) {
  index::IndexedDrawingSource source(IndexPath(), {}, AtOnce());
  const Request request = Requests().front();
  Search(source, request, targets);
  index::IndexStats filled;
  ASSERT_TRUE(source.Stats(filled));
  ASSERT_EQ(::symlink(folder.File("a").c_str(), folder.File("linked").c_str()), 0);
  char* here = ::getcwd(nullptr, 0);
  const std::string cwd(here);
  std::free(here);
  std::string relative;  // from the working folder to the drawing's, by ".."
  for (std::size_t at = 0; (at = cwd.find('/', at)) != std::string::npos; ++at) relative += "../";
  const std::vector<std::string> spellings = {folder.File("linked/plan.jww"), folder.File("b/../a/plan.jww"),
                                              folder.File("a/./plan.jww"), relative + folder.File("a/plan.jww").substr(1)};
  for (const std::string& path : spellings) {
    const index::RunCounts before = source.Counts();
    ReaderDrawingSource files;
    const Recorded read = Search(files, request, {path});
    ExpectSame(read, Search(source, request, {path}), path);
    EXPECT_EQ(read.outcome.FoundList, std::vector<std::string>{path});  // shown as given
    EXPECT_EQ(source.Counts().FromIndex, 1) << path << " (before: " << before.FromIndex << ")";
  }
  index::IndexStats after;
  ASSERT_TRUE(source.Stats(after));
  EXPECT_EQ(after.Entries, filled.Entries);
}

TEST_F(IndexEquivalence, AWholeReadAnswersTheHeaderRangesOfTheSameDrawing) {
  index::IndexedDrawingSource source(IndexPath(), {}, AtOnce());
  Search(source, Requests().front(), targets);
  ReaderDrawingSource files;
  const Request memo{"memo", RangeMemo, u"平面図"};
  ExpectSame(Search(files, memo, targets), Search(source, memo, targets), memo.label);
  // Read from the files: the drawings whose whole read failed on their bytes (their header
  // read is yet to be made); the missing file and the folder are not counted.
  int64_t wholeUnreadable = 0;
  for (const std::string& target : targets) {
    struct stat info {};
    JwwDrawing drawing;
    if (::stat(target.c_str(), &info) == 0 && S_ISREG(info.st_mode) && !files.Read(target, true, drawing, nullptr)) {
      ++wholeUnreadable;
    }
  }
  EXPECT_EQ(source.Counts().FromFiles, wholeUnreadable);
}

TEST_F(IndexEquivalence, StampsTheCallerKeepsAreTrustedWithoutAskingTheFileSystem) {
  const std::string plan = folder.File("a/plan.jww");
  const std::optional<index::FileStamp> kept = index::StampOf(plan);
  ASSERT_TRUE(kept);
  index::IndexedDrawingSource source(IndexPath(), {}, AtOnce());
  const Request request = Requests().front();
  const Recorded read = Search(source, request, {plan});
  // Gone from the disk, but the caller's watcher has not told it yet: answered as kept.
  ASSERT_EQ(::rename(plan.c_str(), folder.File("a/moved.jww").c_str()), 0);
  source.SetStampLookup([&](const std::string& path) { return path == plan ? kept : std::nullopt; });
  ExpectSame(read, Search(source, request, {plan}), "from the kept stamp");
  EXPECT_EQ(source.Counts().FromIndex, 1);
}

TEST_F(IndexEquivalence, AProgramKeptOpenForMonthsMarksTheEntriesItUsesWithTheDayOfEachRun) {
  int64_t day = 20000;
  index::IndexSourceOptions options = AtOnce();
  options.Today = [&day] { return day; };
  index::IndexedDrawingSource source(IndexPath(), {}, options);
  Search(source, Requests().front(), targets);
  day += 200;
  Search(source, Requests().front(), targets);
  index::IndexProblem problem;
  const std::unique_ptr<index::IndexDatabase> database = index::IndexDatabase::Open(IndexPath(), day + 90, problem);
  ASSERT_TRUE(database) << problem.Detail;
  index::IndexStats stats;
  ASSERT_TRUE(database->Stats(stats, problem));
  EXPECT_GT(stats.Entries, 0);
}

TEST(StoredDrawing, DamagedEntriesAreRefused) {
  JwwDrawing drawing = testing::ToDrawing([] {
    DrawingRecipe recipe;
    recipe.memo = u"memo";
    recipe.texts = {u"図面"};
    recipe.blocks.push_back({u"B", {u"x"}});
    return recipe;
  }());
  std::string header, data, messages;
  index::EncodeHeader(drawing.Header, header);
  index::EncodeData(drawing.Data, data);
  index::EncodeMessages({{"text", "title"}}, messages);
  for (std::size_t cut = 0; cut < header.size(); ++cut) {
    JwwHeader decoded;
    EXPECT_FALSE(index::DecodeHeader(header.substr(0, cut), decoded)) << cut;
  }
  for (std::size_t cut = 0; cut < data.size(); ++cut) {
    JwwDrawingData decoded;
    EXPECT_FALSE(index::DecodeData(data.substr(0, cut), decoded)) << cut;
  }
  std::vector<index::StoredMessage> decodedMessages;
  EXPECT_FALSE(index::DecodeMessages(messages.substr(0, messages.size() - 1), decodedMessages));
  EXPECT_FALSE(index::DecodeHeader(header + "x", drawing.Header));
}

TEST(StoredDrawing, ASignatureHoldsEveryPieceOfItsTextsAndRefusesOthers) {
  // Random texts over a small alphabet with kana, voiced marks and a surrogate pair, so
  // that normalisation composes and trigrams repeat; every piece of a normalised text of
  // three units or more must pass its drawing's signature.
  const std::u16string alphabet = u"aAｶﾞｽ管\U0001F600図ＺＸ-1";
  uint64_t state = 12345;
  auto next = [&state](uint64_t below) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return (state >> 33) % below;
  };
  int refused = 0;
  for (int round = 0; round < 200; ++round) {
    JwwDrawing drawing;
    for (int t = 0; t < 1 + static_cast<int>(next(5)); ++t) {
      std::u16string text;
      for (int c = 0; c < 2 + static_cast<int>(next(12)); ++c) text += alphabet[next(alphabet.size())];
      drawing.Data.Texts.push_back(TextEntity{});
      drawing.Data.Texts.back().Text = text;
    }
    std::string data, signature;
    index::EncodeData(drawing.Data, data, &signature);
    for (std::size_t t = 1; t < drawing.Data.Texts.size(); ++t) {
      const std::u16string normalised = Normalised(drawing.Data.Texts[t].Text);
      for (std::size_t from = 0; from + 3 <= normalised.size(); ++from) {
        const std::u16string piece = normalised.substr(from, 3 + next(normalised.size() - from - 2));
        EXPECT_TRUE(index::SignatureMayHold(signature, index::TrigramKeys(piece))) << round;
      }
    }
    if (!index::SignatureMayHold(signature, index::TrigramKeys(u"ない文字列"))) ++refused;
  }
  EXPECT_GT(refused, 190);
}

}  // namespace
}  // namespace dorvan
