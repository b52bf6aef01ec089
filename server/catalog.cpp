#include "server/catalog.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "files/folder_scan.h"
#include "index/indexed_drawing_source.h"
#include "index/stored_drawing.h"
#include "reader/jww_reader.h"

namespace dorvan::server {
namespace {

constexpr int kUnavailableRetrySeconds = 5;
constexpr std::size_t kIndexBatch = 32;
constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE |
                                IN_ATTRIB | IN_MODIFY | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

bool IsDrawingName(std::string_view name) {
  if (name.size() < 3) return false;
  const std::string_view tail = name.substr(name.size() - 3);
  auto lower = [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); };
  return lower(tail[0]) == 'j' && lower(tail[1]) == 'w' && lower(tail[2]) == 'w';
}

// Shares and other file systems whose changes inotify does not see.
bool IsNetworkFileSystem(const std::string& path) {
  struct statfs info {};
  if (statfs(path.c_str(), &info) != 0) return false;
  switch (static_cast<uint32_t>(info.f_type)) {
    case 0xFF534D42u:  // CIFS
    case 0xFE534D42u:  // SMB2
    case 0x517Bu:      // SMB
    case 0x6969u:      // NFS
    case 0x65735546u:  // FUSE (sshfs and the like)
    case 0x01021997u:  // 9P
    case 0x00C36400u:  // Ceph
    case 0x47504653u:  // GPFS
    case 0x5346414Fu:  // AFS
      return true;
    default:
      return false;
  }
}

std::string RealPath(const std::string& path) {
  char buffer[PATH_MAX];
  return realpath(path.c_str(), buffer) != nullptr ? std::string(buffer) : std::string();
}

bool Inside(const std::string& real, const std::string& realRoot) {
  if (real.empty() || realRoot.empty()) return false;
  if (realRoot == "/") return true;
  return real == realRoot || (real.size() > realRoot.size() && real.compare(0, realRoot.size(), realRoot) == 0 &&
                              real[realRoot.size()] == '/');
}

uint64_t Fnv1a(std::string_view bytes, uint64_t seed) {
  uint64_t hash = seed;
  for (char c : bytes) {
    hash ^= static_cast<uint8_t>(c);
    hash *= 0x100000001b3ull;
  }
  return hash;
}

}  // namespace

const char* RootStateName(RootState state) {
  switch (state) {
    case RootState::Scanning: return "scanning";
    case RootState::Watching: return "watching";
    case RootState::Rescanning: return "rescanning";
    case RootState::Unavailable: return "unavailable";
  }
  return "unavailable";
}

std::string DrawingId(const std::string& rootName, const std::string& relative) {
  std::string key = rootName;
  key.push_back('\0');
  key += relative;
  const uint64_t a = Fnv1a(key, 0xcbf29ce484222325ull);
  const uint64_t b = Fnv1a(key, a ^ 0x9e3779b97f4a7c15ull);
  char text[33];
  std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(a),
                static_cast<unsigned long long>(b));
  return text;
}

struct Catalog::RootData {
  std::shared_ptr<const RootList> List = std::make_shared<RootList>();
  RootState State = RootState::Scanning;
  bool Network = false;
  bool Watched = false;  // inotify covers every folder
  bool FirstScanDone = false;
  int64_t LastCompleteScan = 0;
  // Relative path -> 1 readable, 2 unreadable (absent: not indexed yet).
  std::unordered_map<std::string, int8_t> Outcome;
  bool Dirty = false;                  // the root itself changed: walk it all again
  std::set<std::string> DirtyFolders;  // folders whose entries changed: walk them again
  std::set<std::string> ChangedFiles;  // contents changed: stamp again
  std::chrono::steady_clock::time_point NextRescan{};
};

Catalog::Catalog(const ServerConfig& config, LogLine log) : config_(config), log_(std::move(log)) {
  for (std::size_t i = 0; i < config_.Roots.size(); ++i) roots_.push_back(std::make_unique<RootData>());
}

Catalog::~Catalog() { Stop(); }

