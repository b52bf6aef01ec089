#include "files/file_mode.h"

#include <cstdio>

namespace dorvan {

mode_t CurrentUmask() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  mode_t mask = 022;
  if (status == nullptr) return mask;
  char line[256];
  while (std::fgets(line, sizeof line, status) != nullptr) {
    unsigned value = 0;
    if (std::sscanf(line, "Umask: %o", &value) == 1) {
      mask = static_cast<mode_t>(value);
      break;
    }
  }
  std::fclose(status);
  return mask;
}

}  // namespace dorvan
