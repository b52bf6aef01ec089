// The archive primitives: string lengths and forms, counts, and the load map.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "reader/archive_primitives.h"

namespace dorvan {
namespace {

struct StringCase {
  const char* name;
  std::string bytes;
  std::u16string text;
  std::size_t consumed;
};

std::string Repeat(char c, std::size_t n) { return std::string(n, c); }

Text Read(const std::string& bytes, std::size_t* consumed = nullptr, bool* failed = nullptr) {
  ByteCursor in(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  Text text = ReadCString(in);
  if (consumed) *consumed = in.offset();
  if (failed) *failed = in.failed();
  return text;
}

TEST(ReadCString, FollowsTheArchiveLengthFormsAndTheLastByteRule) {
  using namespace std::string_literals;
  const StringCase cases[] = {
      {"empty", "\x00"s, u"", 1},
      {"0xFF and a word of 256", "\xFF\x00\x01"s + Repeat('a', 256), std::u16string(256, u'a'), 259},
      {"word 0x8000 is a long length, not a negative one", "\xFF\x00\x80"s + Repeat('b', 0x8000),
       std::u16string(0x8000, u'b'), 3 + 0x8000},
      {"0xFFFF and a dword", "\xFF\xFF\xFF\x03\x00\x00\x00xyz"s, u"xyz", 10},
      {"last control byte dropped", "\x02\x41\x0D"s, u"A", 3},
      {"control byte first kept", "\x02\x0D\x41"s, u"\rA", 3},
      {"single katakana", "\x01\xB1"s, u"ｱ", 2},
      {"single tab dropped", "\x01\x09"s, u"", 2},
      {"lone lead byte at the end dropped", "\x02\x41\x82"s, u"A", 3},
      {"last DEL dropped", "\x02\x41\x7F"s, u"A", 3},
      {"last 0xA0 dropped", "\x02\x41\xA0"s, u"A", 3},
      {"last tilde kept", "\x02\x41\x7E"s, u"A~", 3},
      {"last semi-voiced mark kept", "\x02\x41\xDF"s, u"A\uFF9F", 3},
      {"double-byte characters", "\x04\x90\x7D\x96\xCA"s, u"図面", 5},
      {"code page 932 wave dash and backslash", "\x04\x81\x60\x81\x5F"s, u"\uFF5E\uFF3C", 5},
      {"ASCII backslash and tilde stay", "\x02\x5C\x7E"s, u"\\~", 3},
      {"UTF-16 with a byte length", "\xFF\xFE\xFF\x02\x2D\x8A\x08\x8A"s, u"設計", 8},
      {"UTF-16 with a word length", "\xFF\xFE\xFF\xFF\x00\x01"s + Repeat('\0', 512), std::u16string(256, u'\0'), 6 + 512},
      {"UTF-16 with a dword length", "\xFF\xFE\xFF\xFF\xFF\xFF\x01\x00\x00\x00\x41\x00"s, u"A", 12},
      {"UTF-16 keeps its last unit", "\xFF\xFE\xFF\x01\x0D\x00"s, u"\r", 6},
  };
  for (const StringCase& c : cases) {
    std::size_t consumed = 0;
    bool failed = true;
    EXPECT_EQ(Read(c.bytes, &consumed, &failed), c.text) << c.name;
    EXPECT_EQ(consumed, c.consumed) << c.name;
    EXPECT_FALSE(failed) << c.name;
  }
}

TEST(ReadCString, LengthsPastTheEndFailWithoutReading) {
  using namespace std::string_literals;
  for (const std::string& bytes : {"\x05\x41\x42"s, "\xFF\x00\x80"s, "\xFF\xFF\xFF\xFF\xFF\xFF\x7F"s,
                                   "\xFF\xFE\xFF\x02\x41\x00\x42"s, "\xFF\xFF\xFF\xFF\xFF\xFF\xFF"s, "\xFF"s, ""s}) {
    bool failed = false;
    EXPECT_EQ(Read(bytes, nullptr, &failed), u"");
    EXPECT_TRUE(failed);
  }
}

TEST(ReadCount, WordOrEscapedDword) {
  const uint8_t word[] = {0xFE, 0xFF};
  ByteCursor a(word, sizeof word);
  EXPECT_EQ(ReadCount(a), 65534u);
  const uint8_t dword[] = {0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00};
  ByteCursor b(dword, sizeof dword);
  EXPECT_EQ(ReadCount(b), 70000u);
  EXPECT_EQ(b.offset(), 6u);
}

TEST(ReadClassName, NonPositiveLengthGivesAnEmptyName) {
  const uint8_t negative[] = {0xFF, 0xFF, 'C'};
  ByteCursor in(negative, sizeof negative);
  EXPECT_EQ(ReadClassName(in), "");
  EXPECT_EQ(in.offset(), 2u);
}

TEST(NextMapIndex, SwitchesToTheThirtyTwoBitFormAtIndex0x7FFF) {
  TagPair pair;  // index 0
  for (int i = 0; i < 0x7FFE; ++i) pair = NextMapIndex(pair);
  EXPECT_EQ(pair, (TagPair{0xFFFE, 0x80007FFE}));
  pair = NextMapIndex(pair);
  EXPECT_EQ(pair, (TagPair{0x7FFF, 0x80007FFF}));
  pair = NextMapIndex(pair);
  EXPECT_EQ(pair, (TagPair{0x7FFF, 0x80008000}));
}

TEST(LoadMap, OnlyDeclaredClassesMatch) {
  LoadMap map;
  // Undeclared entries hold the pair of index 0; the null reference must not name them.
  EXPECT_EQ(map.KindOfTag(TagPair{0x8000, 0}), KindNone);
  EXPECT_EQ(map.KindOfTag(TagPair{0x7FFF, 0x80007FFE}), KindNone);
  map.Advance();
  map.Declare(KindText);
  EXPECT_EQ(map.KindOfTag(TagPair{0x8001, 0}), KindText);
  EXPECT_EQ(map.KindOfTag(TagPair{0x8002, 0}), KindNone);
  EXPECT_EQ(map.KindOfTag(TagPair{0x8000, 0}), KindNone);
}

// Bytes that arrive a few at a time, as a large file is read ahead of the parse.
struct Trickle {
  std::size_t arrived = 0;
  std::size_t end = 0;  // where the "file" really ends
  static std::size_t Fill(void* context, std::size_t wanted) {
    auto& t = *static_cast<Trickle*>(context);
    t.arrived = std::min(t.end, std::max(wanted, t.arrived + 3));
    return t.arrived;
  }
};

TEST(ByteCursor, BytesThatArriveWhileReadingReadAsBytesInPlace) {
  // A string, a dword, a double and one last byte.
  const std::string bytes = "\x05hello" + std::string("\x01\x02\x03\x04", 4) +
                            std::string("\x00\x00\x00\x00\x00\x00\xF0\x3F", 8) + "\x2A";
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  Trickle trickle{0, bytes.size()};
  ByteCursor in(data, bytes.size());
  in.OnFill(Trickle::Fill, &trickle, 0);
  EXPECT_EQ(ReadCString(in), u"hello");
  EXPECT_EQ(in.UDword(), 0x04030201u);
  EXPECT_EQ(in.Double(), 1.0);
  EXPECT_EQ(in.Peek(), 0x2A);
  EXPECT_EQ(in.Byte(), 0x2A);
  EXPECT_EQ(in.Peek(), -1);
  EXPECT_FALSE(in.failed());

  // A file that ends before its stated size: the cursor runs out where the bytes stop.
  Trickle shorter{0, 8};
  ByteCursor cut(data, bytes.size());
  cut.OnFill(Trickle::Fill, &shorter, 0);
  EXPECT_EQ(ReadCString(cut), u"hello");
  EXPECT_EQ(cut.Peek(), 0x01);
  EXPECT_EQ(cut.UDword(), 0u);
  EXPECT_TRUE(cut.failed());
  EXPECT_TRUE(cut.ranOut());
  EXPECT_EQ(cut.size(), 8u);
  EXPECT_EQ(cut.offset(), 6u);
}

}  // namespace
}  // namespace dorvan
