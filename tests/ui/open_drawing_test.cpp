// Opening a listed drawing: a drawing the desktop cannot open is reported with the reason,
// from the found list and from the error window alike, and the real opener tells a missing
// file from a type without an application.
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

#include "export/dxf_cache.h"
#include "files/shell_open.h"
#include "tests/support/drawing_writer.h"
#include "tests/support/temp_folder.h"
#include "tests/ui/window_fixture.h"
#include "ui/desktop_shell.h"
#include "ui/error_window.h"
#include "ui/found_list_menu.h"
#include "ui/open_drawing.h"

using namespace dorvan::ui;
using namespace dorvan::ui::testing;
using dorvan::testing::TempFolder;

class OpenDrawingTest : public QObject {
  Q_OBJECT

  // The desktop's application registry of this process: dorvan alone, as the default of
  // every file type, which takes drawings as targets and does not count as an application
  // that shows them.
  TempFolder registry_;

 private slots:
  void initTestCase() {
    for (const char* variable : {"XDG_DATA_HOME", "XDG_CONFIG_HOME"}) qputenv(variable, registry_.path().c_str());
    for (const char* variable : {"XDG_DATA_DIRS", "XDG_CONFIG_DIRS"}) qputenv(variable, (registry_ / "none").c_str());
    registry_.Write("applications/dorvan.desktop",
                    "[Desktop Entry]\nType=Application\nName=dorvan\nExec=/bin/true %F\n"
                    "MimeType=application/octet-stream;\n");
    registry_.Write("mimeapps.list", "[Default Applications]\napplication/octet-stream=dorvan.desktop\n");
  }

  void DrawingTheDesktopCannotOpenIsReported() {
    WindowFixture f;
    MainWindow& w = f.w();
    w.List2()->AddPath("/d/図面.jww");
    w.List2()->setCurrentRow(0);
    w.List2_DblClick();
    QVERIFY(f.messages.shown.empty());  // issued: nothing to say

    f.shell.result = dorvan::kShellNoApplication;
    f.shell.detail = "JWW drawing";
    w.List2_DblClick();
    ErrorWindow errors(f.shell, f.messages, &w);
    errors.AddPath("/d/図面.jww");
    errors.List1()->setCurrentRow(0);
    errors.List1_DblClick();
    QCOMPARE(f.messages.shown.size(), std::size_t{2});
    const QString reason = QStringLiteral("/d/図面.jww\n\nこのファイルを開くアプリケーションが登録されていません。\nファイルの種類：JWW drawing");
    for (const ShownMessage& shown : f.messages.shown) {
      QCOMPARE(shown.title, MainCaption());
      QVERIFY(shown.text.startsWith(reason));
      QCOMPARE(shown.icon, MessageIcon::Stop);
    }
    // The found list has the preview at hand and offers it; the error window's list does not.
    QCOMPARE(f.messages.shown[0].buttons, MessageButtons::OkPreview);
    QCOMPARE(f.messages.shown[1].text, reason);
    QCOMPARE(f.messages.shown[1].buttons, MessageButtons::Ok);
    QCOMPARE(f.shell.requests.size(), std::size_t{3});
  }

  // With a preview at hand, the message offers it, except for a drawing that is gone.
  void FailureOffersThePreview() {
    const struct {
      int32_t error;
      MessageAnswer answer;
      MessageButtons offered;
      int previews;
    } cases[] = {
        {dorvan::kShellNoApplication, MessageAnswer::Preview, MessageButtons::OkPreview, 1},
        {dorvan::kShellLaunchFailed, MessageAnswer::Ok, MessageButtons::OkPreview, 0},
        {dorvan::kShellFileMissing, MessageAnswer::Preview, MessageButtons::Ok, 0},
    };
    for (const auto& c : cases) {
      FakeShell shell;
      FakeMessageBoxes messages;
      shell.result = c.error;
      messages.previewAnswer = c.answer;
      int previews = 0;
      QCOMPARE(OpenDrawing(shell, messages, nullptr, "/d/a.jww", dorvan::kShowMaximized, [&] { ++previews; }),
               c.error);
      QCOMPARE(messages.shown.at(0).buttons, c.offered);
      QCOMPARE(previews, c.previews);
    }
  }

  // Where the desktop has a CAD program, a drawing without an application is offered as DXF:
  // written into the cache under its own name, reused while the drawing is unchanged.
  void FailureOffersTheDrawingAsDxf() {
    TempFolder folder;
    dorvan::testing::DrawingRecipe recipe;
    recipe.lines = 3;
    const std::string drawing = folder / "図面.jww";
    QVERIFY(dorvan::testing::WriteDrawingFile(drawing, recipe));
    FakeShell shell;
    FakeMessageBoxes messages;
    shell.result = dorvan::kShellNoApplication;
    messages.previewAnswer = MessageAnswer::Dxf;
    OpenDrawing(shell, messages, nullptr, drawing, dorvan::kShowMaximized);
    QCOMPARE(messages.shown.back().buttons, MessageButtons::Ok);  // no CAD program: nothing to offer
    shell.applicationTypes.insert(kDxfContentType);
    OpenDrawing(shell, messages, nullptr, drawing, dorvan::kShowMaximized);
    QCOMPARE(messages.shown.back().buttons, MessageButtons::OkDxf);
    QTRY_COMPARE(shell.openedAs.size(), std::size_t{1});  // written on a worker thread
    const std::string dxf = shell.openedAs[0].first;
    QVERIFY(dxf.starts_with(dorvan::dxf::DxfCacheFolder()) && dxf.ends_with("/図面.dxf"));
    QCOMPARE(shell.openedAs[0].second, std::string(kDxfContentType));
    QVERIFY(dorvan::dxf::MakeCachedDxf(drawing, dorvan::dxf::DxfCacheFolder()).reused);
    const struct timespec later[2] = {{0, UTIME_NOW}, {1, 0}};
    QCOMPARE(utimensat(AT_FDCWD, drawing.c_str(), later, 0), 0);
    QVERIFY(!dorvan::dxf::MakeCachedDxf(drawing, dorvan::dxf::DxfCacheFolder()).reused);
    QCOMPARE(messages.shown.size(), std::size_t{2});
  }

  void DesktopShellTellsWhyItCannotOpen() {
    TempFolder folder;
    const std::string drawing = folder.Write("a.jww", std::string("JwwData.\x01\x02\x00\xff", 12));
    DesktopShell shell;
    QCOMPARE(shell.ShellOpen(folder / "missing.jww", dorvan::kShowMaximized), dorvan::kShellFileMissing);
    QCOMPARE(shell.ShellOpen(drawing, dorvan::kShowMaximized), dorvan::kShellNoApplication);
    // The type in Japanese, whatever the desktop's language and type database.
    const QString type = QString::fromStdString(shell.FailureDetail());
    QVERIFY2(type == QStringLiteral("JWW図面") || type.startsWith(QStringLiteral("不明")), qPrintable(type));
    QCOMPARE(shell.ShellOpen(folder.path(), dorvan::ui::kShowNormal), dorvan::kShellNoApplication);
    QCOMPARE(shell.FailureDetail(), std::string("フォルダ"));
    // "フォルダを開く" calls a folder a folder.
    QCOMPARE(OpenFailureText("/d", dorvan::kShellNoApplication, "フォルダ", true),
             QStringLiteral("/d\n\nこのフォルダを開くアプリケーションが登録されていません。"));
  }
};

QTEST_MAIN(OpenDrawingTest)
#include "open_drawing_test.moc"
