// Opens a drawing with the application the desktop associates with its type.
#pragma once

#include "files/shell_open.h"

typedef struct _GAppInfo GAppInfo;
typedef struct _GFile GFile;

namespace dorvan::ui {

// Asks the desktop's application registry (GIO, which reads the freedesktop.org MIME
// associations every Linux desktop writes) for the default application of the file's type
// and starts it with the file's path bytes. The window state is the application's choice.
class DesktopShell : public ShellOpener {
 public:
  int32_t ShellOpen(const std::string& file, int32_t showCommand) override;
  std::string FailureDetail() const override { return detail_; }
  bool HasApplicationFor(const std::string& contentType) override;
  int32_t ShellOpenAs(const std::string& file, const std::string& contentType) override;

 private:
  int32_t Launch(GAppInfo* application, GFile* target);
  std::string detail_;
};

}  // namespace dorvan::ui
