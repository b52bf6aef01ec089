// The object-archive primitives drawings are built from: strings, counts, class tags, and
// the load map that turns class tags into entity kinds.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "reader/byte_cursor.h"
#include "reader/jww_drawing.h"

namespace dorvan {

// A load-map index in the two forms class references take in the file: the 16-bit form
// (0x8000 + index below 0x7FFF, else 0x7FFF) and the 32-bit form (0x80000000 + index from
// 0x7FFF on, 0x80007FFE before).
struct TagPair {
  uint16_t Tag16 = 0x8000;
  uint32_t Tag32 = 0x80007FFE;
  bool operator==(const TagPair&) const = default;
};

// The pair of the next index.
TagPair NextMapIndex(TagPair pair);

// One string: a length (byte; 0xFF + unsigned word; 0xFF + 0xFFFF + dword) and Shift-JIS
// bytes, or after 0xFF + 0xFFFE a length of the same form counting UTF-16LE units. A
// Shift-JIS string's last byte is kept only when it is a printable single-byte character.
Text ReadCString(ByteCursor& in);
// The same into a field, which keeps its value when the string cannot be read. Most
// strings of a header are empty, a single length byte of 0: that case is decided inline.
void ReadNonEmptyCString(ByteCursor& in, Text& field);
inline void ReadCString(ByteCursor& in, Text& field) {
  if (in.Peek() == 0) {
    in.Skip(1);
    field.clear();
    return;
  }
  ReadNonEmptyCString(in, field);
}

// The class name of a new-class declaration: a signed word length and one byte a character.
std::string ReadClassName(ByteCursor& in);
// The same as a view of the cursor's bytes.
std::string_view ReadClassNameView(ByteCursor& in);

// An element count: a word, or 0xFFFF followed by a dword.
uint32_t ReadCount(ByteCursor& in);

// The tag in front of an object.
struct ObjectTag {
  TagPair Pair;           // the class reference (for a declaration, set by the caller)
  bool NewClass = false;  // 0xFFFF: a class is declared here
  std::string_view ClassName;  // the declared class, a view of the cursor's bytes
};
ObjectTag ReadObjectTag(ByteCursor& in);

// The entity class names, by EntityKind 1 to 7; 0 when the name is none of them.
int16_t KindOfClassName(std::string_view name);

// The load map of one read: the running index and the pair at which each class (entity
// kinds 1 to 7, and 8 for the block definitions' CDataList) was declared.
class LoadMap {
 public:
  static constexpr int kBlockListEntry = 8;

  // Index 0, no class declared.
  void ResetClassTags() { *this = LoadMap(); }
  TagPair Current() const { return mapIndex_; }
  void Advance() { mapIndex_ = NextMapIndex(mapIndex_); }
  // Records that `entry` is declared at the current index.
  void Declare(int entry) {
    classTagTable_[entry] = mapIndex_;
    declared_[entry] = true;
  }
  TagPair Entry(int entry) const { return classTagTable_[entry]; }
  // The entity kind a class reference names, or 0. Only declared classes match: the null
  // reference (index 0) names no class even though undeclared entries hold its pair.
  int16_t KindOfTag(TagPair tag) const;

 private:
  TagPair mapIndex_;
  std::array<TagPair, 9> classTagTable_{};
  std::array<bool, 9> declared_{};
};

}  // namespace dorvan
