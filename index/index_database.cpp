#include "index/index_database.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <thread>
#include <utility>

namespace dorvan::index {
namespace {

// "dorv": tells an index apart from any other SQLite file named with --index.
constexpr int32_t kApplicationId = 0x646f7276;
// Another program writing a batch holds the database for some milliseconds; a run waits
// this long before it gives the index up.
constexpr int kBusyTimeoutMs = 5000;
// A batch is written once it holds this many entries or bytes.
constexpr std::size_t kBatchEntries = 128;
constexpr std::size_t kBatchBytes = std::size_t{8} << 20;
// Entries queued beyond this wait for the writes to catch up.
constexpr std::size_t kMostQueuedBytes = 4 * kBatchBytes;

IndexFailure FailureOf(int code) {
  switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return IndexFailure::Locked;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return IndexFailure::ReadOnly;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return IndexFailure::Corrupt;
    case SQLITE_FULL:
      return IndexFailure::Full;
    case SQLITE_CANTOPEN:
      return IndexFailure::CannotOpen;
    default:
      return IndexFailure::WriteFailed;
  }
}

bool Fail(IndexProblem& problem, sqlite3* db, int code) {
  if (problem.Failure == IndexFailure::None) {
    problem.Failure = FailureOf(code);
    problem.Detail = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code);
  }
  return false;
}

bool Exec(sqlite3* db, const char* sql, IndexProblem& problem) {
  const int code = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
  return code == SQLITE_OK || Fail(problem, db, code);
}

// A prepared statement, reset after each use.
class Statement {
 public:
  Statement() = default;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  ~Statement() { sqlite3_finalize(stmt_); }
  bool Prepare(sqlite3* db, const char* sql, IndexProblem& problem) {
    db_ = db;
    const int code = sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
    return code == SQLITE_OK || Fail(problem, db, code);
  }
  sqlite3_stmt* get() const { return stmt_; }
  void Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  void Blob(int column, std::string_view bytes) {
    sqlite3_bind_blob64(stmt_, column, bytes.data(), bytes.size(), SQLITE_STATIC);
  }
  void Text(int column, std::string_view text) {
    sqlite3_bind_text64(stmt_, column, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8);
  }
  void Int(int column, int64_t value) { sqlite3_bind_int64(stmt_, column, value); }
  // Steps once: SQLITE_ROW or SQLITE_DONE, anything else is a failure.
  int Step(IndexProblem& problem) {
    const int code = sqlite3_step(stmt_);
    if (code != SQLITE_ROW && code != SQLITE_DONE) {
      Fail(problem, db_, code);
      Reset();
    }
    return code;
  }
  // Runs a statement that returns no row.
  bool Run(IndexProblem& problem) {
    const int code = Step(problem);
    Reset();
    return code == SQLITE_DONE || code == SQLITE_ROW;
  }
  std::string_view ColumnBlob(int column) const {
    const void* data = sqlite3_column_blob(stmt_, column);
    return {static_cast<const char*>(data), static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))};
  }
  int64_t ColumnInt(int column) const { return sqlite3_column_int64(stmt_, column); }
  bool ColumnNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

 private:
  sqlite3* db_ = nullptr;
  sqlite3_stmt* stmt_ = nullptr;
};

constexpr const char* kSchema = R"sql(
CREATE TABLE drawings(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  path BLOB NOT NULL UNIQUE,
  device INTEGER NOT NULL, inode INTEGER NOT NULL, size INTEGER NOT NULL,
  mtime_ns INTEGER NOT NULL, ctime_ns INTEGER NOT NULL,
  seen INTEGER NOT NULL,
  header_outcome INTEGER, whole_outcome INTEGER,
  header_check INTEGER, whole_check INTEGER, data_check INTEGER,
  header_messages BLOB, whole_messages BLOB,
  header BLOB, signature BLOB, data BLOB);
CREATE INDEX drawings_seen ON drawings(seen);
)sql";
// Columns are stored in this order, and a row's texts span pages that SQLite walks to reach
// any column after them: the texts come last, so that a lookup that does not want them
// touches none of their pages.

constexpr const char* kEntryColumns =
    "id, device, inode, size, mtime_ns, ctime_ns, seen, header_outcome, whole_outcome, "
    "header_messages, whole_messages, header, signature, data, data_check";

bool MakeFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

void RemoveDatabaseFiles(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm"}) ::unlink((path + suffix).c_str());
}

// What is at the index's place, told without changing a byte of it.
enum class IndexFileKind {
  Missing,        // nothing: an index may be made
  Empty,          // an empty file or a database without tables: ours to fill
  OwnIndex,       // a database with this program's application id
  Foreign,        // a database of another program
  NotADatabase,   // anything else, a damaged database among them
  Unanswered,     // could not be asked (locked, no permission): `problem` says why
};

