// Opening a drawing with the application the desktop associates with its type. The GUI
// implements it with the desktop's application registry; tests replace it.
#pragma once

#include <cstdint>
#include <string>

namespace dorvan {

// The show command of a double-click on a found drawing: maximised where the platform
// allows it.
inline constexpr int32_t kShowMaximized = 3;

// Why a request to open a file was not issued (ShellOpen's non-zero results).
inline constexpr int32_t kShellFileMissing = 2;     // the file does not exist (any more)
inline constexpr int32_t kShellNoApplication = 31;  // no application is associated with its type
inline constexpr int32_t kShellLaunchFailed = 32;   // the application could not be started

class ShellOpener {
 public:
  virtual ~ShellOpener() = default;
  // Asks the desktop to open file (its path bytes, passed unchanged). Returns 0 when the
  // request was issued, otherwise the number of the error that kept it from being issued.
  virtual int32_t ShellOpen(const std::string& file, int32_t showCommand) = 0;
  // The system's own words on the latest failure of ShellOpen; empty when it has none.
  virtual std::string FailureDetail() const { return {}; }
  // True when the desktop has an application for files of `contentType` (a MIME type).
  virtual bool HasApplicationFor(const std::string& /*contentType*/) { return false; }
  // Opens `file` with the application for `contentType`, whatever type the file's name or
  // contents suggest; 0 or an error number, as ShellOpen.
  virtual int32_t ShellOpenAs(const std::string& /*file*/, const std::string& /*contentType*/) {
    return kShellNoApplication;
  }
};

}  // namespace dorvan
