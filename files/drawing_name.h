// The drawing-name test and the joining of a folder and a file name.
#pragma once

#include <string>
#include <string_view>

namespace dorvan {

// True when the last three characters, in either letter case, are "JWW". No dot is
// needed, so "plan.gz" and "a.jww.gz" fail while "xjww" passes.
bool IsDrawingName(std::string_view name);

// folder + "/" + name, without doubling the separator when the folder ends in one
// (the root folder "/").
std::string JoinPath(std::string_view folder, std::string_view name);

}  // namespace dorvan
