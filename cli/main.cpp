// dorvan-search: the search of the desktop program for scripts and terminals. A thin
// shell over the engine: options to controls, the run, and its outcome printed.
#include <malloc.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cli/cli_options.h"
#include "cli/json_output.h"
#include "files/folder_scan.h"
#include "index/indexed_drawing_source.h"
#include "reader/shift_jis.h"
#include "search/match_text.h"
#include "search/reader_drawing_source.h"
#include "search/result_report.h"
#include "search/search_range.h"
#include "search/search_run.h"
#include "search/target_feed.h"
#include "search/text_normaliser.h"

namespace {

using dorvan::cli::CliOptions;

constexpr int kExitFound = 0;
constexpr int kExitNothingFound = 1;
constexpr int kExitRefused = 2;
constexpr int kExitNothingFoundSomeUndecided = 3;
constexpr int kExitCancelled = 130;

// Set by Ctrl-C; the only state a signal handler may touch.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int) { interrupted.store(true); }

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;  // a second Ctrl-C ends the program at once
  sigaction(SIGINT, &action, nullptr);
  // A parent may have blocked the signal; Ctrl-C must still reach the search.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

// Standard error: the one-line "done / total" indicator on a terminal, and whole lines of
// messages from the run and from the folder scan, which runs on a thread of its own.
class ProgressLine {
 public:
  ProgressLine() : enabled_(isatty(STDERR_FILENO) == 1) {}

