#include "render/drawing_painter.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPaintEngine>
#include <QPainterPath>
#include <QPen>
#include <algorithm>
#include <array>
#include <cmath>
#include <map>

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
// What a drawn glyph, a filled shape (a solid, a text bar) and the pixels they cover cost
// against the painter's budget, in the time a hairline takes.
constexpr int64_t kGlyphCost = 30;
constexpr int64_t kShapeCost = 4;
constexpr double kPixelsPerCost = 16;
constexpr int64_t kMaxGlyphs = 100'000;

// A face for texts at the reference size, with the measures that fit its glyphs to cells.
struct GlyphFont {
  GlyphFont(const QStringList& families, QPaintDevice* device) : metrics(QFont()) {
    font.setFamilies(families);
    font.setPixelSize(kGlyphPixels);
    font.setStyleStrategy(QFont::PreferAntialias);
    font.setHintingPreference(QFont::PreferNoHinting);
    metrics = QFontMetricsF(font, device);
    fullAdvance = metrics.horizontalAdvance(QChar(0x3042));
    if (!(fullAdvance > 0)) fullAdvance = kGlyphPixels;
    ascent = metrics.ascent();
    descent = metrics.descent();
    if (!(ascent + descent > 0)) {
      ascent = kGlyphPixels * 0.88;
      descent = kGlyphPixels * 0.12;
    }
  }
  QFont font;
  QFontMetricsF metrics;
  double fullAdvance = kGlyphPixels, ascent = 0, descent = 0;
};

// Serif faces for the drawing program's Mincho fonts, the Gothic for everything else.
bool IsMincho(const std::u16string& fontName) {
  const QString name = QString::fromStdU16String(fontName);
  return name.contains(QStringLiteral("明朝")) || name.contains(QStringLiteral("Mincho"), Qt::CaseInsensitive);
}

class PaintSink final : public ShapeSink {
 public:
  PaintSink(QPainter& painter, const JwwHeader& header, const QTransform& toDevice, const std::atomic<bool>* cancel,
            int64_t budget)
      : painter_(painter), header_(header), toDevice_(toDevice), cancel_(cancel), budget_(budget),
        gothic_(QStringList{QStringLiteral("IPAGothic"), QStringLiteral("IPAPGothic")}, painter.device()),
        mincho_(QStringList{QStringLiteral("IPAMincho"), QStringLiteral("IPAPMincho"), QStringLiteral("IPAGothic")},
                painter.device()) {
    const QRect window = painter.viewport();
    visible_ = QRectF(window).adjusted(-2, -2, 2, 2);
    if (painter.hasClipping()) visible_ = visible_.intersected(painter.clipBoundingRect().adjusted(-2, -2, 2, 2));
    visibleArea_ = visible_.width() * visible_.height();
    raster_ = painter.paintEngine() != nullptr && painter.paintEngine()->type() == QPaintEngine::Raster;
  }

  bool Full() const override { return cost_ > budget_; }
  void CutShort() override { cutShort_ = true; }
  bool WasCutShort() const { return cutShort_; }

  bool BeginInsert(const EntityBase& pen, const QRectF& bounds, bool) override {
    const QRectF device = toDevice_.mapRect(bounds);
    // Widened by a pixel: a block of lines along one axis has a box without width or height.
    if (!device.adjusted(-1, -1, 1, 1).intersects(visible_)) return false;
    if (device.width() < 1.5 && device.height() < 1.5) {
      // A block smaller than a pixel is a speck: no need to walk its entities.
      AfterSolids();
      cost_ += kShapeCost;
      painter_.fillRect(QRect(static_cast<int>(std::floor(device.center().x())),
                              static_cast<int>(std::floor(device.center().y())), 1, 1),
                        Colour(pen.PenColour));
      return false;
    }
    return true;
  }