std::shared_ptr<const RootList> Catalog::List(std::size_t root) const {
  std::lock_guard lock(mutex_);
  return roots_[root]->List;
}

bool Catalog::FirstScanPending(std::size_t root) const {
  std::lock_guard lock(mutex_);
  return !roots_[root]->FirstScanDone;
}

RootStatus Catalog::Status(std::size_t root) const {
  std::lock_guard lock(mutex_);
  const RootData& data = *roots_[root];
  RootStatus status;
  status.State = data.State;
  status.Network = data.Network;
  status.Known = data.List->Entries.size();
  for (const CatalogEntry& entry : data.List->Entries) {
    const auto found = data.Outcome.find(entry.Relative);
    if (found == data.Outcome.end()) continue;
    ++status.Indexed;
    if (found->second == 2) ++status.Unreadable;
  }
  for (const QueuedFile& file : queue_) {
    if (file.Root == root) ++status.Queue;
  }
  status.LastCompleteScan = data.LastCompleteScan;
  return status;
}

bool Catalog::Available(std::size_t root) {
  const std::string& path = config_.Roots[root].Path;
  const bool available = access(path.c_str(), R_OK | X_OK) == 0;
  std::lock_guard lock(mutex_);
  RootData& data = *roots_[root];
  if (!available && data.State != RootState::Unavailable) {
    data.State = RootState::Unavailable;
    data.NextRescan = std::chrono::steady_clock::now() + std::chrono::seconds(kUnavailableRetrySeconds);
  }
  return available && data.State != RootState::Unavailable;
}

void Catalog::Publish(std::size_t root, std::vector<CatalogEntry> entries) {
  for (CatalogEntry& entry : entries) {
    if (entry.Row == SignatureTable::kNoRow) entry.Row = signatures_.RowFor(root, entry.Relative);
  }
  auto list = std::make_shared<RootList>();
  list->Entries = std::move(entries);
  list->Rows.reserve(list->Entries.size());
  for (const CatalogEntry& entry : list->Entries) list->Rows.push_back(entry.Row);
  signatures_.SetCatalogStamps(list->Entries.size(), [&](std::size_t i) {
    return SignatureTable::RowStamp(list->Entries[i].Row, &list->Entries[i].Stamp);
  });
  list->ByRelative.reserve(list->Entries.size());
  list->ById.reserve(list->Entries.size());
  const std::string& name = config_.Roots[root].Name;
  for (std::size_t i = 0; i < list->Entries.size(); ++i) {
    list->ByRelative.emplace(list->Entries[i].Relative, i);
    list->ById.emplace(DrawingId(name, list->Entries[i].Relative), i);
  }
  std::lock_guard lock(mutex_);
  RootData& data = *roots_[root];
  for (auto it = data.Outcome.begin(); it != data.Outcome.end();) {
    it = list->ByRelative.contains(it->first) ? std::next(it) : data.Outcome.erase(it);
  }
  data.List = std::move(list);
  generation_.fetch_add(1);
}

void Catalog::Enqueue(std::size_t root, const std::string& relative, int64_t notBeforeNs) {
  {
    std::lock_guard lock(mutex_);
    roots_[root]->Outcome.erase(relative);
    queue_.push_back({root, relative, notBeforeNs});
  }
  queueChanged_.notify_one();
}

void Catalog::WatchFolder(std::size_t root, const std::string& folder) {
  if (inotify_ < 0) return;
  RootData& data = *roots_[root];
  const int wd = inotify_add_watch(inotify_, folder.c_str(), kWatchMask);
  if (wd >= 0) {
    std::lock_guard lock(mutex_);
    // The walk lists a folder before it is watched: what appeared in a new folder between
    // the two is found by walking it once more, now that it is watched.
    if (!watches_.contains(wd) && data.FirstScanDone) data.DirtyFolders.insert(folder);
    watches_[wd] = {root, folder};
    return;
  }
  if (errno == ENOSPC) {
    data.Watched = false;
    if (!watchLimitTold_) {
      watchLimitTold_ = true;
      log_("dorvan-server: the kernel's limit of inotify watches is reached (fs.inotify.max_user_watches); "
           "root \"" + config_.Roots[root].Name + "\" is rescanned every " +
           std::to_string(config_.Roots[root].RescanMinutes) + " minutes instead");
    }
  }
}

