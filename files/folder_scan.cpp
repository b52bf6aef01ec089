#include "files/folder_scan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <utility>

#include "files/drawing_name.h"
#include "files/list_extent.h"
#include "files/list_order.h"

namespace dorvan {
namespace {

// Owns one open file descriptor.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

struct FolderListing {
  std::vector<std::string> files;
  std::vector<std::string> folders;
};

enum class EntryKind { File, Folder, Other };

// What an entry is once symbolic links are followed. The entry type of the listing saves
// a stat call for plain files and folders, which is nearly every entry.
EntryKind KindOf(int folderFd, const dirent& entry) {
  if (entry.d_type == DT_REG) return EntryKind::File;
  if (entry.d_type == DT_DIR) return EntryKind::Folder;
  if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) return EntryKind::Other;
  struct stat info;
  if (fstatat(folderFd, entry.d_name, &info, 0) != 0) {
    // A dangling link is still a name in the folder, as a file; anything else unstatable
    // cannot be told apart and is left out.
    return fstatat(folderFd, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode)
               ? EntryKind::File
               : EntryKind::Other;
  }
  if (S_ISDIR(info.st_mode)) return EntryKind::Folder;
  if (S_ISREG(info.st_mode)) return EntryKind::File;
  return EntryKind::Other;  // pipes, sockets, devices: reading one could block or never end
}

// Lists a folder's files and subfolders; false when the folder cannot be listed.
bool ListFolder(int folderFd, FolderListing& listing) {
  // fdopendir takes over the descriptor it is given; the walk keeps its own for openat.
  const int listFd = dup(folderFd);
  if (listFd < 0) return false;
  DIR* dir = fdopendir(listFd);
  if (dir == nullptr) {
    close(listFd);
    return false;
  }
  while (const dirent* entry = readdir(dir)) {
    const char* name = entry->d_name;
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
    switch (KindOf(folderFd, *entry)) {
      case EntryKind::File: listing.files.emplace_back(name); break;
      case EntryKind::Folder: listing.folders.emplace_back(name); break;
      case EntryKind::Other: break;
    }
  }
  closedir(dir);
  SortIgnoringCase(listing.files);
  SortIgnoringCase(listing.folders);
  return true;
}

class Walk {
 public:
  Walk(bool includeSubfolders, ScanState& state, const std::atomic<bool>& cancel,
       const ScanCallbacks& callbacks, ScanResult& result)
      : includeSubfolders_(includeSubfolders),
        state_(state),
        cancel_(cancel),
        callbacks_(callbacks),
        result_(result) {}

  // Walks the open folder at path; false when the cancel flag stopped it.
  bool Folder(int folderFd, const std::string& path) {
    struct stat info;
    if (fstat(folderFd, &info) != 0 || !visited_.emplace(info.st_dev, info.st_ino).second) {
      ++result_.foldersSkipped;  // reached again through a link: walking it twice could loop
      return true;
    }
    FolderListing listing;
    if (!ListFolder(folderFd, listing)) {
      ++result_.foldersSkipped;
      return true;
    }
    if (callbacks_.OnFolder) callbacks_.OnFolder(path);

    if (!listing.files.empty()) state_.ProgressMax = static_cast<int32_t>(listing.files.size());
    state_.ScanFileCounter = 0;
    Progress(0);

    const std::size_t folderBytes = ListEntryBytes(path) + (path.empty() || path.back() != '/' ? 1 : 0);
    for (const std::string& name : listing.files) {
      if (IsDrawingName(name)) {
        ++result_.drawingsFound;
        if (callbacks_.OnDrawing) callbacks_.OnDrawing(JoinPath(path, name));
      }
      state_.ScanMaxPathBytes = std::max(state_.ScanMaxPathBytes, folderBytes + ListEntryBytes(name));
      if (cancel_.load(std::memory_order_relaxed)) return false;
      Progress(std::min(state_.ScanFileCounter, state_.ProgressMax));
      ++state_.ScanFileCounter;
    }

    if (!includeSubfolders_) return true;
    for (const std::string& name : listing.folders) {
      if (callbacks_.EnterFolder && !callbacks_.EnterFolder(JoinPath(path, name))) continue;
      const Descriptor child(openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      if (child.get() < 0) {
        ++result_.foldersSkipped;
      } else if (!Folder(child.get(), JoinPath(path, name))) {
        return false;
      }
      if (cancel_.load(std::memory_order_relaxed)) return false;
    }
    return true;
  }

 private:
  void Progress(int32_t value) {
    if (callbacks_.OnProgress) callbacks_.OnProgress(ScanProgress{state_.ProgressMax, value});
  }

  const bool includeSubfolders_;
  ScanState& state_;
  const std::atomic<bool>& cancel_;
  const ScanCallbacks& callbacks_;
  ScanResult& result_;
  std::set<std::pair<dev_t, ino_t>> visited_;
};

}  // namespace

ScanResult ScanFolder(const std::string& folder, bool includeSubfolders, ScanState& state,
                      const std::atomic<bool>& cancel, const ScanCallbacks& callbacks) {
  ScanResult result;
  const Descriptor root(folder.empty() ? -1 : open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (root.get() < 0) {
    result.outcome = ScanOutcome::RootUnreadable;
    return result;
  }
  Walk walk(includeSubfolders, state, cancel, callbacks, result);
  if (!walk.Folder(root.get(), folder)) result.outcome = ScanOutcome::Cancelled;
  return result;
}

ScanResult GetFileState(const std::string& folder, bool includeSubfolders, ScanState& state,
                        std::atomic<bool>& cancel, const ScanCallbacks& callbacks) {
  const ScanResult result = ScanFolder(folder, includeSubfolders, state, cancel, callbacks);
  cancel.store(false);
  return result;
}

std::vector<std::string> ListDrawings(const std::string& folder, bool includeSubfolders) {
  std::vector<std::string> drawings;
  ScanState state;
  const std::atomic<bool> never{false};
  ScanCallbacks callbacks;
  callbacks.OnDrawing = [&drawings](const std::string& path) { drawings.push_back(path); };
  ScanFolder(folder, includeSubfolders, state, never, callbacks);
  return drawings;
}

}  // namespace dorvan
