// The drawing source that answers from the index: a drawing whose file still has the
// stamp of its entry is filled from the entry (what the ranges look at, the outcome and
// the reader's messages of that kind of read); any other is read from its file and its
// entry replaced. For an occurrence search of the data range the entries' trigram
// signatures tell which drawings cannot match, and those are answered without their texts. Any failure of
// the index makes the rest of the run read the files, and is told once.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "index/index_database.h"
#include "index/stored_drawing.h"
#include "search/reader_drawing_source.h"

namespace dorvan::index {

// Days since the epoch, the unit of the index's "last seen" dates.
int64_t DaysSinceEpochNow();

// What one run took from the index and from the files.
struct RunCounts {
  int64_t FromIndex = 0;
  int64_t FromFiles = 0;
};

class IndexedDrawingSource : public DrawingSource {
 public:
  // Called at most once per run, on whichever thread met the failure.
  using ProblemHandler = std::function<void(const IndexProblem& problem)>;

  // The index at `indexPath` is opened by the first run (and again by a run after a run
  // whose index failed).
  explicit IndexedDrawingSource(std::string indexPath, ProblemHandler onProblem = {},
                                int64_t today = DaysSinceEpochNow());
  ~IndexedDrawingSource() override;

  bool Read(const std::string& path, bool wholeDrawing, JwwDrawing& out, ReaderMessages* messages) override;
  void ReadRun(const std::vector<const std::string*>& paths, bool wholeDrawing, JwwDrawing& out,
               const std::function<ReaderMessages*(std::size_t)>& messagesFor,
               const std::function<void(std::size_t, bool)>& each) override;
  void DoneWith(JwwDrawing& drawing) override { files_.DoneWith(drawing); }
  void BeginRun(const SearchRequest& request) override;
  void EndRun() override;
  bool SupportsConcurrentReads() const override { return true; }
  // While the index is in use and held entries when the run began. (An empty one answers
  // nothing: drawings read one at a time keep both reading threads busier.)
  bool AnswersWholeDrawingsCheaply() const override { return active_.load() && heldEntries_; }

  // The counts of the last run (or of the one going on).
  RunCounts Counts() const { return {fromIndex_.load(), fromFiles_.load()}; }
  // Entries and size of the index; false when it is not open.
  bool Stats(IndexStats& stats);
  // True while the index is in use (false after a failure, until the next run).
  bool Active() const { return active_.load(); }

 private:
  enum class Answer { Readable, Unreadable, NotIndexed };
  Answer FromIndex(IndexDatabase::ReadingSession* session, const std::string& path, const FileStamp& stamp,
                   bool wholeDrawing, JwwDrawing& out, ReaderMessages* messages);
  bool ReadOne(IndexDatabase::ReadingSession* session, const std::string& path, bool wholeDrawing,
               JwwDrawing& out, ReaderMessages* messages);
  void Remember(const std::string& path, const FileStamp& stamp, bool wholeDrawing, bool readable,
                const JwwDrawing& drawing, std::vector<StoredMessage> messages);
  void GiveUp(const IndexProblem& problem);

  const std::string indexPath_;
  const ProblemHandler onProblem_;
  const int64_t today_;
  ReaderDrawingSource files_;
  std::unique_ptr<IndexDatabase> database_;
  std::atomic<bool> active_{false};
  std::atomic<bool> told_{false};
  std::atomic<int64_t> fromIndex_{0};
  std::atomic<int64_t> fromFiles_{0};
  // The run's prefilter: the trigram keys every text that matches must hold.
  bool prefilter_ = false;
  // An index empty when the run began answers nothing: its lookups are not made.
  bool heldEntries_ = false;
  std::vector<uint64_t> searchKeys_;
};

}  // namespace dorvan::index