  void Line(const EntityBase& pen, QPointF from, QPointF to) override {
    const QPointF a = toDevice_.map(from), b = toDevice_.map(to);
    if (std::max(a.x(), b.x()) < visible_.left() || std::min(a.x(), b.x()) > visible_.right() ||
        std::max(a.y(), b.y()) < visible_.top() || std::min(a.y(), b.y()) > visible_.bottom())
      return;
    Batch(pen).push_back(QLineF(a, b));
    cost_ += 1 + Pixels(std::min(std::fabs(b.x() - a.x()) + std::fabs(b.y() - a.y()), visible_.width() + visible_.height()));
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
    std::vector<QLineF>& lines = Batch(pen);
    if (radius < 0.5) {
      lines.push_back(QLineF(device.centre, device.centre + QPointF(0.5, 0)));
      return;
    }
    // Chords stay within a fifth of a pixel of the curve.
    const double step = 2.0 * std::sqrt(0.4 / radius);
    const int segments = std::clamp(static_cast<int>(std::ceil(std::fabs(device.sweep) / step)), 4, 4096);
    // (cos t, sin t) advanced by a rotation of one step instead of a sine and cosine a point.
    const double delta = device.sweep / segments, cosDelta = std::cos(delta), sinDelta = std::sin(delta);
    double c = std::cos(device.start), s = std::sin(device.start);
    QPointF previous = device.centre + device.u * c + device.v * s;
    for (int k = 1; k <= segments; ++k) {
      const double next = c * cosDelta - s * sinDelta;
      s = s * cosDelta + c * sinDelta;
      c = next;
      const QPointF point = device.centre + device.u * c + device.v * s;
      lines.push_back(QLineF(previous, point));
      previous = point;
    }
    batched_ += segments;
    cost_ += segments;
  }

  void Point(const EntityBase& pen, QPointF at, int32_t code) override {
    const QPointF p = toDevice_.map(at);
    if (!visible_.contains(p)) return;
    cost_ += kShapeCost;
    AfterSolids();
    if (code == 0) {
      painter_.fillRect(QRect(static_cast<int>(std::floor(p.x())) - 1, static_cast<int>(std::floor(p.y())) - 1, 2, 2),
                        Colour(pen.PenColour));
      return;
    }
    // Special points: a small cross.
    std::vector<QLineF>& lines = Batch(pen);
    lines.push_back(QLineF(p + QPointF(-3, -3), p + QPointF(3, 3)));
    lines.push_back(QLineF(p + QPointF(-3, 3), p + QPointF(3, -3)));
  }

  void Solid(const EntityBase& pen, const QPointF (&corners)[4], int32_t ownColour) override {
    QPointF device[4];
    for (int k = 0; k < 4; ++k) device[k] = toDevice_.map(corners[k]);
    QRectF reach(device[0], QSizeF(0, 0));
    for (const QPointF& corner : device) reach |= QRectF(corner, QSizeF(0, 0));
    if (!reach.adjusted(-1, -1, 1, 1).intersects(visible_)) return;
    const QColor colour = ownColour >= 0 ? StoredColour(ownColour) : Colour(pen.PenColour);
    // What comes before a solid in the file lies under it; solids one after another are
    // filled together, as text bars are.
    if (batched_ > 0 || barsCount_ > 0) Flush();
    AddWound(solids_[colour.rgb()], QPolygonF({device[0], device[1], device[2], device[3]}));
    cost_ += 2 * kShapeCost + Pixels(reach.intersected(visible_));  // a fill and an outline
    if (++solidsCount_ >= kShapesPerFill) FillSolids();
  }

