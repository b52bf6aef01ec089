// Reading the first bytes of many files at once, and header reads that start from them.
#include "reader/prefix_batch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "reader/jww_reader.h"
#include "tests/support/drawing_writer.h"
#include "tests/support/recording_messages.h"
#include "tests/support/temp_folder.h"

namespace dorvan {
namespace {

using testing::DrawingRecipe;

TEST(PrefixBatch, ReadsTheFirstBytesOfEachFileOrNothing) {
  PrefixBatch batch(4, 10);
  if (!batch.Available()) GTEST_SKIP() << "no io_uring here";
  testing::TempFolder folder;
  ASSERT_TRUE(testing::WriteBytesFile(folder.File("long"), "0123456789abcdef"));
  ASSERT_TRUE(testing::WriteBytesFile(folder.File("short"), "xyz"));
  ASSERT_TRUE(testing::WriteBytesFile(folder.File("empty"), ""));
  ASSERT_EQ(::mkdir(folder.File("folder").c_str(), 0755), 0);
  const std::string paths[] = {folder.File("long"), folder.File("missing"), folder.File("short"),
                               folder.File("folder"), folder.File("empty")};
  // Twice over the same slots, and a run that is split over two batches.
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(batch.Read({&paths[0], &paths[1], &paths[2], &paths[3]}));
    EXPECT_EQ(batch.Prefix(0), std::optional<std::string_view>("0123456789"));
    EXPECT_EQ(batch.Prefix(1), std::nullopt);
    EXPECT_EQ(batch.Prefix(2), std::optional<std::string_view>("xyz"));
    EXPECT_EQ(batch.Prefix(3), std::nullopt);  // a folder opens, but cannot be read
    ASSERT_TRUE(batch.Read({&paths[4], &paths[2]}));
    EXPECT_EQ(batch.Prefix(0), std::optional<std::string_view>(""));
    EXPECT_EQ(batch.Prefix(1), std::optional<std::string_view>("xyz"));
    EXPECT_EQ(batch.Prefix(2), std::nullopt);
  }
  EXPECT_FALSE(batch.Read({&paths[0], &paths[0], &paths[0], &paths[0], &paths[0]}));  // too many
}

// A header read from fetched first bytes is the header read of the file: from the bytes
// when the header lies within them, the ordinary way otherwise, messages included.
TEST(PrefixBatch, HeaderReadsFromTheFirstBytesAreThoseOfTheFile) {
  testing::TempFolder folder;
  DrawingRecipe plain;
  plain.memo = u"メモ";
  DrawingRecipe longHeader;
  longHeader.memo = std::u16string(20000, u'長');  // beyond the first chunk
  longHeader.version = 700;
  const std::string drawing = testing::WriteDrawing(plain);
  const struct {
    const char* name;
    std::string bytes;
  } files[] = {
      {"plain.jww", drawing},
      {"long.jww", testing::WriteDrawing(longHeader)},
      {"cut.jww", drawing.substr(0, 5000)},
      {"text.jww", "not a drawing"},
  };
  for (const auto& file : files) {
    const std::string path = folder.File(file.name);
    ASSERT_TRUE(testing::WriteBytesFile(path, file.bytes));
    const std::string first = file.bytes.substr(0, JwwReader::kFirstHeaderChunk);
    testing::RecordingMessages expectedMessages, messages;
    JwwReader expectedReader(&expectedMessages), reader(&messages);
    JwwDrawing expected, read;
    ClearDrawing(expected);
    ClearDrawing(read);
    expectedReader.ReadDrawingHeader(path, expected);
    reader.ReadDrawingHeader(path, first, read);
    EXPECT_EQ(reader.GetReadError(), expectedReader.GetReadError()) << file.name;
    EXPECT_EQ(reader.BytesConsumed(), expectedReader.BytesConsumed()) << file.name;
    EXPECT_TRUE(read == expected) << file.name;
    EXPECT_EQ(messages.messages.size(), expectedMessages.messages.size()) << file.name;
  }
}

}  // namespace
}  // namespace dorvan
