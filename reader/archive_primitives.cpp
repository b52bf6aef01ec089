#include "reader/archive_primitives.h"

#include <string_view>
#include <utility>

#include "reader/shift_jis.h"

namespace dorvan {
namespace {

constexpr std::string_view kClassNames[8] = {"",          "CDataSen",   "CDataEnko",
                                              "CDataTen",  "CDataMoji",  "CDataSolid",
                                              "CDataSunpou", "CDataBlock"};

constexpr uint16_t kUtf16Marker = 0xFFFE;
constexpr uint16_t kLongLength = 0xFFFF;

// A length after the first byte: below 0xFF it is the length; 0xFF is followed by an
// unsigned word, and a word of 0xFFFF by a dword. `marker` reports a word of 0xFFFE, which
// is a length only after the UTF-16 marker has been seen.
uint64_t ReadLength(ByteCursor& in, bool* marker) {
  const uint8_t first = in.Byte();
  if (first < 0xFF) return first;
  const uint16_t word = in.UWord();
  if (marker && word == kUtf16Marker) {
    *marker = true;
    return 0;
  }
  if (word < kLongLength) return word;
  const uint32_t dword = in.UDword();
  if (dword == 0xFFFFFFFF) {  // the archive's 64-bit escape: no drawing is that large
    in.Fail();
    return 0;
  }
  return dword;
}

bool IsPrintableSingle(uint8_t b) { return (b >= 0x20 && b <= 0x7E) || (b >= 0xA1 && b <= 0xDF); }

// Decodes into `out`, whose storage is reused: a header's strings are read again and again
// into the same fields.
void DecodeShiftJis(const uint8_t* p, std::size_t length, Text& out) {
  const sjis::DecodeTables& tables = sjis::GetDecodeTables();
  out.resize(length);  // never more characters than bytes
  char16_t* chars = out.data();
  std::size_t n = 0;
  std::size_t i = 0;
  while (i + 1 < length) {
    const uint8_t b = p[i];
    if (sjis::IsLeadByte(b)) {
      chars[n++] = tables.pairs[(static_cast<unsigned>(b) << 8) | p[i + 1]];
      i += 2;
    } else {
      chars[n++] = tables.single[b];
      i += 1;
    }
  }
  // A last byte that cannot start a character of its own (a control character, a lone
  // lead byte) is consumed and dropped.
  if (i < length && IsPrintableSingle(p[i])) chars[n++] = tables.single[p[i]];
  out.resize(n);
}

void DecodeUtf16(const uint8_t* p, std::size_t units, Text& out) {
  out.resize(units);
  for (std::size_t i = 0; i < units; ++i)
    out[i] = static_cast<char16_t>(p[2 * i] | (static_cast<unsigned>(p[2 * i + 1]) << 8));
}

// Reads one string into `out`; false (and `out` untouched) when it cannot be read.
bool ReadCStringInto(ByteCursor& in, Text& out) {
  bool utf16 = false;
  uint64_t length = ReadLength(in, &utf16);
  if (utf16) {
    length = ReadLength(in, nullptr);
    if (!in.CanHold(length, 2)) return false;
    DecodeUtf16(in.Take(static_cast<std::size_t>(length) * 2), static_cast<std::size_t>(length), out);
    return true;
  }
  if (!in.CanHold(length, 1)) return false;
  DecodeShiftJis(in.Take(static_cast<std::size_t>(length)), static_cast<std::size_t>(length), out);
  return true;
}

}  // namespace

TagPair NextMapIndex(TagPair pair) {
  if (pair.Tag16 >= 0x8000 && pair.Tag16 <= 0xFFFD) {
    ++pair.Tag16;
  } else if (pair.Tag16 == 0xFFFE) {
    pair.Tag16 = 0x7FFF;
    ++pair.Tag32;
  } else if (pair.Tag16 == 0x7FFF) {
    ++pair.Tag32;
  }
  return pair;
}

Text ReadCString(ByteCursor& in) {
  Text text;
  ReadCStringInto(in, text);
  return text;
}

void ReadNonEmptyCString(ByteCursor& in, Text& field) { ReadCStringInto(in, field); }

std::string_view ReadClassNameView(ByteCursor& in) {
  const int16_t length = in.Word();
  if (length <= 0) return {};
  const uint8_t* p = in.Take(static_cast<std::size_t>(length));
  if (!p) return {};
  return std::string_view(reinterpret_cast<const char*>(p), static_cast<std::size_t>(length));
}

std::string ReadClassName(ByteCursor& in) { return std::string(ReadClassNameView(in)); }

uint32_t ReadCount(ByteCursor& in) {
  const uint16_t word = in.UWord();
  if (word != 0xFFFF) return word;
  return in.UDword();
}

ObjectTag ReadObjectTag(ByteCursor& in) {
  ObjectTag tag;
  const uint16_t word = in.UWord();
  if (word == 0xFFFF) {
    tag.NewClass = true;
    in.Skip(2);  // the class schema number, not tested
    tag.ClassName = ReadClassNameView(in);
  } else if (word == 0x7FFF) {
    tag.Pair = {word, in.UDword()};
  } else {
    tag.Pair = {word, 0};
  }
  return tag;
}

int16_t KindOfClassName(std::string_view name) {
  for (int16_t kind = KindLine; kind <= KindBlockInsert; ++kind)
    if (name == kClassNames[kind]) return kind;
  return KindNone;
}

int16_t LoadMap::KindOfTag(TagPair tag) const {
  for (int16_t kind = KindLine; kind <= KindBlockInsert; ++kind) {
    if (!declared_[kind]) continue;
    // A class declared below index 0x7FFF is always referred to in the 16-bit form, so
    // the 32-bit form only names classes declared from 0x7FFF on.
    const TagPair entry = classTagTable_[kind];
    const bool match = tag.Tag16 != 0x7FFF ? tag.Tag16 == entry.Tag16
                                           : entry.Tag16 == 0x7FFF && tag.Tag32 == entry.Tag32;
    if (match) return kind;
  }
  return KindNone;
}

}  // namespace dorvan
