#include "search/search_run.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
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
  bool undecided = false;  // not found, but only because the pattern hit a limit
  bool stopped = false;    // abandoned for a cancel: means nothing
  std::vector<CapturedMessage> messages;
  DrawingMatches matches;  // filled for a found drawing when the run collects them
};

// The verdict on a drawing just read into `drawing`.
FileVerdict Evaluate(DrawingSource& source, bool readable, RangeEvaluator& evaluator, bool collectMatches,
                     JwwDrawing& drawing) {
  FileVerdict verdict;
  try {
    verdict.readable = readable;
    verdict.found = readable && evaluator.Append(drawing);
    verdict.stopped = readable && evaluator.LastAppendStopped();
    verdict.undecided = readable && !verdict.found && evaluator.LastAppendUndecided();
  } catch (const std::exception&) {
    verdict = FileVerdict{};
  }
  // The found list is decided by Append alone; the records are a second look at the
  // drawing already in memory, and running out of memory for them keeps what was taken.
  if (verdict.found && collectMatches) {
    try {
      evaluator.Collect(drawing, verdict.matches);
    } catch (const std::exception&) {
    }
  }
  source.DoneWith(drawing);
  return verdict;
}

FileVerdict Examine(DrawingSource& source, const std::string& path, bool wholeDrawing,
                    RangeEvaluator& evaluator, bool collectMatches, JwwDrawing& drawing,
                    ReaderMessages* messages) {
  bool readable = false;
  try {
    readable = source.Read(path, wholeDrawing, drawing, messages);
  } catch (const std::exception&) {
    // A drawing too large for memory is as unreadable as a broken one; the run goes on.
  }
  return Evaluate(source, readable, evaluator, collectMatches, drawing);
}

// Reads and evaluates the targets on worker threads, at most `window` files ahead of the
// file the run reports, and hands the verdicts out strictly in target order. Workers claim
// runs of consecutive files and publish each run's verdicts at once, and a thread is only
// woken when it waits for exactly what changed: a header takes some microseconds to read,
// so a hand-off per file would cost as much as the reading.
class ReadAhead {
 public:
  // `cancelPoll` is asked, on the run's thread, while it waits for a verdict; true ends
  // the wait with a stopped verdict and makes the workers abandon what they are on.
  ReadAhead(TargetFeed& targets, bool wholeDrawing, DrawingSource& source,
            const RangeEvaluator& evaluator, bool captureMessages, bool collectMatches, int threads,
            std::atomic<bool>& stopping, std::function<bool()> cancelPoll)
      : stopping_(stopping),
        cancelPoll_(std::move(cancelPoll)),
        targets_(targets),
        wholeDrawing_(wholeDrawing),
        collectMatches_(collectMatches),
        source_(source),
        captureMessages_(captureMessages),
        threadCount_(threads),
        batch_(wholeDrawing && !source.AnswersWholeDrawingsCheaply() ? 1 : kHeaderBatch),
        window_(static_cast<std::size_t>(threads) * (batch_ == 1 ? 4 : 8 * kHeaderBatch)),
        ring_(window_),
        lastWorker_(evaluator.Clone()) {
    // Called under the feed's lock; this object's lock is only ever taken after it.
    targets_.Listen([this](std::size_t known, bool closed) {
      std::lock_guard lock(mutex_);
      known_ = known;
      closed_ = closed;
      if (SomeIdleWorkerMayClaim()) workersChanged_.notify_all();
    });
    // While the list still grows, the last worker is the thread that fills it (a folder
    // scan), once it has: two threads busy on two cores keep both busy, three leave the
    // scheduler room to idle one of them. A list complete already gets a thread for it.
    lastWorker_.SetStopCheck([this] { return stopping_.load(std::memory_order_relaxed); });
    const bool filled = targets_.Help([this] { Work(lastWorker_); });
    std::lock_guard lock(mutex_);
    for (int t = 1; t < threadCount_; ++t) {
      RangeEvaluator worker = evaluator.Clone();
      worker.SetStopCheck([this] { return stopping_.load(std::memory_order_relaxed); });
      StartWorker(std::move(worker));
    }
    if (!filled) StartWorker(std::move(lastWorker_));
  }
  ~ReadAhead() { Stop(); }