  void Show(std::size_t done, std::size_t total) {
    if (!enabled_) return;
    std::lock_guard lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    if (shown_ && done != total && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    shown_ = true;
    std::fprintf(stderr, "\r%zu / %zu", done, total);
    std::fflush(stderr);
  }

  // Erases the line, so that messages and the shell prompt start on a clean line.
  void Clear() {
    std::lock_guard lock(mutex_);
    ClearLocked();
  }

  void PrintLine(const std::string& line) {
    std::lock_guard lock(mutex_);
    ClearLocked();
    std::fputs(line.c_str(), stderr);
    std::fputc('\n', stderr);
  }

 private:
  void ClearLocked() {
    if (!shown_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    shown_ = false;
  }

  const bool enabled_;
  std::mutex mutex_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point last_{};
};

void PrintError(ProgressLine& progress, const std::string& line) { progress.PrintLine(line); }

class CliObserver : public dorvan::SearchObserver {
 public:
  explicit CliObserver(ProgressLine& progress) : progress_(progress) {}
  bool CancelRequested() override { return interrupted.load(); }
  void Progress(int current, int total) override {
    progress_.Show(static_cast<std::size_t>(current - 1), static_cast<std::size_t>(total));
  }
  void Unreadable(const std::string& path) override { PrintError(progress_, "unreadable: " + path); }
  void Undecided(const std::string& path) override { PrintError(progress_, "undecided: " + path); }

 private:
  ProgressLine& progress_;
};

class CliReaderMessages : public dorvan::ReaderMessages {
 public:
  explicit CliReaderMessages(ProgressLine& progress) : progress_(progress) {}
  void ShowReaderMessage(const std::string& text, const std::string& title) override {
    PrintError(progress_, title.empty() ? text : title + ": " + text);
  }

 private:
  ProgressLine& progress_;
};

bool IsFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The target list: files as named, folders scanned in their stable walk order. Fed to the
// run as it is found, a few dozen paths at a time, and closed at the end (also when Ctrl-C
// stops the scan).
void GatherTargets(const CliOptions& options, ProgressLine& progress, dorvan::TargetFeed& targets) {
  constexpr std::size_t kPathsPerHandOff = 32;
  std::vector<std::string> found;
  auto add = [&](std::string path) {
    found.push_back(std::move(path));
    if (found.size() >= kPathsPerHandOff) targets.Add(std::exchange(found, {}));
  };
  dorvan::ScanState state;
  dorvan::ScanCallbacks callbacks;
  callbacks.OnDrawing = [&add](const std::string& path) { add(path); };
  // The drawings of a folder go to the run as the next folder begins, so that the first
  // ones are searched without waiting for a full hand-off.
  callbacks.OnFolder = [&](const std::string&) { targets.Add(std::exchange(found, {})); };
  for (const std::string& path : options.paths) {
    if (interrupted.load()) break;
    if (!IsFolder(path)) {
      add(path);
      continue;
    }
    const dorvan::ScanResult result =
        dorvan::ScanFolder(path, options.recursive, state, interrupted, callbacks);
    if (result.outcome == dorvan::ScanOutcome::RootUnreadable) {
      PrintError(progress, "cannot read folder: " + path);
    }
  }
  targets.Add(std::move(found));
  targets.Close();
}

std::string FailureWords(dorvan::index::IndexFailure failure) {
  using dorvan::index::IndexFailure;
  switch (failure) {
    case IndexFailure::CannotOpen:
      return "cannot be opened";
    case IndexFailure::NotAnIndex:
      return "is not a dorvan index and is left as it is";
    case IndexFailure::Locked:
      return "is locked by another program";
    case IndexFailure::ReadOnly:
      return "cannot be written";
    case IndexFailure::Corrupt:
      return "is damaged and will be made again by the next search";
    case IndexFailure::Full:
      return "cannot grow: the disk is full";
    case IndexFailure::WriteFailed:
    case IndexFailure::None:
      break;
  }
  return "failed";
}

// The index the options ask for, telling its failures on standard error; null with
// --no-index or when the user has no cache folder (said once).
std::unique_ptr<dorvan::index::IndexedDrawingSource> IndexFor(const CliOptions& options, ProgressLine& progress) {
  if (!options.useIndex) return nullptr;
  std::string path = options.indexPath;
  if (path.empty()) path = dorvan::index::DefaultIndexPath(std::getenv("XDG_CACHE_HOME"), std::getenv("HOME"));
  if (path.empty()) {
    PrintError(progress, "dorvan-search: no index (neither XDG_CACHE_HOME nor HOME is set); the drawings are read");
    return nullptr;
  }
  dorvan::index::IndexSourceOptions indexOptions;
  // Only the file at the default place is the program's own to make again when damaged.
  indexOptions.OwnFile = options.indexPath.empty();
  return std::make_unique<dorvan::index::IndexedDrawingSource>(
      path,
      [&progress, path](const dorvan::index::IndexProblem& problem) {
        PrintError(progress, "dorvan-search: the index " + path + " " + FailureWords(problem.Failure) + " (" +
                                 problem.Detail + "); the drawings are read");
      },
      indexOptions);
}

void PrintIndexStats(dorvan::index::IndexedDrawingSource* index) {
  if (index == nullptr) {
    std::fputs("index: not used\n", stderr);
    return;
  }
  dorvan::index::IndexStats stats;
  const dorvan::index::RunCounts counts = index->Counts();
  const int64_t total = counts.FromIndex + counts.FromFiles;
  const double rate = total > 0 ? 100.0 * static_cast<double>(counts.FromIndex) / static_cast<double>(total) : 0.0;
  if (index->Stats(stats)) {
    std::fprintf(stderr, "index: %lld entries, %.1f MB; ", static_cast<long long>(stats.Entries),
                 static_cast<double>(stats.Bytes) / 1e6);
  } else {
    std::fputs("index: not available; ", stderr);
  }
  std::fprintf(stderr, "hit rate %.1f %% (%lld of %lld drawings from the index)\n", rate,
               static_cast<long long>(counts.FromIndex), static_cast<long long>(total));
}

void WriteLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

// `matches` holds the records of each found path when the run collected them.
int Finish(const CliOptions& options, const std::vector<std::string>& found,
           const std::vector<dorvan::DrawingMatches>& matches,
           const std::vector<std::string>& unreadable, int code, const std::string& message,
           int exitStatus, const std::vector<std::string>& undecided = {}) {
  const bool withMatches = options.matches || options.count;
  const dorvan::DrawingMatches none;
  auto matchesOf = [&](std::size_t i) -> const dorvan::DrawingMatches& {
    return i < matches.size() ? matches[i] : none;
  };
  if (options.json) {
    WriteLine(dorvan::cli::ResultJson(found, unreadable, code, message,
                                      withMatches ? &matches : nullptr, options.matches, undecided));
  } else {
    for (std::size_t i = 0; i < found.size(); ++i) {
      const dorvan::DrawingMatches& drawing = matchesOf(i);
      WriteLine(options.count ? found[i] + ":" + std::to_string(drawing.Total) : found[i]);
      if (!options.matches) continue;
      for (const dorvan::MatchRecord& record : drawing.Records) WriteLine("    " + dorvan::MatchLine(record));
      if (drawing.Total > drawing.Records.size()) {
        WriteLine("    …ほか " + std::to_string(drawing.Total - drawing.Records.size()) + " 件");
      }
    }
  }
  std::fflush(stdout);
  std::fputs(message.c_str(), stderr);
  std::fputc('\n', stderr);
  return exitStatus;
}

}  // namespace

int main(int argc, char** argv) {
  CliOptions options;
  std::string error;
  if (!dorvan::cli::ParseCommandLine(argc, argv, options, error)) {
    std::fprintf(stderr, "dorvan-search: %s\nTry 'dorvan-search --help'.\n", error.c_str());
    return kExitRefused;
  }
  if (options.help) {
    std::fputs(dorvan::cli::UsageText().c_str(), stdout);
    return 0;
  }
  if (options.showVersion) {
    std::puts("dorvan-search " DORVAN_VERSION);
    return 0;
  }
  InstallInterruptHandler();
  // The records of drawings keep their arrays from one drawing to the next, so the heap
  // may keep what is freed for the next allocations (no trimming) — except blocks of a
  // megabyte and more: those belong to large drawings, and one thread's heap keeping them
  // would make the next large drawing, read on another thread, cost its memory twice.
  mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
  mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);

