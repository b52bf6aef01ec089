// The entity records and the list reader that dispatches on their class tags.
#pragma once

#include <cstdint>
#include <string_view>

#include "reader/archive_primitives.h"
#include "reader/byte_cursor.h"
#include "reader/jww_drawing.h"

namespace dorvan {

// The fewest bytes an object of an entity list can take (a class reference, the base and
// the shortest record): a count is impossible when its objects cannot fit in what is left.
inline constexpr std::size_t kMinEntityBytes = 2 + 15 + 20;

// Reads one entity list into `lists` (emptied first). Returns an empty text when the list
// was read or the bytes ran out (the cursor then has failed), otherwise the message for a
// class tag that names no entity class; elements read before a failure stay.
std::string_view ReadEntityList(ByteCursor& in, int32_t version, EntityLists& lists, LoadMap& map);

// The records, in file order; the conditional fields follow the record's own base.
void ReadEntityBase(ByteCursor& in, EntityBase& base);
void ReadLine(ByteCursor& in, LineEntity& line);
void ReadArc(ByteCursor& in, ArcEntity& arc);
void ReadPoint(ByteCursor& in, PointEntity& point);
void ReadText(ByteCursor& in, TextEntity& text);
void ReadSolid(ByteCursor& in, SolidEntity& solid);
void ReadDimension(ByteCursor& in, int32_t version, DimensionEntity& dimension);
void ReadBlockInsert(ByteCursor& in, BlockInsertEntity& insert);

}  // namespace dorvan