  // The verdict of file `index`; files must be taken in order 0, 1, 2 ... and only once
  // the feed holds them.
  FileVerdict Take(std::size_t index) {
    std::unique_lock lock(mutex_);
    Slot& slot = ring_[index % window_];
    if (!slot.ready) {
      runWaitsFor_ = index;
      runWaits_ = true;
      // A drawing may take long (a large one, a slow pattern): the cancel is asked for
      // meanwhile, not only once it is done.
      while (!runChanged_.wait_for(lock, std::chrono::milliseconds(20), [&slot] { return slot.ready; })) {
        lock.unlock();
        const bool cancel = cancelPoll_ && cancelPoll_();
        lock.lock();
        if (cancel) {
          stopping_.store(true);
          runWaits_ = false;
          FileVerdict stopped;
          stopped.stopped = true;
          return stopped;
        }
      }
      runWaits_ = false;
    }
    FileVerdict verdict = std::move(slot.verdict);
    slot.ready = false;
    taken_ = index + 1;
    const bool wake = SomeIdleWorkerMayClaim();
    lock.unlock();
    if (wake) workersChanged_.notify_all();
    return verdict;
  }

  // Stops the workers after the files they are on and discards what they read ahead.
  void Stop() {
    targets_.Listen({});
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    workersChanged_.notify_all();
    targets_.Help({});
    for (std::thread& thread : threads_) {
      if (thread.joinable()) thread.join();
    }
  }

 private:
  // Files a worker claims at once for a header-only range.
  static constexpr std::size_t kHeaderBatch = 64;

  struct Slot {
    FileVerdict verdict;
    bool ready = false;
  };

  void StartWorker(RangeEvaluator evaluator) {
    threads_.emplace_back([this, worker = std::move(evaluator)]() mutable { Work(worker); });
  }

  // The files a worker claims next: a whole batch, or fewer when no more are known yet
  // (the list is still growing), and near the end of a complete list smaller runs, so
  // that every worker is busy to the last file.
  std::size_t ClaimSize() const {
    const std::size_t waiting = known_ - next_;
    const std::size_t claim = std::min(batch_, waiting);
    if (!closed_) return claim;
    return std::min(claim, std::max<std::size_t>(1, waiting / (2 * static_cast<std::size_t>(threadCount_))));
  }
  // True when there are files to claim and the window has room for them.
  bool CanClaim() const {
    const std::size_t claim = ClaimSize();
    return claim > 0 && taken_ + window_ - next_ >= claim;
  }
  bool Finished() const { return stop_ || (closed_ && next_ >= known_); }
  // Waking idle workers for nothing costs a switch each: only when one may claim or must
  // finish.
  bool SomeIdleWorkerMayClaim() const { return idleWorkers_ > 0 && (Finished() || CanClaim()); }

