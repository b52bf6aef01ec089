// The whole-drawing read: versions, block definitions, embedded images, messages, copies.
#include <gtest/gtest.h>

#include <thread>

#include "reader/embedded_images.h"
#include "reader/jww_reader.h"
#include "tests/support/drawing_writer.h"
#include "tests/support/recording_messages.h"
#include "tests/support/temp_folder.h"

namespace dorvan {
namespace {

using testing::BlockRecipe;
using testing::DrawingRecipe;
using testing::RecordingMessages;

struct WholeRead {
  int32_t result = 0;
  int16_t flag = 0;
  JwwDrawing drawing;
  std::vector<RecordingMessages::Message> messages;
  uint64_t consumed = 0;
};

WholeRead ReadWhole(const std::string& bytes) {
  WholeRead r;
  RecordingMessages messages;
  JwwReader reader(&messages);
  ClearDrawing(r.drawing);
  r.result = reader.ReadWholeDrawingFromBytes(bytes, r.drawing);
  r.flag = reader.GetReadError();
  r.messages = messages.messages;
  r.consumed = reader.BytesConsumed();
  return r;
}

// A drawing holding one of every record with every field set, in both string forms.
JwwDrawing RichDrawing(int32_t version) {
  DrawingRecipe recipe;
  recipe.version = version;
  recipe.memo = u"メモ";
  recipe.lines = 2;
  recipe.texts = {u"図面番号", u"ｶﾀｶﾅ ASCII"};
  recipe.blocks = {BlockRecipe{u"SHEET@@SfigorgFlag@@4", {u"ブロック内"}, 3}};
  if (version >= 700) recipe.images = {{u"photo.bmp", "BM raw"}, {u"plan.jpg.gz", std::string(5000, 'x')}};
  JwwDrawing drawing = testing::ToDrawing(recipe);
  EntityLists& data = drawing.Data;
  ArcEntity arc;
  arc.Base = {1, 2, 3, 4, 5, 6, 7};
  arc.CentreX = 1.5, arc.Radius = 3.25, arc.Flatness = 1.0, arc.FullCircle = 1;
  testing::AddEntity(data, arc);
  PointEntity point;
  point.Base.PenStyle = 100;
  point.X = -4, point.Code = 12, point.Rotation = 90, point.Scale = 2;
  testing::AddEntity(data, point);
  SolidEntity solid;
  solid.Base.PenColour = 10;
  solid.Corners = {1, 2, 3, 4, 5, 6, 7, 8};
  solid.Colour = 0x00C08040;
  testing::AddEntity(data, solid);
  DimensionEntity dimension;
  dimension.Line.EndX = 1820;
  dimension.Label = testing::MakeText(u"1,820");
  if (version >= 420) {
    dimension.SxfMode = 2;
    dimension.AuxiliaryLine2.EndY = 5;
    dimension.Points[1].Base.PenStyle = 100;
    dimension.Points[1].Code = 3;
  }
  testing::AddEntity(data, dimension);
  BlockInsertEntity insert;
  insert.X = 100, insert.ScaleX = insert.ScaleY = 1, insert.Number = 3;
  testing::AddEntity(data, insert);
  return drawing;
}

TEST(WholeRead, EveryRecordOfEveryVersionReadsBackAsWritten) {
  for (int32_t version : {351, 420, 600, 700}) {
    for (auto form : {testing::StringForm::ShiftJis, testing::StringForm::Utf16}) {
      const JwwDrawing written = RichDrawing(version);
      const std::string bytes = testing::WriteDrawing(written, form);
      const WholeRead r = ReadWhole(bytes);
      EXPECT_EQ(r.result, 0) << version;
      EXPECT_EQ(r.flag, 0);
      EXPECT_EQ(r.consumed, bytes.size());
      EXPECT_TRUE(r.drawing == written) << "version " << version;
    }
  }
}

TEST(WholeRead, OnlyTheFourKnownVersionsAreRead) {
  for (int32_t version : {300, 419, 650, 701}) {
    DrawingRecipe recipe;
    recipe.version = version;
    recipe.drawingSize = 4;
    const WholeRead r = ReadWhole(testing::WriteDrawing(recipe));
    EXPECT_EQ(r.result, kUnsupportedVersion) << version;
    EXPECT_EQ(r.flag, -1);
    EXPECT_EQ(r.drawing.Header.DrawingSize, 1) << "refused before the header body";
  }
  std::string bytes = testing::WriteDrawing(DrawingRecipe{});
  bytes[3] = 'd';
  EXPECT_EQ(ReadWhole(bytes).result, kMissingSignature);
  EXPECT_EQ(ReadWhole(bytes).flag, -1);
}

TEST(WholeRead, BlockTextsStayInTheirBlockAndNumbersIndexTheDefinitions) {
  DrawingRecipe recipe;
  recipe.texts = {u"top"};
  recipe.blocks = {BlockRecipe{u"five", {u"in five", u"more"}, 5}, BlockRecipe{u"two", {}, 2}};
  const WholeRead r = ReadWhole(testing::WriteDrawing(recipe));
  ASSERT_EQ(r.result, 0);
  const JwwDrawingData& data = r.drawing.Data;
  ASSERT_EQ(data.BlockDefinitions.size(), 3u);
  EXPECT_EQ(data.Texts.size(), 2u);
  EXPECT_EQ(data.BlockDefinitions[1].Name, u"five");
  EXPECT_EQ(data.BlockDefinitions[1].Data.Texts[2].Text, u"more");
  EXPECT_EQ(data.BlockIndexByNumber, (std::vector<int32_t>{0, 0, 2, 0, 0, 1}));
}

// Block numbers need not be dense: a drawing of a few kilobytes may hold a number past the
// 16-bit range and still read.
TEST(WholeRead, ASmallDrawingReadsABlockNumberPast65535) {
  for (int32_t version : {351, 700}) {
    DrawingRecipe recipe;
    recipe.version = version;
    recipe.blocks = {BlockRecipe{u"far", {}, 70000}};
    const std::string bytes = testing::WriteDrawing(recipe);
    ASSERT_LT(bytes.size(), 70000u / 4) << version;
    const WholeRead r = ReadWhole(bytes);
    ASSERT_EQ(r.result, 0) << version;
    ASSERT_EQ(r.drawing.Data.BlockIndexByNumber.size(), 70001u) << version;
    EXPECT_EQ(r.drawing.Data.BlockIndexByNumber[70000], 1) << version;
  }
}

// Its map index is only right when the block's own declaration was counted.
TEST(WholeRead, AClassFirstDeclaredInABlockIsReferredToAgainThere) {
  DrawingRecipe recipe;
  recipe.blocks = {BlockRecipe{u"title", {u"first", u"second"}}, BlockRecipe{u"after", {u"third"}}};
  const std::string bytes = testing::WriteDrawing(recipe);
  const WholeRead r = ReadWhole(bytes);
  ASSERT_EQ(r.result, 0);
  EXPECT_EQ(r.consumed, bytes.size());
  const JwwDrawingData& data = r.drawing.Data;
  EXPECT_EQ(data.Texts.size(), 1u) << "no text of its own";
  ASSERT_EQ(data.BlockDefinitions.size(), 3u);
  ASSERT_EQ(data.BlockDefinitions[1].Data.Texts.size(), 3u);
  EXPECT_EQ(data.BlockDefinitions[1].Data.Texts[2].Text, u"second");
  ASSERT_EQ(data.BlockDefinitions[2].Data.Texts.size(), 2u);
  EXPECT_EQ(data.BlockDefinitions[2].Data.Texts[1].Text, u"third");
}

TEST(WholeRead, DrawingsWithoutBlocksStillReadTheirImagesFrom700On) {
  DrawingRecipe recipe;
  recipe.images = {{u"a.bmp", "abc"}};
  recipe.version = 600;
  WholeRead r = ReadWhole(testing::WriteDrawing(recipe));
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.drawing.Data.BlockDefinitions.size(), 1u);
  EXPECT_EQ(r.drawing.Data.Images.size(), 1u) << "no image list before 700";
  recipe.version = 700;
  r = ReadWhole(testing::WriteDrawing(recipe));
  ASSERT_EQ(r.drawing.Data.Images.size(), 2u);
  EXPECT_EQ(r.drawing.Data.Images[1].Name, u"a.bmp");
}

std::vector<uint8_t> BytesOf(std::string_view s) { return {s.begin(), s.end()}; }

TEST(EmbeddedImages, GzImagesAreUnpackedInMemoryAndDamagedOnesKeepTheirBytes) {
  const std::string contents(100000, 'q');
  const std::string packed = testing::Gzip(contents);
  const std::string twoMembers = testing::Gzip("first,") + testing::Gzip("second");
  std::string damaged = packed;
  damaged[damaged.size() - 6] ^= 0x55;  // the checksum
  const std::string cut = packed.substr(0, packed.size() - 10);

  DrawingRecipe recipe;
  recipe.version = 700;
  JwwDrawing drawing = testing::ToDrawing(recipe);
  // Images are written as stored: the writer would pack ".gz" contents itself.
  testing::DrawingWriter writer;
  writer.WriteHeader(drawing.Header);
  writer.WriteEntityList(drawing.Data, 700);
  writer.WriteBlockDefinitions(drawing.Data.BlockDefinitions, 700);
  const std::pair<std::u16string, std::string> stored[] = {
      {u"a.gz", packed}, {u"b.GZ", packed}, {u"c.gz", twoMembers}, {u"d.gz", damaged},
      {u"e.gz", cut},    {u"f.gz", ""},     {u"g.bmp", "BM"},
  };
  writer.archive().Dword(std::size(stored));
  for (const auto& [name, bytes] : stored) {
    writer.archive().CString(name, testing::StringForm::ShiftJis);
    writer.archive().Dword(static_cast<uint32_t>(bytes.size()));
    writer.archive().Bytes(bytes);
  }
  const WholeRead r = ReadWhole(writer.bytes());
  ASSERT_EQ(r.result, 0);
  EXPECT_EQ(r.flag, 0);
  const auto& images = r.drawing.Data.Images;
  ASSERT_EQ(images.size(), std::size(stored) + 1);
  EXPECT_EQ(images[1].Name, u"a.gz");
  EXPECT_EQ(images[1].Bytes, BytesOf(contents));
  EXPECT_EQ(images[2].Bytes, BytesOf(packed)) << "the ending test is case-sensitive";
  EXPECT_EQ(images[3].Bytes, BytesOf("first,second"));
  EXPECT_EQ(images[4].Bytes, BytesOf(damaged));
  EXPECT_EQ(images[5].Bytes, BytesOf(cut));
  EXPECT_TRUE(images[6].Bytes.empty());
  EXPECT_EQ(images[7].Bytes, BytesOf("BM"));
}

TEST(EmbeddedImages, UnpackingStopsAtItsLimit) {
  const std::string packed = testing::Gzip(std::string(1 << 20, '\0'));
  const auto* data = reinterpret_cast<const uint8_t*>(packed.data());
  EXPECT_FALSE(Gunzip(data, packed.size(), (1 << 20) - 1).has_value());
  ASSERT_TRUE(Gunzip(data, packed.size(), 1 << 20).has_value());
  EXPECT_EQ(Gunzip(data, packed.size(), 1 << 20)->size(), std::size_t{1} << 20);
}

TEST(EmbeddedImages, TheStartUpProbeFindsZlibWorking) { EXPECT_EQ(CheckArchiverLibrary(), 0); }

TEST(WholeRead, MalformedListsAreReportedWithTheirMessageAndALineBreak) {
  DrawingRecipe recipe;
  recipe.blocks = {BlockRecipe{u"one", {u"x"}}, BlockRecipe{u"two", {u"y"}}};
  const std::string bytes = testing::WriteDrawing(recipe);

  std::string otherClass = bytes;
  const auto listAt = otherClass.find("CDataList");
  otherClass.replace(listAt, 9, "CDataLisT");
  WholeRead r = ReadWhole(otherClass);
  EXPECT_EQ(r.result, kMalformedList);
  EXPECT_EQ(r.flag, -1);
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_EQ(r.messages[0].text, "データ形式が不正です。（ブロック定義データ）\r\n");
  EXPECT_EQ(r.messages[0].title, "dorvan");

  // The second definition refers to CDataList by 0x8000 | its index; any other tag fails.
  std::string otherTag = bytes;
  const std::string two = std::string("\x03", 1) + "two";
  const auto twoAt = otherTag.find(two);
  const std::size_t tagAt = twoAt - 12 - 15 - 2;
  ASSERT_EQ(static_cast<uint8_t>(otherTag[tagAt + 1]), 0x80);
  otherTag[tagAt] = static_cast<char>(otherTag[tagAt] + 1);
  r = ReadWhole(otherTag);
  EXPECT_EQ(r.result, kMalformedList);
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_EQ(r.messages[0].text, "ブロック定義データに不具合があります。\r\n");

  std::string badTopLevel = testing::WriteDrawing(DrawingRecipe{.texts = {u"x"}});
  badTopLevel.replace(badTopLevel.find("CDataMoji"), 9, "CDataMojo");
  r = ReadWhole(badTopLevel);
  EXPECT_EQ(r.result, kMalformedList);
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_EQ(r.messages[0].text, "データ形式が不正です。\r\n");
}

TEST(WholeRead, AMalformedListInsideTheLastBlockFailsTheReadWithoutAMessage) {
  DrawingRecipe recipe;
  recipe.texts = {u"top"};
  recipe.blocks = {BlockRecipe{u"one", {u"in block"}}};
  JwwDrawing drawing = testing::ToDrawing(recipe);
  testing::AddEntity(drawing.Data.BlockDefinitions[1].Data, LineEntity{});
  testing::AddEntity(drawing.Data.BlockDefinitions[1].Data, LineEntity{});
  std::string bytes = testing::WriteDrawing(drawing);
  bytes.replace(bytes.find("CDataSen"), 8, "CDataSun");
  const WholeRead r = ReadWhole(bytes);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.flag, -1);
  EXPECT_TRUE(r.messages.empty());
  EXPECT_EQ(r.drawing.Data.BlockDefinitions[1].Data.Texts[1].Text, u"in block");
}

