#include "render/drawing_walk.h"

#include <cmath>
#include <map>
#include <optional>
#include <vector>

#include "render/framing.h"
#include "render/text_layout.h"

namespace dorvan::render {

QPointF ArcShape::At(double t) const { return centre + u * std::cos(t) + v * std::sin(t); }

bool LayerShown(const JwwHeader& header, const EntityBase& base) {
  if (base.LayerGroup < 0 || base.LayerGroup >= 16) return true;
  const LayerGroupSettings& group = header.Groups[static_cast<std::size_t>(base.LayerGroup)];
  if (group.State == 0) return false;
  if (base.Layer < 0 || base.Layer >= 16) return true;
  return group.LayerState[static_cast<std::size_t>(base.Layer)] != 0;
}

bool IsStoredSetting(const TextEntity& text) {
  return !text.Text.empty() && text.StartX == text.EndX && text.StartY == text.EndY;
}

namespace {

bool Sound(double value) { return std::isfinite(value) && std::fabs(value) <= kAbsurdCoordinate; }
bool Sound(QPointF p) { return Sound(p.x()) && Sound(p.y()); }

// What a block definition draws, in its own coordinates (nothing when it draws nothing),
// by block index; worked out once per walk where first needed.
using BlockBoundsCache = std::map<int32_t, std::optional<QRectF>>;

class Walker {
 public:
  Walker(const JwwDrawing& drawing, ShapeSink& sink, const std::atomic<bool>* cancel, BlockBoundsCache& bounds,
         int64_t& shapes, int64_t budget, const LayerTable* layers = nullptr)
      : drawing_(drawing), sink_(sink), cancel_(cancel), blockBounds_(bounds), shapes_(shapes), budget_(budget),
        layers_(layers) {}

  bool Run() {
    WalkList(drawing_.Data, QTransform(), true);
    // The budget may have run out in the last block's bounds, walked by another walker.
    if (!cancelled_ && shapes_ > budget_ && !toldCutShort_) sink_.CutShort();
    return !cancelled_;
  }

  // The bounds of one block's entities, walked with the blocks open on this path.
  std::optional<QRectF> BlockBounds(int32_t number, const BlockDefinition& block) {
    BoundsSink bounds;
    Walker inner(drawing_, bounds, cancel_, blockBounds_, shapes_, budget_);  // one budget for the whole walk
    inner.openBlocks_ = openBlocks_;
    inner.openBlocks_.push_back(number);
    inner.depth_ = depth_ + 1;
    // Inserts within a block count by their own blocks' bounds (worked out once each, and
    // a box around them where they turn), so that the bounds cost the definitions' entities
    // once, not every entity their nesting multiplies them into.
    inner.boundsOnly_ = true;
    inner.WalkList(block.Data, QTransform(), false);
    if (inner.cancelled_) cancelled_ = stopped_ = true;
    return bounds.Box();
  }

 private:
  // Counts one entity against the budget and reads the cancel flag (a relaxed load costs
  // next to nothing, and an entity can take milliseconds to draw: a count between reads
  // would let a few slow entities hold a cancel for seconds); false once the walk must end.
  bool KeepGoing() { return Charge(1); }

  bool Charge(int64_t cost) {
    if (stopped_) return false;
    shapes_ += cost;
    if (cancel_ != nullptr && cancel_->load(std::memory_order_relaxed)) {
      stopped_ = cancelled_ = true;
    } else if (shapes_ > budget_ || sink_.Full()) {
      stopped_ = true;  // what was handed out so far stays: a picture, cut short
      if (!toldCutShort_) {
        toldCutShort_ = true;
        sink_.CutShort();
      }
    }
    return !stopped_;
  }

  template <typename T>
  static const T* Item(const std::vector<T>& items, int32_t index) {
    if (index <= 0 || static_cast<std::size_t>(index) >= items.size()) return nullptr;
    return &items[static_cast<std::size_t>(index)];
  }

