// A test-only JWW drawing writer: records in, bytes out. It writes the object-archive
// form the reader expects (class declarations and 0x8000|index references, the 32-bit
// 0x7FFF form past index 0x7FFF, version-dependent fields, block definitions, embedded
// images), so tests build drawings in a few lines.
//
//   DrawingRecipe recipe;
//   recipe.version = 600;
//   recipe.memo = u"memo";
//   recipe.texts.push_back(u"図面番号");
//   recipe.blocks.push_back({u"SHEET", {u"text in block"}});
//   std::string bytes = WriteDrawing(recipe);
//   WriteDrawingFile(path, recipe);
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "reader/jww_drawing.h"

namespace dorvan::testing {

// How strings are stored: Shift-JIS (code page 932), or the UTF-16LE form that newer
// versions of the drawing program write for every string.
enum class StringForm { ShiftJis, Utf16 };

// One block definition of a DrawingRecipe: its name and the texts of its own entity list.
struct BlockRecipe {
  std::u16string name{};
  std::vector<std::u16string> texts{};
  int32_t number = 0;  // 0: the definition's position, 1 to n
};

// One embedded image (written from version 700 on). A name ending in ".gz" is stored
// gzip-compressed; `contents` are the unpacked bytes.
struct ImageRecipe {
  std::u16string name{};
  std::string contents{};
};

// The values tests care about; everything else keeps the reader's defaults.
struct DrawingRecipe {
  int32_t version = 600;
  StringForm strings = StringForm::ShiftJis;
  std::u16string memo{};
  int32_t drawingSize = 1;
  int32_t printLineWidthBase = 0;
  std::array<std::u16string, 16> layerGroupNames{};
  std::array<std::array<std::u16string, 16>, 16> layerNames{};  // [group][layer]
  std::vector<std::u16string> texts{};  // top-level text entities, after the lines
  int32_t lines = 0;                  // top-level line entities, written first
  std::vector<BlockRecipe> blocks{};
  std::vector<ImageRecipe> images{};
};

// The drawing record a recipe describes (header defaults plus the recipe's values), for tests
// that want to add records of their own before writing it.
JwwDrawing ToDrawing(const DrawingRecipe& recipe);

// The bytes of a drawing.
std::string WriteDrawing(const DrawingRecipe& recipe);
// The bytes of a record: header, entities in EntityOrder, block definitions (elements 1
// to n) and, from version 700 on, images (gzip-compressed when the name ends in ".gz").
std::string WriteDrawing(const JwwDrawing& drawing, StringForm strings = StringForm::ShiftJis);

// Writes bytes or a drawing to a file (created or replaced); false when that fails.
bool WriteBytesFile(const std::string& path, std::string_view bytes);

// The folder a program that writes drawings is given as its one argument, made when it is
// missing; nothing, after the usage is printed, for any other arguments.
std::optional<std::string> DrawingFolderArgument(int argc, char** argv);
bool WriteDrawingFile(const std::string& path, const DrawingRecipe& recipe);

// Appends an entity to a list's kind array and to its EntityOrder.
void AddEntity(EntityLists& lists, const LineEntity& line);
void AddEntity(EntityLists& lists, const ArcEntity& arc);
void AddEntity(EntityLists& lists, const PointEntity& point);
void AddEntity(EntityLists& lists, const TextEntity& text);
void AddEntity(EntityLists& lists, const SolidEntity& solid);
void AddEntity(EntityLists& lists, const DimensionEntity& dimension);
void AddEntity(EntityLists& lists, const BlockInsertEntity& insert);

// A text entity holding `text`, with a plausible font and position.
TextEntity MakeText(std::u16string text);

// gzip (RFC 1952) bytes of `data`.
std::string Gzip(std::string_view data);

// Little-endian values and archive strings appended to a byte string.
class ArchiveWriter {
 public:
  void Byte(uint8_t value);
  void Word(uint16_t value);
  void Dword(uint32_t value);
  void Double(double value);
  void Bytes(std::string_view bytes);
  // An element count: a word, or 0xFFFF and a dword from 0xFFFF on.
  void Count(uint32_t count);
  // A length-prefixed string in the given form (the prefix grows to 0xFF + word and
  // 0xFF + 0xFFFF + dword as the length needs).
  void CString(std::u16string_view text, StringForm form);
  // A Shift-JIS string whose bytes are given as they are.
  void RawCString(std::string_view bytes);
  // The length prefix alone: byte, 0xFF + word, or 0xFF + 0xFFFF + dword.
  void Length(uint32_t length);

  std::string& bytes() { return bytes_; }
  const std::string& bytes() const { return bytes_; }
  std::size_t size() const { return bytes_.size(); }

 private:
  std::string bytes_;
};

// Writes a drawing piece by piece, keeping the archive's load map: index 0 is the null
// reference, each entity list start, class declaration and object takes the next index.
// Tests of the reader use it to write arbitrary counts, tags and records.
class DrawingWriter {
 public:
  explicit DrawingWriter(StringForm strings = StringForm::ShiftJis) : strings_(strings) {}

  ArchiveWriter& archive() { return out_; }
  const std::string& bytes() const { return out_.bytes(); }
  StringForm strings() const { return strings_; }

  // Signature, version, memo and the rest of the header, as `header.Version` decides.
  void WriteHeader(const JwwHeader& header);
  // A whole entity list: the count, then each object of EntityOrder with its tag.
  void WriteEntityList(const EntityLists& lists, int32_t version);
  // The block-definition list of elements 1 to n, each with its own entity list.
  void WriteBlockDefinitions(const std::vector<BlockDefinition>& definitions, int32_t version);
  // The image list of elements 1 to n (from version 700 on).
  void WriteImages(const std::vector<EmbeddedImage>& images);

  // The start of an entity list: its count; advances the map index.
  void BeginList(uint32_t count);
  // The class tag of the next object: a declaration the first time, a reference after.
  void WriteClassTag(const std::string& className);
  // One object, tag included; advances the map index.
  void WriteEntity(const LineEntity& line);
  void WriteEntity(const ArcEntity& arc);
  void WriteEntity(const PointEntity& point);
  void WriteEntity(const TextEntity& text);
  void WriteEntity(const SolidEntity& solid);
  void WriteEntity(const DimensionEntity& dimension, int32_t version);
  void WriteEntity(const BlockInsertEntity& insert);
  // Advances the map index, as an object without a tag of its own does.
  void AdvanceMapIndex() { ++mapIndex_; }
  uint32_t mapIndex() const { return mapIndex_; }

  // Records without their tag, as a dimension nests them.
  void WriteBase(const EntityBase& base);
  void WriteLineBody(const LineEntity& line);
  void WritePointBody(const PointEntity& point);
  void WriteTextBody(const TextEntity& text);

 private:
  void WriteReference(uint32_t index);

  ArchiveWriter out_;
  StringForm strings_;
  uint32_t mapIndex_ = 0;
  std::map<std::string, uint32_t> classIndex_;
};

}  // namespace dorvan::testing