void Catalog::ScanRoot(std::size_t root, bool restamp) {
  const RootConfig& config = config_.Roots[root];
  RootData& data = *roots_[root];
  const auto now = std::chrono::steady_clock::now();
  const std::string realRoot = RealPath(config.Path);
  struct stat rootInfo {};
  // The reason goes into the log: under the service's own user a folder that exists but is
  // not readable by it is the usual cause, and the administrator should see that at once.
  std::string unavailable;
  if (realRoot.empty() || ::stat(realRoot.c_str(), &rootInfo) != 0) {
    unavailable = std::strerror(errno);
  } else if (!S_ISDIR(rootInfo.st_mode)) {
    unavailable = "not a folder";
  } else if (access(realRoot.c_str(), R_OK | X_OK) != 0) {
    unavailable = std::strerror(errno);
  }
  if (!unavailable.empty()) {
    std::lock_guard lock(mutex_);
    if (data.State != RootState::Unavailable) {
      log_("dorvan-server: root \"" + config.Name + "\" (" + config.Path + ") is unavailable (" + unavailable +
           "); its drawings are kept until it returns");
    }
    data.State = RootState::Unavailable;
    data.NextRescan = now + std::chrono::seconds(kUnavailableRetrySeconds);
    return;
  }
  const bool network = IsNetworkFileSystem(realRoot);
  bool wasUnavailable = false;
  {
    std::lock_guard lock(mutex_);
    wasUnavailable = data.State == RootState::Unavailable;
    data.Network = network;
    if (!data.FirstScanDone || wasUnavailable) data.State = RootState::Scanning;
    data.Dirty = false;
  }
  if (wasUnavailable) log_("dorvan-server: root \"" + config.Name + "\" is available again");
  data.Watched = !network && inotify_ >= 0;
  const std::shared_ptr<const RootList> old = List(root);
  std::vector<CatalogEntry> entries;
  entries.reserve(old->Entries.size());
  std::vector<std::string> changed;
  const ScanResult result = Walk(root, config.Path, *old, restamp || wasUnavailable, realRoot, entries, changed);
  if (result.outcome == ScanOutcome::Cancelled) return;
  if (result.outcome == ScanOutcome::RootUnreadable) {
    std::lock_guard lock(mutex_);
    data.State = RootState::Unavailable;
    data.NextRescan = now + std::chrono::seconds(kUnavailableRetrySeconds);
    return;
  }
  Publish(root, std::move(entries));
  for (const std::string& relative : changed) Enqueue(root, relative, 0);
  std::lock_guard lock(mutex_);
  data.FirstScanDone = true;
  data.LastCompleteScan = index::NowNs() / 1'000'000'000;
  data.State = data.Watched ? RootState::Watching : RootState::Rescanning;
  data.NextRescan = std::chrono::steady_clock::now() + std::chrono::minutes(config.RescanMinutes);
}

ScanResult Catalog::Walk(std::size_t root, const std::string& folder, const RootList& old, bool restamp,
                         const std::string& realRoot, std::vector<CatalogEntry>& entries,
                         std::vector<std::string>& changed) {
  const RootConfig& config = config_.Roots[root];
  RootData& data = *roots_[root];
  const std::size_t prefix = config.Path == "/" ? 1 : config.Path.size() + 1;
  ScanState state;
  ScanCallbacks callbacks;
  callbacks.EnterFolder = [&](const std::string& folder) { return Inside(RealPath(folder), realRoot); };
  callbacks.OnFolder = [&](const std::string& folder) {
    if (data.Watched) WatchFolder(root, folder);
  };
  callbacks.OnDrawing = [&](const std::string& path) {
    if (path.size() <= prefix) return;
    std::string relative = path.substr(prefix);
    const auto known = old.ByRelative.find(relative);
    if (known != old.ByRelative.end() && !restamp) {
      entries.push_back(old.Entries[known->second]);
      return;
    }
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) return;
    if (S_ISLNK(info.st_mode) && !Inside(RealPath(path), realRoot)) return;  // a link out of the archive
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return;
    CatalogEntry entry{std::move(relative), static_cast<int64_t>(info.st_size),
                       static_cast<int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec,
                       index::StampOfInfo(info)};
    if (known == old.ByRelative.end() || old.Entries[known->second].Size != entry.Size ||
        old.Entries[known->second].ModifiedNs != entry.ModifiedNs) {
      changed.push_back(entry.Relative);
    } else {
      std::lock_guard lock(mutex_);
      if (!data.Outcome.contains(entry.Relative)) changed.push_back(entry.Relative);
    }
    entries.push_back(std::move(entry));
  };
  return ScanFolder(folder, true, state, stopping_, callbacks);
}

