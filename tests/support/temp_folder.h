// A fresh folder under the system's temporary folder, removed with everything in it when
// the object goes away.
#pragma once

#include <string>

namespace dorvan::testing {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  // The path of `name` inside the folder.
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  std::string operator/(const std::string& name) const { return File(name); }

  // Creates a file (and the folders on its way) holding `content`; returns its path.
  std::string Write(const std::string& name, const std::string& content = {}) const;
  // Creates a folder (and the folders on its way); returns its path.
  std::string MakeFolder(const std::string& name) const;

 private:
  std::string path_;
};

// Root reads and writes regardless of permissions, so tests of refused access skip there.
bool PermissionsAreEnforced();

}  // namespace dorvan::testing
