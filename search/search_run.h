// `Works`, one search run over the target list: validation, the request, each drawing
// read and evaluated in target order, the cancel query before each file, and the report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "reader/reader_messages.h"
#include "search/drawing_source.h"
#include "search/match_records.h"
#include "search/search_controls.h"
#include "search/search_request.h"
#include "search/target_feed.h"

namespace dorvan {

// What a run tells its caller while it works. Every call comes from the thread that
// called Works, in target order. The defaults do nothing.
class SearchObserver {
 public:
  virtual ~SearchObserver() = default;
  // The search text goes to the top of the history (once per run, text ranges only).
  virtual void AddHistory(const std::u16string& /*text*/) {}
  // Asked once before each file; true stops the run before that file.
  virtual bool CancelRequested() { return false; }
  // Before file `currentIndex` (1-based) of `total`.
  virtual void Progress(int /*currentIndex*/, int /*total*/) {}
  // Target-list entry `index` (0-based) is being searched / is no longer highlighted.
  virtual void Highlight(int /*index*/) {}
  virtual void Deselect(int /*index*/) {}
  // A drawing that could not be read (goes to the error list, in target order).
  virtual void Unreadable(const std::string& /*path*/) {}
  // A drawing on which the pattern could not be decided (PCRE2's limits) and that no text
  // matched: neither found nor surely not found (in target order).
  virtual void Undecided(const std::string& /*path*/) {}
  // A matching drawing, inserted into the sorted found list at `position`.
  virtual void Found(const std::string& /*path*/, std::size_t /*position*/) {}
  // With RunSettings::CollectMatches, right after Found: that drawing's match records.
  virtual void FoundMatches(std::size_t /*position*/, const DrawingMatches& /*matches*/) {}
};

// How a run ended.
enum class RunEnding {
  Refused,           // Check_data refused the request: show Message (exclamation, OK)
  MalformedPattern,  // the pattern does not compile: show Message (exclamation, OK)
  Cancelled,         // Message is kCancelMessage: show it (stop icon, OK)
  Completed,         // Message is the ResultMessage; the caller acts on SearchResult
};

struct SearchOutcome {
  RunEnding Ending = RunEnding::Refused;
  int16_t SearchResult = 0;  // 0 unless Completed
  // The message to show; for Cancelled and Completed it is the new ResultMessage, for
  // the refusals the window's ResultMessage stays as it was. UTF-8.
  std::string Message;
  FocusTarget Focus = FocusTarget::None;       // after a refusal
  std::vector<std::string> FoundList;          // sorted ascending, ignoring case
  std::vector<std::string> ErrorFileList;      // unreadable paths in target order
  std::vector<std::string> UndecidedList;      // see SearchObserver::Undecided, in target order
  // With RunSettings::CollectMatches: the match records of FoundList[i], else empty.
  std::vector<DrawingMatches> FoundMatches;
  std::size_t LongestFoundPathBytes = 0;       // windows-31j bytes, for the list extents
  std::size_t LongestErrorPathBytes = 0;
  bool Cancelled() const { return Ending == RunEnding::Cancelled; }
};

struct RunSettings {
  // Threads that read and evaluate drawings ahead of the reporting thread: 0 picks one
  // per core (at least one, at most four), 1 reads on the calling thread only. Results
  // are those of the one-by-one run whatever the number.
  int ReadThreads = 0;
  // Also report, for each found drawing, the candidates that matched (FoundMatches). The
  // found list is the same either way; only found drawings are looked at again.
  bool CollectMatches = false;
};

// One complete run. `request` is the window's request, refreshed for the ticked ranges;
// `messages` receives the reader's messages (may be null), on the calling thread and in
// target order. The caller empties its found list before the call: a refused request
// leaves it empty too.
SearchOutcome Works(const SearchControls& controls, SearchRequest& request, DrawingSource& source,
                    SearchObserver& observer, ReaderMessages* messages,
                    const RunSettings& settings = {});

// The same over a target list that may still be growing (`controls.TargetList` is not
// looked at): the run starts as soon as the feed holds a target, reads ahead only what the
// feed holds, and ends when it is closed and exhausted. Progress counts the targets known
// so far as the total.
SearchOutcome Works(const SearchControls& controls, TargetFeed& targets, SearchRequest& request,
                    DrawingSource& source, SearchObserver& observer, ReaderMessages* messages,
                    const RunSettings& settings = {});

// The same with a request of its own, for callers that keep none between runs.
SearchOutcome Works(const SearchControls& controls, DrawingSource& source, SearchObserver& observer,
                    ReaderMessages* messages, const RunSettings& settings = {});

}  // namespace dorvan
