#include "desktop_shell.h"

#include <QDesktopServices>
#include "ui/window_paths.h"

namespace dorvan::ui {

int32_t DesktopShell::ShellOpen(const std::string& file, int32_t /*showCommand*/) {
  // The desktop's own opener reports its failures itself, as a shell does; the request
  // counts as issued either way.
  QDesktopServices::openUrl(FileUrl(file));
  return 0;
}

}  // namespace dorvan::ui
