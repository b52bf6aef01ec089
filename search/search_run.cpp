#include "search/search_run.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "files/list_extent.h"
#include "search/found_list.h"
#include "search/range_evaluation.h"
#include "search/result_report.h"
#include "search/search_range.h"
#include "search/text_matcher.h"

namespace dorvan {
namespace {

struct CapturedMessage {
  std::string text;
  std::string title;
};

// Holds a read-ahead file's reader messages until the run reaches that file, so they
// reach the caller in target order and not at all for files after a cancel.
class MessageRecorder : public ReaderMessages {
 public:
  void ShowReaderMessage(const std::string& text, const std::string& title) override {
    messages.push_back({text, title});
  }
  std::vector<CapturedMessage> messages;
};

// What reading and evaluating one drawing gave.
struct FileVerdict {
  bool readable = false;
  bool found = false;
  std::vector<CapturedMessage> messages;
};

FileVerdict Examine(DrawingSource& source, const std::string& path, bool wholeDrawing,
                    RangeEvaluator& evaluator, JwwDrawing& drawing, ReaderMessages* messages) {
  FileVerdict verdict;
  try {
    verdict.readable = source.Read(path, wholeDrawing, drawing, messages);
    verdict.found = verdict.readable && evaluator.Append(drawing);
  } catch (const std::exception&) {
    // A drawing too large for memory is as unreadable as a broken one; the run goes on.
    verdict = FileVerdict{};
  }
  return verdict;
}

// Reads and evaluates the target list on worker threads, at most `window` files ahead of
// the file the run reports, and hands the verdicts out strictly in target order. Workers
// claim runs of consecutive files and publish each run's verdicts at once, and a thread is
// only woken when it waits for exactly what changed: a header takes some microseconds to
// read, so a hand-off per file would cost as much as the reading.
class ReadAhead {
 public:
  ReadAhead(const std::vector<std::string>& targets, bool wholeDrawing, DrawingSource& source,
            const RangeEvaluator& evaluator, bool captureMessages, int threads)
      : targets_(targets),
        wholeDrawing_(wholeDrawing),
        source_(source),
        captureMessages_(captureMessages),
        batch_(wholeDrawing ? 1 : kHeaderBatch),
        window_(static_cast<std::size_t>(threads) * (wholeDrawing ? 4 : 2 * kHeaderBatch)),
        ring_(window_) {
    for (int t = 0; t < threads; ++t) {
      threads_.emplace_back([this, worker = evaluator.Clone()]() mutable { Work(worker); });
    }
  }
  ~ReadAhead() { Stop(); }

  // The verdict of file `index`; files must be taken in order 0, 1, 2 ...
  FileVerdict Take(std::size_t index) {
    std::unique_lock lock(mutex_);
    Slot& slot = ring_[index % window_];
    if (!slot.ready) {
      runWaitsFor_ = index;
      runWaits_ = true;
      runChanged_.wait(lock, [&slot] { return slot.ready; });
      runWaits_ = false;
    }
    FileVerdict verdict = std::move(slot.verdict);
    slot.ready = false;
    taken_ = index + 1;
    const bool wake = idleWorkers_ > 0 && RoomForBatch();
    lock.unlock();
    if (wake) workersChanged_.notify_all();
    return verdict;
  }

  // Stops the workers after the files they are on and discards what they read ahead.
  void Stop() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    workersChanged_.notify_all();
    for (std::thread& thread : threads_) {
      if (thread.joinable()) thread.join();
    }
  }

 private:
  // Files a worker claims at once for a header-only range.
  static constexpr std::size_t kHeaderBatch = 16;

  struct Slot {
    FileVerdict verdict;
    bool ready = false;
  };

  // True when a worker may claim a whole batch (or the rest of the list).
  bool RoomForBatch() const {
    const std::size_t left = targets_.size() - next_;
    return next_ < taken_ + window_ && taken_ + window_ - next_ >= std::min(batch_, left);
  }

  void Work(RangeEvaluator& evaluator) {
    JwwDrawing drawing;
    std::vector<FileVerdict> verdicts;
    for (;;) {
      std::size_t first = 0;
      std::size_t last = 0;
      {
        std::unique_lock lock(mutex_);
        if (!stop_ && next_ < targets_.size() && !RoomForBatch()) {
          ++idleWorkers_;
          workersChanged_.wait(lock, [this] {
            return stop_ || next_ >= targets_.size() || RoomForBatch();
          });
          --idleWorkers_;
        }
        if (stop_ || next_ >= targets_.size()) return;
        first = next_;
        last = std::min({targets_.size(), first + batch_, taken_ + window_});
        next_ = last;
      }
      verdicts.resize(last - first);
      for (std::size_t index = first; index < last; ++index) {
        MessageRecorder recorder;
        FileVerdict& verdict = verdicts[index - first];
        verdict = Examine(source_, targets_[index], wholeDrawing_, evaluator, drawing,
                          captureMessages_ ? &recorder : nullptr);
        verdict.messages = std::move(recorder.messages);
      }
      bool wake = false;
      {
        std::lock_guard lock(mutex_);
        for (std::size_t index = first; index < last; ++index) {
          Slot& slot = ring_[index % window_];
          slot.verdict = std::move(verdicts[index - first]);
          slot.ready = true;
        }
        wake = runWaits_ && runWaitsFor_ >= first && runWaitsFor_ < last;
      }
      if (wake) runChanged_.notify_one();
    }
  }