bool Catalog::RescanFolder(std::size_t root, const std::string& folder) {
  const RootConfig& config = config_.Roots[root];
  if (folder.size() <= config.Path.size() + 1 || folder.compare(0, config.Path.size() + 1, config.Path + "/") != 0) {
    return false;
  }
  // The walk gives a folder's drawings and all below it one after another: that run of the
  // list is replaced by a walk of the folder alone. A folder without drawings so far has
  // no run to replace, and the whole root is walked instead.
  const std::string below = folder.substr(config.Path.size() + 1) + "/";
  const std::shared_ptr<const RootList> old = List(root);
  const auto inside = [&](const CatalogEntry& entry) { return entry.Relative.compare(0, below.size(), below) == 0; };
  const auto first = std::find_if(old->Entries.begin(), old->Entries.end(), inside);
  if (first == old->Entries.end()) return false;
  const auto last = std::find_if_not(first, old->Entries.end(), inside);
  const std::string realRoot = RealPath(config.Path);
  std::vector<CatalogEntry> fresh;
  std::vector<std::string> changed;
  const ScanResult result = Walk(root, folder, *old, false, realRoot, fresh, changed);
  if (result.outcome != ScanOutcome::Finished) return result.outcome == ScanOutcome::Cancelled;
  std::vector<CatalogEntry> entries(old->Entries.begin(), first);
  entries.reserve(old->Entries.size() + fresh.size());
  std::move(fresh.begin(), fresh.end(), std::back_inserter(entries));
  entries.insert(entries.end(), last, old->Entries.end());
  Publish(root, std::move(entries));
  for (const std::string& relative : changed) Enqueue(root, relative, 0);
  return true;
}

void Catalog::RestampFile(std::size_t root, const std::string& relative) {
  const std::shared_ptr<const RootList> old = List(root);
  const auto known = old->ByRelative.find(relative);
  if (known == old->ByRelative.end()) return;
  const std::string path = config_.Roots[root].Path + "/" + relative;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return;  // the walk sees to it
  const CatalogEntry& entry = old->Entries[known->second];
  const int64_t modified = static_cast<int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
  if (entry.Size == info.st_size && entry.ModifiedNs == modified && entry.Stamp == index::StampOfInfo(info)) {
    std::lock_guard lock(mutex_);
    if (roots_[root]->Outcome.contains(relative)) return;
  }
  std::vector<CatalogEntry> entries = old->Entries;
  entries[known->second].Size = info.st_size;
  entries[known->second].ModifiedNs = modified;
  entries[known->second].Stamp = index::StampOfInfo(info);
  Publish(root, std::move(entries));
  Enqueue(root, relative, 0);
}

