// The database behind the index: one SQLite file in WAL mode, one row per drawing path
// with the file's stamp, the outcome and messages of each kind of read, the stored header
// and texts, and the trigram signature of the normalised texts. Safe to use from several
// threads (a connection per thread at a time; writes queued and made on a thread of their
// own) and from several programs at once. Errors are values: every failure is an IndexProblem.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

struct sqlite3;

namespace dorvan::index {

// The schema this program writes; a database of any other is rebuilt.
inline constexpr int kSchemaVersion = 5;
// Entries of files no search has looked at for this long are dropped when the index opens.
inline constexpr int64_t kPruneAfterDays = 90;

enum class IndexFailure {
  None,
  CannotOpen,   // no such folder can be made
  NotAnIndex,   // the file named as the index is something else: it is left as it is
  Locked,       // another program held the database longer than the busy timeout
  ReadOnly,     // the file or its folder cannot be written
  Corrupt,      // damaged: rebuilt when the index is next opened
  Full,         // the disk is full
  WriteFailed,  // any other failed write or query
};

struct IndexProblem {
  IndexFailure Failure = IndexFailure::None;
  std::string Detail;  // SQLite's own words
};

// What makes an entry valid: the file's identity, size and times, to the nanosecond.
struct FileStamp {
  uint64_t Device = 0;
  uint64_t Inode = 0;
  int64_t Size = 0;
  int64_t ModifiedNs = 0;
  int64_t ChangedNs = 0;
  bool operator==(const FileStamp&) const = default;
};

// The stamp of a regular file; nothing for anything else or a file that cannot be asked.
std::optional<FileStamp> StampOf(const std::string& path);
// The stamp a stat call gave.
FileStamp StampOfInfo(const struct stat& info);

// The system clock in nanoseconds since the epoch, the unit of the stamps' times.
int64_t NowNs();

// How long a file must have been left alone before what was read of it is kept. A write
// sets the modification time as it begins, so bytes read while it goes on can be mixed
// under a stamp that agrees before and after the read; and a file system that keeps whole
// seconds (or FAT's two) gives a rewrite within the same second the old stamp. Two seconds
// cover both: a later write then always leaves a newer time.
inline constexpr int64_t kQuietPeriodNs = 2'000'000'000;

// True when `stamp`, taken at `takenNs`, shows no modification or change within
// `quietNs` of that moment (times ahead of the clock included): an entry read from the
// file may be kept under it.
bool SettledWhenTaken(const FileStamp& stamp, int64_t takenNs, int64_t quietNs = kQuietPeriodNs);

// The key of a file in the index: the absolute path with its folder's links, "." and ".."
// resolved, so that one drawing named through another folder path is one entry. The path
// as given when the folder cannot be resolved.
std::string IndexKeyOf(const std::string& path);

// The index file of a user: $XDG_CACHE_HOME/dorvan/index.sqlite3, or ~/.cache/dorvan/
// when that is unset or not absolute. Empty when neither variable helps.
std::string DefaultIndexPath(const char* xdgCacheHome, const char* home);

enum class ReadKind { Header = 0, Whole = 1 };

// One entry as a lookup sees it; the views are valid during the visit only.
struct EntryView {
  int64_t Id = 0;
  int64_t SeenDay = 0;
  bool Readable = false;
  std::string_view Messages;
  std::string_view Header;
  // Only for a readable whole read whose data the caller asked for.
  std::string_view Data;
};

// An entry to store for one read of one file.
struct NewEntry {
  std::string Path;
  FileStamp Stamp;
  ReadKind Kind = ReadKind::Whole;
  bool Readable = false;
  std::string Messages;
  std::string Header;      // readable reads only
  std::string Data;       // readable whole reads only
  std::string Signature;  // readable whole reads only
};

struct IndexStats {
  int64_t Entries = 0;
  int64_t Bytes = 0;  // the database with its write-ahead log
};

class IndexDatabase {
  struct Connection;

 public:
  // Opens or creates the index at `path` (its folder is made when missing), rebuilding a
  // database of another schema or one found damaged, and prunes entries not seen since
  // `today - kPruneAfterDays` (days since the epoch). Only an index of this program (told
  // by its application id), an empty database or an empty file is ever changed; anything
  // else is refused as NotAnIndex and left byte for byte, unless `ownFile` says the file
  // is the program's own (the default place), where a damaged one is made again.
  // Null with `problem` set on failure.
  static std::unique_ptr<IndexDatabase> Open(const std::string& path, int64_t today,
                                             IndexProblem& problem, bool ownFile = false);
  ~IndexDatabase();
  IndexDatabase(const IndexDatabase&) = delete;
  IndexDatabase& operator=(const IndexDatabase&) = delete;

