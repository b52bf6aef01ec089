// The drawings written by the real drawing program, kept beside the project (never
// copied into it). Tests that use them skip when the folder is absent.
#pragma once

#include <string>
#include <vector>

namespace dorvan::testing {

// The folder of real drawings, or an empty string when it is absent.
std::string RealDrawingsFolder();
// Full paths of the real drawings (*.jww), sorted; empty when the folder is absent.
std::vector<std::string> RealDrawingPaths();

}  // namespace dorvan::testing
