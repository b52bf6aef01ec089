// The index never changes what a search gives: every request of a table runs over a
// corpus of written drawings (broken ones included) as a reading run, from a fresh index
// and from a filled one, and again after the files changed under the index; found list,
// unreadable list, result code and message, match records, reader messages and every
// observer call must be those of the reading run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
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

struct Request {
  std::string label;
  int range = RangeData;
  std::u16string text;
  bool word = false, caseSensitive = false, pattern = false;
  int versionIndex = -1, sizeIndex = -1;
  bool dpi300 = true;
};

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

std::vector<Request> Requests() {
  std::vector<Request> requests = {
      {"data, occurrence", RangeData, u"図面番号"},
      {"data, normalised spelling", RangeData, u"a-101"},
      {"data, half-width kana composed", RangeData, u"ﾃﾞｻﾞｲﾝ"},
      {"data, two characters", RangeData, u"デザ"},
      {"data, block text", RangeData, u"ガス管"},
      {"data, case-sensitive kana at an edge", RangeData, u"ｶ", false, true},
      {"data, case-sensitive composed", RangeData, u"ｶﾞｽ管", false, true},
      {"data, width and case", RangeData, u"door"},
      {"data, whole text", RangeData, u"DOOR", true},
      {"data, whole text of three", RangeData, u"ｶﾞｽ管", true},
      {"data, case-sensitive", RangeData, u"Door", false, true},
      {"data, pattern", RangeData, u"図.*号", false, false, true},
      {"data, pattern and whole text", RangeData, u"door", true, false, true},
      {"data, yen and backslash", RangeData, u"c:￥work"},
      {"data, quote in the text", RangeData, u"\"q\" mark"},
      {"data, nowhere", RangeData, u"no such text here"},
      {"memo across a break", RangeMemo, u"平面図縮尺"},
      {"memo, kana", RangeMemo, u"ｶﾞ"},
      {"layer group", RangeLayerGroupName, u"設備"},
      {"layer", RangeLayerName, u"壁"},
      {"layer, pattern", RangeLayerName, u"^ﾚ", false, false, true},
      {"line-width base 300", RangeLineWidthBase, u"", false, false, false, -1, -1, true},
      {"line-width base 600", RangeLineWidthBase, u"", false, false, false, -1, -1, false},
      {"block name", RangeBlockName, u"SHEET"},
      {"block name, any", RangeBlockName, u""},
      {"block name, pattern", RangeBlockName, u"^D", false, false, true},
  };
  for (int v = 0; v < static_cast<int>(kVersionItems.size()); ++v) {
    requests.push_back({"version " + std::string(kVersionItems[v]), RangeVersion, u"", false, false, false, v});
  }
  for (int s = 0; s < static_cast<int>(kSizeItems.size()); ++s) {
    requests.push_back({"size " + std::string(kSizeItems[s]), RangeDrawingSize, u"", false, false, false, -1, s});
  }
  return requests;
}

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
    DrawingRecipe plan;
    plan.memo = u"一階平面図\r\n縮尺1/100";
    plan.texts = {u"図面番号 A-101", u"ﾃﾞｻﾞｲﾝ室", u"ab", u"Door", u"xｶ", u"\"Q\" MARK"};
    plan.blocks.push_back({u"SHEET@@SfigorgFlag@@4", {u"表題", u"ｶﾞｽ管"}});
    plan.layerNames[2][5] = u"壁";
    plan.layerGroupNames[1] = u"設備";
    Write("a/plan.jww", plan);

    DrawingRecipe door;
    door.version = 700;
    door.strings = testing::StringForm::Utf16;
    door.drawingSize = 12;
    door.printLineWidthBase = 20;
    door.texts = {u"ＤＯＯＲ", u"c:\\work", u"ＤＯＯＲ"};
    door.blocks.push_back({u"@@SfigorgFlag@@DOOR", {u"ﾄﾞｱ"}});
    Write("a/Door.jww", door);

    DrawingRecipe old;
    old.version = 351;
    old.memo = u"ｶﾞ";
    old.texts = {u"デザイン"};
    old.layerNames[0][0] = u"ﾚｲﾔ";
    Write("b/old.jww", old);

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

  testing::TempFolder folder;
  std::vector<std::string> targets;
};

TEST_F(IndexEquivalence, FreshFilledAndAfterChangesTheIndexGivesWhatReadingGives) {
  struct stat info {};
  ASSERT_EQ(::stat(folder.File("b/large.jww").c_str(), &info), 0);
  ASSERT_GT(info.st_size, 1 << 20);
  {
    index::IndexedDrawingSource fresh(IndexPath());
    ExpectEveryRequestAsRead(fresh, "fresh index");
  }
  index::IndexedDrawingSource filled(IndexPath());
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
  index::IndexedDrawingSource changed(IndexPath());
  ExpectEveryRequestAsRead(changed, "after changes");
  ExpectEveryRequestAsRead(changed, "after changes, filled again");
}

TEST_F(IndexEquivalence, AnUnusableIndexIsToldOnceAndTheRunReads) {
  struct Case {
    std::string label;
    std::string content;  // of the file at the index's place
    bool usableNextRun;
  };
  const Case cases[] = {
      {"not a database", "plain text, no index", false},
      {"damaged database", std::string("SQLite format 3\0", 16) + std::string(5000, '\x5a'), true},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(testing::WriteBytesFile(IndexPath(), c.content));
    int told = 0;
    index::IndexedDrawingSource source(IndexPath(), [&](const index::IndexProblem&) { ++told; });
    const Request request = Requests().front();
    ReaderDrawingSource files;
    ExpectSame(Search(files, request, targets), Search(source, request, targets), c.label);
    EXPECT_EQ(told, c.usableNextRun ? 0 : 1) << c.label;  // a damaged index is made again at once
    ExpectSame(Search(files, request, targets), Search(source, request, targets), c.label + ", again");
    EXPECT_EQ(source.Counts().FromIndex > 0, c.usableNextRun) << c.label;
    ::unlink(IndexPath().c_str());
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
      index::IndexedDrawingSource filling(IndexPath());
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
    index::IndexedDrawingSource damaged(IndexPath(), [&](const index::IndexProblem&) { ++told; });
    ReaderDrawingSource files;
    ExpectSame(Search(files, request, targets), Search(damaged, request, targets), c.column);
    EXPECT_EQ(told, 1) << c.column;
    index::IndexedDrawingSource next(IndexPath());
    Search(next, request, targets);
    EXPECT_EQ(next.Counts().FromIndex, 0) << c.column << ": not made again";
  }
}

TEST_F(IndexEquivalence, TwoProgramsFillingOneIndexAtOnceBothGetWhatReadingGives) {
  auto program = [this](const std::string& name) {
    index::IndexedDrawingSource source(IndexPath(), [&name](const index::IndexProblem& problem) {
      ADD_FAILURE() << name << ": " << problem.Detail;
    });
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
    index::IndexedDrawingSource source(IndexPath());
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
    index::IndexedDrawingSource source(IndexPath(), {}, kToday);
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