IndexFileKind IdentifyIndexFile(const std::string& path, IndexProblem& problem) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    if (errno == ENOENT) return IndexFileKind::Missing;
    problem = {IndexFailure::CannotOpen, std::strerror(errno)};
    return IndexFileKind::Unanswered;
  }
  if (!S_ISREG(info.st_mode)) {
    problem = {IndexFailure::CannotOpen, "not a regular file"};
    return IndexFileKind::Unanswered;
  }
  // A database being made by another program is empty until its first commit, and its
  // log may hold that commit already.
  if (info.st_size == 0 && ::access((path + "-wal").c_str(), F_OK) != 0) return IndexFileKind::Empty;
  if (info.st_size > 0) {
    std::ifstream in(path, std::ios::binary);
    char magic[16] = {};
    in.read(magic, sizeof magic);
    if (!in) {
      if (in.gcount() < static_cast<std::streamsize>(sizeof magic) && in.eof()) return IndexFileKind::NotADatabase;
      problem = {IndexFailure::CannotOpen, "cannot be read"};
      return IndexFileKind::Unanswered;
    }
    if (std::memcmp(magic, "SQLite format 3", 16) != 0) return IndexFileKind::NotADatabase;
  }
  // Asked through a read-only connection: a database is never switched to another journal
  // mode, or written in any other way, before it is known to be an index.
  sqlite3* db = nullptr;
  int code = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
  IndexFileKind kind = IndexFileKind::Unanswered;
  if (code == SQLITE_OK) {
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    sqlite3_stmt* statement = nullptr;
    code = sqlite3_prepare_v2(db, "SELECT (SELECT application_id FROM pragma_application_id), "
                                  "(SELECT count(*) FROM sqlite_master)", -1, &statement, nullptr);
    if (code == SQLITE_OK) code = sqlite3_step(statement);
    if (code == SQLITE_ROW) {
      const int64_t application = sqlite3_column_int64(statement, 0);
      const int64_t tables = sqlite3_column_int64(statement, 1);
      kind = application == kApplicationId ? IndexFileKind::OwnIndex
             : tables == 0                 ? IndexFileKind::Empty
                                           : IndexFileKind::Foreign;
    }
    sqlite3_finalize(statement);
  }
  if (kind == IndexFileKind::Unanswered) {
    const int primary = code & 0xff;
    if (primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT) {
      kind = IndexFileKind::NotADatabase;
    } else {
      Fail(problem, db, code);
    }
  }
  sqlite3_close_v2(db);
  return kind;
}

std::string RebuildMarker(const std::string& path) { return path + ".rebuild"; }

// A checksum of an entry's columns, to notice an entry the disk kept only in part (the
// database is written without waiting for the disk): not meant to resist a forger. Eight
// bytes a multiply, and any one changed word always changes the sum.
class Checksum {
 public:
  Checksum& Add(uint64_t value) {
    sum_ = std::rotl((sum_ ^ value) * 0x9E3779B97F4A7C15ull, 29);
    return *this;
  }
  Checksum& Add(std::string_view bytes) {
    Add(bytes.size());
    std::size_t at = 0;
    if (bytes.size() >= 32) {
      // Four sums side by side, folded in at the end: a multiply's latency is paid once per
      // 32 bytes instead of per 8 (the texts of a drawing run to megabytes).
      uint64_t lanes[4] = {sum_, sum_ ^ 1, sum_ ^ 2, sum_ ^ 3};
      for (; at + 32 <= bytes.size(); at += 32) {
        for (int lane = 0; lane < 4; ++lane) {
          uint64_t word = 0;
          std::memcpy(&word, bytes.data() + at + 8 * lane, 8);
          lanes[lane] = std::rotl((lanes[lane] ^ word) * 0x9E3779B97F4A7C15ull, 29);
        }
      }
      for (uint64_t lane : lanes) Add(lane);
    }
    for (; at + 8 <= bytes.size(); at += 8) {
      uint64_t word = 0;
      std::memcpy(&word, bytes.data() + at, 8);
      Add(word);
    }
    uint64_t tail = 0;
    // An empty text may have no bytes at all to point at.
    if (at < bytes.size()) std::memcpy(&tail, bytes.data() + at, bytes.size() - at);
    return Add(tail);
  }
  Checksum& Add(const FileStamp& stamp) {
    return Add(stamp.Device).Add(stamp.Inode).Add(static_cast<uint64_t>(stamp.Size))
        .Add(static_cast<uint64_t>(stamp.ModifiedNs)).Add(static_cast<uint64_t>(stamp.ChangedNs));
  }
  int64_t Value() const { return static_cast<int64_t>(sum_ ^ (sum_ >> 31)); }

 private:
  uint64_t sum_ = 0x243F6A8885A308D3ull;
};

