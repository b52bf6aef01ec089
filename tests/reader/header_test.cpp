// The header: version-dependent rows, the header-only read and its message, defaults.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "reader/jww_reader.h"
#include "tests/support/drawing_writer.h"
#include "tests/support/recording_messages.h"
#include "tests/support/temp_folder.h"

namespace dorvan {
namespace {

using testing::DrawingRecipe;
using testing::RecordingMessages;
using testing::TempFolder;

// A drawing whose extended colour and line-type names differ from the defaults.
std::string WithOwnNames(int32_t version) {
  DrawingRecipe recipe;
  recipe.version = version;
  JwwDrawing drawing = testing::ToDrawing(recipe);
  drawing.Header.ColourNames[1] = u"墨";
  drawing.Header.LineTypeNames[1].Name = u"実線";
  drawing.Header.ScreenColour[200] = 0x123456;
  return testing::WriteDrawing(drawing);
}

JwwDrawing ReadHeader(JwwReader& reader, const std::string& bytes) {
  JwwDrawing drawing;
  ClearDrawing(drawing);
  reader.ReadHeaderFromBytes(bytes, drawing);
  return drawing;
}

TEST(Header, ExtendedColoursAndLineTypesAreReadFromVersion420On) {
  JwwReader reader;
  for (int32_t version : {351, 419}) {
    const JwwDrawing drawing = ReadHeader(reader, WithOwnNames(version));
    EXPECT_EQ(reader.GetReadError(), 0);
    EXPECT_EQ(drawing.Header.Version, version);
    EXPECT_EQ(drawing.Header.ColourNames[1], u"black") << version;
    EXPECT_EQ(drawing.Header.LineTypeNames[1].Name, u"continuous") << version;
    EXPECT_EQ(drawing.Header.ScreenColour[200], 0) << version;
  }
  for (int32_t version : {420, 600, 700}) {
    const JwwDrawing drawing = ReadHeader(reader, WithOwnNames(version));
    EXPECT_EQ(reader.GetReadError(), 0);
    EXPECT_EQ(drawing.Header.ColourNames[1], u"墨") << version;
    EXPECT_EQ(drawing.Header.LineTypeNames[1].Name, u"実線") << version;
    EXPECT_EQ(drawing.Header.ScreenColour[200], 0x123456) << version;
  }
}

TEST(Header, SearchedFieldsRoundTripInBothStringForms) {
  for (auto form : {testing::StringForm::ShiftJis, testing::StringForm::Utf16}) {
    DrawingRecipe recipe;
    recipe.strings = form;
    recipe.version = 700;
    recipe.memo = u"日影図　ＴＥＳＴ\r\n（陸屋根）";
    recipe.drawingSize = 3;
    recipe.printLineWidthBase = 600;
    recipe.layerGroupNames[15] = u"一般図";
    recipe.layerNames[1][0] = u"ﾍﾞﾗﾝﾀﾞ";
    recipe.layerNames[15][15] = u"最後";
    JwwReader reader;
    const JwwDrawing drawing = ReadHeader(reader, testing::WriteDrawing(recipe));
    EXPECT_EQ(reader.GetReadError(), 0);
    EXPECT_EQ(drawing.Header.Memo, recipe.memo);
    EXPECT_EQ(drawing.Header.DrawingSize, 3);
    EXPECT_EQ(drawing.Header.PrintLineWidthBase(), 600);
    EXPECT_EQ(drawing.Header.LayerGroupNames[15], u"一般図");
    EXPECT_EQ(drawing.Header.LayerNames[1][0], u"ﾍﾞﾗﾝﾀﾞ");
    EXPECT_EQ(drawing.Header.LayerNames[15][15], u"最後");
    EXPECT_EQ(drawing.Header.LayerNames[0][1], u"");
  }
}

TEST(HeaderOnlyRead, AcceptsAnyVersionAndEmptiesTheData) {
  DrawingRecipe recipe;
  recipe.version = 650;
  recipe.texts = {u"text"};
  JwwReader reader;
  JwwDrawing drawing;
  ClearDrawing(drawing);
  drawing.Data.Texts.emplace_back();  // left over from an earlier read
  reader.ReadHeaderFromBytes(testing::WriteDrawing(recipe), drawing);
  EXPECT_EQ(reader.GetReadError(), 0);
  EXPECT_EQ(drawing.Header.Version, 650);
  EXPECT_EQ(drawing.Data.Texts.size(), 1u);
}

TEST(HeaderOnlyRead, AFailureShowsOneMessageAndTheNextReadClearsTheFlag) {
  RecordingMessages messages;
  JwwReader reader(&messages);
  EXPECT_EQ(reader.GetReadError(), 0);
  const std::string bytes = testing::WriteDrawing(DrawingRecipe{});
  ReadHeader(reader, bytes.substr(0, 2000));
  EXPECT_EQ(reader.GetReadError(), -1);
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0].text, "ヘッド情報読み込みエラーです。");
  EXPECT_EQ(messages.messages[0].title, "JwwDataRead");
  ReadHeader(reader, bytes);
  EXPECT_EQ(reader.GetReadError(), 0);
  EXPECT_EQ(messages.messages.size(), 1u);
}

