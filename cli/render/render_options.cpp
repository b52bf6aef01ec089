#include "cli/render/render_options.h"

#include <charconv>

namespace dorvan::cli {

RenderOptions ParseRenderOptions(const std::vector<std::string>& arguments) {
  RenderOptions options;
  std::vector<std::string> names;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (!optionsEnded && argument == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && (argument == "-h" || argument == "--help")) {
      options.help = true;
      return options;
    } else if (!optionsEnded && argument == "--sheet") {
      options.sheet = true;
    } else if (!optionsEnded && (argument == "-s" || argument == "--size")) {
      if (i + 1 >= arguments.size()) {
        options.error = argument + " needs a size in pixels";
        return options;
      }
      const std::string& value = arguments[++i];
      int size = 0;
      const auto [end, status] = std::from_chars(value.data(), value.data() + value.size(), size);
      if (status != std::errc() || end != value.data() + value.size() || size < 1 || size > kLargestPictureSide) {
        options.error = "the size must be a whole number of pixels from 1 to " + std::to_string(kLargestPictureSide) +
                        ", not '" + value + "'";
        return options;
      }
      options.longerSide = size;
    } else if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
      options.error = "unknown option '" + argument + "'";
      return options;
    } else {
      names.push_back(argument);
    }
  }
  if (names.size() != 2) {
    options.error = names.size() < 2 ? "an input drawing and an output file are needed" : "too many arguments";
    return options;
  }
  options.input = names[0];
  options.output = names[1];
  return options;
}

std::string RenderUsage() {
  return "Usage: dorvan-render [-s SIZE] [--sheet] INPUT OUTPUT\n"
         "Writes the JWW drawing INPUT as a picture whose longer side is SIZE pixels\n"
         "(default 1024), or as a DXF drawing. OUTPUT's extension chooses the format:\n"
         ".png (RGB on white), .svg, .pdf (one page at the sheet's own size), or .dxf\n"
         "(DXF R2000 at real size in millimetres; with --sheet, in the sheet's\n"
         "millimetres as printed).\n"
         "Exit status: 0 written, 1 the drawing could not be read, the file not\n"
         "written, or the drawing has too much to draw for a whole SVG or PDF (no file\n"
         "is left), 2 bad arguments.\n";
}

}  // namespace dorvan::cli
