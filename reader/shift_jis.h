// The Windows Japanese code page (windows-31j) through ICU's converter: the byte rules
// drawings and the history file use, and byte lengths for list extents.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dorvan::sjis {

// True for a byte that starts a double-byte character (0x81-0x9F, 0xE0-0xFC).
constexpr bool IsLeadByte(uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// One single-byte character (ASCII or half-width katakana); U+FFFD when it maps to nothing.
char16_t DecodeSingle(uint8_t b);
// One double-byte character; U+FFFD when the pair maps to nothing.
char16_t DecodeDouble(uint8_t lead, uint8_t trail);

// The decoding tables, built once from the converter and then only read: single[b] for a
// single-byte character, pairs[lead << 8 | trail] for a double-byte one (U+FFFD: no mapping).
struct DecodeTables {
  const char16_t* single;
  const char16_t* pairs;
};
const DecodeTables& GetDecodeTables();

// Decodes a whole byte string, a lead byte and the byte after it forming one character.
std::u16string Decode(std::string_view bytes);

// Encodes text; nullopt when a character has no form in the code page.
std::optional<std::string> Encode(std::u16string_view text);

// Length in bytes of the text in the code page; a character without a form counts as
// one byte, as the replacement "?" would.
std::size_t ByteLength(std::u16string_view text);
// The same for UTF-8 text such as a path.
std::size_t ByteLengthUtf8(std::string_view utf8);

}  // namespace dorvan::sjis
