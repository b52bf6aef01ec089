#include "reader/entity_reader.h"

#include "reader/jww_reader.h"
#include "reader/reader_texts.h"

namespace dorvan {
namespace {

constexpr uint8_t kPointWithCode = 100;
constexpr int16_t kSolidWithColour = 10;

// Grows a kind's array by one element, reads the record into it and returns its index.
template <typename Record, typename ReadRecord>
int32_t ReadInto(std::vector<Record>& items, ReadRecord read) {
  read(items.emplace_back());
  return static_cast<int32_t>(items.size() - 1);
}

}  // namespace

void ReadEntityBase(ByteCursor& in, EntityBase& base) {
  base.Group = in.Dword();
  base.PenStyle = in.Byte();
  base.PenColour = in.Word();
  base.PenWidth = in.Word();
  base.Layer = in.Word();
  base.LayerGroup = in.Word();
  base.Flags = in.Word();
}

void ReadLine(ByteCursor& in, LineEntity& line) {
  ReadEntityBase(in, line.Base);
  line.StartX = in.Double();
  line.StartY = in.Double();
  line.EndX = in.Double();
  line.EndY = in.Double();
}

void ReadArc(ByteCursor& in, ArcEntity& arc) {
  ReadEntityBase(in, arc.Base);
  arc.CentreX = in.Double();
  arc.CentreY = in.Double();
  arc.Radius = in.Double();
  arc.StartAngle = in.Double();
  arc.ArcAngle = in.Double();
  arc.TiltAngle = in.Double();
  arc.Flatness = in.Double();
  arc.FullCircle = in.Dword();
}

void ReadPoint(ByteCursor& in, PointEntity& point) {
  ReadEntityBase(in, point.Base);
  point.X = in.Double();
  point.Y = in.Double();
  point.Temporary = in.Dword();
  if (point.Base.PenStyle == kPointWithCode) {
    point.Code = in.Dword();
    point.Rotation = in.Double();
    point.Scale = in.Double();
  }
}

void ReadText(ByteCursor& in, TextEntity& text) {
  ReadEntityBase(in, text.Base);
  text.StartX = in.Double();
  text.StartY = in.Double();
  text.EndX = in.Double();
  text.EndY = in.Double();
  text.TextKind = in.Dword();
  text.Width = in.Double();
  text.Height = in.Double();
  text.Spacing = in.Double();
  text.Angle = in.Double();
  text.FontName = ReadCString(in);
  text.Text = ReadCString(in);
}

void ReadSolid(ByteCursor& in, SolidEntity& solid) {
  ReadEntityBase(in, solid.Base);
  for (double& v : solid.Corners) v = in.Double();
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
  ReadEntityBase(in, insert.Base);
  insert.X = in.Double();
  insert.Y = in.Double();
  insert.ScaleX = in.Double();
  insert.ScaleY = in.Double();
  insert.Rotation = in.Double();
  insert.Number = in.Dword();
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
  }
  return {};
}

}  // namespace dorvan
