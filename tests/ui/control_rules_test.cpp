// The rules that keep the request consistent, driven by clicks as a user makes them: every
// row of the tick and untick tables of the range boxes, the pattern option and the page
// rule.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeView>

#include "tests/ui/window_fixture.h"
#include "ui/list_box.h"

using namespace dorvan::ui;
using namespace dorvan::ui::testing;

namespace {

enum class Options { Kept, UntickedOff, EnabledKept };
enum class Choice { ClearedOff, EnabledKept };

// What one row of a table leaves behind.
struct Row {
  int index;
  bool combo1Enabled;
  Options options;
  Choice combo2;
  Choice combo3;
  bool frame2Enabled;
};

void ExpectChoice(QComboBox* combo, Choice choice, int keptIndex, int index) {
  const QByteArray where = QByteArray("range ") + QByteArray::number(index) + " " + combo->objectName().toLatin1();
  if (choice == Choice::ClearedOff) {
    QVERIFY2(!combo->isEnabled(), where);
    QVERIFY2(combo->currentIndex() == -1, where);
    QVERIFY2(combo->currentText().isEmpty(), where);
  } else {
    QVERIFY2(combo->isEnabled(), where);
    QVERIFY2(combo->currentIndex() == keptIndex, where);
  }
}

// Leaves the start state's range 0 so that no range is ticked.
void UntickRangeZero(MainWindow& w) {
  ClickBox(w.Check3(0));
  QVERIFY(!w.Check3(0)->isChecked());
}

}  // namespace

class ControlRulesTest : public QObject {
  Q_OBJECT

 private slots:
  void TickingARangeLocksTheOthersAndSetsItsCompanions() {
    const Row rows[] = {
        {0, true, Options::Kept, Choice::ClearedOff, Choice::ClearedOff, false},
        {1, true, Options::Kept, Choice::ClearedOff, Choice::ClearedOff, false},
        {2, false, Options::UntickedOff, Choice::EnabledKept, Choice::ClearedOff, false},
        {3, false, Options::UntickedOff, Choice::ClearedOff, Choice::EnabledKept, false},
        {4, true, Options::Kept, Choice::ClearedOff, Choice::ClearedOff, false},
        {5, true, Options::Kept, Choice::ClearedOff, Choice::ClearedOff, false},
        {6, false, Options::UntickedOff, Choice::ClearedOff, Choice::ClearedOff, true},
        {7, true, Options::Kept, Choice::ClearedOff, Choice::ClearedOff, false},
    };
    for (const Row& row : rows) {
      WindowFixture f;
      MainWindow& w = f.w();
      UntickRangeZero(w);
      // Before: the two options ticked and both drop-down lists holding a choice.
      ClickBox(w.Check1());
      ClickBox(w.Check2());
      w.Combo2()->setCurrentIndex(5);
      w.Combo3()->setCurrentIndex(4);

      ClickBox(w.Check3(row.index));
      const QByteArray where = "range " + QByteArray::number(row.index);
      QVERIFY2(w.Check3(row.index)->isChecked() && w.Check3(row.index)->isEnabled(), where);
      for (int other = 0; other < 8; ++other) {
        if (other == row.index) continue;
        QVERIFY2(!w.Check3(other)->isChecked() && !w.Check3(other)->isEnabled(), where);
      }
      QVERIFY2(w.Combo1()->isEnabled() == row.combo1Enabled, where);
      if (row.options == Options::Kept) {
        QVERIFY2(w.Check1()->isEnabled() && w.Check2()->isEnabled() && w.Check4()->isEnabled(), where);
        QVERIFY2(w.Check1()->isChecked() && w.Check2()->isChecked() && !w.Check4()->isChecked(), where);
      } else {
        for (QCheckBox* option : {w.Check1(), w.Check2(), w.Check4()})
          QVERIFY2(!option->isEnabled() && !option->isChecked(), where);
      }
      ExpectChoice(w.Combo2(), row.combo2, 5, row.index);
      ExpectChoice(w.Combo3(), row.combo3, 4, row.index);
      QVERIFY2(w.Frame2()->isEnabled() == row.frame2Enabled, where);
    }
  }

