#include "desktop_shell.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

namespace dorvan::ui {

int32_t DesktopShell::ShellOpen(const std::string& file, int32_t /*showCommand*/) {
  // The desktop's own opener reports its failures itself, as a shell does; the request
  // counts as issued either way.
  QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(file)));
  return 0;
}

}  // namespace dorvan::ui