  void WalkList(const EntityLists& lists, const QTransform& toSheet, bool topLevel) {
    for (std::size_t i = 1; i < lists.EntityOrder.size(); ++i) {
      if (!KeepGoing()) return;
      const EntityOrderItem& item = lists.EntityOrder[i];
      const auto draw = [&](const auto& items, auto shape) {
        if (auto* e = Item(items, item.Index); e && Shown(e->Base, topLevel)) (this->*shape)(*e, toSheet);
      };
      switch (item.Kind) {
        case KindLine: draw(lists.Lines, &Walker::Line); break;
        case KindArc: draw(lists.Arcs, &Walker::Arc); break;
        case KindPoint: draw(lists.Points, &Walker::Point); break;
        case KindText: draw(lists.Texts, &Walker::Text); break;
        case KindSolid: draw(lists.Solids, &Walker::Solid); break;
        case KindDimension: draw(lists.Dimensions, &Walker::Dimension); break;
        case KindBlockInsert: draw(lists.BlockInserts, &Walker::Insert); break;
        default: break;
      }
    }
  }

  // A block's own entities are shown or hidden with the insert that places them.
  bool Shown(const EntityBase& base, bool topLevel) const {
    if (!topLevel) return true;
    if (layers_ == nullptr || base.LayerGroup < 0 || base.LayerGroup >= 16 || base.Layer < 0 || base.Layer >= 16)
      return LayerShown(drawing_.Header, base);
    return (*layers_)[static_cast<std::size_t>(base.LayerGroup)][static_cast<std::size_t>(base.Layer)];
  }

  void Line(const LineEntity& line, const QTransform& toSheet) {
    const QPointF from = toSheet.map(QPointF(line.StartX, line.StartY));
    const QPointF to = toSheet.map(QPointF(line.EndX, line.EndY));
    if (Sound(from) && Sound(to)) sink_.Line(line.Base, from, to);
  }

  void Arc(const ArcEntity& arc, const QTransform& toSheet) {
    if (!Sound(arc.Radius) || !Sound(arc.Flatness) || !std::isfinite(arc.StartAngle) ||
        !std::isfinite(arc.ArcAngle) || !std::isfinite(arc.TiltAngle))
      return;
    const double c = std::cos(arc.TiltAngle), s = std::sin(arc.TiltAngle);
    const double r = arc.Radius, minor = arc.Radius * arc.Flatness;
    ArcShape shape;
    shape.centre = toSheet.map(QPointF(arc.CentreX, arc.CentreY));
    // The linear part of the transform carries the axes of the tilted ellipse.
    const QPointF origin = toSheet.map(QPointF(0, 0));
    shape.u = toSheet.map(QPointF(r * c, r * s)) - origin;
    shape.v = toSheet.map(QPointF(-minor * s, minor * c)) - origin;
    const bool full = arc.FullCircle != 0 || std::fabs(arc.ArcAngle) >= 2 * M_PI;
    // Brought into one turn: beyond about 1e16 radians adding a turn no longer changes an
    // angle, and the sweep's extremes are found by adding turns.
    shape.start = full ? 0.0 : std::remainder(arc.StartAngle, 2 * M_PI);
    shape.sweep = full ? 2 * M_PI : arc.ArcAngle;
    if (Sound(shape.centre) && Sound(shape.u) && Sound(shape.v)) sink_.Arc(arc.Base, shape);
  }

  void Point(const PointEntity& point, const QTransform& toSheet) {
    const QPointF at = toSheet.map(QPointF(point.X, point.Y));
    if (Sound(at)) sink_.Point(point.Base, at, point.Base.PenStyle == 100 ? point.Code : 0);
  }

  void Text(const TextEntity& text, const QTransform& toSheet) {
    if (IsStoredSetting(text)) return;
    if (!Charge(static_cast<int64_t>(text.Text.size()))) return;
    if (!Sound(toSheet.map(QPointF(text.StartX, text.StartY))) || !Sound(text.Width) ||
        !Sound(text.Height) || !Sound(text.Spacing) || !std::isfinite(text.Angle))
      return;
    // Its end is a coordinate like any other: many characters times a huge spacing can
    // carry it far beyond the bound.
    const PlacedText placed{&text, toSheet};
    if (!Sound(TextFrame(placed).map(QPointF(TextLength(text), 0)))) return;
    sink_.Text(text.Base, placed);
  }

