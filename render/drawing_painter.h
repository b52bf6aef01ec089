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

namespace dorvan::render {

struct PaintOptions {
  // Boxes (sheet millimetres) drawn over the drawing in a signal colour, e.g. matched texts.
  std::vector<QPolygonF> highlights;
  // Polled during the paint; a true value ends it early.
  const std::atomic<bool>* cancel = nullptr;
  // The layers to show instead of the drawing's own states ([group][layer]); null: its own.
  const std::array<std::array<bool, 16>, 16>* layers = nullptr;
};

// Paints `drawing` over what the painter's device holds (fill the background first):
// `sheetToDevice` maps sheet millimetres (y up) to the device's coordinates. Hairlines
// stay one pixel wide at any scale. Returns false when cancelled.
bool PaintDrawing(QPainter& painter, const JwwDrawing& drawing, const QTransform& sheetToDevice,
                  const PaintOptions& options = {});

// The whole drawing, framed, on white, its longer side `longerSide` pixels (RGB, 8 bits
// a channel).
QImage RenderPicture(const JwwDrawing& drawing, int longerSide);

}  // namespace dorvan::render
