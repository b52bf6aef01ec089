// What a batch of paths from the file dialog or a drop contributes to the target list:
// the entries to add and the longest name measured for the extent.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace dorvan {

struct TargetBatch {
  std::vector<std::string> drawings;  // to append, in the order delivered
  std::size_t longestBytes = 0;       // for ListExtent::EndBatch
};

// Paths chosen in the file dialog: every path is appended (the dialog's filter is the
// only test) and measured.
TargetBatch DialogTargets(const std::vector<std::string>& paths);

// Paths dropped from the file manager: those passing IsDrawingName are appended (a folder
// is not expanded); every path, appended or not, is measured.
TargetBatch DroppedTargets(const std::vector<std::string>& paths);

}  // namespace dorvan
