#include "reader/entity_reader.h"

#include "reader/jww_reader.h"
#include "reader/reader_texts.h"

namespace dorvan {
namespace {

constexpr uint8_t kPointWithCode = 100;
constexpr int16_t kSolidWithColour = 10;

// Bytes of the fixed parts of the records, each taken from the cursor in one checked step.
constexpr std::size_t kBaseBytes = 4 + 1 + 5 * 2;
constexpr std::size_t kLineBytes = kBaseBytes + 4 * 8;
constexpr std::size_t kArcBytes = kBaseBytes + 7 * 8 + 4;
constexpr std::size_t kPointBytes = kBaseBytes + 2 * 8 + 4;
constexpr std::size_t kPointCodeBytes = 4 + 2 * 8;
constexpr std::size_t kTextFixedBytes = kBaseBytes + 4 * 8 + 4 + 4 * 8;
constexpr std::size_t kSolidBytes = kBaseBytes + 8 * 8;
constexpr std::size_t kBlockInsertBytes = kBaseBytes + 5 * 8 + 4;
static_assert(kMinEntityBytes == 2 + kPointBytes);

[[gnu::always_inline]] inline void DecodeBase(FieldReader& f, EntityBase& base) {
  base.Group = f.Dword();
  base.PenStyle = f.Byte();
  base.PenColour = f.Word();
  base.PenWidth = f.Word();
  base.Layer = f.Word();
  base.LayerGroup = f.Word();
  base.Flags = f.Word();
}

// Grows a kind's array by one element, reads the record into it and returns its index.
template <typename Record, typename ReadRecord>
int32_t ReadInto(std::vector<Record>& items, ReadRecord read) {
  read(items.emplace_back());
  return static_cast<int32_t>(items.size() - 1);
}

}  // namespace

void ReadEntityBase(ByteCursor& in, EntityBase& base) {
  if (const uint8_t* p = in.Take(kBaseBytes)) {
    FieldReader f(p);
    DecodeBase(f, base);
  }
}

void ReadLine(ByteCursor& in, LineEntity& line) {
  const uint8_t* p = in.Take(kLineBytes);
  if (!p) return;
  FieldReader f(p);
  DecodeBase(f, line.Base);
  line.StartX = f.Double();
  line.StartY = f.Double();
  line.EndX = f.Double();
  line.EndY = f.Double();
}

void ReadArc(ByteCursor& in, ArcEntity& arc) {
  const uint8_t* p = in.Take(kArcBytes);
  if (!p) return;
  FieldReader f(p);
  DecodeBase(f, arc.Base);
  arc.CentreX = f.Double();
  arc.CentreY = f.Double();
  arc.Radius = f.Double();
  arc.StartAngle = f.Double();
  arc.ArcAngle = f.Double();
  arc.TiltAngle = f.Double();
  arc.Flatness = f.Double();
  arc.FullCircle = f.Dword();
}

void ReadPoint(ByteCursor& in, PointEntity& point) {
  const uint8_t* p = in.Take(kPointBytes);
  if (!p) return;
  FieldReader f(p);
  DecodeBase(f, point.Base);
  point.X = f.Double();
  point.Y = f.Double();
  point.Temporary = f.Dword();
  if (point.Base.PenStyle != kPointWithCode) return;
  const uint8_t* q = in.Take(kPointCodeBytes);
  if (!q) return;
  FieldReader code(q);
  point.Code = code.Dword();
  point.Rotation = code.Double();
  point.Scale = code.Double();
}

void ReadText(ByteCursor& in, TextEntity& text) {
  const uint8_t* p = in.Take(kTextFixedBytes);
  if (!p) return;
  FieldReader f(p);
  DecodeBase(f, text.Base);
  text.StartX = f.Double();
  text.StartY = f.Double();
  text.EndX = f.Double();
  text.EndY = f.Double();
  text.TextKind = f.Dword();
  text.Width = f.Double();
  text.Height = f.Double();
  text.Spacing = f.Double();
  text.Angle = f.Double();
  text.FontName = ReadCString(in);
  text.Text = ReadCString(in);
}

void ReadSolid(ByteCursor& in, SolidEntity& solid) {
  const uint8_t* p = in.Take(kSolidBytes);
  if (!p) return;
  FieldReader f(p);
  DecodeBase(f, solid.Base);
  for (double& v : solid.Corners) v = f.Double();
  if (solid.Base.PenColour == kSolidWithColour) solid.Colour = in.Dword();
}

void ReadDimension(ByteCursor& in, int32_t version, DimensionEntity& dimension) {
  ReadEntityBase(in, dimension.Base);
  ReadLine(in, dimension.Line);
  ReadText(in, dimension.Label);
  if (version >= 420) {
    dimension.SxfMode = in.Word();
    ReadLine(in, dimension.AuxiliaryLine1);
    ReadLine(in, dimension.AuxiliaryLine2);
    for (PointEntity& point : dimension.Points) ReadPoint(in, point);
  }
}

void ReadBlockInsert(ByteCursor& in, BlockInsertEntity& insert) {
  const uint8_t* p = in.Take(kBlockInsertBytes);
  if (!p) return;
  FieldReader f(p);
  DecodeBase(f, insert.Base);
  insert.X = f.Double();
  insert.Y = f.Double();
  insert.ScaleX = f.Double();
  insert.ScaleY = f.Double();
  insert.Rotation = f.Double();
  insert.Number = f.Dword();
}

std::string_view ReadEntityList(ByteCursor& in, int32_t version, EntityLists& lists, LoadMap& map) {
  ClearEntityArrays(lists);
  const uint32_t count = ReadCount(in);
  if (!in.CanHold(count, kMinEntityBytes)) return {};
  map.Advance();

  for (uint32_t i = 1; i <= count; ++i) {
    ObjectTag tag = ReadObjectTag(in);
    if (in.failed()) return {};
    if (tag.NewClass) {
      const int16_t kind = KindOfClassName(tag.ClassName);
      if (kind == KindNone) return texts::kUnknownClass;
      map.Declare(kind);
      tag.Pair = map.Current();
      map.Advance();
    }
    EntityOrderItem item;
    item.Kind = map.KindOfTag(tag.Pair);
    switch (item.Kind) {
      case KindLine: item.Index = ReadInto(lists.Lines, [&](LineEntity& e) { ReadLine(in, e); }); break;
      case KindArc: item.Index = ReadInto(lists.Arcs, [&](ArcEntity& e) { ReadArc(in, e); }); break;
      case KindPoint: item.Index = ReadInto(lists.Points, [&](PointEntity& e) { ReadPoint(in, e); }); break;
      case KindText: item.Index = ReadInto(lists.Texts, [&](TextEntity& e) { ReadText(in, e); }); break;
      case KindSolid: item.Index = ReadInto(lists.Solids, [&](SolidEntity& e) { ReadSolid(in, e); }); break;
      case KindDimension:
        item.Index = ReadInto(lists.Dimensions, [&](DimensionEntity& e) { ReadDimension(in, version, e); });
        break;
      case KindBlockInsert:
        item.Index = ReadInto(lists.BlockInserts, [&](BlockInsertEntity& e) { ReadBlockInsert(in, e); });
        break;
      default: return texts::kNoEntityClass;
    }
    lists.EntityOrder.push_back(item);
    if (in.failed()) return {};
    map.Advance();
    in.Passed();
  }
  return {};
}

}  // namespace dorvan