  void UntickingARangeFreesTheOthers() {
    const Row rows[] = {
        {0, false, Options::Kept, Choice::EnabledKept, Choice::EnabledKept, true},
        {1, false, Options::Kept, Choice::EnabledKept, Choice::EnabledKept, true},
        {2, true, Options::EnabledKept, Choice::ClearedOff, Choice::ClearedOff, true},
        {3, true, Options::EnabledKept, Choice::ClearedOff, Choice::ClearedOff, true},
        {4, false, Options::Kept, Choice::EnabledKept, Choice::EnabledKept, true},
        {5, false, Options::Kept, Choice::EnabledKept, Choice::EnabledKept, true},
        {6, false, Options::EnabledKept, Choice::EnabledKept, Choice::EnabledKept, false},
        {7, false, Options::Kept, Choice::EnabledKept, Choice::EnabledKept, true},
    };
    for (const Row& row : rows) {
      WindowFixture f;
      MainWindow& w = f.w();
      UntickRangeZero(w);
      ClickBox(w.Check3(row.index));
      // Before: a text range with the pattern option ticked (which locks the two other
      // options); a value range with its companion chosen.
      if (row.options == Options::Kept) ClickBox(w.Check4());
      if (row.index == 2) w.Combo2()->setCurrentIndex(3);
      if (row.index == 3) w.Combo3()->setCurrentIndex(3);
      if (row.index == 6) ClickBox(w.Option2());

      ClickBox(w.Check3(row.index));
      const QByteArray where = "range " + QByteArray::number(row.index);
      for (int box = 0; box < 8; ++box)
        QVERIFY2(!w.Check3(box)->isChecked() && w.Check3(box)->isEnabled(), where);
      QVERIFY2(w.Combo1()->isEnabled() == row.combo1Enabled, where);
      if (row.options == Options::Kept) {
        QVERIFY2(!w.Check1()->isEnabled() && !w.Check2()->isEnabled(), where);
        QVERIFY2(w.Check4()->isEnabled() && w.Check4()->isChecked(), where);
      } else {
        for (QCheckBox* option : {w.Check1(), w.Check2(), w.Check4()})
          QVERIFY2(option->isEnabled() && !option->isChecked(), where);
      }
      // Ranges 2 and 3 cleared their list when ticked, so "kept" is nothing chosen.
      ExpectChoice(w.Combo2(), row.combo2, -1, row.index);
      ExpectChoice(w.Combo3(), row.combo3, -1, row.index);
      QVERIFY2(w.Frame2()->isEnabled() == row.frame2Enabled, where);
      // The dpi choice survives the frame being switched off and on.
      QVERIFY2(w.Option2()->isChecked() == (row.index == 6), where);
    }
  }

  void PatternOptionWithATextRangeUnticksAndLocks() {
    WindowFixture f;
    MainWindow& w = f.w();
    ClickBox(w.Check1());
    ClickBox(w.Check2());
    ClickBox(w.Check4());
    QVERIFY(!w.Check1()->isChecked() && !w.Check1()->isEnabled());
    QVERIFY(!w.Check2()->isChecked() && !w.Check2()->isEnabled());
    ClickBox(w.Check4());
    QVERIFY(w.Check1()->isEnabled() && !w.Check1()->isChecked());
    QVERIFY(w.Check2()->isEnabled() && !w.Check2()->isChecked());
    // The range boxes are never touched by the pattern option.
    QVERIFY(w.Check3(0)->isChecked());
    QVERIFY(!w.Check3(1)->isEnabled());
  }

  void PatternOptionWithoutARangeLocksButKeepsTicks() {
    WindowFixture f;
    MainWindow& w = f.w();
    ClickBox(w.Check1());
    ClickBox(w.Check2());
    UntickRangeZero(w);
    ClickBox(w.Check4());
    QVERIFY(w.Check1()->isChecked() && !w.Check1()->isEnabled());
    QVERIFY(w.Check2()->isChecked() && !w.Check2()->isEnabled());
    // Unticking it without a text range gives nothing back.
    ClickBox(w.Check4());
    QVERIFY(!w.Check1()->isEnabled() && !w.Check2()->isEnabled());
    ClickBox(w.Check4());
    // A text range gives all three back, ticks and all.
    ClickBox(w.Check3(0));
    for (QCheckBox* option : {w.Check1(), w.Check2(), w.Check4()})
      QVERIFY(option->isEnabled() && option->isChecked());
  }

  void PageRuleFollowsThePageNotTheList() {
    WindowFixture f;
    MainWindow& w = f.w();
    QVERIFY(w.List1()->count() == 0);
    ClickTab(w, 0);
    QCOMPARE(w.SSTab1()->currentIndex(), 0);
    for (QPushButton* button : {w.Command1(), w.Command4(), w.Command5()}) QVERIFY(!button->isEnabled());
    QVERIFY(w.List3()->isVisible() && w.Dir1()->isVisible() && !w.List1()->isVisible());
    ClickTab(w, 1);
    QCOMPARE(w.SSTab1()->currentIndex(), 1);
    // Back on the files page the buttons come on even with an empty target list.
    for (QPushButton* button : {w.Command1(), w.Command4(), w.Command5()}) QVERIFY(button->isEnabled());
    // A page number the control does not have changes nothing.
    w.SSTab1_Click(2);
    for (QPushButton* button : {w.Command1(), w.Command4(), w.Command5()}) QVERIFY(button->isEnabled());
    ClickTab(w, 0);
    for (QPushButton* button : {w.Command1(), w.Command4(), w.Command5()}) QVERIFY(!button->isEnabled());
  }

  void KeyboardSpaceTicksLikeAClick() {
    WindowFixture f;
    MainWindow& w = f.w();
    w.Check3(0)->setFocus();
    QTest::keyClick(w.Check3(0), Qt::Key_Space);
    QVERIFY(!w.Check3(0)->isChecked());
    QVERIFY(w.Check3(6)->isEnabled());
    QVERIFY(!w.Combo1()->isEnabled());
  }
};

QTEST_MAIN(ControlRulesTest)
#include "control_rules_test.moc"