  void Work(RangeEvaluator& evaluator) {
    JwwDrawing drawing;
    std::vector<const std::string*> paths;
    std::vector<FileVerdict> verdicts;
    std::vector<MessageRecorder> recorders;
    for (;;) {
      std::size_t first = 0;
      std::size_t last = 0;
      {
        std::unique_lock lock(mutex_);
        if (!Finished() && !CanClaim()) {
          ++idleWorkers_;
          workersChanged_.wait(lock, [this] { return Finished() || CanClaim(); });
          --idleWorkers_;
        }
        if (Finished()) return;
        first = next_;
        last = first + ClaimSize();
        next_ = last;
      }
      paths.clear();
      targets_.Get(first, last, paths);
      verdicts.resize(last - first);
      recorders.clear();
      recorders.resize(last - first);
      source_.ReadRun(
          paths, wholeDrawing_, drawing,
          [&](std::size_t i) -> ReaderMessages* { return captureMessages_ ? &recorders[i] : nullptr; },
          [&](std::size_t i, bool readable) {
            verdicts[i] = Evaluate(source_, readable, evaluator, collectMatches_, drawing);
            verdicts[i].messages = std::move(recorders[i].messages);
          });
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

  std::atomic<bool>& stopping_;
  const std::function<bool()> cancelPoll_;
  TargetFeed& targets_;
  const bool wholeDrawing_;
  const bool collectMatches_;
  DrawingSource& source_;
  const bool captureMessages_;
  const int threadCount_;
  const std::size_t batch_;
  const std::size_t window_;
  std::mutex mutex_;
  std::condition_variable runChanged_;      // the run waits here for its next verdict
  std::condition_variable workersChanged_;  // workers wait here for files to claim
  std::vector<Slot> ring_;
  std::size_t known_ = 0;  // targets in the feed
  bool closed_ = false;    // no more will come
  std::size_t next_ = 0;   // the next file a worker claims
  std::size_t taken_ = 0;  // files handed to the run so far
  std::size_t runWaitsFor_ = 0;
  bool runWaits_ = false;
  int idleWorkers_ = 0;
  bool stop_ = false;
  std::vector<std::thread> threads_;
  RangeEvaluator lastWorker_;  // the evaluator of the last worker
};

int ReadThreadsFor(const RunSettings& settings, const DrawingSource& source, bool severalFiles) {
  if (!source.SupportsConcurrentReads() || !severalFiles) return 1;
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

SearchOutcome Works(const SearchControls& controls, TargetFeed& targets, SearchRequest& request,
                    DrawingSource& source, SearchObserver& observer, ReaderMessages* messages,
                    const RunSettings& settings) {
  SearchOutcome outcome;
  // The targets known so far. An empty target list refuses the request, so a growing one
  // is waited for until it has a target or is closed without one.
  std::vector<const std::string*> paths;
  const Validation validation = Check_data(controls, targets.WaitForMore(0, paths));
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
  // Set once a cancel was seen in the middle of a drawing.
  std::atomic<bool> stopping{false};
  const auto cancelPoll = [&observer, &stopping] {
    if (!stopping.load() && observer.CancelRequested()) stopping.store(true);
    return stopping.load();
  };
  evaluator.SetStopCheck(cancelPoll);
  source.BeginRun(request);
  const bool wholeDrawing = request.Ranges[RangeData] || request.Ranges[RangeBlockName];

  std::optional<ReadAhead> readAhead;
  const int threads = ReadThreadsFor(settings, source, paths.size() > 1 || !targets.Closed());
  if (threads > 1) {
    readAhead.emplace(targets, wholeDrawing, source, evaluator, messages != nullptr,
                      settings.CollectMatches, threads, stopping, cancelPoll);
  }

  FoundList found;
  JwwDrawing drawing;  // SearchDrawing of the one-by-one run
  bool cancelled = false;
  std::size_t current = 1;
  for (;; ++current) {
    if (current > paths.size() && !targets.WaitForMore(paths.size(), paths)) break;
    if (stopping.load() || observer.CancelRequested()) {
      cancelled = true;
      break;
    }
    const std::string& path = *paths[current - 1];
    // A list still growing counts the targets known so far.
    observer.Progress(static_cast<int>(current), static_cast<int>(paths.size()));
    observer.Highlight(static_cast<int>(current - 1));
    FileVerdict verdict;
    if (readAhead) {
      verdict = readAhead->Take(current - 1);
      for (const CapturedMessage& message : verdict.messages) {
        messages->ShowReaderMessage(message.text, message.title);
      }
    } else {
      verdict = Examine(source, path, wholeDrawing, evaluator, settings.CollectMatches, drawing, messages);
    }
    if (verdict.stopped || stopping.load()) {
      // Cancelled in the middle of this drawing: it is reported as never searched.
      cancelled = true;
      if (current != 1) observer.Deselect(static_cast<int>(current - 2));
      ++current;  // so that this drawing's highlight is taken away below
      break;
    }
    if (!verdict.readable) {
      outcome.ErrorFileList.push_back(path);
      outcome.LongestErrorPathBytes = std::max(outcome.LongestErrorPathBytes, ListEntryBytes(path));
      observer.Unreadable(path);
    } else if (verdict.undecided) {
      outcome.UndecidedList.push_back(path);
      observer.Undecided(path);
    } else if (verdict.found) {
      const std::size_t position = found.Add(path);
      observer.Found(path, position);
      if (settings.CollectMatches) {
        observer.FoundMatches(position, verdict.matches);
        outcome.FoundMatches.insert(outcome.FoundMatches.begin() + static_cast<std::ptrdiff_t>(position),
                                    std::move(verdict.matches));
      }
    }
    if (current != 1) observer.Deselect(static_cast<int>(current - 2));
  }
  if (readAhead) readAhead->Stop();
  source.EndRun();
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

SearchOutcome Works(const SearchControls& controls, SearchRequest& request, DrawingSource& source,
                    SearchObserver& observer, ReaderMessages* messages,
                    const RunSettings& settings) {
  TargetFeed targets(controls.TargetList);
  return Works(controls, targets, request, source, observer, messages, settings);
}

SearchOutcome Works(const SearchControls& controls, DrawingSource& source, SearchObserver& observer,
                    ReaderMessages* messages, const RunSettings& settings) {
  SearchRequest request;
  return Works(controls, request, source, observer, messages, settings);
}

}  // namespace dorvan
