// Damaged, truncated and hostile drawings: each is reported as unreadable, with its own
// result, and never crashes, hangs or allocates from an impossible count.
#include <gtest/gtest.h>

#include <functional>

#include "reader/jww_reader.h"
#include "tests/support/drawing_writer.h"
#include "tests/support/recording_messages.h"
#include "tests/support/temp_folder.h"

namespace dorvan {
namespace {

using testing::DrawingRecipe;
using testing::DrawingWriter;

// A header of `version` followed by what `body` writes.
std::string Build(int32_t version, const std::function<void(DrawingWriter&)>& body) {
  JwwDrawing drawing = testing::ToDrawing(DrawingRecipe{.version = version});
  DrawingWriter writer;
  writer.WriteHeader(drawing.Header);
  body(writer);
  return writer.bytes();
}

void OneText(DrawingWriter& w, const std::u16string& text = u"text") {
  w.BeginList(1);
  w.WriteEntity(testing::MakeText(text));
}

void NoBlocks(DrawingWriter& w) { w.archive().Count(0); }

std::string Junk(std::size_t n) { return std::string(n, '\x5A'); }

// The header failed at a byte offset (positive, within the 2000 bytes of that file).
constexpr int32_t kSomeOffsetUpTo2000 = 0x7FFFFFFF;

struct BrokenDrawing {
  const char* name;  // the file name says the defect
  std::string bytes;
  int32_t result;
  const char* message;  // nullptr: none
};

std::vector<BrokenDrawing> BrokenDrawings() {
  std::string noSignature = testing::WriteDrawing(DrawingRecipe{});
  noSignature.replace(0, 8, "JWWDATA.");
  std::string cutInLayers = testing::WriteDrawing(DrawingRecipe{.version = 351});
  cutInLayers.resize(2000);
  return {
      {"no-signature.jww", noSignature, kMissingSignature, nullptr},
      {"version-500.jww", testing::WriteDrawing(DrawingRecipe{.version = 500}), kUnsupportedVersion, nullptr},
      {"header-cut-short.jww", cutInLayers, kSomeOffsetUpTo2000, nullptr},
      {"entity-count-2-pow-31.jww",
       Build(600, [](DrawingWriter& w) { w.archive().Count(0x80000000u), w.archive().Bytes(Junk(1024)); }),
       kDamagedContents, nullptr},
      {"entity-count-ffffffff.jww",
       Build(600, [](DrawingWriter& w) { w.archive().Count(0xFFFFFFFFu), w.archive().Bytes(Junk(1024)); }),
       kDamagedContents, nullptr},
      {"block-count-2-pow-31.jww",
       Build(600, [](DrawingWriter& w) {
         OneText(w);
         w.archive().Count(0x80000000u);
         w.archive().Bytes(Junk(1024));
       }),
       kDamagedContents, nullptr},
      {"image-count-2-pow-31.jww",
       Build(700, [](DrawingWriter& w) {
         OneText(w);
         NoBlocks(w);
         w.archive().Dword(0x80000000u);
         w.archive().Bytes(Junk(1024));
       }),
       kDamagedContents, nullptr},
      {"image-size-past-the-end.jww",
       Build(700, [](DrawingWriter& w) {
         OneText(w);
         NoBlocks(w);
         w.archive().Dword(1);
         w.archive().RawCString("a.gz");
         w.archive().Dword(0x7FFFFFFF);
         w.archive().Bytes(Junk(100));
       }),
       kDamagedContents, nullptr},
      {"text-length-2-pow-31.jww",
       Build(600, [](DrawingWriter& w) {
         w.BeginList(1);
         w.WriteClassTag("CDataMoji");
         w.WriteBase({});
         for (int i = 0; i < 4; ++i) w.archive().Double(0);
         w.archive().Dword(1);
         for (int i = 0; i < 4; ++i) w.archive().Double(0);
         w.archive().RawCString("font");
         w.archive().Byte(0xFF), w.archive().Word(0xFFFF), w.archive().Dword(0x80000000u);
         w.archive().Bytes(Junk(1024));
       }),
       kDamagedContents, nullptr},
      {"utf16-length-past-the-end.jww",
       Build(600, [](DrawingWriter& w) {
         OneText(w);
         w.archive().Count(1);
         w.WriteClassTag("CDataList");
         w.WriteBase({});
         w.archive().Dword(1), w.archive().Dword(0), w.archive().Dword(0);
         w.archive().Byte(0xFF), w.archive().Word(0xFFFE), w.archive().Byte(0xFF), w.archive().Word(0x4000);
         w.archive().Bytes(Junk(100));
       }),
       kDamagedContents, nullptr},
      {"negative-block-number.jww",
       testing::WriteDrawing(DrawingRecipe{.blocks = {{u"b", {}, -3}}}), kDamagedContents, nullptr},
      {"block-number-2-pow-31-minus-1.jww",
       testing::WriteDrawing(DrawingRecipe{.blocks = {{u"b", {}, 0x7FFFFFFF}}}), kDamagedContents, nullptr},
      {"unknown-entity-class.jww",
       Build(600, [](DrawingWriter& w) {
         w.BeginList(1);
         w.WriteClassTag("CDataCircle");
         NoBlocks(w);
         w.archive().Bytes(Junk(64));  // room for the one object the count claims
       }),
       kMalformedList, "データ形式が不正です。\r\n"},
      {"null-class-reference.jww",
       Build(600, [](DrawingWriter& w) {
         w.BeginList(2);
         w.WriteEntity(LineEntity{});
         w.archive().Word(0x8000);
         w.WriteBase({});
         NoBlocks(w);
       }),
       kMalformedList, "データに不具合があります。\r\n"},
      {"block-list-of-another-class.jww",
       Build(600, [](DrawingWriter& w) {
         OneText(w);
         w.archive().Count(1);
         w.archive().Word(0xFFFF), w.archive().Word(0), w.archive().Word(9);
         w.archive().Bytes("CDataLIST");
         w.archive().Bytes(Junk(100));
       }),
       kMalformedList, "データ形式が不正です。（ブロック定義データ）\r\n"},
  };
}

TEST(BrokenDrawings, EachDefectMakesTheDrawingUnreadable) {
  testing::TempFolder folder;
  testing::RecordingMessages messages;
  JwwReader reader(&messages);
  for (const BrokenDrawing& broken : BrokenDrawings()) {
    const std::string path = folder.File(broken.name);
    ASSERT_TRUE(testing::WriteBytesFile(path, broken.bytes));
    messages.messages.clear();
    JwwDrawing& drawing = reader.CurrentDrawing();
    ClearDrawing(drawing);
    const int32_t result = reader.ReadWholeDrawing(path, drawing);
    if (broken.result == kSomeOffsetUpTo2000) {
      EXPECT_TRUE(result > 0 && result <= 2000) << broken.name << ": " << result;
    } else {
      EXPECT_EQ(result, broken.result) << broken.name;
    }
    EXPECT_EQ(reader.GetReadError(), -1) << broken.name;
    if (broken.message) {
      ASSERT_EQ(messages.messages.size(), 1u) << broken.name;
      EXPECT_EQ(messages.messages[0].text, broken.message) << broken.name;
    } else {
      EXPECT_TRUE(messages.messages.empty()) << broken.name;
    }
  }
}

TEST(BrokenDrawings, TruncationAtEveryOffsetFailsCleanly) {
  for (int32_t version : {351, 700}) {
    DrawingRecipe recipe;
    recipe.version = version;
    recipe.memo = u"メモ";
    recipe.lines = 2;
    recipe.texts = {u"図面", u"text"};
    recipe.blocks = {{u"block", {u"inside"}}, {u"second", {}}};
    recipe.images = {{u"i.gz", "image contents"}, {u"j.bmp", "BM"}};
    const std::string bytes = testing::WriteDrawing(recipe);
    JwwDrawing headerOnly;
    ClearDrawing(headerOnly);
    testing::RecordingMessages messages;
    JwwReader reader(&messages);
    reader.ReadHeaderFromBytes(bytes, headerOnly);
    const uint64_t headerSize = reader.BytesConsumed();

    for (std::size_t n = 0; n < bytes.size(); ++n) {
      const std::string_view prefix(bytes.data(), n);
      JwwDrawing& drawing = reader.CurrentDrawing();
      ClearDrawing(drawing);
      EXPECT_NE(reader.ReadWholeDrawingFromBytes(prefix, drawing), 0) << n;
      ASSERT_EQ(reader.GetReadError(), -1) << "cut at " << n;
      ClearDrawing(drawing);
      reader.ReadHeaderFromBytes(prefix, drawing);
      ASSERT_EQ(reader.GetReadError(), n < headerSize ? -1 : 0) << "cut at " << n;
    }
    EXPECT_EQ(messages.messages.size(), headerSize);  // the header read's message, once each
  }
}

TEST(BrokenDrawings, AHostileCountInAHeaderOnlyReadNeverLoadsMoreThanTheFile) {
  // A memo claiming 2 GB: the chunked header read must stop at once, not grow to it.
  std::string bytes = "JwwData.";
  bytes += std::string("\xBC\x02\x00\x00", 4);
  bytes += std::string("\xFF\xFF\xFF\x00\x00\x00\x80", 7);
  bytes += Junk(1000);
  testing::TempFolder folder;
  ASSERT_TRUE(testing::WriteBytesFile(folder.File("memo.jww"), bytes));
  JwwReader reader;
  JwwDrawing& drawing = reader.CurrentDrawing();
  ClearDrawing(drawing);
  reader.ReadDrawingHeader(folder.File("memo.jww"), drawing);
  EXPECT_EQ(reader.GetReadError(), -1);
}

}  // namespace
}  // namespace dorvan
