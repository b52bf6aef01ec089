// Framing a whole-drawing picture: the bounding box of the drawn geometry (lines, arcs by
// their sweep, points, solids, the start and end points of texts, dimension lines,
// inserted blocks after their transform; glyph outlines are not counted), a margin of 2 %
// of the box's longer side on every side, y up, aspect preserved and centred.
#pragma once

#include <QRectF>
#include <QSize>
#include <QTransform>
#include <optional>

#include "reader/jww_drawing.h"
#include "render/drawing_walk.h"

namespace dorvan::render {

// The bounding box of an arc from its sweep (in sheet units, y up).
QRectF ArcExtents(const ArcShape& arc);

// The bounding box of everything drawn, in sheet millimetres (y up, so top() is the
// smallest y); nothing when nothing is drawn. The box may have no width or height.
std::optional<QRectF> DrawnExtents(const JwwDrawing& drawing);

// The extents with their margin; for a drawing with nothing drawn, the sheet of its
// drawing size, centred on the origin.
QRectF PictureFrame(const JwwDrawing& drawing);

// A picture of the frame's aspect whose longer side is `longerSide` pixels.
QSize PictureSize(const QRectF& frame, int longerSide);

// Maps the frame (sheet millimetres, y up) into `target` (device coordinates, y down),
// aspect preserved and centred.
QTransform FitFrame(const QRectF& frame, const QRectF& target);

}  // namespace dorvan::render
