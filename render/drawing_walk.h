// Walks what a drawing shows, in file order: the entities of visible layers, block
// inserts expanded into their definitions' entities under the insert's transform, every
// position already mapped to sheet millimetres (y up). Entities with coordinates that are
// not finite or lie beyond kAbsurdCoordinate are left out, so they are neither drawn nor
// framed (a text's end point too). A block met again inside itself is not followed, and
// nesting and the work of a walk are bounded, so no drawing can make a walk run away.
#pragma once

#include <QPointF>
#include <QRectF>
#include <QTransform>
#include <array>
#include <atomic>
#include <cstdint>

#include "reader/jww_drawing.h"

namespace dorvan::render {

inline constexpr double kAbsurdCoordinate = 1e9;
inline constexpr int kMaxBlockDepth = 32;
// The walk's budget: each entity it visits costs one, a text one more for each of its
// characters (laying out and drawing a text takes time in its length). An 8 MB drawing
// costs 0.6 million. The default bounds a thumbnail's time (two walks, framing and
// drawing, of a quarter of a microsecond an entity each); exports take a larger one.
inline constexpr int64_t kMaxShapesPerWalk = 2'000'000;
inline constexpr int64_t kMaxShapesPerExport = 8'000'000;

// An arc or ellipse after every transform: P(t) = centre + u·cos t + v·sin t for t from
// `start` over `sweep` radians (a full turn for circles).
struct ArcShape {
  QPointF centre, u, v;
  double start = 0, sweep = 0;
  QPointF At(double t) const;
};

// A text with the transform from its own sheet coordinates (as stored) to the sheet.
struct PlacedText {
  const TextEntity* text = nullptr;
  QTransform toSheet;
};

// Receives the shapes of a walk. `pen` is the entity's own pen (colour, line type).
class ShapeSink {
 public:
  virtual ~ShapeSink() = default;
  virtual void Line(const EntityBase& pen, QPointF from, QPointF to) = 0;
  virtual void Arc(const EntityBase& pen, const ArcShape& arc) = 0;
  // `code` is the special point code (0 for a plain point).
  virtual void Point(const EntityBase& pen, QPointF at, int32_t code) = 0;
  virtual void Solid(const EntityBase& pen, const QPointF (&corners)[4], int32_t ownColour) = 0;
  virtual void Text(const EntityBase& pen, const PlacedText& text) = 0;
  // Before a block insert's entities: `bounds` holds everything the insert draws (on the
  // sheet), exactly so when `exact` (no rotation but quarter turns); false skips them.
  virtual bool BeginInsert(const EntityBase& /*pen*/, const QRectF& /*bounds*/, bool /*exact*/) { return true; }
  // The walk's shape budget ran out inside an insert: `bounds` stands for what was not
  // handed out.
  virtual void InsertCutShort(const QRectF& /*bounds*/) {}
  // The walk ends early because its budget ran out (or the sink is Full).
  virtual void CutShort() {}
  // True once the sink wants no more shapes (a budget of its own ran out); the walk then
  // ends as if its own budget had.
  virtual bool Full() const { return false; }
};

// True when the layer group and the layer an entity lies on are shown (state not 0);
// numbers out of range count as shown.
bool LayerShown(const JwwHeader& header, const EntityBase& base);

// Which layers to show by [group][layer], in place of the drawing's own states (the
// preview's layer panel).
using LayerTable = std::array<std::array<bool, 16>, 16>;

// True for a text the drawing program keeps as a stored setting ("Printer_… = 0" far
// below the sheet): it has characters but no extent, as no drawn text has.
bool IsStoredSetting(const TextEntity& text);

// Walks `drawing` into `sink`. Stops early (returning false) when `cancel` becomes true;
// the flag is read at every entity, so a cancel takes effect within one entity's work.
// `layers`, when given, decides which layers are shown instead of the drawing's header.
bool WalkDrawing(const JwwDrawing& drawing, ShapeSink& sink, const std::atomic<bool>* cancel = nullptr,
                 const LayerTable* layers = nullptr, int64_t budget = kMaxShapesPerWalk);

}  // namespace dorvan::render