  void Text(const EntityBase& pen, const PlacedText& placed) override {
    const TextEntity& text = *placed.text;
    if (text.Text.empty() || !(text.Height > 0) || !(text.Width > 0)) return;
    const QTransform frame = TextFrame(placed) * toDevice_;
    const double length = TextLength(text);
    const QPolygonF outline = frame.map(QPolygonF({QPointF(0, 0), QPointF(length, 0), QPointF(length, text.Height),
                                                   QPointF(0, text.Height)}));
    if (!outline.boundingRect().intersects(visible_)) return;
    const QPointF up = frame.map(QPointF(0, text.Height)) - frame.map(QPointF(0, 0));
    const QColor colour = Colour(pen.PenColour);
    // Glyphs may take half the budget; past it a text is a bar as well, which still shows
    // where it stands (a long text of large glyphs would otherwise end the picture).
    const double height = std::hypot(up.x(), up.y());
    const QPointF across = frame.map(QPointF(text.Width, 0)) - frame.map(QPointF(0, 0));
    const int64_t glyphCost = static_cast<int64_t>(text.Text.size()) *
                              (kGlyphCost + Pixels(height * std::hypot(across.x(), across.y())));
    if (height < kSmallestGlyphPixels || glyphCost_ + glyphCost > budget_ / 2) {
      AfterSolids();
      const QPointF along = outline[1] - outline[0], side = outline[3] - outline[0];
      const double area = along.x() * side.y() - along.y() * side.x();
      AddWound(bars_[colour.rgb()], outline);
      cost_ += kShapeCost + Pixels(std::min(std::fabs(area), visibleArea_));
      if (++barsCount_ >= kShapesPerFill) FillBars();
      return;
    }
    AfterSolids();
    glyphCost_ += glyphCost;
    cost_ += glyphCost;
    const GlyphFont& face = IsMincho(text.FontName) ? mincho_ : gothic_;
    const double sx = text.Width / face.fullAdvance;
    const double sy = text.Height / (face.ascent + face.descent);
    painter_.save();
    painter_.setFont(face.font);
    painter_.setPen(colour);
    int drawn = 0;
    for (const CharacterCell& cell : LayOutText(text)) {
      if (cell.glyph.isEmpty() || cell.glyph == QStringLiteral(" ") || cell.glyph == QString(QChar(0x3000))) continue;
      // A long text of large glyphs takes a while: a cancel need not wait for its end.
      if ((++drawn & 63) == 0 && cancel_ != nullptr && cancel_->load(std::memory_order_relaxed)) break;
      const double advance = face.metrics.horizontalAdvance(cell.glyph) * sx;
      // Glyph space (pixels of the reference font, y down from the baseline) to the text frame.
      const QTransform glyph(sx, 0, 0, -sy, cell.offset + (cell.width - advance) / 2, face.descent * sy);
      const QTransform device = glyph * frame;
      painter_.setTransform(device);
      if (GlyphCacheCopes(device, face.ascent + face.descent)) {
        painter_.drawText(QPointF(0, 0), cell.glyph);
      } else {
        QPainterPath outline;
        outline.addText(QPointF(0, 0), face.font, cell.glyph);
        painter_.fillPath(outline, colour);
      }
    }
    painter_.restore();
  }

  // Whether Qt's glyph cache can take a glyph drawn through `device` at `pixels` of
  // reference height. FreeType fails on a glyph stretched far more one way than the other
  // (a text of almost no width and great height), and Qt then reads a bitmap that was never
  // made: such glyphs, and very large ones, are filled as outlines instead.
  static bool GlyphCacheCopes(const QTransform& device, double pixels) {
    const double across = std::hypot(device.m11(), device.m12()) * pixels;
    const double up = std::hypot(device.m21(), device.m22()) * pixels;
    const double larger = std::max(across, up), smaller = std::min(across, up);
    return larger <= 512 && smaller * 16 >= larger;
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
  }

 private:
  // Pixels cost time where they are drawn, but nothing in a vector file.
  int64_t Pixels(double area) const {
    return raster_ ? static_cast<int64_t>(std::min(area, 1e12) / kPixelsPerCost) : 0;
  }
  int64_t Pixels(const QRectF& area) const { return area.isValid() ? Pixels(area.width() * area.height()) : 0; }

  const QColor& Colour(int number) {
    const std::size_t slot = number >= 0 && number < 357 ? static_cast<std::size_t>(number) : 0;
    if (!colourKnown_[slot]) {
      colours_[slot] = PenColourOnWhite(header_, slot == 0 ? number : static_cast<int>(slot));
      colourKnown_[slot] = true;
    }
    return colours_[slot];
  }

  // The lines waiting to be drawn with `base`'s pen. Lines are drawn a pen at a time: a
  // pen change costs the painter more than a short line, and hairlines look the same in
  // any order.
  std::vector<QLineF>& Batch(const EntityBase& base) {
    AfterSolids();
    const int type = base.PenStyle;
    const int key = (base.PenColour & 0xFFFF) << 8 | (type & 0xFF);
    if (key == lastKey_) return *lastBatch_;
    auto found = batches_.find(key);
    if (found == batches_.end()) {
      QPen pen(Colour(base.PenColour), 1.0);
      pen.setCosmetic(true);
      pen.setCapStyle(Qt::FlatCap);
      const QList<qreal> dashes = DashPattern(header_, type);
      if (!dashes.isEmpty()) pen.setDashPattern(dashes);
      found = batches_.emplace(key, PenBatch{pen, {}}).first;
    }
    lastKey_ = key;
    lastBatch_ = &found->second.lines;
    if (++batched_ > kLinesPerFlush) Flush();
    return *lastBatch_;
  }

