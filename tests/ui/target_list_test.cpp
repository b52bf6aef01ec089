// Drawings entering and leaving the target list: drops on either list, the file dialog, the
// two clear buttons and the hand-over of the found drawings.
#include <QPushButton>
#include <QTest>

#include "tests/ui/program_fixture.h"
#include "ui/target_list.h"

using namespace dorvan::ui;
using namespace dorvan::ui::testing;
using Paths = std::vector<std::string>;

class TargetListTest : public QObject {
  Q_OBJECT

 private slots:
  void DropAppendsOnlyDrawingsAndMeasuresEveryName() {
    ProgramFixture f;
    MainWindow& w = f.w();
    const auto drag = FileDrag({"/d/a.JWW", "/d/b.jww", "/d/c.txt", "/d/long-name-d.jww.gz"});
    QVERIFY(DropOn(w.List1(), *drag));
    QCOMPARE(w.List1()->Paths(), (Paths{"/d/a.JWW", "/d/b.jww"}));
    // The refused compressed drawing is the longest name: 21 bytes, 6 pixels each, and 12.
    QCOMPARE(w.List1()->HorizontalExtent(), 21 * 6 + 12);
    QVERIFY(w.Command1()->isEnabled());
    QVERIFY(w.Command4()->isEnabled());
    QVERIFY(w.Command5()->isEnabled());
    // The same files again: duplicates are admitted.
    QVERIFY(DropOn(w.List1(), *drag));
    QCOMPARE(w.List1()->Paths(), (Paths{"/d/a.JWW", "/d/a.JWW", "/d/b.jww", "/d/b.jww"}));
  }

  void DropOnTheFoundListFillsTheTargetList() {
    ProgramFixture f;
    MainWindow& w = f.w();
    w.List2()->AddPath("/found/x.jww");
    QVERIFY(DropOn(w.List2(), *FileDrag({"/d/b.jww", "/d/A.jww"})));
    QCOMPARE(w.List1()->Paths(), (Paths{"/d/A.jww", "/d/b.jww"}));
    QCOMPARE(w.List2()->Paths(), (Paths{"/found/x.jww"}));
  }

  void DropOfRefusedNamesLeavesTheTargetButtonsOff() {
    ProgramFixture f;
    MainWindow& w = f.w();
    QVERIFY(DropOn(w.List1(), *FileDrag({"/d/c.txt", "/d/d.jww.gz"})));
    QCOMPARE(w.List1()->count(), 0);
    QVERIFY(!w.Command1()->isEnabled());  // as it was
    QVERIFY(!w.Command4()->isEnabled());
    QVERIFY(!w.Command5()->isEnabled());
  }

