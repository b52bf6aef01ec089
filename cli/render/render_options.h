// The command line of dorvan-render: [-s SIZE] [--sheet] INPUT OUTPUT.
#pragma once

#include <string>
#include <vector>

namespace dorvan::cli {

struct RenderOptions {
  int longerSide = 1024;
  bool sheet = false;  // a DXF in sheet millimetres instead of real size
  std::string input, output;
  bool help = false;
  std::string error;  // why the arguments were refused; empty when they were accepted
};

inline constexpr int kLargestPictureSide = 16384;

// Parses the arguments after the program name.
RenderOptions ParseRenderOptions(const std::vector<std::string>& arguments);

// The text of --help.
std::string RenderUsage();

}  // namespace dorvan::cli
