// The server's kept drawings and pictures: a drawing changed on disk is read again, never
// answered from what was kept of it, and a request's hidden layers stay its own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <cstdio>
#include <thread>

#include "server/picture.h"
#include "tests/server/server_process.h"
#include "tests/support/drawing_writer.h"
#include "tests/support/temp_folder.h"

namespace dorvan {
namespace {

using server::PictureMaker;
using server::PictureRequest;

// A drawing of one line on layer 0-0 whose end lies at `endY` (and a text, so that a search
// finds it): every version has the same size.
std::string OneLine(double endY) {
  JwwDrawing drawing = testing::ToDrawing({.texts = {u"図面"}, .lines = 1});
  drawing.Data.Lines.back().EndY = endY;
  return testing::WriteDrawing(drawing);
}

void SetModified(const std::string& path, time_t seconds) {
  const timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// Pictures lay out texts with the application's fonts.
class PictureCacheTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (QCoreApplication::instance() != nullptr) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "server_tests";
    static char* argv[] = {name, nullptr};
    static QGuiApplication application(argc, argv);
  }
};

PictureMaker::Limits Unsettled() {
  PictureMaker::Limits limits;
  limits.Settle = std::chrono::nanoseconds(0);  // kept at once, so that the next read is the cache's
  return limits;
}

TEST_F(PictureCacheTest, ADrawingChangedOnDiskIsReadAgain) {
  testing::TempFolder folder;
  const std::string path = folder / "a.jww";
  const time_t modified = time(nullptr) - 3600;
  ASSERT_TRUE(testing::WriteBytesFile(path, OneLine(50)));
  SetModified(path, modified);
  PictureMaker maker(Unsettled());
  const PictureRequest fit{120, 80, std::nullopt, {}};
  std::string info1, picture1, again;
  ASSERT_TRUE(maker.InfoJson(path, info1));
  ASSERT_TRUE(maker.PicturePng(path, fit, picture1));
  ASSERT_TRUE(maker.PicturePng(path, fit, again));
  EXPECT_EQ(again, picture1);

  // Rewritten in place, of the same size and with its old modification time: only the
  // change time tells, and the file system counts that in steps of a few milliseconds.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  ASSERT_TRUE(testing::WriteBytesFile(path, OneLine(-80)));
  SetModified(path, modified);
  std::string info2, picture2;
  ASSERT_TRUE(maker.InfoJson(path, info2));
  ASSERT_TRUE(maker.PicturePng(path, fit, picture2));
  EXPECT_NE(info2, info1);
  EXPECT_NE(picture2, picture1);

  // Replaced by another file holding the first version: a new file, read anew.
  ASSERT_TRUE(testing::WriteBytesFile(folder / "b.jww", OneLine(50)));
  SetModified(folder / "b.jww", modified);
  ASSERT_EQ(std::rename((folder / "b.jww").c_str(), path.c_str()), 0);
  std::string info3;
  ASSERT_TRUE(maker.InfoJson(path, info3));
  EXPECT_EQ(info3, info1);

  ASSERT_EQ(std::remove(path.c_str()), 0);
  EXPECT_FALSE(maker.InfoJson(path, info3));
  EXPECT_FALSE(maker.PicturePng(path, fit, picture2));
}

TEST_F(PictureCacheTest, HiddenLayersStayWithTheirRequest) {
  testing::TempFolder folder;
  const std::string path = folder / "a.jww";
  ASSERT_TRUE(testing::WriteBytesFile(path, OneLine(50)));
  SetModified(path, time(nullptr) - 3600);
  PictureMaker::Limits limits = Unsettled();
  limits.PictureBytes = 0;  // every picture painted anew from the kept drawing
  PictureMaker maker(limits);
  std::string shown, hidden, shownAgain, info;
  ASSERT_TRUE(maker.PicturePng(path, {120, 80, std::nullopt, {}}, shown));
  ASSERT_TRUE(maker.PicturePng(path, {120, 80, std::nullopt, {{0, 0}}}, hidden));
  ASSERT_TRUE(maker.PicturePng(path, {120, 80, std::nullopt, {}}, shownAgain));
  ASSERT_TRUE(maker.InfoJson(path, info));

  const QImage picture = QImage::fromData(QByteArray::fromStdString(shown), "PNG");
  ASSERT_EQ(picture.size(), QSize(120, 80));
  EXPECT_NE(picture.pixel(60, 40), qRgb(255, 255, 255)) << "the line crosses the middle";
  const QImage blank = QImage::fromData(QByteArray::fromStdString(hidden), "PNG");
  ASSERT_EQ(blank.size(), QSize(120, 80));
  EXPECT_EQ(blank.pixel(60, 40), qRgb(255, 255, 255));
  EXPECT_EQ(shownAgain, shown);
  EXPECT_EQ(info.find("\"visible\": false"), std::string::npos);
}

// A copy made with its old times kept (cp -p, rsync -t) leaves size and modification time as
// they were: the thumbnail must still be the new drawing's.
TEST(ThumbnailCache, AThumbnailFollowsADrawingRewrittenWithItsOldSizeAndTime) {
  testing::TempFolder folder;
  folder.MakeFolder("office");
  const std::string path = folder.File("office/a.jww");
  const time_t modified = time(nullptr) - 3600;
  ASSERT_TRUE(testing::WriteBytesFile(path, OneLine(50)));
  SetModified(path, modified);
  testing::ServerProcess server(folder.path(), "index = \"" + folder.File("index.sqlite3") +
                                                   "\"\n[[root]]\nname = \"office\"\npath = \"" +
                                                   folder.File("office") + "\"\nshown_as = 'O:'\n");
  ASSERT_TRUE(server.Start()) << server.Log();
  const QJsonArray found = QJsonDocument::fromJson(QByteArray::fromStdString(
                                                       server.Get("/api/search?text=" + testing::UrlEncoded("図面")).body))
                               .object()["found"]
                               .toArray();
  ASSERT_EQ(found.size(), 1);
  const std::string thumbnail = "/api/drawing/" + found.first()["id"].toString().toStdString() + "/thumbnail";
  const std::string before = server.Get(thumbnail).body;
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  ASSERT_TRUE(testing::WriteBytesFile(path, OneLine(-80)));
  SetModified(path, modified);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the watcher's turn
  const std::string after = server.Get(thumbnail).body;
  EXPECT_FALSE(before.empty());
  EXPECT_NE(after, before);
  EXPECT_EQ(server.Stop(), 0);
}

}  // namespace
}  // namespace dorvan
