// The folder page: the scan of a folder tree into List3 with its message window, the Escape
// cancel, the buttons and the page around a scan, and the drive list's volume that is not
// ready.
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include "tests/ui/program_fixture.h"
#include "ui/folder_page.h"
#include "ui/folder_tree.h"
#include "ui/folder_scan.h"
#include "ui/message_window.h"
#include "ui/tab_control.h"

using namespace dorvan::ui;
using namespace dorvan::ui::testing;
using Paths = std::vector<std::string>;

namespace {

void Touch(const QString& path) {
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
}

// root: A.JWW b.jww c.jw_ d.jww.gz, sub1/e.jww, sub1/deeper/f.JWW, sub2/g.jww and a long
// name that is no drawing.
struct Tree {
  QTemporaryDir dir;
  QString longName = QString(120, QLatin1Char('n')) + QStringLiteral(".txt");
  Tree() {
    for (const QString& name : {QStringLiteral("A.JWW"), QStringLiteral("b.jww"), QStringLiteral("c.jw_"),
                                QStringLiteral("d.jww.gz"), QStringLiteral("sub1/e.jww"),
                                QStringLiteral("sub1/deeper/f.JWW"), QStringLiteral("sub2/g.jww"),
                                QStringLiteral("sub2/") + longName}) {
      Touch(dir.filePath(name));
    }
  }
  std::string Path(const char* name) const { return dir.filePath(QString::fromUtf8(name)).toStdString(); }
};

// Clicks "ファイル検索" on its page and waits for the scan and the button's work after it.
void Scan(ProgramFixture& f) {
  ClickTab(f.w(), 0);
  QSignalSpy finished(&f.p().Scan(), &FolderScan::Finished);
  ClickButton(f.w().Command8());
  QVERIFY(finished.wait(10000));
}

}  // namespace

class FolderScanTest : public QObject {
  Q_OBJECT

 private slots:
  void ScanListsDrawingsDepthFirstWithSubfolders() {
    Tree tree;
    ProgramFixture f;
    MainWindow& w = f.w();
    f.p().Folders().SetDir1Path(tree.dir.path());
    Scan(f);
    QCOMPARE(w.List3()->Paths(), (Paths{tree.Path("A.JWW"), tree.Path("b.jww"), tree.Path("sub1/e.jww"),
                                        tree.Path("sub1/deeper/f.JWW"), tree.Path("sub2/g.jww")}));
    // The list followed the scan: only the newest entry is selected.
    QCOMPARE(w.List3()->selectedItems().size(), 1);
    QVERIFY(w.List3()->item(4)->isSelected());
    QVERIFY(!f.p().Message().isVisible());
    QVERIFY(!w.ProgressBar1()->isVisible());
    QVERIFY(w.Command6()->isEnabled());
    QVERIFY(w.Command7()->isEnabled());
    QVERIFY(w.Command8()->isEnabled());
    // The long name that is no drawing still sets the extent: 4 pixels a byte and 8.
    const int longest = static_cast<int>(tree.Path("sub2").size() + 1) + tree.longName.size();
    QCOMPARE(w.List3()->HorizontalExtent(), longest * 4 + 8);
  }

  void ScanWithoutSubfoldersStaysInTheFolder() {
    Tree tree;
    ProgramFixture f;
    f.p().Folders().SetDir1Path(tree.dir.path());
    f.w().Check16()->setChecked(false);
    Scan(f);
    QCOMPARE(f.w().List3()->Paths(), (Paths{tree.Path("A.JWW"), tree.Path("b.jww")}));
  }

  void ScanShowsTheMessageWindowAndLocksTheButtons() {
    Tree tree;
    ProgramFixture f;
    MainWindow& w = f.w();
    MessageWindow& message = f.p().Message();
    QCOMPARE(message.windowTitle(), QStringLiteral(" "));
    f.p().Folders().SetDir1Path(tree.dir.path());
    ClickTab(w, 0);
    QSignalSpy finished(&f.p().Scan(), &FolderScan::Finished);
    ClickButton(w.Command8());
    QVERIFY(message.isVisible());
    QCOMPARE(message.windowTitle(), w.windowTitle());
    QCOMPARE(message.Label1()->text(), QStringLiteral("【　ファイル検索中　】"));
    QCOMPARE(message.Label1()->alignment(), Qt::AlignCenter);
    QCOMPARE(message.size(), QSize(347, 53));
    QVERIFY(!w.Command6()->isEnabled());
    QVERIFY(!w.Command7()->isEnabled());
    QVERIFY(!w.Command8()->isEnabled());
    // The user's close box is refused; the scan goes on.
    QVERIFY(!message.close());
    QVERIFY(message.isVisible());
    // Choosing a ready volume meanwhile does not offer a second scan.
    w.Drive1()->setCurrentIndex(1);
    w.Drive1()->setCurrentIndex(0);
    QVERIFY(!w.Command8()->isEnabled());
    QVERIFY(finished.wait(10000));
    QCOMPARE(w.List3()->count(), 5);
    QVERIFY(w.Command8()->isEnabled());
  }

