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
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
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

// The normalised search text when the entries' trigram signatures may decide which drawings
// cannot match `request`, else empty.
std::u16string PrefilterText(const SearchRequest& request);

// A whole-read entry a run answered from or stored, as the run names its drawing.
struct WholeEntrySeen {
  const std::string& Path;
  const FileStamp& Stamp;
  bool Readable = false;
  bool HasMessages = false;
  std::string_view Signature;  // readable entries only
};

struct IndexSourceOptions {
  // The index file is the program's own (its default place): whatever damaged file is
  // found there is made again. A file named by the user is changed only when it is an index.
  bool OwnFile = false;
  // A file modified or changed this close to the moment it was looked at is read, but
  // what was read is not kept (tests that write drawings and search at once set 0).
  int64_t QuietPeriodNs = kQuietPeriodNs;
  // The day entries are marked as seen, asked when each run begins: a program kept open
  // for months must not age the entries it keeps using.
  std::function<int64_t()> Today = DaysSinceEpochNow;
};

class IndexedDrawingSource : public DrawingSource {
 public:
  // Called at most once per run, on whichever thread met the failure.
  using ProblemHandler = std::function<void(const IndexProblem& problem)>;

  // The index at `indexPath` is opened by the first run (and again by a run after a run
  // whose index failed).
  explicit IndexedDrawingSource(std::string indexPath, ProblemHandler onProblem = {},
                                IndexSourceOptions options = {});
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

  // Where the caller keeps the files' stamps itself (a server whose watcher and scans keep
  // them), a run takes them from `lookup` instead of asking the file system for each file;
  // a file it does not know is asked about as usual. Set between runs only.
  using StampLookup = std::function<std::optional<FileStamp>(const std::string& path)>;
  void SetStampLookup(StampLookup lookup) { stampLookup_ = std::move(lookup); }

  // Told of every whole-read entry answered or kept (on the reading threads), for a caller
  // that keeps the signatures in memory. Set between runs only.
  using WholeEntryObserver = std::function<void(const WholeEntrySeen& entry)>;
  void SetWholeEntryObserver(WholeEntryObserver observer) { wholeEntrySeen_ = std::move(observer); }

  // Where the caller keeps the folders' real paths itself (a server whose watcher sees their
  // changes), a run takes a folder's from `lookup` (its real path ending in '/') instead of
  // resolving it again each run; an empty answer is resolved as usual. Set between runs only.
  using FolderKeyLookup = std::function<std::string(const std::string& folder)>;
  void SetFolderKeyLookup(FolderKeyLookup lookup) { folderKeyLookup_ = std::move(lookup); }

  // The counts of the last run (or of the one going on).
  RunCounts Counts() const { return {fromIndex_.load(), fromFiles_.load()}; }
  // Entries and size of the index; false when it is not open.
  bool Stats(IndexStats& stats);
  // True while the index is in use (false after a failure, until the next run).
  bool Active() const { return active_.load(); }

 private:
  enum class Answer { Readable, Unreadable, NotIndexed };
  // `key` names the entry, `path` the drawing as the run names it.
  Answer FromIndex(IndexDatabase::ReadingSession* session, const std::string& key, const std::string& path,
                   const FileStamp& stamp,
                   bool wholeDrawing, JwwDrawing& out, ReaderMessages* messages);
  bool ReadOne(IndexDatabase::ReadingSession* session, const std::string& path, bool wholeDrawing,
               JwwDrawing& out, ReaderMessages* messages);
  // Keeps what a read from the file gave, unless the file was still changing when its
  // stamp was taken or the read failed on the file rather than on its bytes.
  void Remember(const std::string& key, const std::string& path, const FileStamp& stamp, bool settled, bool wholeDrawing,
                ReadOutcome outcome, const JwwDrawing& drawing, std::vector<StoredMessage> messages);
  void GiveUp(const IndexProblem& problem);
  // The index key of `path`, its folder resolved once per run.
  std::string KeyOf(const std::string& path);
  // Whether `header` holds what the index last decoded into it (nothing else having been
  // read into it since), marking it so when `holds`, unmarking it otherwise.
  bool HeldIndexHeader(const JwwHeader& header, bool holds);
  std::optional<FileStamp> CurrentStampOf(const std::string& path) const;

  const std::string indexPath_;
  const ProblemHandler onProblem_;
  const IndexSourceOptions options_;
  int64_t today_ = 0;
  StampLookup stampLookup_;
  WholeEntryObserver wholeEntrySeen_;
  std::mutex indexHeadersMutex_;
  std::unordered_set<const JwwHeader*> indexHeaders_;
  FolderKeyLookup folderKeyLookup_;
  std::mutex keysMutex_;
  std::unordered_map<std::string, std::string> resolvedFolders_;
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
