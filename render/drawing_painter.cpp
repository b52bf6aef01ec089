#include "render/drawing_painter.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPen>
#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "render/drawing_walk.h"
#include "render/framing.h"
#include "render/pen_style.h"
#include "render/text_layout.h"

namespace dorvan::render {
namespace {

// Below this height in pixels a text is drawn as a light bar where its characters stand:
// glyphs would be unreadable specks, and a bar keeps the picture's look at a fraction of
// the cost.
constexpr double kSmallestGlyphPixels = 4.0;
// Reference size of the glyphs before they are scaled to each text's cell.
constexpr int kGlyphPixels = 64;

class PaintSink final : public ShapeSink {
 public:
  PaintSink(QPainter& painter, const JwwHeader& header, const QTransform& toDevice)
      : painter_(painter), header_(header), toDevice_(toDevice), font_(QStringLiteral("IPAGothic")) {
    const QRect window = painter.viewport();
    visible_ = QRectF(window).adjusted(-2, -2, 2, 2);
    if (painter.hasClipping()) visible_ = visible_.intersected(painter.clipBoundingRect().adjusted(-2, -2, 2, 2));
    font_.setPixelSize(kGlyphPixels);
    font_.setStyleStrategy(QFont::PreferAntialias);
    font_.setHintingPreference(QFont::PreferNoHinting);
    const QFontMetricsF metrics(font_, painter.device());
    fullAdvance_ = metrics.horizontalAdvance(QChar(0x3042));
    if (!(fullAdvance_ > 0)) fullAdvance_ = kGlyphPixels;
    ascent_ = metrics.ascent();
    descent_ = metrics.descent();
    if (!(ascent_ + descent_ > 0)) {
      ascent_ = kGlyphPixels * 0.88;
      descent_ = kGlyphPixels * 0.12;
    }
    metrics_ = metrics;
  }

  void Line(const EntityBase& pen, QPointF from, QPointF to) override {
    const QPointF a = toDevice_.map(from), b = toDevice_.map(to);
    if (std::max(a.x(), b.x()) < visible_.left() || std::min(a.x(), b.x()) > visible_.right() ||
        std::max(a.y(), b.y()) < visible_.top() || std::min(a.y(), b.y()) > visible_.bottom())
      return;
    UsePen(pen);
    painter_.drawLine(a, b);
  }

  void Arc(const EntityBase& pen, const ArcShape& arc) override {
    ArcShape device = arc;
    device.centre = toDevice_.map(arc.centre);
    const QPointF origin = toDevice_.map(QPointF(0, 0));
    device.u = toDevice_.map(arc.u) - origin;
    device.v = toDevice_.map(arc.v) - origin;
    const double radius = std::max(std::hypot(device.u.x(), device.u.y()), std::hypot(device.v.x(), device.v.y()));
    const QRectF reach(device.centre - QPointF(radius, radius), device.centre + QPointF(radius, radius));
    if (!reach.intersects(visible_)) return;
    UsePen(pen);
    if (radius < 0.5) {
      painter_.drawPoint(device.centre);
      return;
    }
    // Chords stay within a fifth of a pixel of the curve.
    const double step = 2.0 * std::sqrt(0.4 / radius);
    const int segments = std::clamp(static_cast<int>(std::ceil(std::fabs(device.sweep) / step)), 4, 4096);
    points_.resize(static_cast<std::size_t>(segments) + 1);
    for (int k = 0; k <= segments; ++k) points_[static_cast<std::size_t>(k)] = device.At(device.start + device.sweep * k / segments);
    painter_.drawPolyline(points_.data(), segments + 1);
  }

  void Point(const EntityBase& pen, QPointF at, int32_t code) override {
    const QPointF p = toDevice_.map(at);
    if (!visible_.contains(p)) return;
    const QColor colour = PenColourOnWhite(header_, pen.PenColour);
    if (code == 0) {
      painter_.fillRect(QRectF(p.x() - 1, p.y() - 1, 2, 2), colour);
      return;
    }
    // Special points: a small cross.
    UsePen(pen);
    painter_.drawLine(p + QPointF(-3, -3), p + QPointF(3, 3));
    painter_.drawLine(p + QPointF(-3, 3), p + QPointF(3, -3));
  }

  void Solid(const EntityBase& pen, const QPointF (&corners)[4], int32_t ownColour) override {
    QPointF device[4];
    for (int k = 0; k < 4; ++k) device[k] = toDevice_.map(corners[k]);
    const QColor colour = ownColour >= 0 ? StoredColour(ownColour) : PenColourOnWhite(header_, pen.PenColour);
    painter_.save();
    painter_.setPen(QPen(colour, 0));  // a thin solid still shows
    painter_.setBrush(colour);
    painter_.drawPolygon(device, 4);
    painter_.restore();
    penKey_ = -1;
  }

