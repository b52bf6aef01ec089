// The code page tables, built with one call of ICU's converter, against the converter asked
// one byte or pair at a time.
#include "reader/shift_jis.h"

#include <gtest/gtest.h>
#include <unicode/ucnv.h>

#include <string>

namespace dorvan {
namespace {

// The converter's own answer for one sequence: U+FFFD unless it is exactly one character
// other than the substitution character.
char16_t DecodeAlone(UConverter* converter, const std::string& bytes) {
  UChar out[4];
  UErrorCode status = U_ZERO_ERROR;
  ucnv_reset(converter);
  const int32_t length =
      ucnv_toUChars(converter, out, 4, bytes.data(), static_cast<int32_t>(bytes.size()), &status);
  if (U_FAILURE(status) || length != 1 || out[0] == 0x1A) return 0xFFFD;
  return static_cast<char16_t>(out[0]);
}

TEST(ShiftJis, TablesAgreeWithTheConverterOnEveryByteAndPair) {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* converter = ucnv_open("windows-31j", &status);
  ASSERT_TRUE(U_SUCCESS(status));
  for (int b = 0; b < 256; ++b) {
    if (sjis::IsLeadByte(static_cast<uint8_t>(b))) continue;
    const char16_t expected =
        b == 0x1A ? char16_t{0x1A} : DecodeAlone(converter, std::string(1, static_cast<char>(b)));
    ASSERT_EQ(sjis::DecodeSingle(static_cast<uint8_t>(b)), expected) << std::hex << b;
    if (expected != 0xFFFD) {
      EXPECT_EQ(sjis::ByteLength(std::u16string(1, expected)), 1u) << std::hex << b;
    }
  }
  int pairs = 0;
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    if (!sjis::IsLeadByte(static_cast<uint8_t>(lead))) continue;
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      const std::string bytes = {static_cast<char>(lead), static_cast<char>(trail)};
      const char16_t expected = DecodeAlone(converter, bytes);
      ASSERT_EQ(sjis::DecodeDouble(static_cast<uint8_t>(lead), static_cast<uint8_t>(trail)), expected)
          << std::hex << lead << " " << trail;
      if (expected != 0xFFFD) ++pairs;
    }
  }
  EXPECT_GT(pairs, 7000);
  ucnv_close(converter);
}

}  // namespace
}  // namespace dorvan
