#include "files/target_batch.h"

#include <algorithm>

#include "files/drawing_name.h"
#include "files/list_extent.h"

namespace dorvan {

TargetBatch DialogTargets(const std::vector<std::string>& paths) {
  TargetBatch batch;
  batch.drawings = paths;
  for (const std::string& path : paths) {
    batch.longestBytes = std::max(batch.longestBytes, ListEntryBytes(path));
  }
  return batch;
}

TargetBatch DroppedTargets(const std::vector<std::string>& paths) {
  TargetBatch batch;
  for (const std::string& path : paths) {
    batch.longestBytes = std::max(batch.longestBytes, ListEntryBytes(path));
    if (IsDrawingName(path)) batch.drawings.push_back(path);
  }
  return batch;
}

}  // namespace dorvan