// A large file is read into memory of its own that the read gives back as it goes: the
// record is the one the same bytes give from memory, whole or cut short, in both forms.
TEST(WholeRead, ALargeFileReadsAsTheSameBytesFromMemory) {
  testing::TempFolder folder;
  for (auto form : {testing::StringForm::ShiftJis, testing::StringForm::Utf16}) {
    JwwDrawing written = RichDrawing(700);
    for (int i = 0; i < 40000; ++i) {
      LineEntity line;
      line.StartX = i, line.EndY = -i;
      testing::AddEntity(written.Data, line);
      if (i % 100 == 0) testing::AddEntity(written.Data, testing::MakeText(u"注記 " + std::u16string(i % 7, u'x')));
    }
    const std::string bytes = testing::WriteDrawing(written, form);
    ASSERT_GT(bytes.size(), std::size_t{3} << 19);
    for (const std::size_t length : {bytes.size(), bytes.size() - 3, bytes.size() / 2}) {
      const std::string path = folder.File("large.jww");
      ASSERT_TRUE(testing::WriteBytesFile(path, std::string_view(bytes).substr(0, length)));
      const WholeRead expected = ReadWhole(bytes.substr(0, length));
      for (const std::size_t large : {std::size_t{64} << 10, JwwReader::kLargeDrawingBytes}) {
        JwwReader reader;
        reader.SetLargeDrawingBytes(large);
        JwwDrawing drawing;
        ClearDrawing(drawing);
        EXPECT_EQ(reader.ReadWholeDrawing(path, drawing), expected.result) << length;
        EXPECT_EQ(reader.GetReadError(), expected.flag);
        EXPECT_EQ(reader.BytesConsumed(), expected.consumed);
        drawing.FileName.clear();
        EXPECT_TRUE(drawing == expected.drawing) << length;
      }
    }
  }
}

