// File names that are not UTF-8 (Shift-JIS names copied from a Windows share, and bytes that
// are neither) keep their bytes from the scan, a drop, the file dialog and the command line
// through the search to the opener, the hand-over and the clipboard; only their display text
// is decoded.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>

#include "tests/support/drawing_writer.h"
#include "tests/support/temp_folder.h"
#include "tests/ui/program_fixture.h"
#include "ui/file_dialog.h"
#include "ui/folder_page.h"
#include "ui/folder_tree.h"
#include <QTreeView>
#include "ui/folder_scan.h"
#include "ui/window_paths.h"

using namespace dorvan::ui;
using namespace dorvan::ui::testing;
using dorvan::testing::TempFolder;
using Paths = std::vector<std::string>;

namespace {

const std::string kShiftJisFolder = "\x83\x74\x83\x48";     // フォ in Shift-JIS
const std::string kShiftJisName = "\x90\x7D\x96\xCA.jww";  // 図面.jww in Shift-JIS
const std::string kNeitherName = "x\x81 y.jww";             // a lead byte before a space

// root/フォ (Shift-JIS) holding two drawings with 図面番号, one named in Shift-JIS, one with a
// byte that is neither UTF-8 nor Shift-JIS, and a drawing without it.
struct ByteNamedFolder {
  TempFolder root;
  std::string folder = root / kShiftJisFolder;
  std::string sjis = folder + "/" + kShiftJisName;
  std::string neither = folder + "/" + kNeitherName;
  ByteNamedFolder() {
    root.MakeFolder(kShiftJisFolder);
    dorvan::testing::DrawingRecipe found;
    found.texts = {u"図面番号"};
    dorvan::testing::DrawingRecipe other;
    other.texts = {u"外構"};
    if (!dorvan::testing::WriteDrawingFile(sjis, found) || !dorvan::testing::WriteDrawingFile(neither, found) ||
        !dorvan::testing::WriteDrawingFile(folder + "/other.jww", other)) {
      qFatal("cannot write the drawings");
    }
  }
  // The folder as Qt's file system classes show it.
  QString ShownFolder() const { return QFile::decodeName(PathBytes(folder)); }
};

Paths Sorted(Paths paths) {
  std::sort(paths.begin(), paths.end());
  return paths;
}

}  // namespace

class BytePathsTest : public QObject {
  Q_OBJECT

 private slots:
  void ScanSearchOpenHandOverAndCopyKeepTheBytes() {
    ByteNamedFolder tree;
    ProgramFixture f;
    MainWindow& w = f.w();
    // The folder list shows the folder the windows' way and enters it.
    f.p().Folders().SetDir1Path(QString::fromStdString(tree.root.path()));
    const QModelIndex folderEntry = f.p().Folders().Model()->IndexOf(tree.folder);
    QCOMPARE(folderEntry.data().toString(), QStringLiteral("フォ"));
    w.Dir1()->setCurrentIndex(folderEntry);
    QCOMPARE(f.p().Folders().Dir1Bytes(), tree.folder);
    ClickTab(w, 0);
    QSignalSpy scanned(&f.p().Scan(), &FolderScan::Finished);
    ClickButton(w.Command8());
    QVERIFY(scanned.wait(10000));
    QCOMPARE(Sorted(w.List3()->Paths()), Sorted({tree.sjis, tree.neither, tree.folder + "/other.jww"}));

    w.Combo1()->setEditText(QStringLiteral("図面番号"));
    ClickButton(w.Command6());
    QCOMPARE(Sorted(w.List2()->Paths()), Sorted({tree.sjis, tree.neither}));
    QVERIFY(f.messages.shown.back().text.contains(QStringLiteral("2 個")));
    const QString root = QString::fromStdString(tree.root.path());
    QStringList shown;
    for (int row = 0; row < w.List2()->count(); ++row) shown << w.List2()->item(row)->text();
    shown.sort();
    QCOMPARE(shown, (QStringList{root + QStringLiteral("/フォ/x\uFFFD y.jww"),
                                 root + QStringLiteral("/フォ/図面.jww")}));

    for (int row = 0; row < w.List2()->count(); ++row) {
      w.List2()->setCurrentRow(row);
      w.List2_DblClick();
      QCOMPARE(f.shell.requests.back().file, w.List2()->PathAt(row));
    }

    w.List2()->selectAll();
    QTest::keySequence(w.List2(), QKeySequence::Copy);
    const QMimeData* copied = QApplication::clipboard()->mimeData();
    QVERIFY(copied != nullptr);
    Paths fromClipboard;
    for (const QUrl& url : copied->urls()) fromClipboard.push_back(LocalPathOfUrl(url).value_or(""));
    QCOMPARE(fromClipboard, w.List2()->Paths());
    QCOMPARE(copied->text(), w.List2()->item(0)->text() + QLatin1Char('\n') + w.List2()->item(1)->text());

    ClickButton(w.Command9());
    QCOMPARE(w.List1()->Paths(), w.List2()->Paths());

  }

  void DropsPasteTheDialogAndTheCommandLineKeepTheBytes() {
    ByteNamedFolder tree;
    ProgramFixture f;
    MainWindow& w = f.w();
    QVERIFY(f.p().Form_Load({tree.neither}));
    QCOMPARE(w.List1()->Paths(), Paths{tree.neither});

    QMimeData drag;
    drag.setUrls({FileUrl(tree.sjis)});
    QVERIFY(DropOn(w.List1(), drag));
    QCOMPARE(Sorted(w.List1()->Paths()), Sorted({tree.sjis, tree.neither}));

    // A copy pasted into the target list names the same files again.
    QApplication::clipboard()->setMimeData(PathsMimeData({tree.sjis}));
    w.List1()->setFocus();
    QTest::keySequence(w.List1(), QKeySequence::Paste);
    QCOMPARE(Sorted(w.List1()->Paths()), Sorted({tree.sjis, tree.sjis, tree.neither}));

    // Qt shows the name with replacement characters and would refuse it as missing.
    const std::string chosen = tree.root.Write(kShiftJisName);
    DrawingOpenDialog dialog;
    dialog.setDirectory(QString::fromStdString(tree.root.path()));
    dialog.selectFile(QFile::decodeName(PathBytes(kShiftJisName)));
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.ChosenPaths(), Paths{chosen});
  }
};

QTEST_MAIN(BytePathsTest)
#include "byte_paths_test.moc"
