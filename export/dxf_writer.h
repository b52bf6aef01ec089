// Writes a read drawing as a DXF R2000 file that CAD programs open: every entity kind, the
// layers with their visibility, line types, pen colours and block definitions with their
// inserts. Texts are in Shift-JIS ($DWGCODEPAGE ANSI_932); characters the code page cannot
// hold, and control characters, are written as \U+XXXX. Embedded images are left out.
// The library is Qt-free: the command line, the window and a server can all write DXF.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "reader/jww_drawing.h"

namespace dorvan::dxf {

// Real size multiplies every stored value by its layer group's scale, so that a measure in
// the CAD program gives the built length; sheet size keeps the millimetres of the paper.
enum class DxfUnits { RealSize, Sheet };

// Which layers are shown, by [group][layer]; none takes the drawing's own settings.
using LayerVisibility = std::array<std::array<bool, 16>, 16>;

struct DxfOptions {
  DxfUnits units = DxfUnits::RealSize;
  std::optional<LayerVisibility> visibility;
  const std::atomic<bool>* cancel = nullptr;  // polled while writing; true ends the write
};

enum class DxfOutcome {
  Written,
  CannotWrite,  // the file could not be created or written (no file is left)
  TooLarge,     // more entities than the renderer's budget allows (nothing is written)
  Cancelled
};

// The most entities (block definitions' own included) a drawing may have for a DXF: the
// renderer's shape budget for one walk, so that what cannot be drawn is not written either.
inline constexpr int64_t kMaxDxfEntities = 5'000'000;

// Writes `drawing` to `path` (bytes as the system takes them). The file appears whole or
// not at all: it is written under a temporary name beside the target and renamed.
DxfOutcome WriteDxf(const JwwDrawing& drawing, const std::string& path, const DxfOptions& options = {});

// The DXF layer of layer `layer` of group `group`: "G-L name" with the numbers in hex as
// the drawing program shows them, the characters DXF forbids in names replaced by "_".
std::u16string DxfLayerName(const JwwHeader& header, int group, int layer);

// A text as a DXF string in Shift-JIS bytes: characters without a Shift-JIS form, control
// characters and a backslash that would start an escape become \U+XXXX (a character beyond
// the basic plane as its two surrogates).
std::string DxfText(std::u16string_view text);

// The nearest AutoCAD colour index (1 to 255, never 7) of a 0xRRGGBB colour.
int NearestAci(uint32_t rgb);

}  // namespace dorvan::dxf
