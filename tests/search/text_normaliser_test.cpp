#include "search/text_normaliser.h"

#include <gtest/gtest.h>

#include <random>

namespace dorvan {
namespace {

TEST(StrChange, FoldsCaseWidthAndBackslash) {
  EXPECT_EQ(Normalised(u"abc"), Normalised(u"ＡＢＣ"));
  EXPECT_EQ(Normalised(u"Abc"), Normalised(u"ＡＢＣ"));
  EXPECT_EQ(Normalised(u"abc"), u"ＡＢＣ");
  EXPECT_EQ(Normalised(u"C:\\a"), Normalised(u"Ｃ：￥Ａ"));
  EXPECT_EQ(Normalised(u"C:\\a"), u"Ｃ：￥Ａ");
  EXPECT_EQ(Normalised(u"ａｂｃ"), u"ＡＢＣ");
  EXPECT_EQ(Normalised(u"c:￥ＴＥＭＰ"), Normalised(u"C:\\temp"));
}

TEST(StrChange, SpaceBecomesIdeographicSpace) {
  EXPECT_EQ(Normalised(u"a b"), u"Ａ\u3000Ｂ");
}

TEST(StrChange, ComposesHalfWidthKatakanaWithTheirMarks) {
  EXPECT_EQ(Normalised(u"ｶﾞｲﾄﾞ"), u"ガイド");
  EXPECT_EQ(Normalised(u"ﾊﾟﾝ"), u"パン");
  EXPECT_EQ(Normalised(u"ｳﾞ"), u"ヴ");
  // No composed form: the kana and the mark are widened one by one.
  EXPECT_EQ(Normalised(u"ｱﾞ"), NormalisedByIcu(u"ｱﾞ"));
  EXPECT_EQ(Normalised(u"ｱﾞ").size(), 2u);
}

TEST(StrChange, KeepsSupplementaryCharactersWhole) {
  EXPECT_EQ(Normalised(u"𠮷野家a"), u"𠮷野家Ａ");
  EXPECT_EQ(Normalised(u"\U00010428"), u"\U00010400");  // Deseret small to capital
}

TEST(StrChange, InPlaceEqualsCopy) {
  std::u16string text = u"Path\\to ﾌｧｲﾙ.jww";
  const std::u16string copy = Normalised(text);
  StrChange(text);
  EXPECT_EQ(text, copy);
}

// The fast table must give exactly what ICU's own transform and case mapping give.
TEST(StrChange, TableAgreesWithIcuOnEveryBmpCharacter) {
  for (uint32_t c = 0; c < 0x10000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    const std::u16string one(1, static_cast<char16_t>(c));
    ASSERT_EQ(Normalised(one), NormalisedByIcu(one)) << "U+" << std::hex << c;
  }
}

TEST(StrChange, TableAgreesWithIcuOnEveryHalfWidthKatakanaPair) {
  for (char16_t first = 0xFF61; first <= 0xFF9F; ++first) {
    for (char16_t second = 0xFF61; second <= 0xFF9F; ++second) {
      const std::u16string pair = {first, second};
      ASSERT_EQ(Normalised(pair), NormalisedByIcu(pair))
          << std::hex << int(first) << " " << int(second);
    }
  }
}

TEST(StrChange, TableAgreesWithIcuOnMixedTexts) {
  const std::u16string alphabet =
      u"aZ09 \\~¥ｱｶﾞﾊﾟﾞﾟｰ｡ｦ漢字かなカナＡｚ\uFFE8ßıſ\u0345Ǆ\U00010428";
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::u16string text;
    const int length = static_cast<int>(random() % 12);
    for (int i = 0; i < length; ++i) {
      const char16_t c = alphabet[random() % alphabet.size()];
      if (c >= 0xD800 && c <= 0xDFFF) continue;  // skip lone halves of the pair
      text.push_back(c);
    }
    ASSERT_EQ(Normalised(text), NormalisedByIcu(text));
  }
}

}  // namespace
}  // namespace dorvan
