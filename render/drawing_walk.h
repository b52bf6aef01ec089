// Walks what a drawing shows, in file order: the entities of visible layers, block
// inserts expanded into their definitions' entities under the insert's transform, every
// position already mapped to sheet millimetres (y up). Entities with coordinates that are
// not finite or lie beyond kAbsurdCoordinate are left out, so they are neither drawn nor
// framed. A block met again inside itself is not followed, and nesting and the number of
// shapes a walk hands out are bounded, so no drawing can make a walk run away.
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
inline constexpr int64_t kMaxShapesPerWalk = 5'000'000;  // an 8 MB drawing hands out 0.4 million

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

// Walks `drawing` into `sink`. Stops early (returning false) when `cancel` becomes true.
// `layers`, when given, decides which layers are shown instead of the drawing's header.
bool WalkDrawing(const JwwDrawing& drawing, ShapeSink& sink,
                 const std::atomic<bool>* cancel = nullptr, const LayerTable* layers = nullptr);

}  // namespace dorvan::render