TEST(CopyDrawing, TheCopyOutlivesTheClearingOfItsSource) {
  JwwDrawing source = RichDrawing(700);
  JwwDrawing copy;
  CopyDrawing(copy, source);
  ClearDrawing(source);
  EXPECT_TRUE(copy == RichDrawing(700));
}

TEST(JwwReader, TwoReadersOnTwoThreadsDoNotDisturbEachOther) {
  const std::string a = testing::WriteDrawing(RichDrawing(700), testing::StringForm::Utf16);
  const std::string b = testing::WriteDrawing(DrawingRecipe{.version = 351, .texts = {u"二"}});
  std::string broken = a.substr(0, a.size() - 3);
  auto run = [](const std::string& bytes, int16_t expectedFlag, int* mismatches) {
    JwwReader reader;
    for (int i = 0; i < 200; ++i) {
      JwwDrawing& drawing = reader.CurrentDrawing();
      ClearDrawing(drawing);
      reader.ReadWholeDrawingFromBytes(bytes, drawing);
      if (reader.GetReadError() != expectedFlag) ++*mismatches;
    }
  };
  int mismatchesA = 0, mismatchesB = 0, mismatchesC = 0;
  std::thread first(run, std::cref(a), 0, &mismatchesA);
  std::thread second(run, std::cref(b), 0, &mismatchesB);
  std::thread third(run, std::cref(broken), -1, &mismatchesC);
  first.join();
  second.join();
  third.join();
  EXPECT_EQ(mismatchesA + mismatchesB + mismatchesC, 0);
}

}  // namespace
}  // namespace dorvan