  void Solid(const SolidEntity& solid, const QTransform& toSheet) {
    QPointF corners[4];
    for (int k = 0; k < 4; ++k) {
      corners[k] = toSheet.map(QPointF(solid.Corners[2 * k], solid.Corners[2 * k + 1]));
      if (!Sound(corners[k])) return;
    }
    sink_.Solid(solid.Base, corners, solid.Base.PenColour == 10 ? solid.Colour : -1);
  }

  void Dimension(const DimensionEntity& dimension, const QTransform& toSheet) {
    Line(dimension.Line, toSheet);
    // Extension lines are kept only by newer drawings; unused ones are empty.
    for (const LineEntity* extension : {&dimension.AuxiliaryLine1, &dimension.AuxiliaryLine2}) {
      if (extension->StartX != extension->EndX || extension->StartY != extension->EndY)
        Line(*extension, toSheet);
    }
    Text(dimension.Label, toSheet);
  }

  void Insert(const BlockInsertEntity& insert, const QTransform& toSheet) {
    const auto& index = drawing_.Data.BlockIndexByNumber;
    if (insert.Number < 0 || static_cast<std::size_t>(insert.Number) >= index.size()) return;
    const BlockDefinition* block = Item(drawing_.Data.BlockDefinitions, index[static_cast<std::size_t>(insert.Number)]);
    if (block == nullptr || depth_ >= kMaxBlockDepth) return;
    for (int32_t open : openBlocks_)
      if (open == insert.Number) return;  // drawn once already on this path
    if (!Sound(insert.X) || !Sound(insert.Y) || !Sound(insert.ScaleX) || !Sound(insert.ScaleY) ||
        !std::isfinite(insert.Rotation))
      return;
    QTransform place;
    place.translate(insert.X, insert.Y);
    place.rotateRadians(insert.Rotation);
    place.scale(insert.ScaleX, insert.ScaleY);
    const QTransform blockToSheet = place * toSheet;
    const int32_t blockIndex = index[static_cast<std::size_t>(insert.Number)];
    auto known = blockBounds_.find(blockIndex);
    if (known == blockBounds_.end()) known = blockBounds_.emplace(blockIndex, BlockBounds(insert.Number, *block)).first;
    if (!known->second || stopped_) return;  // draws nothing
    // A box stays a box under quarter turns and scaling; other turns only bound it.
    const double tiny = 1e-12 * (std::fabs(blockToSheet.m11()) + std::fabs(blockToSheet.m12()) +
                                 std::fabs(blockToSheet.m21()) + std::fabs(blockToSheet.m22()));
    const bool exact = boundsOnly_ || (std::fabs(blockToSheet.m12()) <= tiny && std::fabs(blockToSheet.m21()) <= tiny) ||
                       (std::fabs(blockToSheet.m11()) <= tiny && std::fabs(blockToSheet.m22()) <= tiny);
    const QRectF bounds = blockToSheet.mapRect(*known->second);
    if (!Sound(bounds.topLeft()) || !Sound(bounds.bottomRight())) return;
    if (!sink_.BeginInsert(insert.Base, bounds, exact)) return;
    openBlocks_.push_back(insert.Number);
    ++depth_;
    WalkList(block->Data, blockToSheet, false);
    if (stopped_ && !cancelled_) sink_.InsertCutShort(bounds);
    --depth_;
    openBlocks_.pop_back();
  }

  const JwwDrawing& drawing_;
  ShapeSink& sink_;
  const std::atomic<bool>* cancel_;
  BlockBoundsCache& blockBounds_;
  std::vector<int32_t> openBlocks_;
  int depth_ = 0;
  int64_t& shapes_;
  const int64_t budget_;
  const LayerTable* layers_;
  bool stopped_ = false;
  bool cancelled_ = false;
  bool toldCutShort_ = false;
  bool boundsOnly_ = false;
};

}  // namespace

bool WalkDrawing(const JwwDrawing& drawing, ShapeSink& sink, const std::atomic<bool>* cancel,
                 const LayerTable* layers, int64_t budget) {
  BlockBoundsCache bounds;
  int64_t shapes = 0;
  Walker walker(drawing, sink, cancel, bounds, shapes, budget, layers);
  return walker.Run();
}

}  // namespace dorvan::render