// What each kind of read of an entry relies on, summed: the path and stamp it answers
// for, its outcome and messages, the header, and for a whole read the signature and the
// sum of the texts (summed on their own, as only some lookups read them).
int64_t HeaderCheck(std::string_view path, const FileStamp& stamp, int64_t outcome, std::string_view messages,
                    std::string_view header) {
  return Checksum().Add(path).Add(stamp).Add(static_cast<uint64_t>(outcome)).Add(messages).Add(header).Value();
}
int64_t WholeCheck(std::string_view path, const FileStamp& stamp, int64_t outcome, std::string_view messages,
                   std::string_view header, std::string_view signature, int64_t dataCheck) {
  return Checksum().Add(path).Add(stamp).Add(static_cast<uint64_t>(outcome)).Add(messages).Add(header)
      .Add(signature).Add(static_cast<uint64_t>(dataCheck)).Value();
}
int64_t DataCheck(std::string_view data) { return Checksum().Add(data).Value(); }

}  // namespace

struct IndexDatabase::Connection {
  sqlite3* db = nullptr;
  Statement findHeader, findWhole;
  // close_v2 waits for the statements, finalised after this body.
  ~Connection() { sqlite3_close_v2(db); }
};

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

bool SettledWhenTaken(const FileStamp& stamp, int64_t takenNs, int64_t quietNs) {
  const int64_t latest = std::max(stamp.ModifiedNs, stamp.ChangedNs);
  return latest <= takenNs - quietNs;
}

std::string IndexKeyOf(const std::string& path) {
  std::string absolute = path;
  if (absolute.empty()) return absolute;
  if (absolute.front() != '/') {
    char* here = ::getcwd(nullptr, 0);
    if (here == nullptr) return path;
    absolute = std::string(here) + "/" + path;
    std::free(here);
  }
  const std::size_t slash = absolute.find_last_of('/');
  std::string folder = slash == 0 ? std::string("/") : absolute.substr(0, slash);
  std::string name = absolute.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") {
    folder = absolute;
    name.clear();
  }
  char* resolved = ::realpath(folder.c_str(), nullptr);
  if (resolved == nullptr) return absolute;
  std::string key(resolved);
  std::free(resolved);
  if (name.empty()) return key;
  if (key.back() != '/') key += '/';
  return key + name;
}

std::optional<FileStamp> StampOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return StampOfInfo(info);
}

