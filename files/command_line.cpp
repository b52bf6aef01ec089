#include "files/command_line.h"

#include <algorithm>

#include "files/drawing_name.h"
#include "files/list_extent.h"

namespace dorvan {

std::vector<std::string> GetCommandLine(const std::vector<std::string>& args) { return args; }

TargetBatch CommandLineTargets(const std::vector<std::string>& items) {
  TargetBatch batch;
  for (const std::string& item : items) {
    if (!IsDrawingName(item)) continue;
    batch.drawings.push_back(item);
    batch.longestBytes = std::max(batch.longestBytes, ListEntryBytes(item));
  }
  return batch;
}

}  // namespace dorvan
