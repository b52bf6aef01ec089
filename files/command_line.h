// Drawings named on the command line become targets at start-up.
#pragma once

#include <string>
#include <vector>

#include "files/target_batch.h"

namespace dorvan {

// One item per argument, exactly as given (the platform has already split the command
// line; names with spaces or dots stay whole). args excludes the program's own path.
std::vector<std::string> GetCommandLine(const std::vector<std::string>& args);

// The items passing IsDrawingName, in order, and the longest of those kept (the others
// are dropped silently and not measured).
TargetBatch CommandLineTargets(const std::vector<std::string>& items);

}  // namespace dorvan
