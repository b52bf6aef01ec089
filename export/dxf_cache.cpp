#include "export/dxf_cache.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "reader/jww_reader.h"

namespace dorvan::dxf {

std::string DxfCacheFolder() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  if (cache != nullptr && cache[0] == '/') return std::string(cache) + "/dorvan/dxf";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.cache/dorvan/dxf";
}

std::string CachedDxfPath(const std::string& drawingPath, const std::string& cacheFolder) {
  const std::size_t slash = drawingPath.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : drawingPath.substr(0, slash);
  std::string name = slash == std::string::npos ? drawingPath : drawingPath.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  // FNV-1a: the same folder gives the same key in every run.
  uint64_t hash = 14695981039346656037ULL;
  for (unsigned char c : folder) hash = (hash ^ c) * 1099511628211ULL;
  char key[17];
  std::snprintf(key, sizeof key, "%016llx", static_cast<unsigned long long>(hash));
  return cacheFolder + "/" + key + "/" + name + ".dxf";
}

CachedDxf MakeCachedDxf(const std::string& drawingPath, const std::string& cacheFolder) {
  CachedDxf made;
  made.path = CachedDxfPath(drawingPath, cacheFolder);
  struct stat drawing {}, kept {};
  if (::stat(drawingPath.c_str(), &drawing) != 0) {
    made.readResult = kUnreadableFile;
    made.path.clear();
    return made;
  }
  if (::stat(made.path.c_str(), &kept) == 0 && kept.st_mtim.tv_sec == drawing.st_mtim.tv_sec &&
      kept.st_mtim.tv_nsec == drawing.st_mtim.tv_nsec) {
    made.outcome = DxfOutcome::Written;
    made.reused = true;
    return made;
  }
  JwwReader reader;
  JwwDrawing& record = reader.CurrentDrawing();
  ClearDrawing(record);
  made.readResult = reader.ReadWholeDrawing(drawingPath, record);
  if (made.readResult != 0 || reader.GetReadError() != 0) {
    if (made.readResult == 0) made.readResult = kDamagedContents;
    made.path.clear();
    return made;
  }
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(made.path).parent_path(), error);
  made.outcome = WriteDxf(record, made.path);
  if (made.outcome != DxfOutcome::Written) {
    made.path.clear();
    return made;
  }
  const struct timespec times[2] = {{0, UTIME_NOW}, drawing.st_mtim};
  utimensat(AT_FDCWD, made.path.c_str(), times, 0);
  return made;
}

}  // namespace dorvan::dxf
