#include "search/search_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <tuple>

#include "search/result_report.h"
#include "search/search_range.h"
#include "search_fixtures.h"

namespace dorvan {
namespace {

using testing::FakeDrawingSource;
using testing::MakeDrawing;

// Writes every callback down as a line, and cancels when asked for the `cancelAt`-th time.
class RecordingObserver : public SearchObserver {
 public:
  void AddHistory(const std::u16string&) override { events.push_back("history"); }
  bool CancelRequested() override {
    ++cancelQueries;
    return cancelQueries == cancelAt;
  }
  void Progress(int current, int total) override {
    events.push_back("progress " + std::to_string(current) + "/" + std::to_string(total));
  }
  void Highlight(int index) override { events.push_back("highlight " + std::to_string(index)); }
  void Deselect(int index) override { events.push_back("deselect " + std::to_string(index)); }
  void Unreadable(const std::string& path) override { events.push_back("unreadable " + path); }
  void Undecided(const std::string& path) override { events.push_back("undecided " + path); }
  void Found(const std::string& path, std::size_t position) override {
    events.push_back("found " + path + " at " + std::to_string(position));
  }
  std::vector<std::string> events;
  int cancelQueries = 0;
  int cancelAt = -1;
};

class RecordingMessages : public ReaderMessages {
 public:
  void ShowReaderMessage(const std::string& text, const std::string&) override {
    shown.push_back(text);
  }
  std::vector<std::string> shown;
};

SearchControls DataSearch(std::u16string text, std::vector<std::string> targets) {
  SearchControls controls;
  controls.Combo1Text = std::move(text);
  controls.Check3[RangeData] = true;
  controls.TargetList = std::move(targets);
  return controls;
}

const RunSettings kOneByOne{1};

TEST(Works, FindsSortsAndReports) {
  FakeDrawingSource source;
  source.Add("/d/b.jww", MakeDrawing({u"図面番号"}));
  source.Add("/d/A.jww", MakeDrawing({}, {{u"blk", {u"図面"}}}));
  source.Add("/d/c.jww", MakeDrawing({u"no"}));
  RecordingObserver observer;
  const SearchOutcome outcome = Works(DataSearch(u"図面", {"/d/b.jww", "/d/c.jww", "/d/A.jww"}),
                                      source, observer, nullptr, kOneByOne);
  EXPECT_EQ(outcome.Ending, RunEnding::Completed);
  EXPECT_EQ(outcome.SearchResult, 10);
  EXPECT_EQ(outcome.FoundList, (std::vector<std::string>{"/d/A.jww", "/d/b.jww"}));
  EXPECT_EQ(outcome.Message, BuildResultMessage(0, "図面", 2));
  EXPECT_EQ(outcome.LongestFoundPathBytes, 8u);
  EXPECT_EQ(observer.events,
            (std::vector<std::string>{"history", "progress 1/3", "highlight 0",
                                      "found /d/b.jww at 0", "progress 2/3", "highlight 1",
                                      "deselect 0", "progress 3/3", "highlight 2",
                                      "found /d/A.jww at 0", "deselect 1", "deselect 2"}));
  EXPECT_EQ(source.WholeReads(), (std::vector<bool>{true, true, true}));
}

TEST(Works, HeaderRangesReadOnlyHeaders) {
  FakeDrawingSource source;
  JwwDrawing drawing;
  drawing.Header.Memo = u"memo text";
  source.Add("/d/a.jww", drawing);
  SearchControls controls = DataSearch(u"MEMO", {"/d/a.jww"});
  controls.Check3 = {};
  controls.Check3[RangeMemo] = true;
  RecordingObserver observer;
  const SearchOutcome outcome = Works(controls, source, observer, nullptr, kOneByOne);
  EXPECT_EQ(outcome.SearchResult, 11);
  EXPECT_EQ(source.WholeReads(), std::vector<bool>{false});

  controls.Check3[RangeBlockName] = true;  // a higher range that needs the whole drawing
  Works(controls, source, observer, nullptr, kOneByOne);
  EXPECT_EQ(source.WholeReads(), (std::vector<bool>{false, true}));
}

TEST(Works, RefusedRequestReadsNothing) {
  FakeDrawingSource source;
  RecordingObserver observer;
  SearchControls controls = DataSearch(u"", {"/d/a.jww"});
  SearchRequest request;
  request.ReportText = u"earlier";
  const SearchOutcome outcome = Works(controls, request, source, observer, nullptr, kOneByOne);
  EXPECT_EQ(outcome.Ending, RunEnding::Refused);
  EXPECT_EQ(outcome.SearchResult, 0);
  EXPECT_EQ(outcome.Message, "対象文字が指定されていません。");
  EXPECT_EQ(outcome.Focus, FocusTarget::Combo1);
  EXPECT_EQ(request.ReportText, u"earlier");
  EXPECT_TRUE(observer.events.empty());
  EXPECT_TRUE(source.Reads().empty());
}

TEST(Works, MalformedPatternReadsNoFile) {
  FakeDrawingSource source;
  source.Add("/d/a.jww", MakeDrawing({u"x"}));
  SearchControls controls = DataSearch(u"図(面", {"/d/a.jww"});
  controls.Check4 = true;
  RecordingObserver observer;
  const SearchOutcome outcome = Works(controls, source, observer, nullptr, kOneByOne);
  EXPECT_EQ(outcome.Ending, RunEnding::MalformedPattern);
  EXPECT_EQ(outcome.SearchResult, 0);
  EXPECT_EQ(outcome.Message.rfind("正規表現が正しくありません。\n", 0), 0u);
  EXPECT_TRUE(source.Reads().empty());
  EXPECT_TRUE(outcome.FoundList.empty());

  // A pattern that is never tested (whole text wins under rule A) does not refuse the run.
  controls.Check1 = true;
  EXPECT_EQ(Works(controls, source, observer, nullptr, kOneByOne).Ending, RunEnding::Completed);
}

// PCRE2 gives up on `(Ａ|Ａ)+$` before a long run of Ａ: the Ｃ after them is never reached.
constexpr std::u16string_view kGivesUpOnLongRuns = u"Ｃ|(Ａ|Ａ)+$";

TEST(Works, APatternThatCannotBeDecidedOnATextLeavesItsDrawingUndecidedNotUnfound) {
  FakeDrawingSource source;
  source.Add("/d/a.jww", MakeDrawing({std::u16string(30, u'Ａ') + u"Ｃ"}));
  source.Add("/d/b.jww", MakeDrawing({std::u16string(30, u'Ａ') + u"Ｃ", u"Ｃ"}));  // decided by another text
  source.Add("/d/c.jww", MakeDrawing({u"Ｂ"}));
  SearchControls controls = DataSearch(std::u16string(kGivesUpOnLongRuns), {"/d/a.jww", "/d/b.jww", "/d/c.jww"});
  controls.Check4 = true;
  RecordingObserver observer;
  const SearchOutcome outcome = Works(controls, source, observer, nullptr, kOneByOne);
  EXPECT_EQ(outcome.Ending, RunEnding::Completed);
  EXPECT_EQ(outcome.FoundList, std::vector<std::string>{"/d/b.jww"});
  EXPECT_EQ(outcome.UndecidedList, std::vector<std::string>{"/d/a.jww"});
  EXPECT_NE(std::find(observer.events.begin(), observer.events.end(), "undecided /d/a.jww"), observer.events.end());
}

TEST(Works, ACancelDuringASlowPatternStopsInsideTheDrawing) {
  for (int threads : {1, 2}) {
    FakeDrawingSource source;
    source.concurrent = true;
    // Each text takes PCRE2 to its limit; the last would make the drawing found.
    std::vector<std::u16string> slow(60, std::u16string(30, u'Ａ') + u"Ｂ");
    slow.push_back(u"Ｃ");
    source.Add("/d/slow.jww", MakeDrawing(slow));
    source.Add("/d/next.jww", MakeDrawing({u"Ｃ"}));
    SearchControls controls = DataSearch(std::u16string(kGivesUpOnLongRuns), {"/d/slow.jww", "/d/next.jww"});
    controls.Check4 = true;
    RecordingObserver observer;
    observer.cancelAt = 2;  // the first question comes before the first drawing
    RunSettings settings;
    settings.ReadThreads = threads;
    const SearchOutcome outcome = Works(controls, source, observer, nullptr, settings);
    EXPECT_TRUE(outcome.Cancelled()) << threads;
    EXPECT_TRUE(outcome.FoundList.empty()) << threads;
    EXPECT_TRUE(outcome.UndecidedList.empty()) << threads;
  }
}

TEST(Works, CancelBeforeTheFirstFile) {
  FakeDrawingSource source;
  source.Add("/d/a.jww", MakeDrawing({u"x"}));
  RecordingObserver observer;
  observer.cancelAt = 1;
  const SearchOutcome outcome =
      Works(DataSearch(u"x", {"/d/a.jww"}), source, observer, nullptr, kOneByOne);
  EXPECT_EQ(outcome.Ending, RunEnding::Cancelled);
  EXPECT_EQ(outcome.SearchResult, 0);
  EXPECT_EQ(outcome.Message, "キャンセルされました 。");
  EXPECT_TRUE(outcome.FoundList.empty());
  EXPECT_EQ(observer.events, std::vector<std::string>{"history"});
  EXPECT_TRUE(source.Reads().empty());
}

TEST(Works, CancelDuringAFileKeepsWhatWasFound) {
  FakeDrawingSource source;
  std::vector<std::string> targets;
  for (int i = 1; i <= 5; ++i) {
    targets.push_back("/d/" + std::to_string(i) + ".jww");
    source.Add(targets.back(), MakeDrawing({u"x"}));
  }
  RecordingObserver observer;
  observer.cancelAt = 3;  // asked before file 3: files 1 and 2 are done
  const SearchOutcome outcome = Works(DataSearch(u"x", targets), source, observer, nullptr, kOneByOne);
  EXPECT_TRUE(outcome.Cancelled());
  EXPECT_EQ(outcome.FoundList, (std::vector<std::string>{"/d/1.jww", "/d/2.jww"}));
  EXPECT_EQ(source.Reads(), (std::vector<std::string>{"/d/1.jww", "/d/2.jww"}));
  EXPECT_EQ(observer.events.back(), "deselect 1");
  EXPECT_EQ(observer.events[observer.events.size() - 2], "deselect 0");
}

TEST(Works, EveryFileUnreadable) {
  FakeDrawingSource source;
  source.AddUnreadable("/d/漢字.jww", "header message");
  source.AddUnreadable("/d/a.jww");
  RecordingObserver observer;
  RecordingMessages messages;
  SearchControls controls = DataSearch(u"x", {"/d/漢字.jww", "/d/a.jww", "/d/missing.jww"});
  controls.Check3 = {};
  controls.Check3[RangeBlockName] = true;
  const SearchOutcome outcome = Works(controls, source, observer, &messages, kOneByOne);
  EXPECT_EQ(outcome.ErrorFileList,
            (std::vector<std::string>{"/d/漢字.jww", "/d/a.jww", "/d/missing.jww"}));
  EXPECT_EQ(outcome.LongestErrorPathBytes, 14u);  // windows-31j: each kanji is two bytes
  EXPECT_EQ(outcome.SearchResult, 7);
  EXPECT_EQ(outcome.Message, BuildResultMessage(7, "x", 0));
  EXPECT_EQ(messages.shown, std::vector<std::string>{"header message"});
}

// Reading ahead on worker threads must not change anything the caller sees, for a range
// that reads whole drawings one by one and for a header range read in batches; at each
// cancel point (-1: none).
class ReadAheadTest : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(ReadAheadTest, GivesExactlyTheOneByOneRun) {
  const auto [cancelAt, range] = GetParam();
  FakeDrawingSource source;
  source.concurrent = true;
  std::vector<std::string> targets;
  for (int i = 0; i < 300; ++i) {
    const std::string path = "/d/" + std::string(i % 2 ? "B" : "a") + std::to_string(i) + ".jww";
    targets.push_back(path);
    if (i % 7 == 3) {
      source.AddUnreadable(path, "message " + std::to_string(i));
    } else {
      JwwDrawing drawing = MakeDrawing({i % 5 == 0 ? u"needle" : u"hay"},
                                       {{u"b", {i % 11 == 0 ? u"NEEDLE" : u"x"}}});
      drawing.Header.Memo = i % 3 == 0 ? u"a needle memo" : u"memo";
      source.Add(path, std::move(drawing));
    }
  }
  SearchControls controls = DataSearch(u"needle", targets);
  controls.Check3 = {};
  controls.Check3[range] = true;
  auto run = [&](int threads) {
    RecordingObserver observer;
    observer.cancelAt = cancelAt;
    RecordingMessages messages;
    SearchOutcome outcome = Works(controls, source, observer, &messages, RunSettings{threads});
    observer.events.insert(observer.events.end(), messages.shown.begin(), messages.shown.end());
    return std::make_pair(outcome, observer.events);
  };
  const auto [expected, expectedEvents] = run(1);
  EXPECT_EQ(expected.Ending == RunEnding::Cancelled, cancelAt != -1);
  for (int threads : {2, 3}) {
    const auto [outcome, events] = run(threads);
    EXPECT_EQ(outcome.Ending, expected.Ending);
    EXPECT_EQ(outcome.SearchResult, expected.SearchResult);
    EXPECT_EQ(outcome.Message, expected.Message);
    EXPECT_EQ(outcome.FoundList, expected.FoundList);
    EXPECT_EQ(outcome.ErrorFileList, expected.ErrorFileList);
    EXPECT_EQ(events, expectedEvents);
  }
}

TEST(Works, PatternSearchOnWorkerThreadsGivesTheOneByOneResult) {
  FakeDrawingSource source;
  source.concurrent = true;
  std::vector<std::string> targets;
  for (int i = 0; i < 200; ++i) {
    targets.push_back("/d/" + std::to_string(i) + ".jww");
    source.Add(targets.back(), MakeDrawing({i % 3 ? u"図面番号" : u"図番"}));
  }
  SearchControls controls = DataSearch(u"図面+番", targets);
  controls.Check4 = true;
  RecordingObserver one, three;
  const SearchOutcome expected = Works(controls, source, one, nullptr, RunSettings{1});
  const SearchOutcome outcome = Works(controls, source, three, nullptr, RunSettings{3});
  EXPECT_EQ(expected.FoundList.size(), 133u);
  EXPECT_EQ(outcome.FoundList, expected.FoundList);
  EXPECT_EQ(three.events, one.events);
}

// The events without the progress totals, which a growing list counts as it grows.
std::vector<std::string> WithoutProgress(std::vector<std::string> events) {
  std::erase_if(events, [](const std::string& e) { return e.rfind("progress", 0) == 0; });
  return events;
}

// A target list filled on another thread while the run reads it gives the run over the
// complete list, on one thread and on several, for a header range and a whole-drawing one.
TEST(Works, GrowingTargetListGivesTheRunOverTheCompleteList) {
  FakeDrawingSource source;
  source.concurrent = true;
  std::vector<std::string> targets;
  for (int i = 0; i < 120; ++i) {
    targets.push_back("/d/" + std::to_string(i) + ".jww");
    if (i % 9 == 4) {
      source.AddUnreadable(targets.back(), "message " + std::to_string(i));
      continue;
    }
    JwwDrawing drawing = MakeDrawing({i % 4 == 0 ? u"needle" : u"hay"});
    drawing.Header.Memo = i % 6 == 0 ? u"needle" : u"memo";
    source.Add(targets.back(), std::move(drawing));
  }
  for (int range : {int{RangeData}, int{RangeMemo}}) {
    SearchControls controls = DataSearch(u"needle", targets);
    controls.Check3 = {};
    controls.Check3[range] = true;
    RecordingObserver expectedEvents;
    RecordingMessages expectedMessages;
    const SearchOutcome expected = Works(controls, source, expectedEvents, &expectedMessages, kOneByOne);
    for (int threads : {1, 2}) {
      TargetFeed feed;
      std::thread filler([&] {
        // Paths one by one and in runs of up to five, with pauses the run catches up in.
        for (std::size_t i = 0; i < targets.size();) {
          const std::size_t n = std::min<std::size_t>(1 + i % 5, targets.size() - i);
          if (n == 1) {
            feed.Add(targets[i]);
          } else {
            feed.Add(std::vector<std::string>(targets.begin() + i, targets.begin() + i + n));
          }
          i += n;
          if (i % 4 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        feed.Close();
      });
      SearchControls growing = controls;
      growing.TargetList.clear();
      SearchRequest request;
      RecordingObserver observer;
      RecordingMessages messages;
      const SearchOutcome outcome =
          Works(growing, feed, request, source, observer, &messages, RunSettings{threads});
      filler.join();
      EXPECT_EQ(outcome.SearchResult, expected.SearchResult);
      EXPECT_EQ(outcome.Message, expected.Message);
      EXPECT_EQ(outcome.FoundList, expected.FoundList);
      EXPECT_EQ(outcome.ErrorFileList, expected.ErrorFileList);
      EXPECT_EQ(WithoutProgress(observer.events), WithoutProgress(expectedEvents.events));
      EXPECT_EQ(messages.shown, expectedMessages.shown);
      EXPECT_EQ(observer.events.back(), "deselect 119");
    }
  }
}

TEST(Works, GrowingTargetListClosedEmptyIsRefused) {
  FakeDrawingSource source;
  TargetFeed feed;
  std::thread closer([&] { feed.Close(); });
  SearchRequest request;
  RecordingObserver observer;
  const SearchOutcome outcome =
      Works(DataSearch(u"", {}), feed, request, source, observer, nullptr);
  closer.join();
  EXPECT_EQ(outcome.Ending, RunEnding::Refused);
  EXPECT_EQ(outcome.Message, "ファイルが選択されていません。");  // before the missing text
  EXPECT_TRUE(observer.events.empty());
}

INSTANTIATE_TEST_SUITE_P(CancelPoints, ReadAheadTest,
                         ::testing::Combine(::testing::Values(-1, 1, 2, 40, 300),
                                            ::testing::Values(int{RangeData}, int{RangeMemo})));

}  // namespace
}  // namespace dorvan