  // Lookups made one after another on one thread, in one read transaction: a run of
  // lookups then costs no lock and unlock each. Another program's writes made meanwhile
  // are not seen (their files are read again instead).
  class ReadingSession {
   public:
    ~ReadingSession();
    ReadingSession(const ReadingSession&) = delete;
    ReadingSession& operator=(const ReadingSession&) = delete;

   private:
    friend class IndexDatabase;
    ReadingSession(IndexDatabase& database, std::unique_ptr<Connection> connection);
    IndexDatabase& database_;
    std::unique_ptr<Connection> connection_;
  };
  // Null with `problem` set when no connection can be had.
  std::unique_ptr<ReadingSession> BeginReading(IndexProblem& problem);

  enum class Lookup { Miss, Hit, Failed };
  // Looks `path` up for a read of `kind`: a Hit when its entry has `stamp` and an outcome
  // of that kind, then `visit` sees it (and may refuse it as damaged: Failed).
  // `wantData(signature)` says whether a readable whole entry's texts are needed, from
  // its trigram signature. Without a session the lookup is a transaction of its own.
  Lookup Find(ReadingSession* session, const std::string& path, ReadKind kind, const FileStamp& stamp,
              const std::function<bool(std::string_view signature)>& wantData,
              const std::function<bool(const EntryView&)>& visit, IndexProblem& problem);

  // Queues an entry, replacing the path's (merged with it when the stamp is the same);
  // entries are written in batches, each in one transaction. False once a write failed.
  bool Store(NewEntry entry, IndexProblem& problem);
  // Marks an entry as seen today (batched like the stores).
  bool Touch(int64_t id, IndexProblem& problem);
  // Writes what is queued.
  bool Flush(IndexProblem& problem);
  // Drops what is queued without writing it.
  void Discard();

  // Every whole-read entry, intact ones only, in no particular order: `visit(key, stamp,
  // readable, messages, signature)`, the views valid during the call. For a program that
  // keeps the signatures in memory; false when the walk failed (what was visited stands).
  using WholeEntryVisit = std::function<void(std::string_view key, const FileStamp& stamp, bool readable,
                                             std::string_view messages, std::string_view signature)>;
  bool ForEachWholeEntry(const WholeEntryVisit& visit, IndexProblem& problem);

  bool Stats(IndexStats& stats, IndexProblem& problem);
  // True when the index holds any entry (false also when that cannot be asked).
  bool HasEntries(IndexProblem& problem);

  // Marks the database for a rebuild when it is next opened (after corruption was seen).
  void MarkForRebuild();

  const std::string& Path() const { return path_; }
  int64_t Today() const { return today_.load(); }
  // The day entries are marked as seen from now on: a program open for days keeps using
  // the entries it answers from, so they must not age.
  void SetToday(int64_t today) { today_.store(today); }

 private:
  IndexDatabase(std::string path, int64_t today);
  std::unique_ptr<Connection> Borrow(IndexProblem& problem);
  void GiveBack(std::unique_ptr<Connection> connection);
  bool BatchFull() const;
  // Runs `add` on the queue (starting the writing thread at first), then waits while the
  // queue is full; false once a write failed.
  bool Queue(const std::function<void()>& add, IndexProblem& problem);
  // The writing thread: writes each full batch, and what is queued when asked to.
  void WriteQueued();
  // Writes entries and touches in one transaction.
  bool Write(std::vector<NewEntry>& entries, const std::vector<int64_t>& touches, IndexProblem& problem);

  const std::string path_;
  std::atomic<int64_t> today_;
  std::mutex poolMutex_;
  std::vector<std::unique_ptr<Connection>> idle_;
  // Written on a thread of its own, so that the threads reading drawings never wait for
  // SQLite; only that thread uses the writing connection once it runs.
  std::unique_ptr<Connection> writer_;
  std::mutex queueMutex_;
  std::condition_variable queueChanged_;
  std::vector<NewEntry> pending_;
  std::size_t pendingBytes_ = 0;
  std::vector<int64_t> touches_;
  bool writing_ = false;      // the thread holds a batch
  bool flushWanted_ = false;  // write what is queued, full batch or not
  bool stopping_ = false;
  bool fillingWithoutLog_ = false;       // an empty index being filled in rollback-journal mode
  std::optional<IndexProblem> failure_;  // the first failed write; no more are tried
  std::thread writerThread_;
};

}  // namespace dorvan::index
