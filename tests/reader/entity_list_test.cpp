// Entity lists: class declarations and references, the load map, conditional fields.
#include <gtest/gtest.h>

#include <functional>

#include "reader/entity_reader.h"
#include "reader/jww_reader.h"
#include "reader/reader_texts.h"
#include "tests/support/drawing_writer.h"

namespace dorvan {
namespace {

using testing::ArchiveWriter;

// Bytes of a list written by hand, so that the layout is pinned independently of the
// test writer's own record code.
struct RawList {
  ArchiveWriter out;
  void Declare(const std::string& name) {
    out.Word(0xFFFF);
    out.Word(600);
    out.Word(static_cast<uint16_t>(name.size()));
    out.Bytes(name);
  }
  void Base(uint8_t penStyle = 1, uint16_t penColour = 2) {
    out.Dword(7);
    out.Byte(penStyle);
    out.Word(penColour);
    out.Word(1);
    out.Word(3);
    out.Word(4);
    out.Word(0);
  }
  void Doubles(int n, double first = 1.0) {
    for (int i = 0; i < n; ++i) out.Double(first + i);
  }
};

struct ListRead {
  EntityLists lists;
  LoadMap map;
  std::string_view message;
  std::size_t consumed = 0;
  bool failed = false;
};

ListRead Read(const std::string& bytes, int32_t version = 600) {
  ListRead r;
  ByteCursor in(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  r.message = ReadEntityList(in, version, r.lists, r.map);
  r.consumed = in.offset();
  r.failed = in.failed();
  return r;
}

TEST(EntityList, TheFirstObjectDeclaresItsClassAndTheNextRefersToIt) {
  RawList raw;
  raw.out.Count(2);
  raw.Declare("CDataSen");
  raw.Base();
  raw.Doubles(4);
  raw.out.Word(0x8001);
  raw.Base();
  raw.Doubles(4, 10.0);
  const ListRead r = Read(raw.out.bytes());
  ASSERT_TRUE(r.message.empty());
  ASSERT_FALSE(r.failed);
  ASSERT_EQ(r.lists.Lines.size(), 3u);
  EXPECT_EQ(r.lists.Lines[2].StartX, 10.0);
  EXPECT_EQ(r.lists.Lines[1].Base.LayerGroup, 4);
  EXPECT_EQ(r.lists.EntityOrder, (std::vector<EntityOrderItem>{{}, {KindLine, 1}, {KindLine, 2}}));
  EXPECT_EQ(r.map.Current(), (TagPair{0x8004, 0x80007FFE}));
}

TEST(EntityList, AnEmptyListAdvancesTheMapOnce) {
  const ListRead r = Read(std::string("\0\0", 2));
  EXPECT_TRUE(r.message.empty());
  EXPECT_EQ(r.lists, EntityLists{});
  EXPECT_EQ(r.map.Current(), (TagPair{0x8001, 0x80007FFE}));
}

TEST(EntityList, ConditionalFieldsFollowTheRecordsOwnBase) {
  auto point = [](uint8_t penStyle) {
    RawList raw;
    raw.out.Count(1);
    raw.Declare("CDataTen");
    raw.Base(penStyle);
    raw.Doubles(2);
    raw.out.Dword(1);
    if (penStyle == 100) {
      raw.out.Dword(42);
      raw.Doubles(2, 0.5);
    }
    return Read(raw.out.bytes());
  };
  const ListRead plain = point(5), coded = point(100);
  ASSERT_FALSE(plain.failed || coded.failed);
  EXPECT_EQ(coded.consumed - plain.consumed, 20u);
  EXPECT_EQ(coded.lists.Points[1].Code, 42);
  EXPECT_EQ(coded.lists.Points[1].Scale, 1.5);
  EXPECT_EQ(plain.lists.Points[1].Code, 0);

  auto solid = [](uint16_t penColour) {
    RawList raw;
    raw.out.Count(1);
    raw.Declare("CDataSolid");
    raw.Base(1, penColour);
    raw.Doubles(8);
    if (penColour == 10) raw.out.Dword(0x00FF8040);
    return Read(raw.out.bytes());
  };
  const ListRead grey = solid(9), coloured = solid(10);
  ASSERT_FALSE(grey.failed || coloured.failed);
  EXPECT_EQ(coloured.consumed - grey.consumed, 4u);
  EXPECT_EQ(coloured.lists.Solids[1].Colour, 0x00FF8040);
}

TEST(EntityList, DimensionsCarryAuxiliaryRecordsFromVersion420On) {
  auto dimension = [](int32_t version) {
    RawList raw;
    raw.out.Count(1);
    raw.Declare("CDataSunpou");
    raw.Base();
    raw.Base();  // the dimension line
    raw.Doubles(4);
    raw.Base();  // the label
    raw.Doubles(4);
    raw.out.Dword(1);
    raw.Doubles(4);
    raw.out.RawCString("MS");
    raw.out.RawCString("1,820");
    if (version >= 420) {
      raw.out.Word(1);
      for (int line = 0; line < 2; ++line) {
        raw.Base();
        raw.Doubles(4);
      }
      for (int point = 0; point < 4; ++point) {
        raw.Base(point == 3 ? 100 : 1);
        raw.Doubles(2);
        raw.out.Dword(0);
        if (point == 3) {
          raw.out.Dword(9);
          raw.Doubles(2);
        }
      }
    }
    raw.out.Word(0xABCD);  // what follows the list
    return Read(raw.out.bytes(), version);
  };
  const ListRead old = dimension(351), current = dimension(420);
  ASSERT_FALSE(old.failed || current.failed);
  EXPECT_EQ(old.lists.Dimensions[1].Label.Text, u"1,820");
  EXPECT_EQ(current.lists.Dimensions[1].Label.Text, u"1,820");
  EXPECT_EQ(current.lists.Dimensions[1].Points[3].Code, 9);
  EXPECT_EQ(current.consumed - old.consumed, 2u + 2 * (15 + 32) + 4 * (15 + 20) + 20);
}

TEST(EntityList, TagsThatNameNoEntityClassEndTheListWithTheirMessage) {
  struct Case {
    const char* name;
    std::function<void(RawList&)> tag;
    std::string_view message;
  };
  const Case cases[] = {
      {"unknown class", [](RawList& r) { r.Declare("CDataXYZ"); }, texts::kUnknownClass},
      {"block-definition class", [](RawList& r) { r.Declare("CDataList"); }, texts::kUnknownClass},
      {"null reference", [](RawList& r) { r.out.Word(0x8000); }, texts::kNoEntityClass},
      {"undeclared index", [](RawList& r) { r.out.Word(0x8005); }, texts::kNoEntityClass},
      {"object reference", [](RawList& r) { r.out.Word(0x0001); }, texts::kNoEntityClass},
      {"32-bit reference to nothing",
       [](RawList& r) {
         r.out.Word(0x7FFF);
         r.out.Dword(0x80007FFE);
       },
       texts::kNoEntityClass},
  };
  for (const Case& c : cases) {
    RawList raw;
    raw.out.Count(2);
    raw.Declare("CDataSen");
    raw.Base();
    raw.Doubles(4);
    c.tag(raw);
    raw.Base();
    raw.Doubles(4);
    const ListRead r = Read(raw.out.bytes());
    EXPECT_EQ(r.message, c.message) << c.name;
    EXPECT_EQ(r.lists.Lines.size(), 2u) << c.name << ": what was read before stays";
  }
}

TEST(EntityList, ReferencesTakeTheThirtyTwoBitFormPastIndex0x7FFF) {
  // 0x7FFF lines move the map past 0x7FFF; texts declared there are referred to by
  // 0x7FFF and a dword, while the lines keep their 16-bit reference.
  testing::DrawingRecipe recipe;
  recipe.lines = 0x8000;
  recipe.texts = {u"一", u"二", u"三"};
  JwwDrawing drawing = testing::ToDrawing(recipe);
  testing::AddEntity(drawing.Data, LineEntity{});
  const std::string bytes = testing::WriteDrawing(drawing);
  const std::string bigReference("\xFF\x7F\x02\x80\x00\x80", 6);  // index 0x8002
  ASSERT_NE(bytes.find(bigReference), std::string::npos);

  JwwReader reader;
  JwwDrawing read;
  ClearDrawing(read);
  ASSERT_EQ(reader.ReadWholeDrawingFromBytes(bytes, read), 0);
  EXPECT_EQ(read.Data.Texts.size(), 4u);
  EXPECT_EQ(read.Data.Texts[3].Text, u"三");
  EXPECT_EQ(read.Data.Lines.size(), 0x8002u);
  EXPECT_EQ(read.Data.EntityOrder.back(), (EntityOrderItem{KindLine, 0x8001}));
  EXPECT_EQ(reader.BytesConsumed(), bytes.size());
}

}  // namespace
}  // namespace dorvan
