// Opens a drawing with the application the desktop associates with its type.
#pragma once

#include "files/shell_open.h"

namespace dorvan::ui {

// Hands the file to the desktop (QDesktopServices). The desktop decides the window state;
// a missing file or a type without an application gives no message from dorvan.
class DesktopShell : public ShellOpener {
 public:
  int32_t ShellOpen(const std::string& file, int32_t showCommand) override;
};

}  // namespace dorvan::ui