 public:
  // Draws the waiting lines.
  // Adds a polygon to a path filled by the winding rule, wound one way (a mirrored insert
  // turns it), so that overlapping polygons fill once.
  static void AddWound(QPainterPath& path, const QPolygonF& polygon) {
    path.setFillRule(Qt::WindingFill);
    double twiceArea = 0;
    for (qsizetype k = 0; k < polygon.size(); ++k) {
      const QPointF& p = polygon[k];
      const QPointF& q = polygon[(k + 1) % polygon.size()];
      twiceArea += p.x() * q.y() - q.x() * p.y();
    }
    if (twiceArea >= 0) {
      path.addPolygon(polygon);
    } else {
      path.addPolygon(QPolygonF(polygon.rbegin(), polygon.rend()));
    }
  }

  // What follows solids in the file lies over them.
  void AfterSolids() {
    if (solidsCount_ > 0) FillSolids();
  }

  void FillSolids() {
    if (solidsCount_ == 0) return;
    for (auto& [rgb, path] : solids_) {
      if (path.isEmpty()) continue;
      const QColor colour = QColor::fromRgb(rgb);
      painter_.setPen(QPen(colour, 0));  // a thin solid still shows
      painter_.setBrush(colour);
      painter_.drawPath(path);
      painter_.setBrush(Qt::NoBrush);
    }
    solids_.clear();  // holds the colours pending only: solids and lines often alternate
    solidsCount_ = 0;
  }

  void FillBars() {
    if (barsCount_ == 0) return;
    for (auto& [rgb, path] : bars_) {
      if (path.isEmpty()) continue;
      QColor bar = QColor::fromRgb(rgb);
      bar.setAlphaF(0.35);
      painter_.fillPath(path, bar);
    }
    bars_.clear();
    barsCount_ = 0;
  }

  void Flush() {
    FillSolids();
    FillBars();
    for (auto& [key, batch] : batches_) {
      if (batch.lines.empty()) continue;
      painter_.setPen(batch.pen);
      painter_.drawLines(batch.lines.data(), static_cast<int>(batch.lines.size()));
      batch.lines.clear();
    }
    batched_ = 0;
  }

 private:

  QPainter& painter_;
  const JwwHeader& header_;
  QTransform toDevice_;
  const std::atomic<bool>* cancel_;
  const int64_t budget_;
  QRectF visible_;
  int64_t cost_ = 0;
  int64_t glyphCost_ = 0;
  double visibleArea_ = 0;
  bool raster_ = true;
  bool cutShort_ = false;
  GlyphFont gothic_, mincho_;
  struct PenBatch {
    QPen pen;
    std::vector<QLineF> lines;
  };
  static constexpr int kLinesPerFlush = 1 << 16;
  std::map<int, PenBatch> batches_;
  // Filled shapes (solids, text bars) are filled a colour at a time: the raster engine
  // hands every fill of more than a few rows to its thread pool, which costs more than a
  // small shape itself. A few hundred a fill share that cost, and are few enough that the
  // rasterizer's work stays in proportion (a path of many overlapping edges costs more
  // than its parts filled apart).
  static constexpr int kShapesPerFill = 256;
  std::map<QRgb, QPainterPath> bars_, solids_;
  int barsCount_ = 0, solidsCount_ = 0;
  int lastKey_ = -1;
  std::vector<QLineF>* lastBatch_ = nullptr;
  int batched_ = 0;
  std::array<QColor, 357> colours_{};
  std::array<bool, 357> colourKnown_{};
};

}  // namespace

PaintEnd PaintDrawing(QPainter& painter, const JwwDrawing& drawing, const QTransform& sheetToDevice,
                      const PaintOptions& options) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  painter.setTransform(QTransform());
  painter.setBrush(Qt::NoBrush);
  PaintSink sink(painter, drawing.Header, sheetToDevice, options.cancel, options.paintBudget);
  const bool finished = WalkDrawing(drawing, sink, options.cancel, options.layers, options.walkBudget);
  sink.Flush();
  if (finished)
    for (const QPolygonF& box : options.highlights) sink.Highlight(box);
  painter.restore();
  if (!finished) return PaintEnd::Cancelled;
  return sink.WasCutShort() ? PaintEnd::CutShort : PaintEnd::Finished;
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
