// The drawings written by the real drawing program read completely, strings decoded as the
// program shows them. Skipped when the folder of real drawings is absent.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "reader/jww_reader.h"
#include "tests/support/real_drawings.h"

namespace dorvan {
namespace {

std::string NameOf(const std::string& path) { return std::filesystem::path(path).filename().string(); }

TEST(RealDrawings, EveryOneReadsToTheEndOfItsFile) {
  const std::vector<std::string> paths = testing::RealDrawingPaths();
  if (paths.empty()) GTEST_SKIP() << "no real drawings";
  EXPECT_EQ(paths.size(), 16u);
  JwwReader reader;
  for (const std::string& path : paths) {
    JwwDrawing& drawing = reader.CurrentDrawing();
    ClearDrawing(drawing);
    EXPECT_EQ(reader.ReadWholeDrawing(path, drawing), 0) << NameOf(path);
    EXPECT_EQ(reader.GetReadError(), 0) << NameOf(path);
    EXPECT_EQ(reader.BytesConsumed(), std::filesystem::file_size(path)) << NameOf(path);
    const int32_t version = drawing.Header.Version;
    EXPECT_TRUE(version == 600 || version == 700) << NameOf(path);

    JwwDrawing header;
    ClearDrawing(header);
    reader.ReadDrawingHeader(path, header);
    EXPECT_EQ(reader.GetReadError(), 0) << NameOf(path);
    EXPECT_TRUE(header.Header == drawing.Header) << NameOf(path);
  }
}

struct Expected {
  const char* file;
  std::u16string memo;
  std::u16string firstText;
  std::u16string layerGroup0;
  std::u16string layer00, layer01;
  std::u16string firstBlock;
};

TEST(RealDrawings, TextsNamesAndMemosComeOutAsTheProgramShowsThem) {
  if (testing::RealDrawingsFolder().empty()) GTEST_SKIP() << "no real drawings";
  const Expected expected[] = {
      {"monozukuri-ai__ezjww__Test1.jww", u"日影図　ＴＥＳＴ用データ\r\n（陸屋根）", u"５ｍラインの書き方", u"",
       u"　敷地", u"　屋上", u""},
            // The memo's line feed is its last byte, a control character, and is dropped.
      {"monozukuri-ai__ezjww__Test5.jww", u"特殊な日影図\r", u"2.800,4.200", u"一般図", u"　本体", u"2Fﾍﾞﾗﾝﾀﾞ", u""},
      {"monozukuri-ai__ezjww__Test3.jww", u"日影図ＴＥＳＴ用データ\r\n（ドーム屋根の概略日影図）", u"10,000", u"",
       u" 敷地他", u" ドーム", u""},
      {"jdu211171__jw_cad__sample.jww", u"", u"してメッシュを巻き込む", u"", u"", u"", u"SHEET@@SfigorgFlag@@4"},
      // Every string of these is stored in the UTF-16 form.
      {"monozukuri-ai__ezjww__2blocks.jww", u"", u"Printer_Orientation = 0", u"", u"", u"", u"2lines@@SfigorgFlag@@4"},
  };
  JwwReader reader;
  for (const Expected& e : expected) {
    const std::string path = testing::RealDrawingsFolder() + "/" + e.file;
    JwwDrawing& d = reader.CurrentDrawing();
    ClearDrawing(d);
    ASSERT_EQ(reader.ReadWholeDrawing(path, d), 0) << e.file;
    EXPECT_EQ(d.Header.Memo, e.memo) << e.file;
    ASSERT_GE(d.Data.Texts.size(), 2u) << e.file;
    EXPECT_EQ(d.Data.Texts[1].Text, e.firstText) << e.file;
    EXPECT_EQ(d.Data.Texts[1].FontName, u"ＭＳ ゴシック") << e.file;
    EXPECT_EQ(d.Header.LayerGroupNames[0], e.layerGroup0) << e.file;
    EXPECT_EQ(d.Header.LayerNames[0][0], e.layer00) << e.file;
    EXPECT_EQ(d.Header.LayerNames[0][1], e.layer01) << e.file;
    if (!e.firstBlock.empty()) {
      ASSERT_GE(d.Data.BlockDefinitions.size(), 2u) << e.file;
      EXPECT_EQ(d.Data.BlockDefinitions[1].Name, e.firstBlock) << e.file;
    }
  }
}

}  // namespace
}  // namespace dorvan
