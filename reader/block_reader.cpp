#include "reader/block_reader.h"

#include <algorithm>

#include "reader/embedded_images.h"
#include "reader/entity_reader.h"
#include "reader/jww_reader.h"
#include "reader/reader_texts.h"

namespace dorvan {
namespace {

// A class reference, the base, number, flag, time stamp, an empty name and an empty list.
constexpr std::size_t kMinBlockBytes = 2 + 15 + 4 + 4 + 4 + 1 + 2;

// A block number claims number + 1 entries of BlockIndexByNumber at once. Numbers need not
// be dense, so a small drawing may rightly hold a large one; what a hostile number must not
// do is claim memory out of proportion to the file. The index may take 64 bytes for each
// byte of the file, but no more than the file's size or the buffer the reader keeps for
// small drawings, whichever is larger, so a search's memory stays what its drawings make it.
constexpr std::size_t kBlockIndexBytesPerFileByte = 64;

bool IsPlausibleBlockNumber(int32_t number, std::size_t fileSize) {
  if (number < 0) return false;
  const std::size_t budget = std::min(fileSize * kBlockIndexBytesPerFileByte,
                                      std::max(fileSize, JwwReader::kLargeDrawingBytes));
  return (static_cast<std::size_t>(number) + 1) * sizeof(int32_t) <= budget;
}

// A definition after the first must refer to the CDataList class declared for the first.
bool ReadBlockTag(ByteCursor& in, TagPair expected) {
  const uint16_t tag16 = in.UWord();
  if (tag16 != expected.Tag16) return false;
  return tag16 != 0x7FFF || in.UDword() == expected.Tag32;
}

}  // namespace

ContentsResult ReadBlockDefinitions(ByteCursor& in, JwwDrawing& drawing, bool readImages) {
  ContentsResult result;
  const int32_t version = drawing.Header.Version;
  JwwDrawingData& data = drawing.Data;
  LoadMap map;

  // A malformed top-level list is reported, but the block definitions are still read, as
  // the drawing program's own reader does.
  result.Message = ReadEntityList(in, version, data, map);
  if (in.failed()) return result;

  const uint32_t count = ReadCount(in);
  if (!in.CanHold(count, kMinBlockBytes)) return result;
  if (count > 0) {
    map.Declare(LoadMap::kBlockListEntry);
    map.Advance();
    in.Skip(4);  // the new-class tag and the schema, not tested
    const std::string name = ReadClassName(in);
    if (in.failed()) return result;
    if (name != "CDataList") {
      result.Message = texts::kUnknownBlockClass;
      return result;
    }
  }
  for (uint32_t i = 1; i <= count; ++i) {
    if (i >= 2 && !ReadBlockTag(in, map.Entry(LoadMap::kBlockListEntry))) {
      if (!in.failed()) result.Message = texts::kBadBlockTag;
      return result;
    }
    BlockDefinition& definition = data.BlockDefinitions.emplace_back();
    ReadEntityBase(in, definition.Base);
    definition.Number = in.Dword();
    definition.Referenced = in.Dword();
    definition.TimeStamp = in.Dword();
    definition.Name = ReadCString(in);
    if (in.failed()) return result;
    // A malformed list inside a block is not shown; reading goes on with the next block.
    if (!ReadEntityList(in, version, definition.Data, map).empty()) result.BlockListFailed = true;
    if (in.failed()) return result;

    if (!IsPlausibleBlockNumber(definition.Number, in.size())) {
      in.Fail();
      return result;
    }
    const auto number = static_cast<std::size_t>(definition.Number);
    if (number >= data.BlockIndexByNumber.size()) data.BlockIndexByNumber.resize(number + 1, 0);
    data.BlockIndexByNumber[number] = static_cast<int32_t>(i);
  }
  if (readImages && version >= 700) ReadEmbeddedImages(in, data);
  return result;
}

}  // namespace dorvan
