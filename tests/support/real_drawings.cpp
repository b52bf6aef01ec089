#include "real_drawings.h"

#include <algorithm>
#include <filesystem>

namespace dorvan::testing {

std::string RealDrawingsFolder() {
  std::error_code error;
  const std::filesystem::path folder(DORVAN_REAL_DRAWINGS);
  if (!std::filesystem::is_directory(folder, error)) return {};
  return std::filesystem::canonical(folder, error).string();
}

std::vector<std::string> RealDrawingPaths() {
  std::vector<std::string> paths;
  const std::string folder = RealDrawingsFolder();
  if (folder.empty()) return paths;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (entry.path().extension() == ".jww") paths.push_back(entry.path().string());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

}  // namespace dorvan::testing
