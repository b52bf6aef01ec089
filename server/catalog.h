// The server's knowledge of its archive: for every root, the drawings it holds in the
// folder scan's walk order, kept fresh by a first scan, inotify on local folders and
// periodic rescans on network shares (and wherever the watch limit is reached), and an
// indexer that reads what is new or changed into the index ahead of the searches.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "files/folder_scan.h"
#include "index/index_database.h"
#include "server/config.h"
#include "server/signature_table.h"

namespace dorvan::server {

// One drawing as the last scan saw it.
struct CatalogEntry {
  std::string Relative;  // below the root, '/'-separated
  int64_t Size = 0;
  int64_t ModifiedNs = 0;  // since the epoch
  // The whole stamp as the scan or the watcher last saw it, so that a search needs no
  // look at the file (absent from lists saved by older versions).
  std::optional<index::FileStamp> Stamp;
  // The drawing's row in the catalog's signature table, given when the entry is published.
  uint32_t Row = SignatureTable::kNoRow;
};

// The drawings of one root at one moment; never changed once published.
struct RootList {
  std::vector<CatalogEntry> Entries;                      // walk order
  std::vector<uint32_t> Rows;  // each entry's signature-table row, apart: a search reads all of them
  std::unordered_map<std::string, std::size_t> ByRelative;  // relative path -> position
  std::unordered_map<std::string, std::size_t> ById;        // drawing id -> position
};

enum class RootState { Scanning, Watching, Rescanning, Unavailable };
const char* RootStateName(RootState state);

struct RootStatus {
  RootState State = RootState::Scanning;
  bool Network = false;
  std::size_t Known = 0;
  std::size_t Indexed = 0;
  std::size_t Unreadable = 0;
  std::size_t Queue = 0;
  int64_t LastCompleteScan = 0;  // seconds since the epoch; 0 before the first
};

// The opaque id of a drawing: 32 hex digits from its root's name and its relative path.
std::string DrawingId(const std::string& rootName, const std::string& relative);

// Called with a line for the log (from the catalog's threads).
using LogLine = std::function<void(const std::string& line)>;

class Catalog {
 public:
  Catalog(const ServerConfig& config, LogLine log);
  ~Catalog();
  Catalog(const Catalog&) = delete;
  Catalog& operator=(const Catalog&) = delete;

  // Loads the list saved by the last run (so that searches answer at once), then starts
  // the scanning, watching and indexing threads.
  void Start();
  // Stops the threads and saves the lists.
  void Stop();

  std::size_t RootCount() const { return roots_.size(); }
  const RootConfig& Root(std::size_t root) const { return config_.Roots[root]; }
  std::shared_ptr<const RootList> List(std::size_t root) const;
  RootStatus Status(std::size_t root) const;
  // Whether the root's folder can be listed now (one check of the folder, not its files).
  bool Available(std::size_t root);
  // True until the first complete scan of the root.
  bool FirstScanPending(std::size_t root) const;
  // Changes whenever a root's list is replaced.
  uint64_t Generation() const { return generation_.load(); }
  // The trigram signatures of the indexed drawings, by their entries' rows.
  const SignatureTable& Signatures() const { return signatures_; }


 private:
  struct RootData;
  struct QueuedFile {
    std::size_t Root;
    std::string Relative;
    int64_t NotBeforeNs;
  };

  void WatchLoop();
  void IndexLoop(int worker);
  // A full walk of the root; `restamp` stats every known drawing too (periodic rescans).
  void ScanRoot(std::size_t root, bool restamp);
  // Walks `folder` (the root or a folder below it) into `entries`, in walk order, taking
  // known drawings from `old` unless `restamp`; new and changed ones go to `changed`.
  ScanResult Walk(std::size_t root, const std::string& folder, const RootList& old, bool restamp,
                  const std::string& realRoot, std::vector<CatalogEntry>& entries, std::vector<std::string>& changed);
  // Walks one changed folder again and puts its drawings in place; false when the whole
  // root has to be walked instead.
  bool RescanFolder(std::size_t root, const std::string& folder);
  void HandleEvents();
  void RestampFile(std::size_t root, const std::string& relative);
  void Publish(std::size_t root, std::vector<CatalogEntry> entries);
  void Enqueue(std::size_t root, const std::string& relative, int64_t notBeforeNs);
  void SaveLists();
  void LoadLists();
  std::string ListsFile() const;
  void WatchFolder(std::size_t root, const std::string& folder);
  // Fills the signature table from the index, for the drawings the loaded lists hold.
  void LoadSignatures();

  const ServerConfig config_;
  const LogLine log_;
  std::vector<std::unique_ptr<RootData>> roots_;
  SignatureTable signatures_;
  mutable std::mutex mutex_;
  std::condition_variable queueChanged_;
  std::deque<QueuedFile> queue_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> signaturesLoaded_{false};
  std::atomic<uint64_t> generation_{0};
  int inotify_ = -1;
  int wakePipe_[2] = {-1, -1};
  bool watchLimitTold_ = false;
  std::unordered_map<int, std::pair<std::size_t, std::string>> watches_;  // wd -> root, folder
  std::thread watcher_;
  std::vector<std::thread> indexers_;
};

}  // namespace dorvan::server