  const std::vector<std::string>& targets_;
  const bool wholeDrawing_;
  DrawingSource& source_;
  const bool captureMessages_;
  const std::size_t batch_;
  const std::size_t window_;
  std::mutex mutex_;
  std::condition_variable runChanged_;      // the run waits here for its next verdict
  std::condition_variable workersChanged_;  // workers wait here for room in the window
  std::vector<Slot> ring_;
  std::size_t next_ = 0;   // the next file a worker claims
  std::size_t taken_ = 0;  // files handed to the run so far
  std::size_t runWaitsFor_ = 0;
  bool runWaits_ = false;
  int idleWorkers_ = 0;
  bool stop_ = false;
  std::vector<std::thread> threads_;
};

int ReadThreadsFor(const RunSettings& settings, const DrawingSource& source, std::size_t files) {
  if (!source.SupportsConcurrentReads() || files < 2) return 1;
  if (settings.ReadThreads > 0) return settings.ReadThreads;
  const unsigned cores = std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp(cores, 1u, 4u));
}

// The rule that decides the candidates of a text range, to know whether the pattern is
// ever tested.
bool RangeUsesPattern(const SearchRequest& request, int range) {
  MatchRule rule = MatchRule::A;
  switch (range) {
    case RangeData:
    case RangeMemo:
      rule = MatchRule::A;
      break;
    case RangeLayerGroupName:
    case RangeLayerName:
      rule = MatchRule::C;
      break;
    case RangeBlockName:
      rule = MatchRule::D;
      break;
    default:
      return false;
  }
  return RuleTest(rule, request.WordSearch, request.CaseSensitive, request.PatternSearch) ==
         MatchKind::Pattern;
}

}  // namespace

SearchOutcome Works(const SearchControls& controls, SearchRequest& request, DrawingSource& source,
                    SearchObserver& observer, ReaderMessages* messages,
                    const RunSettings& settings) {
  SearchOutcome outcome;
  const Validation validation = Check_data(controls);
  if (!validation.RequestValid) {
    outcome.Ending = RunEnding::Refused;
    outcome.Message = std::string(ValidationMessages()[validation.ValidationCode]);
    outcome.Focus = validation.Focus;
    return outcome;
  }
  ReadRequest(controls, request,
              [&observer](const std::u16string& text) { observer.AddHistory(text); });
  const int range = request.LowestRange();

  // The pattern is compiled once, before any file is read, so a malformed one is reported
  // once instead of failing on every text.
  std::unique_ptr<PatternMatcher> pattern;
  if (RangeUsesPattern(request, range)) {
    PatternError error;
    pattern = PatternMatcher::Compile(request.PatternText, error);
    if (pattern == nullptr) {
      outcome.Ending = RunEnding::MalformedPattern;
      outcome.Message = MalformedPatternMessage(error.Reason, error.Offset);
      return outcome;
    }
  }
  RangeEvaluator evaluator(request, pattern.get());
  const bool wholeDrawing = request.Ranges[RangeData] || request.Ranges[RangeBlockName];

  const std::vector<std::string>& targets = controls.TargetList;
  const std::size_t total = targets.size();  // taken once
  std::optional<ReadAhead> readAhead;
  const int threads = ReadThreadsFor(settings, source, total);
  if (threads > 1) {
    readAhead.emplace(targets, wholeDrawing, source, evaluator, messages != nullptr, threads);
  }

  FoundList found;
  JwwDrawing drawing;  // SearchDrawing of the one-by-one run
  bool cancelled = false;
  std::size_t current = 1;
  for (; current <= total; ++current) {
    if (observer.CancelRequested()) {
      cancelled = true;
      break;
    }
    const std::string& path = targets[current - 1];
    observer.Progress(static_cast<int>(current), static_cast<int>(total));
    observer.Highlight(static_cast<int>(current - 1));
    FileVerdict verdict;
    if (readAhead) {
      verdict = readAhead->Take(current - 1);
      for (const CapturedMessage& message : verdict.messages) {
        messages->ShowReaderMessage(message.text, message.title);
      }
    } else {
      verdict = Examine(source, path, wholeDrawing, evaluator, drawing, messages);
    }
    if (!verdict.readable) {
      outcome.ErrorFileList.push_back(path);
      outcome.LongestErrorPathBytes = std::max(outcome.LongestErrorPathBytes, ListEntryBytes(path));
      observer.Unreadable(path);
    } else if (verdict.found) {
      const std::size_t position = found.Add(path);
      observer.Found(path, position);
    }
    if (current != 1) observer.Deselect(static_cast<int>(current - 2));
  }
  if (readAhead) readAhead->Stop();
  // The last file searched is still highlighted (none when the cancel came first).
  if (current > 1) observer.Deselect(static_cast<int>(current - 2));

  const std::size_t count = found.size();
  outcome.LongestFoundPathBytes = found.LongestPathBytes();
  outcome.FoundList = found.TakePaths();
  if (cancelled) {
    outcome.Ending = RunEnding::Cancelled;
    outcome.Message = std::string(kCancelMessage);
    outcome.SearchResult = 0;
  } else {
    outcome.Ending = RunEnding::Completed;
    outcome.SearchResult = ResultCode(range, count);
    outcome.Message = BuildResultMessage(range, ReportValue(request, range), count);
  }
  return outcome;
}

SearchOutcome Works(const SearchControls& controls, DrawingSource& source, SearchObserver& observer,
                    ReaderMessages* messages, const RunSettings& settings) {
  SearchRequest request;
  return Works(controls, request, source, observer, messages, settings);
}

}  // namespace dorvan