  ProgressLine progress;
  if (interrupted.load()) {
    return Finish(options, {}, {}, {}, 0, std::string(dorvan::kCancelMessage), kExitCancelled);
  }
  // The folders are scanned while the drawings found first are already searched: on a
  // header range the scan takes as long as the search.
  dorvan::TargetFeed targets;
  std::thread scan([&] { GatherTargets(options, progress, targets); });
  // The code page's decoding tables and, for text ranges, the normalisation table are
  // built from ICU once per run, a few milliseconds each: beside the scan and each other.
  std::thread warmUp([] { dorvan::sjis::GetDecodeTables(); });
  if (dorvan::IsTextRange(options.range)) dorvan::Normalised(u"");

  const dorvan::SearchControls controls = dorvan::cli::ControlsFor(options, {});
  std::unique_ptr<dorvan::index::IndexedDrawingSource> index = IndexFor(options, progress);
  dorvan::ReaderDrawingSource files;
  dorvan::DrawingSource& source = index ? static_cast<dorvan::DrawingSource&>(*index) : files;
  CliObserver observer(progress);
  CliReaderMessages messages(progress);
  dorvan::SearchRequest request;
  dorvan::RunSettings settings;
  settings.CollectMatches = options.matches || options.count;
  dorvan::SearchOutcome outcome =
      dorvan::Works(controls, targets, request, source, observer, &messages, settings);
  // A refused request ends the run at once; the scan still ends on its own.
  scan.join();
  warmUp.join();
  progress.Clear();
  if (options.indexStats) PrintIndexStats(index.get());
  // Ctrl-C during the scan ends the target list early, and the run with it.
  if (interrupted.load() && outcome.Ending == dorvan::RunEnding::Completed) {
    outcome.Ending = dorvan::RunEnding::Cancelled;
    outcome.Message = std::string(dorvan::kCancelMessage);
  }

  switch (outcome.Ending) {
    case dorvan::RunEnding::Refused:
    case dorvan::RunEnding::MalformedPattern:
      return Finish(options, {}, {}, {}, 0, outcome.Message, kExitRefused);
    case dorvan::RunEnding::Cancelled:
      return Finish(options, outcome.FoundList, outcome.FoundMatches, outcome.ErrorFileList, 0,
                    outcome.Message, kExitCancelled);
    case dorvan::RunEnding::Completed:
      break;
  }
  // "Nothing found" is not said of a search that could not decide some drawings.
  const int nothingFound = outcome.UndecidedList.empty() ? kExitNothingFound : kExitNothingFoundSomeUndecided;
  return Finish(options, outcome.FoundList, outcome.FoundMatches, outcome.ErrorFileList,
                outcome.SearchResult, outcome.Message, outcome.FoundList.empty() ? nothingFound : kExitFound,
                outcome.UndecidedList);
}
