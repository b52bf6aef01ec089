#include "render/framing.h"

#include <algorithm>
#include <cmath>

#include "render/text_layout.h"

namespace dorvan::render {
// Sheet sizes in millimetres by drawing size: A0 to A4, then 2A to 5A.
QSizeF SheetSize(int32_t drawingSize) {
  switch (drawingSize) {
    case 0: return {1189, 841};
    case 1: return {841, 594};
    case 2: return {594, 420};
    case 4: return {297, 210};
    case 8: return {1682, 1189};
    case 9: return {2378, 1682};
    case 10: return {3364, 2378};
    case 11: return {4756, 3364};
    default: return {420, 297};
  }
}

void BoundsSink::Line(const EntityBase&, QPointF from, QPointF to) {
  Add(from);
  Add(to);
}

void BoundsSink::Arc(const EntityBase&, const ArcShape& arc) {
  const QRectF box = ArcExtents(arc);
  Add(box.topLeft());
  Add(box.bottomRight());
}

void BoundsSink::Point(const EntityBase&, QPointF at, int32_t) { Add(at); }

void BoundsSink::Solid(const EntityBase&, const QPointF (&corners)[4], int32_t) {
  for (const QPointF& corner : corners) Add(corner);
}

void BoundsSink::Text(const EntityBase&, const PlacedText& placed) {
  const QTransform frame = TextFrame(placed);
  Add(frame.map(QPointF(0, 0)));
  Add(frame.map(QPointF(TextLength(*placed.text), 0)));
}

bool BoundsSink::BeginInsert(const EntityBase&, const QRectF& bounds, bool exact) {
  if (!exact) return true;
  Add(bounds.topLeft());
  Add(bounds.bottomRight());
  return false;
}

void BoundsSink::InsertCutShort(const QRectF& bounds) {
  Add(bounds.topLeft());
  Add(bounds.bottomRight());
}

std::optional<QRectF> BoundsSink::Box() const {
  if (!any_) return std::nullopt;
  return QRectF(QPointF(minX_, minY_), QPointF(maxX_, maxY_));
}

void BoundsSink::Add(QPointF p) {
  if (!std::isfinite(p.x()) || !std::isfinite(p.y())) return;
  if (!any_) {
    minX_ = maxX_ = p.x();
    minY_ = maxY_ = p.y();
    any_ = true;
    return;
  }
  minX_ = std::min(minX_, p.x());
  maxX_ = std::max(maxX_, p.x());
  minY_ = std::min(minY_, p.y());
  maxY_ = std::max(maxY_, p.y());
}

QRectF ArcExtents(const ArcShape& arc) {
  if (std::fabs(arc.sweep) >= 2 * M_PI) {
    const double rx = std::hypot(arc.u.x(), arc.v.x()), ry = std::hypot(arc.u.y(), arc.v.y());
    return QRectF(arc.centre - QPointF(rx, ry), arc.centre + QPointF(rx, ry));
  }
  double minX = 0, maxX = 0, minY = 0, maxY = 0;
  bool any = false;
  auto add = [&](double t) {
    const QPointF p = arc.At(t);
    if (!any) {
      minX = maxX = p.x();
      minY = maxY = p.y();
      any = true;
    }
    minX = std::min(minX, p.x());
    maxX = std::max(maxX, p.x());
    minY = std::min(minY, p.y());
    maxY = std::max(maxY, p.y());
  };
  const double from = std::min(arc.start, arc.start + arc.sweep);
  const double to = std::max(arc.start, arc.start + arc.sweep);
  add(from);
  add(to);
  // x and y are extreme where their derivative vanishes: t = atan2(v, u) and t + π.
  for (double base : {std::atan2(arc.v.x(), arc.u.x()), std::atan2(arc.v.y(), arc.u.y())}) {
    for (int half = 0; half < 2; ++half) {
      double t = base + half * M_PI;
      // The first such angle at or after `from`; the sweep is less than a turn, so there is
      // no second one (and adding turns to a huge angle would not move it).
      t = from + std::fmod(std::fmod(t - from, 2 * M_PI) + 2 * M_PI, 2 * M_PI);
      if (t <= to) add(t);
    }
  }
  return QRectF(QPointF(minX, minY), QPointF(maxX, maxY));
}

std::optional<QRectF> DrawnExtents(const JwwDrawing& drawing, int64_t budget, const std::atomic<bool>* cancel) {
  BoundsSink sink;
  WalkDrawing(drawing, sink, cancel, nullptr, budget);
  return sink.Box();
}

QRectF PictureFrame(const JwwDrawing& drawing, int64_t budget, const std::atomic<bool>* cancel) {
  return PictureFrame(DrawnExtents(drawing, budget, cancel), drawing.Header.DrawingSize);
}

QRectF PictureFrame(const std::optional<QRectF>& extents, int32_t drawingSize) {
  if (!extents) {
    const QSizeF sheet = SheetSize(drawingSize);
    return QRectF(-sheet.width() / 2, -sheet.height() / 2, sheet.width(), sheet.height());
  }
  double longer = std::max(extents->width(), extents->height());
  if (longer <= 0) longer = 1.0;  // a single point: a millimetre around it
  const double margin = 0.02 * longer;
  return extents->adjusted(-margin, -margin, margin, margin);
}

QSize PictureSize(const QRectF& frame, int longerSide) {
  longerSide = std::max(longerSide, 1);
  const double w = frame.width(), h = frame.height();
  if (!(w > 0) || !(h > 0)) return {longerSide, longerSide};
  if (w >= h) return {longerSide, std::max(1, static_cast<int>(std::lround(longerSide * h / w)))};
  return {std::max(1, static_cast<int>(std::lround(longerSide * w / h))), longerSide};
}

QTransform FitFrame(const QRectF& frame, const QRectF& target) {
  const double w = frame.width() > 0 ? frame.width() : 1.0;
  const double h = frame.height() > 0 ? frame.height() : 1.0;
  const double scale = std::min(target.width() / w, target.height() / h);
  QTransform fit;
  fit.translate(target.center().x(), target.center().y());
  fit.scale(scale, -scale);
  fit.translate(-frame.center().x(), -frame.center().y());
  return fit;
}

}  // namespace dorvan::render