FileStamp StampOfInfo(const struct stat& info) {
  FileStamp stamp;
  stamp.Device = static_cast<uint64_t>(info.st_dev);
  stamp.Inode = static_cast<uint64_t>(info.st_ino);
  stamp.Size = static_cast<int64_t>(info.st_size);
  stamp.ModifiedNs = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  stamp.ChangedNs = static_cast<int64_t>(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
  return stamp;
}

std::string DefaultIndexPath(const char* xdgCacheHome, const char* home) {
  std::string folder;
  if (xdgCacheHome != nullptr && xdgCacheHome[0] == '/') {
    folder = xdgCacheHome;
  } else if (home != nullptr && home[0] == '/') {
    folder = std::string(home) + "/.cache";
  } else {
    return {};
  }
  return folder + "/dorvan/index.sqlite3";
}

IndexDatabase::IndexDatabase(std::string path, int64_t today) : path_(std::move(path)), today_(today) {}

IndexDatabase::~IndexDatabase() {
  {
    std::lock_guard lock(queueMutex_);
    stopping_ = true;  // after writing what is queued
  }
  queueChanged_.notify_all();
  if (writerThread_.joinable()) writerThread_.join();
}

namespace {

// Opens a connection with the settings every connection shares.
sqlite3* OpenConnection(const std::string& path, bool create, IndexProblem& problem) {
  sqlite3* db = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
  const int code = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  if (code != SQLITE_OK) {
    Fail(problem, db, code);
    sqlite3_close_v2(db);
    return nullptr;
  }
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  return db;
}

// Puts the database in WAL mode. Doing so for a database still in rollback mode reads its
// header and then writes it, and SQLite's busy handler waits for the read but not for the
// write: a second program making the same new index at that moment is told "locked" at
// once. That lock is waited out here like any other.
bool UseWriteAheadLog(sqlite3* db, IndexProblem& problem) {
  const auto giveUpAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
  for (;;) {
    Statement wal;
    if (!wal.Prepare(db, "PRAGMA journal_mode=WAL", problem)) return false;
    const int code = sqlite3_step(wal.get());
    if (code == SQLITE_ROW) {
      if (std::string_view(reinterpret_cast<const char*>(sqlite3_column_text(wal.get(), 0))) == "wal") return true;
      problem = {IndexFailure::ReadOnly, "cannot use a write-ahead log"};
      return false;
    }
    if ((code & 0xff) != SQLITE_BUSY || std::chrono::steady_clock::now() >= giveUpAt) return Fail(problem, db, code);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

int64_t IntPragma(sqlite3* db, const char* sql, IndexProblem& problem, bool& ok) {
  Statement statement;
  ok = statement.Prepare(db, sql, problem);
  if (!ok) return 0;
  const int code = statement.Step(problem);
  ok = code == SQLITE_ROW;
  return ok ? statement.ColumnInt(0) : 0;
}

// Makes the schema current: creates it in an empty database, rebuilds a dorvan index of
// another schema, refuses a database that is not an index.
bool PrepareSchema(sqlite3* db, IndexProblem& problem) {
  bool ok = false;
  if (IntPragma(db, "PRAGMA user_version", problem, ok) == kSchemaVersion && ok &&
      IntPragma(db, "PRAGMA application_id", problem, ok) == kApplicationId && ok) {
    return true;
  }
  if (!ok) return false;
  if (!Exec(db, "BEGIN IMMEDIATE", problem)) return false;
  auto rollback = [&] {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
  };
  // Another program may have made it meanwhile.
  const int64_t version = IntPragma(db, "PRAGMA user_version", problem, ok);
  if (!ok) return rollback();
  const int64_t application = IntPragma(db, "PRAGMA application_id", problem, ok);
  if (!ok) return rollback();
  if (version == kSchemaVersion && application == kApplicationId) return Exec(db, "COMMIT", problem) || rollback();
  const int64_t tables = IntPragma(db, "SELECT count(*) FROM sqlite_master", problem, ok);
  if (!ok) return rollback();
  if (application != kApplicationId && tables > 0) {
    problem = {IndexFailure::NotAnIndex, "not a dorvan index"};
    return rollback();
  }
  // Virtual tables first: their shadow tables go with them.
  for (const char* sql : {"SELECT name FROM sqlite_master WHERE type='table' AND sql LIKE 'CREATE VIRTUAL%'",
                          "SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite_%'"}) {
    std::vector<std::string> names;
    Statement list;
    if (!list.Prepare(db, sql, problem)) return rollback();
    while (list.Step(problem) == SQLITE_ROW) {
      names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(list.get(), 0)));
    }
    if (problem.Failure != IndexFailure::None) return rollback();
    for (const std::string& name : names) {
      std::string drop = "DROP TABLE IF EXISTS \"";
      for (char c : name) drop += c == '"' ? std::string("\"\"") : std::string(1, c);
      drop += '"';
      if (!Exec(db, drop.c_str(), problem)) return rollback();
    }
  }
  const std::string pragmas = "PRAGMA user_version=" + std::to_string(kSchemaVersion) +
                              "; PRAGMA application_id=" + std::to_string(kApplicationId) + ";";
  if (!Exec(db, kSchema, problem) || !Exec(db, pragmas.c_str(), problem) || !Exec(db, "COMMIT", problem)) {
    return rollback();
  }
  return true;
}

bool Prune(sqlite3* db, int64_t today, IndexProblem& problem) {
  const int64_t before = today - kPruneAfterDays;
  Statement any;
  if (!any.Prepare(db, "SELECT 1 FROM drawings WHERE seen < ? LIMIT 1", problem)) return false;
  any.Int(1, before);
  const int code = any.Step(problem);
  if (code == SQLITE_DONE) return true;
  if (code != SQLITE_ROW) return false;
  any.Reset();
  if (!Exec(db, "BEGIN IMMEDIATE", problem)) return false;
  Statement drop;
  const bool done = drop.Prepare(db, "DELETE FROM drawings WHERE seen < ?", problem) &&
                    (drop.Int(1, before), drop.Run(problem)) && Exec(db, "COMMIT", problem);
  if (!done) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  return done;
}

}  // namespace

// An empty index is filled in rollback-journal mode: a rollback journal keeps only the
// pages a transaction changes that were in the file before it, so the new pages of a first
// fill are written once, where the write-ahead log writes every page twice (into the log,
// then into the database at checkpoints). The journal still makes a transaction all or
// nothing when the program dies. SQLite leaves the log only when no other connection uses
// the database; when another program has it open, the fill keeps the log. A program that
// opens the index meanwhile puts it back in WAL mode, and the filling connection follows.
bool FillWithRollbackJournal(sqlite3* db) {
  IndexProblem problem;
  bool ok = false;
  if (IntPragma(db, "SELECT EXISTS(SELECT 1 FROM drawings)", problem, ok) != 0 || !ok) return false;
  Statement mode;
  if (!mode.Prepare(db, "PRAGMA journal_mode=TRUNCATE", problem) || sqlite3_step(mode.get()) != SQLITE_ROW) {
    return false;
  }
  return std::string_view(reinterpret_cast<const char*>(sqlite3_column_text(mode.get(), 0))) == "truncate";
}

std::unique_ptr<IndexDatabase> IndexDatabase::Open(const std::string& path, int64_t today,
                                                   IndexProblem& problem, bool ownFile) {
  if (path.empty() || !MakeFolders(path)) {
    problem = {IndexFailure::CannotOpen, "cannot make the folder of " + path};
    return nullptr;
  }
  problem = {};
  IndexFileKind kind = IdentifyIndexFile(path, problem);
  if (kind == IndexFileKind::Unanswered) return nullptr;
  if (kind == IndexFileKind::Foreign || kind == IndexFileKind::NotADatabase) {
    if (!ownFile) {
      problem = {IndexFailure::NotAnIndex,
                 kind == IndexFileKind::Foreign ? "a database of another program" : "not a database"};
      return nullptr;
    }
    // At the program's own place whatever is there was an index once: made again.
    RemoveDatabaseFiles(path);
    kind = IndexFileKind::Missing;
  }
  if (::access(RebuildMarker(path).c_str(), F_OK) == 0) {
    if (kind == IndexFileKind::OwnIndex) RemoveDatabaseFiles(path);
    ::unlink(RebuildMarker(path).c_str());
  }
  for (int attempt = 0; attempt < 2; ++attempt) {
    problem = {};
    std::unique_ptr<IndexDatabase> index(new IndexDatabase(path, today));
    index->writer_ = std::make_unique<Connection>();
    sqlite3* db = OpenConnection(path, true, problem);
    index->writer_->db = db;
    // Entries of large drawings span many pages, and the log is written a page a call:
    // large pages take a fraction of the calls. Only a new database takes the size.
    const bool opened = db != nullptr && Exec(db, "PRAGMA page_size=16384", problem) &&
                        UseWriteAheadLog(db, problem) &&
                        // The index is a cache: nothing waits for the disk. What a system
                        // crash leaves half written is refused by SQLite's own checks or by
                        // the entries' checksums, and the index is made again.
                        Exec(db, "PRAGMA synchronous=OFF; PRAGMA journal_size_limit=4194304; PRAGMA wal_autocheckpoint=256", problem) &&
                        PrepareSchema(db, problem);
    if (opened) index->fillingWithoutLog_ = FillWithRollbackJournal(db);
    if (opened) {
      // Pruning waits for no one: a busy database is pruned another time.
      IndexProblem pruneProblem;
      if (!Prune(db, today, pruneProblem) && pruneProblem.Failure == IndexFailure::Corrupt) {
        problem = pruneProblem;
      } else {
        return index;
      }
    }
    index.reset();
    // Only what was known to be ours (or nothing) before it was opened is made again.
    if (problem.Failure != IndexFailure::Corrupt || attempt > 0) return nullptr;
    RemoveDatabaseFiles(path);  // damaged: made again from nothing
  }
  return nullptr;
}

void IndexDatabase::MarkForRebuild() {
  std::ofstream marker(RebuildMarker(path_));
}

std::unique_ptr<IndexDatabase::Connection> IndexDatabase::Borrow(IndexProblem& problem) {
  {
    std::lock_guard lock(poolMutex_);
    if (!idle_.empty()) {
      std::unique_ptr<Connection> connection = std::move(idle_.back());
      idle_.pop_back();
      return connection;
    }
  }
  auto connection = std::make_unique<Connection>();
  connection->db = OpenConnection(path_, false, problem);
  if (connection->db == nullptr) return nullptr;
  // Lookups read the database through memory mapped pages, not a read call each.
  sqlite3_exec(connection->db, "PRAGMA mmap_size=1073741824; PRAGMA cache_size=-16384", nullptr, nullptr, nullptr);
  const std::string header = std::string("SELECT id, device, inode, size, mtime_ns, ctime_ns, seen, ") +
                             "header_outcome, header_messages, header, header_check FROM drawings WHERE path = ?";
  const std::string whole = std::string("SELECT id, device, inode, size, mtime_ns, ctime_ns, seen, ") +
                            "whole_outcome, whole_messages, header, signature, data, whole_check, data_check "
                            "FROM drawings WHERE path = ?";
  if (!connection->findHeader.Prepare(connection->db, header.c_str(), problem) ||
      !connection->findWhole.Prepare(connection->db, whole.c_str(), problem)) {
    return nullptr;
  }
  return connection;
}

void IndexDatabase::GiveBack(std::unique_ptr<Connection> connection) {
  std::lock_guard lock(poolMutex_);
  idle_.push_back(std::move(connection));
}

IndexDatabase::ReadingSession::ReadingSession(IndexDatabase& database, std::unique_ptr<Connection> connection)
    : database_(database), connection_(std::move(connection)) {}

IndexDatabase::ReadingSession::~ReadingSession() {
  sqlite3_exec(connection_->db, "COMMIT", nullptr, nullptr, nullptr);
  database_.GiveBack(std::move(connection_));
}

std::unique_ptr<IndexDatabase::ReadingSession> IndexDatabase::BeginReading(IndexProblem& problem) {
  std::unique_ptr<Connection> connection = Borrow(problem);
  if (!connection) return nullptr;
  if (!Exec(connection->db, "BEGIN", problem)) {
    GiveBack(std::move(connection));
    return nullptr;
  }
  return std::unique_ptr<ReadingSession>(new ReadingSession(*this, std::move(connection)));
}

IndexDatabase::Lookup IndexDatabase::Find(ReadingSession* session, const std::string& path, ReadKind kind,
                                          const FileStamp& stamp, const std::function<bool(std::string_view)>& wantData,
                                          const std::function<bool(const EntryView&)>& visit,
                                          IndexProblem& problem) {
  std::unique_ptr<Connection> borrowed;
  if (session == nullptr) {
    borrowed = Borrow(problem);
    if (!borrowed) return Lookup::Failed;
  }
  Connection* connection = session != nullptr ? session->connection_.get() : borrowed.get();
  Statement& find = kind == ReadKind::Header ? connection->findHeader : connection->findWhole;
  find.Blob(1, path);
  Lookup result = Lookup::Miss;
  const int code = find.Step(problem);
  if (code == SQLITE_ROW) {
    const FileStamp stored{static_cast<uint64_t>(find.ColumnInt(1)), static_cast<uint64_t>(find.ColumnInt(2)),
                           find.ColumnInt(3), find.ColumnInt(4), find.ColumnInt(5)};
    if (stored == stamp && !find.ColumnNull(7)) {
      const int64_t outcome = find.ColumnInt(7);
      const std::string_view messages = find.ColumnBlob(8), header = find.ColumnBlob(9);
      const bool whole = kind == ReadKind::Whole;
      const std::string_view signature = whole ? find.ColumnBlob(10) : std::string_view();
      const int64_t dataCheck = whole ? find.ColumnInt(13) : 0;
      const bool intact = whole ? find.ColumnInt(12) == WholeCheck(path, stamp, outcome, messages, header,
                                                                     signature, dataCheck)
                                : find.ColumnInt(10) == HeaderCheck(path, stamp, outcome, messages, header);
      EntryView view;
      view.Id = find.ColumnInt(0);
      view.SeenDay = find.ColumnInt(6);
      view.Readable = outcome != 0;
      view.Messages = messages;
      bool dataIntact = true;
      if (intact && view.Readable) {
        view.Header = header;
        if (whole && wantData(signature)) {
          view.Data = find.ColumnBlob(11);
          dataIntact = DataCheck(view.Data) == dataCheck;
        }
      }
      if (!intact || !dataIntact) {
        result = Lookup::Failed;
        problem = {IndexFailure::Corrupt, "an entry is damaged"};
      } else {
        result = visit(view) ? Lookup::Hit : Lookup::Failed;
        if (result == Lookup::Failed) problem = {IndexFailure::Corrupt, "an entry cannot be decoded"};
      }
    }
  } else if (code != SQLITE_DONE) {
    result = Lookup::Failed;
  }
  find.Reset();
  if (borrowed) GiveBack(std::move(borrowed));
  return result;
}

bool IndexDatabase::BatchFull() const {
  return pending_.size() >= kBatchEntries || pendingBytes_ >= kBatchBytes || touches_.size() >= 16 * kBatchEntries;
}

bool IndexDatabase::Queue(const std::function<void()>& add, IndexProblem& problem) {
  std::unique_lock lock(queueMutex_);
  if (failure_) {
    problem = *failure_;
    return false;
  }
  if (!writerThread_.joinable()) {
    try {
      writerThread_ = std::thread([this] { WriteQueued(); });
    } catch (const std::exception&) {
      failure_ = IndexProblem{IndexFailure::WriteFailed, "cannot start the thread that writes the index"};
      problem = *failure_;
      return false;
    }
  }
  add();
  if (BatchFull()) queueChanged_.notify_all();
  // Reading far ahead of the writes would hold every entry in memory.
  queueChanged_.wait(lock, [this] { return pendingBytes_ < kMostQueuedBytes || failure_; });
  return true;
}

bool IndexDatabase::Store(NewEntry entry, IndexProblem& problem) {
  return Queue(
      [&] {
        pendingBytes_ += entry.Path.size() + entry.Messages.size() + entry.Header.size() + entry.Data.size() +
                         entry.Signature.size();
        pending_.push_back(std::move(entry));
      },
      problem);
}

bool IndexDatabase::Touch(int64_t id, IndexProblem& problem) {
  return Queue([&] { touches_.push_back(id); }, problem);
}

void IndexDatabase::WriteQueued() {
  std::unique_lock lock(queueMutex_);
  for (;;) {
    queueChanged_.wait(lock, [this] { return stopping_ || flushWanted_ || BatchFull(); });
    if (pending_.empty() && touches_.empty()) {
      flushWanted_ = false;
      queueChanged_.notify_all();
      if (stopping_) return;
      continue;
    }
    std::vector<NewEntry> entries = std::move(pending_);
    std::vector<int64_t> touches = std::move(touches_);
    pending_.clear();
    touches_.clear();
    pendingBytes_ = 0;
    writing_ = true;
    queueChanged_.notify_all();  // room for more entries
    const bool failedBefore = failure_.has_value();
    lock.unlock();
    IndexProblem problem;
    bool written = false;
    if (!failedBefore) {
      try {
        written = Write(entries, touches, problem);
      } catch (const std::exception&) {
        problem = {IndexFailure::WriteFailed, "out of memory while writing the index"};
      }
    }
    entries.clear();
    lock.lock();
    writing_ = false;
    if (!written && !failure_) failure_ = problem;
    queueChanged_.notify_all();
  }
}

bool IndexDatabase::Flush(IndexProblem& problem) {
  std::unique_lock lock(queueMutex_);
  if (writerThread_.joinable()) {
    flushWanted_ = true;
    queueChanged_.notify_all();
    queueChanged_.wait(lock, [this] { return !flushWanted_ && !writing_; });
  }
  // The fill is over: back to the log, so that readers and the writer of later runs do not
  // wait for each other. The writer thread is idle while the queue's lock is held. Should
  // the switch fail, the next Open makes it.
  if (fillingWithoutLog_ && !failure_) {
    IndexProblem walProblem;
    fillingWithoutLog_ = !UseWriteAheadLog(writer_->db, walProblem);
  }
  if (failure_) {
    problem = *failure_;
    return false;
  }
  return true;
}

void IndexDatabase::Discard() {
  std::lock_guard lock(queueMutex_);
  pending_.clear();
  touches_.clear();
  pendingBytes_ = 0;
}

bool IndexDatabase::Write(std::vector<NewEntry>& entries, const std::vector<int64_t>& touches,
                          IndexProblem& problem) {
  sqlite3* db = writer_->db;
  if (!Exec(db, "BEGIN IMMEDIATE", problem)) return false;
  Statement old, drop, insert, touch;
  const std::string select = std::string("SELECT ") + kEntryColumns + " FROM drawings WHERE path = ?";
  bool ok = old.Prepare(db, select.c_str(), problem) &&
            drop.Prepare(db, "DELETE FROM drawings WHERE id = ?", problem) &&
            insert.Prepare(db,
                           "INSERT INTO drawings(path, device, inode, size, mtime_ns, ctime_ns, seen, "
                           "header_outcome, whole_outcome, header_messages, whole_messages, header, signature, data, "
                           "header_check, whole_check, data_check) "
                           "VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                           problem) &&
            touch.Prepare(db, "UPDATE drawings SET seen = ? WHERE id = ?", problem);
  for (std::size_t e = 0; ok && e < entries.size(); ++e) {
    NewEntry& entry = entries[e];
    const bool whole = entry.Kind == ReadKind::Whole;
    // What the other kind of read left in the entry stays while the file is the same.
    std::optional<int64_t> otherOutcome;
    std::string otherMessages, header = std::move(entry.Header), data = std::move(entry.Data),
                               signature = std::move(entry.Signature);
    bool hasData = whole && entry.Readable;
    int64_t dataCheck = hasData ? DataCheck(data) : 0;
    old.Blob(1, entry.Path);
    const int code = old.Step(problem);
    if (code == SQLITE_ROW) {
      const int64_t oldId = old.ColumnInt(0);
      const FileStamp stored{static_cast<uint64_t>(old.ColumnInt(1)), static_cast<uint64_t>(old.ColumnInt(2)),
                             old.ColumnInt(3), old.ColumnInt(4), old.ColumnInt(5)};
      const int otherColumn = whole ? 7 : 8;
      if (stored == entry.Stamp && !old.ColumnNull(otherColumn)) {
        otherOutcome = old.ColumnInt(otherColumn);
        otherMessages = old.ColumnBlob(whole ? 9 : 10);
        if (header.empty()) header = old.ColumnBlob(11);
        if (!whole) {
          hasData = !old.ColumnNull(13);
          signature = old.ColumnBlob(12);
          data = old.ColumnBlob(13);
          dataCheck = old.ColumnInt(14);
        }
      }
      old.Reset();
      drop.Int(1, oldId);
      ok = drop.Run(problem);
    } else {
      old.Reset();
      ok = code == SQLITE_DONE;
    }
    if (!ok) break;
    if (whole && entry.Readable && !otherOutcome) {
      // A whole read that succeeded has read the header as a header read would, which
      // shows no message when it succeeds: a later search of a header range needs no read.
      otherOutcome = 1;
      otherMessages.clear();
    }
    insert.Blob(1, entry.Path);
    insert.Int(2, static_cast<int64_t>(entry.Stamp.Device));
    insert.Int(3, static_cast<int64_t>(entry.Stamp.Inode));
    insert.Int(4, entry.Stamp.Size);
    insert.Int(5, entry.Stamp.ModifiedNs);
    insert.Int(6, entry.Stamp.ChangedNs);
    insert.Int(7, today_.load());
    const int outcomeColumn = whole ? 9 : 8, otherColumn = whole ? 8 : 9;
    insert.Int(outcomeColumn, entry.Readable ? 1 : 0);
    if (otherOutcome) insert.Int(otherColumn, *otherOutcome);
    insert.Blob(whole ? 11 : 10, entry.Messages);
    if (otherOutcome) insert.Blob(whole ? 10 : 11, otherMessages);
    if (!header.empty()) insert.Blob(12, header);
    if (hasData) {
      insert.Blob(13, signature);
      insert.Blob(14, data);
      insert.Int(17, dataCheck);
    }
    const int64_t outcome = entry.Readable ? 1 : 0;
    const std::string_view headerMessages = whole ? otherMessages : entry.Messages;
    const std::string_view wholeMessages = whole ? entry.Messages : otherMessages;
    const std::string_view storedSignature = hasData ? std::string_view(signature) : std::string_view();
    const std::optional<int64_t> headerOutcome = whole ? otherOutcome : outcome;
    const std::optional<int64_t> wholeOutcome = whole ? outcome : otherOutcome;
    if (headerOutcome) insert.Int(15, HeaderCheck(entry.Path, entry.Stamp, *headerOutcome, headerMessages, header));
    if (wholeOutcome) {
      insert.Int(16, WholeCheck(entry.Path, entry.Stamp, *wholeOutcome, wholeMessages, header, storedSignature,
                                hasData ? dataCheck : 0));
    }
    ok = insert.Run(problem);
  }
  for (std::size_t t = 0; ok && t < touches.size(); ++t) {
    touch.Int(1, today_.load());
    touch.Int(2, touches[t]);
    ok = touch.Run(problem);
  }
  if (ok) ok = Exec(db, "COMMIT", problem);
  if (!ok) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  return ok;
}

bool IndexDatabase::ForEachWholeEntry(const WholeEntryVisit& visit, IndexProblem& problem) {
  std::unique_ptr<Connection> connection = Borrow(problem);
  if (!connection) return false;
  bool ok = false;
  {
    Statement all;  // finalised before the connection goes back to the pool
    ok = all.Prepare(connection->db,
                     "SELECT path, device, inode, size, mtime_ns, ctime_ns, whole_outcome, whole_messages, header, "
                     "signature, whole_check, data_check FROM drawings WHERE whole_outcome IS NOT NULL",
                     problem);
    while (ok) {
      const int code = all.Step(problem);
      if (code == SQLITE_DONE) break;
      if (code != SQLITE_ROW) {
        ok = false;
        break;
      }
      const std::string_view key = all.ColumnBlob(0);
      const FileStamp stamp{static_cast<uint64_t>(all.ColumnInt(1)), static_cast<uint64_t>(all.ColumnInt(2)),
                            all.ColumnInt(3), all.ColumnInt(4), all.ColumnInt(5)};
      const int64_t outcome = all.ColumnInt(6);
      const std::string_view messages = all.ColumnBlob(7), header = all.ColumnBlob(8), signature = all.ColumnBlob(9);
      if (all.ColumnInt(10) != WholeCheck(key, stamp, outcome, messages, header, signature, all.ColumnInt(11))) {
        continue;  // a damaged entry tells nothing; a lookup of it finds the damage
      }
      visit(key, stamp, outcome != 0, messages, signature);
    }
  }
  GiveBack(std::move(connection));
  return ok;
}

bool IndexDatabase::HasEntries(IndexProblem& problem) {
  std::unique_ptr<Connection> connection = Borrow(problem);
  if (!connection) return false;
  bool ok = false;
  const bool any = IntPragma(connection->db, "SELECT EXISTS(SELECT 1 FROM drawings)", problem, ok) != 0;
  GiveBack(std::move(connection));
  return ok && any;
}

bool IndexDatabase::Stats(IndexStats& stats, IndexProblem& problem) {
  std::unique_ptr<Connection> connection = Borrow(problem);
  if (!connection) return false;
  bool ok = false;
  stats.Entries = IntPragma(connection->db, "SELECT count(*) FROM drawings", problem, ok);
  GiveBack(std::move(connection));
  stats.Bytes = 0;
  for (const char* suffix : {"", "-wal"}) {
    struct stat info {};
    if (::stat((path_ + suffix).c_str(), &info) == 0) stats.Bytes += info.st_size;
  }
  return ok;
}

}  // namespace dorvan::index