  void OnlyAFileListIsOfferedACopy() {
    ProgramFixture f;
    MainWindow& w = f.w();
    QMimeData text;
    text.setText(QStringLiteral("/d/a.jww"));
    const QPoint at = w.List1()->viewport()->rect().center();
    QDragEnterEvent refused(at, Qt::CopyAction | Qt::MoveAction, &text, Qt::LeftButton, {});
    QCoreApplication::sendEvent(w.List1()->viewport(), &refused);
    QVERIFY(!refused.isAccepted());
    QVERIFY(!DropOn(w.List1(), text));
    QCOMPARE(w.List1()->count(), 0);

    const auto files = FileDrag({"/d/a.jww"});
    QDragEnterEvent offered(at, Qt::CopyAction | Qt::MoveAction, files.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(w.List1()->viewport(), &offered);
    QVERIFY(offered.isAccepted());
    QCOMPARE(offered.dropAction(), Qt::CopyAction);
  }

  void DialogAppendsEveryChosenFileAndACancelNothing() {
    ProgramFixture f;
    MainWindow& w = f.w();
    // "ファイル選択" is off at start; a round trip over the pages turns it on.
    ClickTab(w, 0);
    ClickTab(w, 1);
    f.dialog.choices = {{"/x/b.jww", "/x/A.jww", "/x/plan.jww.gz"}};
    ClickButton(w.Command1());
    QCOMPARE(f.dialog.opened, 1);
    // No name test on this path: the dialog's filter was the only one.
    QCOMPARE(w.List1()->Paths(), (Paths{"/x/A.jww", "/x/b.jww", "/x/plan.jww.gz"}));
    QCOMPARE(w.List1()->HorizontalExtent(), 14 * 6 + 12);

    ClickButton(w.Command1());
    QCOMPARE(f.dialog.opened, 2);
    QCOMPARE(w.List1()->count(), 3);
    // The extent still covers the entries in the list after the cancel.
    QCOMPARE(w.List1()->HorizontalExtent(), 14 * 6 + 12);
  }

  void CancelledDialogOnAnEmptyListLeavesTheMargin() {
    ProgramFixture f;
    f.p().Targets().Command1_Click();
    QCOMPARE(f.w().List1()->count(), 0);
    QCOMPARE(f.w().List1()->HorizontalExtent(), 12);
  }

  void ClearButtonsEmptyTheTargetList() {
    ProgramFixture f;
    MainWindow& w = f.w();
    QVERIFY(DropOn(w.List1(), *FileDrag({"/d/a.jww", "/d/b.jww", "/d/c.jww", "/d/d.jww"})));
    w.List1()->item(1)->setSelected(true);
    w.List1()->item(3)->setSelected(true);
    ClickButton(w.Command5());
    QCOMPARE(w.List1()->Paths(), (Paths{"/d/a.jww", "/d/c.jww"}));
    QVERIFY(w.Command5()->isEnabled());

    // Every entry selected: the list empties and only "ファイル選択" stays on.
    w.List1()->selectAll();
    ClickButton(w.Command5());
    QCOMPARE(w.List1()->count(), 0);
    QVERIFY(w.Command1()->isEnabled());
    QVERIFY(!w.Command4()->isEnabled());
    QVERIFY(!w.Command5()->isEnabled());

    QVERIFY(DropOn(w.List1(), *FileDrag({"/d/a.jww", "/d/b.jww"})));
    w.List2()->AddPath("/found/x.jww");
    ClickButton(w.Command4());
    QCOMPARE(w.List1()->count(), 0);
    QCOMPARE(w.List2()->count(), 1);
    QVERIFY(w.Command1()->isEnabled());
    QVERIFY(!w.Command4()->isEnabled());
    QVERIFY(!w.Command5()->isEnabled());
  }

  void FoundDrawingsBecomeTheTargets() {
    ProgramFixture f;
    MainWindow& w = f.w();
    // Nothing found: nothing changes.
    QVERIFY(DropOn(w.List1(), *FileDrag({"/d/old.jww"})));
    ClickButton(w.Command9());
    QCOMPARE(w.List1()->Paths(), (Paths{"/d/old.jww"}));

    const std::string longest = "/found/" + std::string(80, 'z') + ".jww";
    for (const std::string& path : {std::string("/found/b.jww"), longest, std::string("/found/A.jww")}) {
      w.List2()->AddPath(path);
    }
    ClickTab(w, 0);  // the buttons go off with the page; the hand-over turns them on
    ClickButton(w.Command9());
    QCOMPARE(w.List1()->Paths(), (Paths{"/found/A.jww", "/found/b.jww", longest}));
    QCOMPARE(w.List2()->count(), 3);
    QVERIFY(w.Command1()->isEnabled());
    QVERIFY(w.Command4()->isEnabled());
    QVERIFY(w.Command5()->isEnabled());
    QCOMPARE(w.SSTab1()->currentIndex(), 0);
    // No handed-over path is cut off at the end of the scroll range.
    QCOMPARE(w.List1()->HorizontalExtent(), static_cast<int>(longest.size()) * 6 + 12);
  }
};

QTEST_MAIN(TargetListTest)
#include "target_list_test.moc"