void Catalog::HandleEvents() {
  alignas(inotify_event) char buffer[64 * 1024];
  for (;;) {
    const ssize_t length = read(inotify_, buffer, sizeof buffer);
    if (length <= 0) return;
    for (ssize_t at = 0; at < length;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      std::lock_guard lock(mutex_);
      if (event->mask & IN_Q_OVERFLOW) {
        // Events were lost: every root is walked and stamped again at once.
        for (auto& data : roots_) data->NextRescan = std::chrono::steady_clock::now();
        continue;
      }
      const auto watch = watches_.find(event->wd);
      if (watch == watches_.end()) continue;
      const auto [root, folder] = watch->second;
      RootData& data = *roots_[root];
      if (event->mask & IN_IGNORED) {
        watches_.erase(watch);
        continue;
      }
      if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) {
        data.Dirty = true;
        continue;
      }
      const std::string name = event->len > 0 ? std::string(event->name) : std::string();
      const bool folderEvent = (event->mask & IN_ISDIR) != 0;
      if (folderEvent || (IsDrawingName(name) && (event->mask & (IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO)))) {
        data.DirtyFolders.insert(folder);
      }
      if (!folderEvent && IsDrawingName(name) &&
          (event->mask & (IN_CLOSE_WRITE | IN_ATTRIB | IN_MODIFY | IN_MOVED_TO | IN_CREATE))) {
        const std::string& rootPath = config_.Roots[root].Path;
        const std::string full = folder + "/" + name;
        if (full.size() > rootPath.size() + 1) data.ChangedFiles.insert(full.substr(rootPath.size() + 1));
      }
    }
  }
}

