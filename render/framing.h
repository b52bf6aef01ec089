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

// The sheet of a drawing size in millimetres, landscape: A0 to A4 (0 to 4), 2A to 5A (8 to 11).
QSizeF SheetSize(int32_t drawingSize);

// The bounding box of an arc from its sweep (in sheet units, y up).
QRectF ArcExtents(const ArcShape& arc);

// Collects the bounding box of the shapes a walk hands out (inserts by their bounds where
// those are exact).
class BoundsSink final : public ShapeSink {
 public:
  void Line(const EntityBase&, QPointF from, QPointF to) override;
  void Arc(const EntityBase&, const ArcShape& arc) override;
  void Point(const EntityBase&, QPointF at, int32_t) override;
  void Solid(const EntityBase&, const QPointF (&corners)[4], int32_t) override;
  void Text(const EntityBase&, const PlacedText& placed) override;
  bool BeginInsert(const EntityBase&, const QRectF& bounds, bool exact) override;
  void InsertCutShort(const QRectF& bounds) override;
  // Nothing when no shape came.
  std::optional<QRectF> Box() const;

 private:
  void Add(QPointF p);
  bool any_ = false;
  double minX_ = 0, minY_ = 0, maxX_ = 0, maxY_ = 0;
};

// The bounding box of everything drawn, in sheet millimetres (y up, so top() is the
// smallest y); nothing when nothing is drawn. The box may have no width or height.
// A walk cut short by `budget` frames what it walked and the blocks it did not finish.
// A true `cancel` ends the walk early (the box then holds what was walked).
std::optional<QRectF> DrawnExtents(const JwwDrawing& drawing, int64_t budget = kMaxShapesPerWalk,
                                   const std::atomic<bool>* cancel = nullptr);

// The extents with their margin; for a drawing with nothing drawn, the sheet of its
// drawing size, centred on the origin.
QRectF PictureFrame(const JwwDrawing& drawing, int64_t budget = kMaxShapesPerWalk,
                    const std::atomic<bool>* cancel = nullptr);

// The same frame from extents the caller walked already.
QRectF PictureFrame(const std::optional<QRectF>& extents, int32_t drawingSize);

// A picture of the frame's aspect whose longer side is `longerSide` pixels.
QSize PictureSize(const QRectF& frame, int longerSide);

// Maps the frame (sheet millimetres, y up) into `target` (device coordinates, y down),
// aspect preserved and centred.
QTransform FitFrame(const QRectF& frame, const QRectF& target);

}  // namespace dorvan::render