  void Text(const EntityBase& pen, const PlacedText& placed) override {
    const TextEntity& text = *placed.text;
    if (text.Text.empty() || !(text.Height > 0) || !(text.Width > 0)) return;
    const QTransform frame = TextFrame(placed) * toDevice_;
    const QPolygonF outline = frame.map(QPolygonF({QPointF(0, 0), QPointF(TextLength(text), 0),
                                                   QPointF(TextLength(text), text.Height), QPointF(0, text.Height)}));
    if (!outline.boundingRect().intersects(visible_)) return;
    const QPointF up = frame.map(QPointF(0, text.Height)) - frame.map(QPointF(0, 0));
    const QColor colour = PenColourOnWhite(header_, pen.PenColour);
    if (std::hypot(up.x(), up.y()) < kSmallestGlyphPixels) {
      QColor bar = colour;
      bar.setAlphaF(0.35);
      painter_.save();
      painter_.setPen(Qt::NoPen);
      painter_.setBrush(bar);
      painter_.drawPolygon(outline);
      painter_.restore();
      penKey_ = -1;
      return;
    }
    const double sx = text.Width / fullAdvance_;
    const double sy = text.Height / (ascent_ + descent_);
    painter_.save();
    painter_.setFont(font_);
    painter_.setPen(colour);
    for (const CharacterCell& cell : LayOutText(text)) {
      if (cell.glyph == QStringLiteral(" ") || cell.glyph == QString(QChar(0x3000))) continue;
      const double advance = metrics_.horizontalAdvance(cell.glyph) * sx;
      // Glyph space (pixels of the reference font, y down from the baseline) to the text frame.
      const QTransform glyph(sx, 0, 0, -sy, cell.offset + (cell.width - advance) / 2, descent_ * sy);
      painter_.setTransform(glyph * frame);
      painter_.drawText(QPointF(0, 0), cell.glyph);
    }
    painter_.restore();
    penKey_ = -1;
  }

  void Highlight(const QPolygonF& box) {
    painter_.save();
    painter_.setPen(QPen(QColor(255, 120, 0), 2));
    painter_.setBrush(QColor(255, 160, 0, 60));
    QPolygonF device = toDevice_.map(box);
    // A box of a few pixels stays findable.
    const QRectF bounds = device.boundingRect();
    if (bounds.width() < 8 && bounds.height() < 8) device = QPolygonF(bounds.adjusted(-4, -4, 4, 4));
    painter_.drawPolygon(device);
    painter_.restore();
    penKey_ = -1;
  }

 private:
  void UsePen(const EntityBase& base) {
    const int type = base.PenStyle;
    const int key = (base.PenColour & 0xFFFF) << 8 | (type & 0xFF);
    if (key == penKey_) return;
    penKey_ = key;
    QPen pen(PenColourOnWhite(header_, base.PenColour), 1.0);
    pen.setCosmetic(true);
    pen.setCapStyle(Qt::FlatCap);
    auto dashes = dashCache_.find(type);
    if (dashes == dashCache_.end()) dashes = dashCache_.emplace(type, DashPattern(header_, type)).first;
    if (!dashes->second.isEmpty()) pen.setDashPattern(dashes->second);
    painter_.setPen(pen);
  }

  QPainter& painter_;
  const JwwHeader& header_;
  QTransform toDevice_;
  QRectF visible_;
  QFont font_;
  QFontMetricsF metrics_{QFont()};
  double fullAdvance_ = kGlyphPixels, ascent_ = 0, descent_ = 0;
  int penKey_ = -1;
  std::unordered_map<int, QList<qreal>> dashCache_;
  std::vector<QPointF> points_;
};

}  // namespace

bool PaintDrawing(QPainter& painter, const JwwDrawing& drawing, const QTransform& sheetToDevice,
                  const PaintOptions& options) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  painter.setTransform(QTransform());
  painter.setBrush(Qt::NoBrush);
  PaintSink sink(painter, drawing.Header, sheetToDevice);
  const bool finished = WalkDrawing(drawing, sink, options.cancel);
  if (finished)
    for (const QPolygonF& box : options.highlights) sink.Highlight(box);
  painter.restore();
  return finished;
}

QImage RenderPicture(const JwwDrawing& drawing, int longerSide) {
  const QRectF frame = PictureFrame(drawing);
  QImage picture(PictureSize(frame, longerSide), QImage::Format_RGB32);
  picture.fill(Qt::white);
  QPainter painter(&picture);
  PaintDrawing(painter, drawing, FitFrame(frame, QRectF(QPointF(0, 0), QSizeF(picture.size()))));
  painter.end();
  return picture;
}

}  // namespace dorvan::render