void Catalog::WatchLoop() {
  for (std::size_t root = 0; root < roots_.size() && !stopping_.load(); ++root) ScanRoot(root, true);
  SaveLists();
  while (!stopping_.load()) {
    pollfd fds[2] = {{inotify_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
    const int ready = poll(fds, 2, 250);
    if (stopping_.load()) break;
    if (ready > 0 && (fds[0].revents & POLLIN)) {
      HandleEvents();
      // Saving a drawing is several events; they are taken together.
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      HandleEvents();
    }
    for (std::size_t root = 0; root < roots_.size() && !stopping_.load(); ++root) {
      bool dirty = false;
      bool rescan = false;
      std::set<std::string> folders;
      std::set<std::string> changed;
      {
        std::lock_guard lock(mutex_);
        RootData& data = *roots_[root];
        dirty = data.Dirty;
        folders.swap(data.DirtyFolders);
        changed.swap(data.ChangedFiles);
        rescan = std::chrono::steady_clock::now() >= data.NextRescan;
      }
      if (rescan) {
        ScanRoot(root, true);
        SaveLists();
      } else if (dirty) {
        ScanRoot(root, false);
      } else {
        // A folder below another changed one is walked with it.
        std::string covered;
        for (const std::string& folder : folders) {
          if (!covered.empty() && folder.compare(0, covered.size() + 1, covered + "/") == 0) continue;
          covered = folder;
          if (!RescanFolder(root, folder)) {
            ScanRoot(root, false);
            break;
          }
        }
      }
      for (const std::string& relative : changed) RestampFile(root, relative);
    }
  }
}

void Catalog::IndexLoop(int worker) {
  index::IndexedDrawingSource source(config_.IndexPath, [this, worker](const index::IndexProblem& problem) {
    if (worker == 0) log_("dorvan-server: the index " + config_.IndexPath + " failed (" + problem.Detail + ")");
  });
  // The other indexers wait for the table's first fill: it must not overwrite what they
  // have just read with an older entry.
  if (worker == 0) {
    LoadSignatures();
    signaturesLoaded_.store(true);
  }
  while (!signaturesLoaded_.load() && !stopping_.load()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  // What the index holds of each drawing read goes to the signature table under its row.
  uint32_t row = SignatureTable::kNoRow;
  source.SetWholeEntryObserver([this, &row](const index::WholeEntrySeen& entry) {
    signatures_.Record(row, entry.Stamp, entry.Readable, entry.HasMessages, entry.Signature);
  });
  auto drawing = std::make_unique<JwwDrawing>();
  const SearchRequest request;
  while (!stopping_.load()) {
    std::vector<QueuedFile> batch;
    {
      std::unique_lock lock(mutex_);
      queueChanged_.wait_for(lock, std::chrono::milliseconds(500), [&] { return stopping_.load() || !queue_.empty(); });
      const int64_t now = index::NowNs();
      for (auto it = queue_.begin(); it != queue_.end() && batch.size() < kIndexBatch;) {
        if (it->NotBeforeNs <= now) {
          batch.push_back(std::move(*it));
          it = queue_.erase(it);
        } else {
          ++it;
        }
      }
      if (batch.empty()) continue;
    }
    source.BeginRun(request);
    for (const QueuedFile& file : batch) {
      if (stopping_.load()) break;
      const std::string path = config_.Roots[file.Root].Path + "/" + file.Relative;
      struct stat info {};
      if (::stat(path.c_str(), &info) != 0) continue;
      const int64_t modified = static_cast<int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
      const int64_t now = index::NowNs();
      if (modified > now - index::kQuietPeriodNs) {
        // Still being written, perhaps: read once it has been quiet long enough.
        std::lock_guard lock(mutex_);
        queue_.push_back({file.Root, file.Relative, modified + index::kQuietPeriodNs + 100'000'000});
        continue;
      }
      {
        const std::shared_ptr<const RootList> list = List(file.Root);
        const auto known = list->ByRelative.find(file.Relative);
        row = known == list->ByRelative.end() ? SignatureTable::kNoRow : list->Entries[known->second].Row;
      }
      bool readable = false;
      try {
        readable = source.Read(path, true, *drawing, nullptr);
        source.DoneWith(*drawing);
        source.Read(path, false, *drawing, nullptr);
        source.DoneWith(*drawing);
      } catch (const std::exception&) {
        readable = false;
      }
      std::lock_guard lock(mutex_);
      if (roots_[file.Root]->List->ByRelative.contains(file.Relative)) {
        roots_[file.Root]->Outcome[file.Relative] = readable ? 1 : 2;
      }
    }
    source.EndRun();
  }
}

void Catalog::LoadSignatures() {
  index::IndexProblem problem;
  std::unique_ptr<index::IndexDatabase> database =
      index::IndexDatabase::Open(config_.IndexPath, index::DaysSinceEpochNow(), problem);
  if (!database) return;  // the indexer reports the index's problem
  // Entries are keyed by the real path; the lists hold paths below each root as configured.
  std::vector<std::string> realRoots(roots_.size());
  std::vector<std::shared_ptr<const RootList>> lists(roots_.size());
  for (std::size_t root = 0; root < roots_.size(); ++root) {
    char real[PATH_MAX];
    lists[root] = List(root);
    if (!lists[root] || realpath(config_.Roots[root].Path.c_str(), real) == nullptr) {
      lists[root].reset();
      continue;
    }
    realRoots[root] = std::string(real) == "/" ? "/" : std::string(real) + "/";
  }
  std::size_t recorded = 0;
  database->ForEachWholeEntry(
      [&](std::string_view key, const index::FileStamp& stamp, bool readable, std::string_view messages,
          std::string_view signature) {
        for (std::size_t root = 0; root < roots_.size(); ++root) {
          if (!lists[root] || key.compare(0, realRoots[root].size(), realRoots[root]) != 0) continue;
          const auto known = lists[root]->ByRelative.find(std::string(key.substr(realRoots[root].size())));
          if (known == lists[root]->ByRelative.end()) continue;
          std::vector<index::StoredMessage> decoded;
          const bool hasMessages = !index::DecodeMessages(messages, decoded) || !decoded.empty();
          signatures_.Record(lists[root]->Entries[known->second].Row, stamp, readable, hasMessages, signature);
          ++recorded;
        }
      },
      problem);
  log_("dorvan-server: " + std::to_string(recorded) + " signatures taken from the index (" +
       std::to_string(signatures_.SliceBytes() >> 20) + " MB)");
}

// Under systemd the lists are state of their own; elsewhere they sit beside the index.
std::string Catalog::ListsFile() const {
  if (const char* state = std::getenv("STATE_DIRECTORY"); state != nullptr && state[0] == '/') {
    std::string folder(state);
    if (const std::size_t colon = folder.find(':'); colon != std::string::npos) folder.resize(colon);
    return folder + "/roots.lists";
  }
  return config_.IndexPath + ".roots";
}

// The lists: per root a line "root NAME\0", then per drawing "s SIZE MODIFIED DEVICE INODE
// CHANGED RELATIVE\0" (older versions wrote "SIZE MODIFIED RELATIVE\0", read still).
void Catalog::SaveLists() {
  std::string text;
  // A root not scanned yet in this run (unavailable since the start) is saved as it was
  // loaded: leaving it out would drop its drawings, kept for its return, at the next start.
  for (std::size_t root = 0; root < roots_.size(); ++root) {
    const std::shared_ptr<const RootList> list = List(root);
    text += "root " + config_.Roots[root].Name + '\0';
    for (const CatalogEntry& entry : list->Entries) {
      if (entry.Stamp) {
        text += "s " + std::to_string(entry.Size) + ' ' + std::to_string(entry.ModifiedNs) + ' ' +
                std::to_string(entry.Stamp->Device) + ' ' + std::to_string(entry.Stamp->Inode) + ' ' +
                std::to_string(entry.Stamp->ChangedNs) + ' ' + entry.Relative + '\0';
      } else {
        text += std::to_string(entry.Size) + ' ' + std::to_string(entry.ModifiedNs) + ' ' + entry.Relative + '\0';
      }
    }
  }
  const std::string file = ListsFile();
  const std::string temporary = file + ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return;
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!out) return;
  }
  std::rename(temporary.c_str(), file.c_str());
}

void Catalog::LoadLists() {
  std::ifstream in(ListsFile(), std::ios::binary);
  if (!in) return;
  std::string record;
  constexpr std::size_t kNone = SIZE_MAX;
  std::size_t root = kNone;
  std::vector<std::vector<CatalogEntry>> loaded(roots_.size());
  std::vector<bool> seen(roots_.size(), false);
  while (std::getline(in, record, '\0')) {
    if (record.rfind("root ", 0) == 0) {
      root = kNone;
      for (std::size_t i = 0; i < roots_.size(); ++i) {
        if (config_.Roots[i].Name == record.substr(5)) root = i;
      }
      if (root != kNone) seen[root] = true;
      continue;
    }
    if (root == kNone) continue;
    const bool stamped = record.rfind("s ", 0) == 0;
    char* end = nullptr;
    const long long size = std::strtoll(record.c_str() + (stamped ? 2 : 0), &end, 10);
    if (*end != ' ') continue;
    const long long modified = std::strtoll(end + 1, &end, 10);
    if (*end != ' ') continue;
    std::optional<index::FileStamp> stamp;
    if (stamped) {
      const unsigned long long device = std::strtoull(end + 1, &end, 10);
      if (*end != ' ') continue;
      const unsigned long long inode = std::strtoull(end + 1, &end, 10);
      if (*end != ' ') continue;
      const long long changed = std::strtoll(end + 1, &end, 10);
      if (*end != ' ') continue;
      stamp = index::FileStamp{device, inode, size, modified, changed};
    }
    const std::string relative(end + 1);
    if (relative.empty() || relative[0] == '/' || relative.find("..") != std::string::npos) continue;
    loaded[root].push_back({relative, size, modified, stamp});
  }
  for (std::size_t i = 0; i < roots_.size(); ++i) {
    if (seen[i]) Publish(i, std::move(loaded[i]));
  }
}

void Catalog::Start() {
  LoadLists();
  inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotify_ < 0) log_("dorvan-server: inotify is not available; every root is rescanned periodically");
  if (pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0) wakePipe_[0] = wakePipe_[1] = -1;
  watcher_ = std::thread([this] { WatchLoop(); });
  for (int worker = 0; worker < 2; ++worker) indexers_.emplace_back([this, worker] { IndexLoop(worker); });
}

void Catalog::Stop() {
  if (stopping_.exchange(true)) return;
  if (wakePipe_[1] >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(wakePipe_[1], &byte, 1);
  }
  queueChanged_.notify_all();
  if (watcher_.joinable()) watcher_.join();
  for (std::thread& indexer : indexers_) indexer.join();
  indexers_.clear();
  SaveLists();
  if (inotify_ >= 0) close(inotify_);
  for (int& fd : wakePipe_) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
  inotify_ = -1;
}

}  // namespace dorvan::server
