#include "shift_jis.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include <array>
#include <memory>
#include <vector>

#include "unicode_text.h"

namespace dorvan::sjis {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

Converter OpenConverter() {
  UErrorCode status = U_ZERO_ERROR;
  Converter converter(ucnv_open("windows-31j", &status));
  if (U_FAILURE(status)) return nullptr;
  return converter;
}

// Decodes every sequence of `sequences` (each one or two bytes, `length` apart) with one call
// of the converter instead of one call each: a few hundred microseconds instead of a few
// milliseconds. The converter's offsets tell which output came from which sequence; a
// sequence that gives anything but exactly one character gives kReplacement, as does the
// substitution character.
template <typename Store>
void DecodeEach(UConverter* converter, const std::string& sequences, std::size_t length, Store store) {
  std::vector<UChar> out(sequences.size() + 8);
  std::vector<int32_t> offsets(out.size());
  UChar* target = out.data();
  const char* source = sequences.data();
  UErrorCode status = U_ZERO_ERROR;
  ucnv_reset(converter);
  ucnv_toUnicode(converter, &target, out.data() + out.size(), &source, sequences.data() + sequences.size(),
                 offsets.data(), true, &status);
  if (U_FAILURE(status)) return;
  const auto produced = static_cast<std::size_t>(target - out.data());
  std::size_t k = 0;
  for (std::size_t start = 0; start < sequences.size(); start += length) {
    std::size_t count = 0;
    char16_t c = kReplacement;
    for (; k < produced && static_cast<std::size_t>(offsets[k]) < start + length; ++k) {
      if (count++ == 0) c = static_cast<char16_t>(out[k]);
    }
    store(start / length, count == 1 && c != 0x1A ? c : kReplacement);
  }
}

// Every mapping of the code page, taken from ICU once and then only read, so that
// decoding a drawing costs a table lookup per character.
struct Tables {
  std::array<char16_t, 256> single{};
  std::vector<char16_t> pairs = std::vector<char16_t>(256 * 256, kReplacement);  // lead<<8|trail
  std::vector<uint8_t> encodedLength = std::vector<uint8_t>(65536, 0);  // 0: no form

  Tables() {
    single.fill(kReplacement);
    Converter converter = OpenConverter();
    if (!converter) return;
    std::vector<uint8_t> singles;
    std::string singleBytes;
    for (int b = 0; b < 256; ++b) {
      if (IsLeadByte(static_cast<uint8_t>(b)) || b == 0x1A) continue;
      singles.push_back(static_cast<uint8_t>(b));
      singleBytes.push_back(static_cast<char>(b));
    }
    single[0x1A] = char16_t{0x1A};
    encodedLength[0x1A] = 1;
    DecodeEach(converter.get(), singleBytes, 1, [&](std::size_t i, char16_t c) {
      single[singles[i]] = c;
      if (c != kReplacement) encodedLength[c] = 1;
    });
    std::vector<unsigned> pairIndex;
    std::string pairBytes;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
      if (!IsLeadByte(static_cast<uint8_t>(lead))) continue;
      for (int trail = 0x40; trail <= 0xFC; ++trail) {
        pairIndex.push_back(static_cast<unsigned>(lead << 8 | trail));
        pairBytes.push_back(static_cast<char>(lead));
        pairBytes.push_back(static_cast<char>(trail));
      }
    }
    DecodeEach(converter.get(), pairBytes, 2, [&](std::size_t i, char16_t c) {
      pairs[pairIndex[i]] = c;
      if (c != kReplacement && encodedLength[c] == 0) encodedLength[c] = 2;
    });
  }
};

const Tables& GetTables() {
  static const Tables tables;
  return tables;
}

}  // namespace

const DecodeTables& GetDecodeTables() {
  static const DecodeTables tables{GetTables().single.data(), GetTables().pairs.data()};
  return tables;
}

char16_t DecodeSingle(uint8_t b) { return GetTables().single[b]; }

char16_t DecodeDouble(uint8_t lead, uint8_t trail) {
  return GetTables().pairs[(static_cast<unsigned>(lead) << 8) | trail];
}

std::u16string Decode(std::string_view bytes) {
  const Tables& tables = GetTables();
  std::u16string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<uint8_t>(bytes[i]);
    if (IsLeadByte(b) && i + 1 < bytes.size()) {
      out.push_back(tables.pairs[(static_cast<unsigned>(b) << 8) | static_cast<uint8_t>(bytes[i + 1])]);
      ++i;
    } else {
      out.push_back(tables.single[b]);
    }
  }
  return out;
}

std::optional<std::string> Encode(std::u16string_view text) {
  Converter converter = OpenConverter();
  if (!converter) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                        &status);
  ucnv_setFallback(converter.get(), false);
  std::string out(text.size() * 2 + 1, '\0');
  const int32_t length =
      ucnv_fromUChars(converter.get(), out.data(), static_cast<int32_t>(out.size()),
                      reinterpret_cast<const UChar*>(text.data()),
                      static_cast<int32_t>(text.size()), &status);
  if (U_FAILURE(status)) return std::nullopt;
  out.resize(static_cast<std::size_t>(length));
  return out;
}

std::size_t ByteLength(std::u16string_view text) {
  const Tables& tables = GetTables();
  std::size_t total = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      ++i;  // a supplementary character becomes one "?"
      total += 1;
      continue;
    }
    const uint8_t length = tables.encodedLength[c];
    total += length == 0 ? 1 : length;
  }
  return total;
}

std::size_t ByteLengthUtf8(std::string_view utf8) { return ByteLength(Utf8ToUtf16(utf8)); }

}  // namespace dorvan::sjis
