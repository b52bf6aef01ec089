// The main window as it opens: its controls, places, captions, initial state and keyboard
// order, and the list boxes' order and scroll extent.
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QDebug>
#include <QTest>
#include <QTreeView>

#include "tests/ui/window_fixture.h"
#include "ui/message_window.h"
#include "ui/list_box.h"

using namespace dorvan::ui;
using namespace dorvan::ui::testing;

namespace {

QRect Px(int left, int top, int width, int height) {
  return QRect(qRound(left / 15.0), qRound(top / 15.0), qRound(width / 15.0), qRound(height / 15.0));
}

QString TextOf(QWidget* widget) {
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  if (auto* box = qobject_cast<QGroupBox*>(widget)) return box->title();
  return QString();
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void WindowIsFixedWithItsCaption() {
    WindowFixture f;
    MainWindow& w = f.w();
    QCOMPARE(w.objectName(), QStringLiteral("dorvan"));
    QCOMPARE(w.windowTitle(), QStringLiteral("dorvan\u3000ver 1.5.0.5"));
    QCOMPARE(w.size(), QSize(713, 584));
    QCOMPARE(w.minimumSize(), QSize(713, 584));
    QCOMPARE(w.maximumSize(), QSize(713, 584));
    QVERIFY(w.windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
  }

  void TabsShareTheRowInHalves() {
    WindowFixture f;
    QTabBar* bar = f.w().SSTab1()->tabBar();
    const int width = f.w().SSTab1()->width();
    QCOMPARE(bar->tabRect(0).width(), width / 2);
    QCOMPARE(bar->tabRect(1).width(), width - width / 2);
    QCOMPARE(bar->tabRect(1).left(), bar->tabRect(0).right() + 1);
  }

  // Every control by name, at its place in its container, with its caption.
  void ControlsSitAtTheirPlacesWithTheirCaptions() {
    WindowFixture f;
    MainWindow& w = f.w();
    struct Control {
      const char* name;
      QRect place;
      const char* caption;  // null: no caption to compare
    };
    const Control onWindow[] = {
        {"Label2", Px(180, 90, 3870, 165), "対象ファイル\u3000（エクスプローラーからドラックも可)"},
        {"Command1", Px(4320, 60, 1305, 330), "ファイル選択"},
        {"Command5", Px(5760, 60, 1035, 315), "選択クリア"},
        {"Command4", Px(6930, 60, 1080, 315), "ALL クリア"},
        {"SSTab1", Px(165, 465, 7995, 4545), nullptr},
        {"Label1", Px(195, 5145, 1140, 240), "検索文字指定"},
        {"Check1", Px(1455, 5145, 1095, 240), "単語検索"},
        {"Check2", Px(2625, 5145, 1590, 240), "大文字小文字別"},
        {"Check4", Px(4470, 5145, 1035, 240), "正規表現"},
        {"Combo1", Px(165, 5400, 7995, 300), nullptr},
        {"Label3", Px(180, 5820, 4545, 165), "該当ファイル（ファイルをダブルクリックすると実行します）"},
        {"Command2", Px(4920, 5745, 1035, 315), "選択クリア"},
        {"Command3", Px(6045, 5745, 1080, 315), "ALL クリア"},
        {"List2", Px(165, 6150, 7995, 2220), nullptr},
        {"Frame1", Px(8280, 105, 2280, 5235), "検索範囲の指定"},
        {"Command9", Px(8310, 6195, 2295, 795), "検索対象のファイルをクリアして、見つけたファイルを検索対象にする。"},
        {"Command6", Px(8580, 8295, 945, 315), "実\u3000行"},
        {"Command7", Px(9615, 8295, 945, 315), "終\u3000了"},
        {"ProgressBar1", Px(150, 8490, 8040, 150), nullptr},
    };
    const Control inFrame1[] = {
        {"Check3_0", Px(195, 210, 1485, 255), "データ内"},
        {"Check3_1", Px(195, 616, 855, 255), "メモ欄"},
        {"Check3_2", Px(195, 1022, 1800, 255), "ファイルバージョン"},
        {"Combo2", Px(480, 1428, 1605, 300), nullptr},
        {"Check3_3", Px(195, 1879, 1920, 255), "図面サイズ"},
        {"Combo3", Px(480, 2285, 1605, 300), nullptr},
        {"Check3_4", Px(195, 2736, 1845, 255), "レイヤグループ名"},
        {"Check3_5", Px(195, 3142, 1815, 255), "レイヤ名"},
        {"Check3_7", Px(195, 3548, 1815, 255), "ブロック名"},
        {"Check3_6", Px(195, 3960, 1920, 435), "印刷時における既定線色の線幅の基準値"},
        {"Frame2", Px(480, 4380, 1620, 750), ""},
    };
    const Control inFrame2[] = {
        {"Option1", Px(150, 180, 1050, 180), "300 dpi"},
        {"Option2", Px(150, 465, 1005, 240), "600 dpi"},
    };
    const Control onTabControl[] = {
        {"Drive1", Px(120, 405, 2955, 300), nullptr},
        {"Check16", Px(3120, 435, 2325, 255), "サブフォルダまで含める。"},
        {"Command8", Px(5550, 390, 1515, 345), "ファイル検索"},
        {"Dir1", Px(120, 765, 7770, 1560), nullptr},
        {"List3", Px(120, 2385, 7770, 2040), nullptr},
        {"List1", Px(120, 405, 7815, 4020), nullptr},
    };
    auto check = [&w](const Control& control, QWidget* container) {
      auto* widget = w.findChild<QWidget*>(QString::fromLatin1(control.name));
      QVERIFY2(widget != nullptr, control.name);
      const QRect place(widget->mapTo(container, QPoint(0, 0)), widget->size());
      QVERIFY2(place == control.place, control.name);
      if (control.caption != nullptr) QCOMPARE(TextOf(widget), QString::fromUtf8(control.caption));
    };
    for (const Control& control : onWindow) check(control, &w);
    for (const Control& control : inFrame1) check(control, w.Frame1());
    for (const Control& control : inFrame2) check(control, w.Frame2());
    // The page controls' places count from the tab control's corner, tab row included.
    for (const Control& control : onTabControl) check(control, w.SSTab1());
    QCOMPARE(w.SSTab1()->count(), 2);
    QCOMPARE(w.SSTab1()->tabText(0), QStringLiteral("フォルダ指定"));
    QCOMPARE(w.SSTab1()->tabText(1), QStringLiteral("ファイル指定"));
    for (int i = 0; i < 8; ++i) QCOMPARE(w.Check3(i)->objectName(), QStringLiteral("Check3_%1").arg(i));
  }

  // Every caption shows whole in its place: the main window's, the error window's heading
  // (its closing "等）" was cut off) and the message window's.
  void CaptionsShowWhole() {
    WindowFixture f;
    ErrorWindow errors(f.shell, f.messages, &f.w());
    std::atomic<bool> cancel{false};
    MessageWindow message(cancel, &f.w());
    for (QWidget* window : std::initializer_list<QWidget*>{&f.w(), &errors, &message}) {
      for (QLabel* label : window->findChildren<QLabel*>()) {
        if (label->wordWrap() || label->text().isEmpty()) continue;
        QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(label->text()));
      }
      for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        if (button->text().isEmpty() || button->inherits("dorvan::ui::WrappingPushButton") ||
            button->inherits("dorvan::ui::WrappingCheckBox"))
          continue;
        // The text itself, beside the box of a check box or an option button.
        const bool boxed = qobject_cast<QPushButton*>(button) == nullptr;
        const int room = button->width() - (boxed ? button->style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                                                        button->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing)
                                                  : 4);
        QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) <= room, qPrintable(button->text()));
      }
    }
  }

  // The version and size lists are told apart by screen readers, not both by the frame.
  void RangeListsHaveTheirOwnNames() {
    WindowFixture f;
    const auto name = [](QWidget* control) { return QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name); };
    QCOMPARE(name(f.w().Combo2()), QStringLiteral("ファイルバージョン"));
    QCOMPARE(name(f.w().Combo3()), QStringLiteral("図面サイズ"));
  }

  void StartsAsOneConsistentRequest() {
    WindowFixture f;
    MainWindow& w = f.w();
    QCOMPARE(w.SSTab1()->currentIndex(), 1);
    QVERIFY(w.List1()->isVisible());
    QVERIFY(!w.List3()->isVisible());
    QVERIFY(w.Check3(0)->isChecked() && w.Check3(0)->isEnabled());
    for (int i = 1; i < 8; ++i) {
      QVERIFY(!w.Check3(i)->isChecked());
      QVERIFY(!w.Check3(i)->isEnabled());
    }
    QVERIFY(w.Combo1()->isEnabled());
    QVERIFY(w.Combo1()->isEditable());
    QVERIFY(w.Combo1()->currentText().isEmpty());
    for (QCheckBox* option : {w.Check1(), w.Check2(), w.Check4()}) {
      QVERIFY(option->isEnabled());
      QVERIFY(!option->isChecked());
    }
    for (QComboBox* list : {w.Combo2(), w.Combo3()}) {
      QVERIFY(!list->isEnabled());
      QVERIFY(!list->isEditable());
      QCOMPARE(list->currentIndex(), -1);
      QVERIFY(list->currentText().isEmpty());
    }
    QVERIFY(!w.Frame2()->isEnabled());
    QVERIFY(w.Option1()->isChecked());
    QVERIFY(!w.Option2()->isChecked());
    QVERIFY(w.Check16()->isChecked());
    // The target-list buttons are off although the files page is in front.
    for (QPushButton* off : {w.Command1(), w.Command4(), w.Command5()}) QVERIFY(!off->isEnabled());
    for (QPushButton* on : {w.Command2(), w.Command3(), w.Command6(), w.Command7(), w.Command8(), w.Command9()})
      QVERIFY(on->isEnabled());
    QVERIFY(w.ProgressBar1()->isHidden());
    QCOMPARE(w.ProgressBar1()->minimum(), 0);
    QCOMPARE(w.ProgressBar1()->maximum(), 100);
    QCOMPARE(w.ProgressBar1()->value(), 0);
    QCOMPARE(w.Command6()->toolTip(), QStringLiteral("ESCキーで中断します。"));
    const char* tips[8] = {"", "一部を含むケース", "完全に一致するケース", "", "完全に一致するケース",
                           "一部を含むケース", "", "一部を含むケース"};
    for (int i = 0; i < 8; ++i) QCOMPARE(w.Check3(i)->toolTip(), QString::fromUtf8(tips[i]));
    for (ListBox* list : {w.List1(), w.List2(), w.List3()}) {
      QCOMPARE(list->selectionMode(), QAbstractItemView::ExtendedSelection);
      QCOMPARE(list->count(), 0);
    }
  }

  void DropDownListsOfferTheirItemsAndNoTypedText() {
    WindowFixture f;
    MainWindow& w = f.w();
    QStringList versions;
    for (int i = 0; i < w.Combo2()->count(); ++i) versions << w.Combo2()->itemText(i);
    QCOMPARE(versions, QStringList({"220", "223", "225", "230", "300", "351", "420", "600", "700"}));
    QStringList sizes;
    for (int i = 0; i < w.Combo3()->count(); ++i) sizes << w.Combo3()->itemText(i);
    QCOMPARE(sizes, QStringList({"A0", "A1", "A2", "A3", "A4", "2A", "3A", "4A", "5A", "10m", "50m", "100m"}));

    // Typing into an enabled drop-down list only jumps between its items.
    ClickBox(w.Check3(0));
    ClickBox(w.Check3(3));
    w.Combo3()->setFocus();
    QTest::keyClicks(w.Combo3(), "zz");
    QCOMPARE(w.Combo3()->count(), 12);
    QVERIFY(w.Combo3()->currentIndex() == -1 || sizes.contains(w.Combo3()->currentText()));
  }

  // The keyboard order of the window, over the controls that take the focus.
  void FocusMovesInTheWindowsOrder() {
    WindowFixture f;
    MainWindow& w = f.w();
    const QStringList expected = {
        "Command4", "Command5", "Command6", "Command7", "Command1", "Check1",   "Check2",
        "List2",    "Command2", "Command3", "Combo1",   "Combo3",   "Check3_3", "Check3_5",
        "Check3_4", "Combo2",   "Check3_2", "Check3_0", "Check3_1", "Check3_6", "Option1",
        "Option2",  "Check3_7", "Check4",   "SSTab1",   "List1",    "Command8", "Check16",
        "List3",    "Drive1",   "Dir1",     "Command9"};
    // The chain holds the inner parts of compound controls too (the tab row, the text
    // field of the combo box, scroll bars); each control counts once, under its name.
    QStringList order;
    QWidget* widget = w.Command4();
    for (int steps = 0; steps < 500; ++steps) {
      QWidget* named = widget;
      while (named != nullptr && named != &w && !expected.contains(named->objectName()))
        named = named->parentWidget();
      if (named != nullptr && named != &w && (order.isEmpty() || order.last() != named->objectName()) &&
          !order.contains(named->objectName()))
        order << named->objectName();
      widget = widget->nextInFocusChain();
      if (widget == w.Command4()) break;
    }
    if (order != expected) qWarning() << order;
    QCOMPARE(order, expected);
  }

  void SortedListsIgnoreCaseAndAdmitDuplicates() {
    WindowFixture f;
    MainWindow& w = f.w();
    for (const char* name : {"b.jww", "A.jww", "c.jww", "a.JWW"}) {
      w.List1()->AddPath(name);
      w.List3()->AddPath(name);
    }
    QCOMPARE(w.List1()->Paths(), (std::vector<std::string>{"A.jww", "a.JWW", "b.jww", "c.jww"}));
    QCOMPARE(w.List3()->Paths(), (std::vector<std::string>{"b.jww", "A.jww", "c.jww", "a.JWW"}));
    w.List2()->AddPath("x.jww");
    w.List2()->AddPath("X.jww");
    QCOMPARE(w.List2()->count(), 2);
    // A path that is not UTF-8 comes back byte for byte.
    const std::string latin1 = "/tmp/pl\xe4n.jww";
    const int row = w.List2()->AddPath(latin1);
    QCOMPARE(w.List2()->PathAt(row), latin1);
  }

  void HorizontalExtentSetsTheScrollRange() {
    WindowFixture f;
    ListBox* list = f.w().List2();
    list->AddPath("/a.jww");
    const int visible = list->viewport()->width();
    list->SetHorizontalExtent(visible + 300);
    QCOMPARE(list->horizontalScrollBar()->maximum(), 300);
    list->SetHorizontalExtent(visible - 10);
    QCOMPARE(list->horizontalScrollBar()->maximum(), 0);
    // The window's trackers give the extent of the longest entry: 6 pixels a byte and 12.
    MainWindow& w = f.w();
    w.List2Extent().AddEntry(std::string(200, 'x'));
    w.ApplyExtent(w.List2(), w.List2Extent());
    QCOMPARE(list->HorizontalExtent(), 200 * 6 + 12);
    QCOMPARE(list->horizontalScrollBar()->maximum(), 200 * 6 + 12 - visible);
  }

  void EntriesWiderThanANarrowExtentLeaveTheScrollBarAtRest() {
    // The list's own layout would show the bar for the wide entry, the extent hides it: the
    // two once took turns for ever and froze the window.
    WindowFixture f;
    ListBox* list = f.w().List2();
    list->AddPath("/" + std::string(400, 'x') + ".jww");
    list->SetHorizontalExtent(list->viewport()->width() - 10);
    int shown = 0;
    for (int round = 0; round < 20; ++round) {
      QCoreApplication::processEvents();
      shown += list->horizontalScrollBar()->isVisible() ? 1 : 0;
    }
    QCOMPARE(shown, 0);
  }

  void FoundListButtonsClearSelectedOrAll() {
    WindowFixture f;
    MainWindow& w = f.w();
    for (const char* name : {"a.jww", "b.jww", "c.jww", "d.jww"}) w.List2()->AddPath(name);
    w.List2()->item(1)->setSelected(true);
    w.List2()->item(3)->setSelected(true);
    ClickButton(w.Command2());
    QCOMPARE(w.List2()->Paths(), (std::vector<std::string>{"a.jww", "c.jww"}));
    w.List1()->AddPath("t.jww");
    ClickButton(w.Command3());
    QCOMPARE(w.List2()->count(), 0);
    QCOMPARE(w.List1()->count(), 1);
    QVERIFY(!w.Command4()->isEnabled());
  }

  void DoubleClickOpensTheFoundDrawingMaximised() {
    WindowFixture f;
    MainWindow& w = f.w();
    w.List2()->AddPath("/drawings/a.jww");
    w.List2()->AddPath("/drawings/b.jww");
    const QRect second = w.List2()->visualItemRect(w.List2()->item(1));
    QTest::mouseClick(w.List2()->viewport(), Qt::LeftButton, {}, second.center());
    QTest::mouseDClick(w.List2()->viewport(), Qt::LeftButton, {}, second.center());
    QCOMPARE(f.shell.requests.size(), std::size_t{1});
    QCOMPARE(f.shell.requests[0].file, std::string("/drawings/b.jww"));
    QCOMPARE(f.shell.requests[0].showCommand, 3);
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
