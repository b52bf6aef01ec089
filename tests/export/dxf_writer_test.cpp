// The DXF writer's rules: how texts and layer names are spelled, the colour index, and the
// outcomes of a write. The files themselves are read back by tests/export/dxf_readback_test.py.
#include "export/dxf_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "reader/jww_reader.h"
#include "tests/support/drawing_writer.h"
#include "tests/support/temp_folder.h"

namespace dorvan::dxf {
namespace {

TEST(DxfText, ShiftJisWhereItCanEscapesWhereItCannot) {
  const struct {
    std::u16string text;
    std::string dxf;
  } cases[] = {
      {u"abc", "abc"},
      {u"図面", "\x90\x7D\x96\xCA"},
      {u"한", "\\U+D55C"},
      {u"a\nb\tc", "a\\U+000Ab\\U+0009c"},
      {u"\\U+0041", "\\U+005CU+0041"},  // would otherwise read as "A"
      {u"\\100", "\\100"},              // the yen sign of Shift-JIS stays a byte
      {u"\U00020BB7", "\\U+D842\\U+DFB7"},
  };
  for (const auto& c : cases) EXPECT_EQ(DxfText(c.text), c.dxf) << c.dxf;
}

TEST(DxfLayerName, NumbersInHexAndForbiddenCharactersReplaced) {
  JwwHeader header;
  header.LayerNames[0][0] = u"";
  header.LayerNames[10][15] = u"壁: 外/内";
  header.LayerNames[1][2] = u"a\nb";
  EXPECT_EQ(DxfLayerName(header, 0, 0), u"0-0");
  EXPECT_EQ(DxfLayerName(header, 10, 15), u"A-F 壁_ 外_内");
  EXPECT_EQ(DxfLayerName(header, 1, 2), u"1-2 a_b");
}

TEST(NearestAci, PrimariesGreysAndNeverSeven) {
  const std::pair<uint32_t, int> cases[] = {{0xFF0000, 1}, {0xFFFF00, 2}, {0x00FF00, 3}, {0x0000FF, 5},
                                            {0x808080, 8}, {0xFFFFFF, 255}, {0x7F0000, 14}};
  for (const auto& [rgb, aci] : cases) EXPECT_EQ(NearestAci(rgb), aci) << std::hex << rgb;
}

JwwDrawing Lines(int count) {
  JwwDrawing drawing;
  ClearDrawing(drawing);
  for (int i = 0; i < count; ++i) testing::AddEntity(drawing.Data, LineEntity{{}, 0, 0, 1.0 * i, 1});
  return drawing;
}

std::string Contents(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

TEST(WriteDxf, RefusesOrStopsWithoutLeavingAFile) {
  testing::TempFolder folder;
  JwwDrawing huge;
  ClearDrawing(huge);
  huge.Data.EntityOrder.resize(static_cast<std::size_t>(kMaxDxfEntities) + 2);  // kinds 0: nothing to draw, but counted
  EXPECT_EQ(WriteDxf(huge, folder / "huge.dxf"), DxfOutcome::TooLarge);

  std::atomic<bool> cancel{true};
  DxfOptions options;
  options.cancel = &cancel;
  EXPECT_EQ(WriteDxf(Lines(5000), folder / "cancelled.dxf", options), DxfOutcome::Cancelled);

  EXPECT_EQ(WriteDxf(Lines(1), folder / "missing/x.dxf"), DxfOutcome::CannotWrite);
  EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

TEST(WriteDxf, LayersFollowTheGivenVisibility) {
  testing::TempFolder folder;
  JwwDrawing drawing = Lines(1);
  LayerVisibility visibility{};
  DxfOptions options;
  options.visibility = visibility;  // everything hidden
  ASSERT_EQ(WriteDxf(drawing, folder / "hidden.dxf", options), DxfOutcome::Written);
  ASSERT_EQ(WriteDxf(drawing, folder / "shown.dxf"), DxfOutcome::Written);
  // A layer that is off has a negative colour in the layer table.
  EXPECT_NE(Contents(folder / "hidden.dxf").find("0-0\n 70\n0\n 62\n-7\n"), std::string::npos);
  EXPECT_NE(Contents(folder / "shown.dxf").find("0-0\n 70\n0\n 62\n7\n"), std::string::npos);
}

}  // namespace
}  // namespace dorvan::dxf
