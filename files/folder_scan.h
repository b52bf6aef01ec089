// The folder scan: finds every drawing of a folder (and, when asked, of all its subfolders)
// in a stable order, reporting each find and each progress step, and stops on request.
// It runs on whichever thread calls it; the callbacks run on that thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace dorvan {

// What the scan keeps between scans of one program run. The caller owns it.
struct ScanState {
  // Files of the folder being walked visited so far; drives the progress value.
  int32_t ScanFileCounter = 0;
  // The longest folder + "/" + name, in bytes of the Windows Japanese code page, that any
  // scan has visited, drawings and other files alike. Never reset; it only grows. The
  // folder result list's extent is ListExtentPixels(ScanMaxPathBytes, 60, 120, ...).
  std::size_t ScanMaxPathBytes = 0;
  // The progress maximum: the file count of the latest folder that had files (a folder
  // without files leaves it as it was). 100 before any, as a fresh progress bar.
  int32_t ProgressMax = 100;
};

// One progress step: show Value out of Max.
struct ScanProgress {
  int32_t Max;
  int32_t Value;
};

// Called on the scanning thread. Any of them may be empty.
struct ScanCallbacks {
  // A drawing found: folder + "/" + name, in walk order.
  std::function<void(const std::string& path)> OnDrawing;
  // The progress position changed: at the start of each folder (Value 0) and after each file.
  std::function<void(const ScanProgress& progress)> OnProgress;
  // The walk entered a folder (the root first).
  std::function<void(const std::string& folder)> OnFolder;
  // Asked before a subfolder is walked; false leaves it out (a server keeps links that
  // leave its archive out of it). Empty: every subfolder is walked.
  std::function<bool(const std::string& folder)> EnterFolder;
};

enum class ScanOutcome {
  Finished,      // the whole tree was walked (unreadable folders contribute nothing)
  Cancelled,     // the cancel flag stopped the walk; what was found until then stands
  RootUnreadable // the starting folder could not be opened; nothing was found
};

struct ScanResult {
  ScanOutcome outcome = ScanOutcome::Finished;
  std::size_t drawingsFound = 0;
  std::size_t foldersSkipped = 0;  // folders that could not be read, or were already walked
};

// Walks folder depth first: its own drawings first (names in ascending order ignoring
// case), then, when includeSubfolders, each subfolder in the same order, at any depth.
// Entries are files when they are not folders after following symbolic links (regular
// files, links to files, dangling links); pipes, sockets and devices are left out. A
// folder reached a second time in one scan (through a symbolic link) is not walked again.
// cancel is read after each file and each subfolder; when true the walk returns at once.
ScanResult ScanFolder(const std::string& folder, bool includeSubfolders, ScanState& state,
                      const std::atomic<bool>& cancel, const ScanCallbacks& callbacks);

// The whole scan as the scan button runs it: ScanFolder, then the cancel flag (the one
// the message window's Escape key sets) is reset to false for the next scan.
ScanResult GetFileState(const std::string& folder, bool includeSubfolders, ScanState& state,
                        std::atomic<bool>& cancel, const ScanCallbacks& callbacks);

// Convenience for callers without progress or cancel (the command-line search): the
// drawings of a folder in walk order.
std::vector<std::string> ListDrawings(const std::string& folder, bool includeSubfolders);

}  // namespace dorvan