  void EscapeInTheMessageWindowStopsAfterTheCurrentFile() {
    Tree tree;
    ProgramFixture f;
    MainWindow& w = f.w();
    f.p().Folders().SetDir1Path(tree.dir.path());
    ClickTab(w, 0);
    QSignalSpy finished(&f.p().Scan(), &FolderScan::Finished);
    ClickButton(w.Command8());
    // Escape before the walk has read its first file: it stops right after that file.
    QTest::keyClick(&f.p().Message(), Qt::Key_Escape);
    QVERIFY(f.p().Message().isVisible());  // Escape does not close the window
    QVERIFY(finished.wait(10000));
    QCOMPARE(w.List3()->Paths(), (Paths{tree.Path("A.JWW")}));
    QVERIFY(!f.p().CancelFlag());
    QVERIFY(!f.p().Message().isVisible());
    QVERIFY(w.Command6()->isEnabled());

    // The next scan starts afresh and runs to the end.
    QSignalSpy again(&f.p().Scan(), &FolderScan::Finished);
    ClickButton(w.Command8());
    QVERIFY(again.wait(10000));
    QCOMPARE(w.List3()->count(), 5);
  }

  void OtherKeysInTheMessageWindowDoNothing() {
    ProgramFixture f;
    MessageWindow& message = f.p().Message();
    message.show();
    QTest::keyClick(&message, Qt::Key_A);
    QTest::keyClick(&message, Qt::Key_Return);
    QVERIFY(!f.p().CancelFlag());
    QVERIFY(message.isVisible());
  }

  void FoundDrawingsSwitchOffTheFilesPage() {
    Tree tree;
    ProgramFixture f;
    MainWindow& w = f.w();
    f.p().Folders().SetDir1Path(tree.dir.path());
    Scan(f);
    QVERIFY(!w.SSTab1()->isTabEnabled(1));
    ClickTab(w, 1);
    QCOMPARE(w.SSTab1()->currentIndex(), 0);
  }

  void ScanThatFindsNothingLeavesBothPages() {
    QTemporaryDir empty;
    Touch(empty.filePath(QStringLiteral("readme.txt")));
    ProgramFixture f;
    MainWindow& w = f.w();
    f.p().Folders().SetDir1Path(empty.path());
    Scan(f);
    QCOMPARE(w.List3()->count(), 0);
    QVERIFY(w.SSTab1()->isTabEnabled(1));
    QVERIFY(w.Command6()->isEnabled());
    ClickTab(w, 1);
    QCOMPARE(w.SSTab1()->currentIndex(), 1);
  }

  void FolderThatCannotBeOpenedFindsNothing() {
    ProgramFixture f;
    f.p().Folders().SetDir1Path(QStringLiteral("/no/such/folder/anywhere"));
    Scan(f);
    QCOMPARE(f.w().List3()->count(), 0);
    QVERIFY(f.w().Command8()->isEnabled());
    QVERIFY(f.messages.shown.empty());
  }

  void VolumeThatIsNotReadyKeepsTheTreeAndBlocksTheScan() {
    ProgramFixture f;
    MainWindow& w = f.w();
    QComboBox* drives = w.Drive1();
    QCOMPARE(drives->count(), 2);
    QCOMPARE(drives->itemText(0), QStringLiteral("/ [root]"));
    QCOMPARE(drives->itemText(1), QStringLiteral("/media/empty-card [CARD]"));
    const QString before = f.p().Folders().Dir1Path();
    const QModelIndex tree = w.Dir1()->rootIndex();
    QVERIFY(w.Command8()->isEnabled());

    drives->setCurrentIndex(1);
    QCOMPARE(f.messages.shown.size(), std::size_t{1});
    QCOMPARE(f.messages.shown[0].text, QStringLiteral("デバイスが準備できていません。"));
    QCOMPARE(f.messages.shown[0].title, w.windowTitle());
    QCOMPARE(f.messages.shown[0].icon, MessageIcon::Stop);
    QCOMPARE(f.messages.shown[0].buttons, MessageButtons::Ok);
    QCOMPARE(f.p().Folders().Dir1Path(), before);
    QCOMPARE(w.Dir1()->rootIndex(), tree);
    QCOMPARE(drives->currentIndex(), 1);  // the list still shows the failed volume
    QVERIFY(!w.Command8()->isEnabled());

    drives->setCurrentIndex(0);
    QCOMPARE(f.messages.shown.size(), std::size_t{1});
    QCOMPARE(f.p().Folders().Dir1Path(), QStringLiteral("/"));
    QVERIFY(w.Command8()->isEnabled());
  }

  void ChoosingAFolderInTheTreeMakesItTheScanFolder() {
    Tree tree;
    ProgramFixture f;
    MainWindow& w = f.w();
    f.p().Folders().SetDir1Path(tree.dir.path());
    auto* model = qobject_cast<FolderTreeModel*>(w.Dir1()->model());
    QVERIFY(model != nullptr);
    const QModelIndex sub1 = model->IndexOf(tree.dir.filePath(QStringLiteral("sub1")).toStdString());
    QVERIFY(sub1.isValid());
    w.Dir1()->setCurrentIndex(sub1);
    QCOMPARE(f.p().Folders().Dir1Path(), tree.dir.filePath(QStringLiteral("sub1")));
    Scan(f);
    QCOMPARE(w.List3()->Paths(), (Paths{tree.Path("sub1/e.jww"), tree.Path("sub1/deeper/f.JWW")}));
  }
};

QTEST_MAIN(FolderScanTest)
#include "folder_scan_test.moc"
