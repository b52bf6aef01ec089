// Writes a whole drawing as a PNG, SVG or PDF file through the renderer. The file appears
// complete or not at all: it is written under a temporary name beside the target and
// renamed at the end.
#pragma once

#include <QByteArray>
#include <optional>
#include <string>
#include <string_view>

#include "reader/jww_drawing.h"

namespace dorvan::render {

enum class PictureFormat { Png, Svg, Pdf };

// The format a file name asks for by its extension (any letter case); none for others.
std::optional<PictureFormat> FormatForPath(std::string_view path);

enum class ExportOutcome {
  Written,
  CannotWrite,
  // SVG or PDF: the drawing needs more than the renderer's budget (a picture cut short
  // would pass for the whole drawing); a PNG is written with what the budget drew.
  TooLarge,
};

// PNG: 8-bit RGB on white, the longer side `longerSide` pixels. SVG: the same picture in
// vector form, `longerSide` pixels wide or high. PDF: one page of the picture's aspect at
// the sheet's own millimetres (so it prints at the drawing's scale), no larger than 5 m.
// `path` is the file's name as the system takes it (bytes, whatever their encoding).
ExportOutcome ExportPicture(const JwwDrawing& drawing, const std::string& path, PictureFormat format,
                            int longerSide);

// The picture's bytes alone; empty when it could not be made (or was too large).
QByteArray PictureBytes(const JwwDrawing& drawing, PictureFormat format, int longerSide);

}  // namespace dorvan::render
