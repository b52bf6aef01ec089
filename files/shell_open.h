// Opening a drawing with the application the desktop associates with its type. The GUI
// implements it with the desktop services; tests replace it.
#pragma once

#include <cstdint>
#include <string>

namespace dorvan {

// The show command of a double-click on a found drawing: maximised where the platform
// allows it.
inline constexpr int32_t kShowMaximized = 3;

class ShellOpener {
 public:
  virtual ~ShellOpener() = default;
  // Asks the desktop to open file (its path bytes, passed unchanged). Returns 0 when the request was
  // issued, otherwise the number of the error that kept it from being issued.
  virtual int32_t ShellOpen(const std::string& file, int32_t showCommand) = 0;
};

}  // namespace dorvan
