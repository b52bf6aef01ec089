// What the interface tells and draws of one drawing: its info, a whole picture (the
// thumbnail and the exports) and one view of it (the zooming, panning preview).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace dorvan::server {

// A layer group (0-15) with one layer (0-15), or the whole group when Layer is -1.
struct LayerRef {
  int Group = 0;
  int Layer = -1;
};

// "0-5,1,a-f": hexadecimal group[-layer] items as the drawing program shows layers; false
// for anything else.
bool ParseLayers(const std::string& text, std::vector<LayerRef>& layers);

struct PictureRequest {
  int Width = 0;
  int Height = 0;
  std::optional<std::array<double, 4>> View;  // x0, y0, x1, y1 in sheet millimetres
  std::vector<LayerRef> Hidden;
};

enum class ExportKind { Png, Svg, Pdf };

// Each returns false when the drawing cannot be read (or the picture cannot be made).
bool DrawingInfoJson(const std::string& path, std::string& json);
bool PicturePng(const std::string& path, const PictureRequest& request, std::string& png);
bool ThumbnailPng(const std::string& path, int longerSide, std::string& png);
bool ExportBytes(const std::string& path, ExportKind kind, std::string& bytes);

}  // namespace dorvan::server
