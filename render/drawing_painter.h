// Paints a drawing with QPainter onto any paint device: a QImage, an SVG generator, a PDF
// writer or a widget.
#pragma once

#include <QImage>
#include <QPainter>
#include <QPolygonF>
#include <QTransform>
#include <array>
#include <atomic>
#include <vector>

#include "reader/jww_drawing.h"
#include "render/drawing_walk.h"

namespace dorvan::render {

inline constexpr int64_t kThumbnailPaintBudget = 1'000'000;
// Exports, where pixels cost nothing but every element takes room: the SVG writer holds
// its whole file in memory, several times over as it writes it (about 700 bytes a unit:
// 0.7 GB at most); the PDF writer a page it compresses at the end (about 60 bytes a unit,
// and a second of compression for 100,000). An 8 MB drawing costs 0.8 million as SVG,
// 2.2 million as PDF (its page is larger in device units, so its arcs have more chords).
inline constexpr int64_t kSvgPaintBudget = 1'000'000;
inline constexpr int64_t kPdfPaintBudget = 3'000'000;

struct PaintOptions {
  // Boxes (sheet millimetres) drawn over the drawing in a signal colour, e.g. matched texts.
  std::vector<QPolygonF> highlights;
  // Polled during the paint; a true value ends it early.
  const std::atomic<bool>* cancel = nullptr;
  // The layers to show instead of the drawing's own states ([group][layer]); null: its own.
  const std::array<std::array<bool, 16>, 16>* layers = nullptr;
  // How much work the paint may take: the walk's budget (see drawing_walk.h) and the
  // painter's, in the time a short hairline takes (glyphs, fills and text bars more, and
  // on a raster device by their size in pixels). The defaults hold a 256-pixel thumbnail
  // of any drawing to about a second; an 8 MB drawing costs 0.6 million.
  int64_t walkBudget = kMaxShapesPerWalk;
  int64_t paintBudget = kThumbnailPaintBudget;
};

enum class PaintEnd {
  Finished,
  // The walk's or the painter's budget ran out: what was drawn so far stays, the rest is
  // left out (a drawing that nests blocks exponentially, or millions of glyphs).
  CutShort,
  Cancelled,
};

// Paints `drawing` over what the painter's device holds (fill the background first):
// `sheetToDevice` maps sheet millimetres (y up) to the device's coordinates. Hairlines
// stay one pixel wide at any scale. The work is bounded whatever the drawing (about two
// seconds of drawing at most), so a picture of any drawing ends.
PaintEnd PaintDrawing(QPainter& painter, const JwwDrawing& drawing, const QTransform& sheetToDevice,
                      const PaintOptions& options = {});

// The whole drawing, framed, on white, its longer side `longerSide` pixels (RGB, 8 bits
// a channel).
QImage RenderPicture(const JwwDrawing& drawing, int longerSide);

}  // namespace dorvan::render