TEST(HeaderOnlyRead, AFileWithoutTheSignatureIsNoDrawing) {
  std::string bytes = testing::WriteDrawing(DrawingRecipe{});
  bytes[0] = 'j';  // the comparison is case-sensitive
  RecordingMessages messages;
  JwwReader reader(&messages);
  ReadHeader(reader, bytes);
  EXPECT_EQ(reader.GetReadError(), -1);
  EXPECT_EQ(messages.messages.size(), 1u);
}

TEST(HeaderOnlyRead, ReadsOnlyTheHeaderFromAFileAndGrowsForALongHeader) {
  TempFolder folder;
  DrawingRecipe recipe;
  recipe.version = 700;
  recipe.memo = std::u16string(60000, u'メ');  // 120 KB of memo: past the first chunk
  recipe.lines = 20000;
  const std::string bytes = testing::WriteDrawing(recipe);
  const std::string path = folder.File("long.jww");
  ASSERT_TRUE(testing::WriteBytesFile(path, bytes));

  JwwReader reader;
  JwwDrawing whole;
  ClearDrawing(whole);
  ASSERT_EQ(reader.ReadWholeDrawing(path, whole), 0);
  JwwDrawing header;
  ClearDrawing(header);
  reader.ReadDrawingHeader(path, header);
  EXPECT_EQ(reader.GetReadError(), 0);
  EXPECT_EQ(header.FileName, path);
  EXPECT_EQ(header.Header.Memo, recipe.memo);
  // It stopped where the entity list starts: the same header with empty lists (entity
  // count, block count, image count) is 8 bytes longer than the header alone.
  recipe.lines = 0;
  EXPECT_EQ(reader.BytesConsumed(), testing::WriteDrawing(recipe).size() - 8);
}

TEST(HeaderOnlyRead, TheHeaderIsTheSameWhateverTheFirstChunk) {
  DrawingRecipe recipe;
  recipe.version = 700;
  recipe.memo = std::u16string(3000, u'メ');
  recipe.layerNames[15][15] = u"最後の名前";
  recipe.lines = 100;
  const std::string bytes = testing::WriteDrawing(recipe);
  JwwReader reader;
  const JwwDrawing expected = ReadHeader(reader, bytes);
  const uint64_t consumed = reader.BytesConsumed();
  for (std::size_t chunk : {16, 1000, 6001, 20000}) {
    reader.SetFirstHeaderChunk(chunk);
    EXPECT_TRUE(ReadHeader(reader, bytes) == expected) << chunk;
    EXPECT_EQ(reader.GetReadError(), 0);
    EXPECT_EQ(reader.BytesConsumed(), consumed);
  }
}

TEST(Reads, AFileThatCannotBeOpenedFailsAndIsNeverCreated) {
  TempFolder folder;
  const std::string missing = folder.File("missing.jww");
  const std::string locked = folder.File("locked.jww");
  ASSERT_TRUE(testing::WriteDrawingFile(locked, DrawingRecipe{}));
  ::chmod(locked.c_str(), 0);
  const bool canBypassPermissions = ::geteuid() == 0;

  RecordingMessages messages;
  JwwReader reader(&messages);
  JwwDrawing drawing;
  // A FIFO and devices open, but are no files: unreadable without a message, as a missing
  // file is, and a read never waits on them.
  const std::string fifo = folder.File("fifo.jww");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::vector<std::string> paths = {missing, folder.path(), fifo, "/dev/null", "/dev/zero"};
  if (!canBypassPermissions) paths.push_back(locked);
  for (const std::string& path : paths) {
    ClearDrawing(drawing);
    EXPECT_EQ(reader.ReadWholeDrawing(path, drawing), kUnreadableFile) << path;
    EXPECT_EQ(reader.GetReadError(), -1);
    ReadHeader(reader, testing::WriteDrawing(DrawingRecipe{}));  // flag back to 0
    reader.ReadDrawingHeader(path, drawing);
    EXPECT_EQ(reader.GetReadError(), -1) << path;
  }
  EXPECT_FALSE(std::filesystem::exists(missing));
  EXPECT_TRUE(messages.messages.empty());
}

TEST(ClearDrawing, RestoresTheDefaults) {
  JwwDrawing drawing;
  drawing.FileName = "x.jww";
  drawing.Header.Version = 700;
  drawing.Header.Memo = u"memo";
  drawing.Header.LayerNames[3][4] = u"name";
  drawing.Header.ColourNames[1] = u"墨";
  drawing.Data.Texts.emplace_back();
  drawing.Data.BlockDefinitions.emplace_back();
  ClearDrawing(drawing);
  EXPECT_EQ(drawing.FileName, "");
  EXPECT_EQ(drawing.Header.Version, 600);
  EXPECT_EQ(drawing.Header.Memo, u"");
  EXPECT_EQ(drawing.Header.LayerNames[3][4], u"");
  EXPECT_EQ(drawing.Header.ColourNames[1], u"black");
  EXPECT_EQ(drawing.Header.LineTypeNames[2].Segments[2], 1.5);
  EXPECT_EQ(drawing.Header.DimensionSettings[2], 50150030);
  EXPECT_EQ(drawing.Header.Groups[0].State, 3);
  EXPECT_EQ(drawing.Header.Groups[5].LayerState[1], 2);
  EXPECT_EQ(drawing.Data.Texts.size(), 1u);
  EXPECT_EQ(drawing.Data.BlockDefinitions.size(), 1u);
  EXPECT_EQ(drawing.Data.BlockIndexByNumber, std::vector<int32_t>{0});
}

}  // namespace
}  // namespace dorvan
