// What the found list offers after a run: each entry's matches as its tool tip, the
// context menu (open, folder, copy, the matches window), Ctrl+C and the CSV export.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QStringDecoder>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "tests/support/drawing_writer.h"
#include "tests/support/temp_folder.h"
#include "tests/ui/fake_services.h"
#include "tests/ui/window_fixture.h"
#include "ui/error_window.h"
#include "ui/found_list_menu.h"
#include "ui/found_matches.h"
#include "ui/list_box.h"
#include "ui/list_save_dialog.h"
#include "ui/main_window.h"
#include "ui/matches_window.h"

using namespace dorvan::ui;
using namespace dorvan::ui::testing;
using dorvan::testing::TempFolder;

namespace {

class FakeSaveDialog : public ListSaveDialog {
 public:
  QString ChooseSaveFile(QWidget*) override { return file; }
  QString file;
};

// A window that has searched two drawings for 図面: "a.jww" with twelve matching texts and
// one other, "b.jww" with one match.
struct SearchedWindow {
  TempFolder folder;
  FakeSaveDialog saveDialog;
  WindowFixture fixture{{.saveDialog = &saveDialog}};
  FakeMessageBoxes& messages = fixture.messages;
  FakeShell& shell = fixture.shell;
  MainWindow* window = fixture.window.get();
  std::string a, b;

  SearchedWindow() {
    dorvan::testing::DrawingRecipe many;
    for (int i = 1; i <= 12; ++i) many.texts.push_back(u"図面" + std::u16string(1, static_cast<char16_t>(u'@' + i)));
    many.texts.push_back(u"平面");
    a = folder.File("a.jww");
    dorvan::testing::WriteDrawingFile(a, many);
    dorvan::testing::DrawingRecipe one;
    one.texts = {u"図面番号, \"A\""};
    b = folder.File("b.jww");
    dorvan::testing::WriteDrawingFile(b, one);

    window->List1()->AddPath(b);
    window->List1()->AddPath(a);
    window->Combo1()->setEditText(QStringLiteral("図面"));
    window->Command6_Click();
  }

  QAction* MenuAction(const QString& text) {
    for (QAction* action : window->List2Menu()->Menu()->actions()) {
      if (action->text() == text) return action;
    }
    qFatal("no menu action %s", qPrintable(text));
  }
};

}  // namespace

class FoundListTest : public QObject {
  Q_OBJECT

 private slots:
  void ToolTipListsTheFirstTenMatches() {
    SearchedWindow s;
    ListBox* list = s.window->List2();
    QCOMPARE(list->Paths(), (std::vector<std::string>{s.a, s.b}));
    QStringList expected;
    for (char c = 'A'; c <= 'J'; ++c) expected << QStringLiteral("[図面] 0-0 (10.00, 20.00) 図面%1").arg(QChar(c));
    expected << QStringLiteral("…ほか 2 件");
    QCOMPARE(list->item(0)->toolTip(), expected.join(u'\n'));
    QCOMPARE(list->item(1)->toolTip(), QStringLiteral("[図面] 0-0 (10.00, 20.00) 図面番号, \"A\""));
  }

  void MenuAndCtrlCActOnTheSelectedEntries() {
    SearchedWindow s;
    ListBox* list = s.window->List2();
    list->item(0)->setSelected(true);
    list->item(1)->setSelected(true);
    list->setCurrentRow(1, QItemSelectionModel::NoUpdate);
    list->setFocus();
    QApplication::clipboard()->clear();
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QString::fromStdString(s.a + "\n" + s.b));
    QApplication::clipboard()->clear();
    s.MenuAction(QStringLiteral("パスをコピー"))->trigger();
    QCOMPARE(QApplication::clipboard()->text(), QString::fromStdString(s.a + "\n" + s.b));

    // The menu key brings the menu up where the list is.
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(5, 5), list->viewport()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(list->viewport(), &menuKey);
    QTRY_VERIFY(s.window->List2Menu()->Menu()->isVisible());
    s.window->List2Menu()->Menu()->hide();

    s.MenuAction(QStringLiteral("開く"))->trigger();
    s.MenuAction(QStringLiteral("フォルダを開く"))->trigger();  // one folder, opened once
    QCOMPARE(s.shell.requests.size(), std::size_t{3});
    QCOMPARE(s.shell.requests[0].file, s.a);
    QCOMPARE(s.shell.requests[1].file, s.b);
    QCOMPARE(s.shell.requests[2].file, s.folder.File("").substr(0, s.folder.File("").size() - 1));

    s.MenuAction(QStringLiteral("一致箇所を表示"))->trigger();
    MatchesWindow* matches = s.window->Matches();
    QVERIFY(matches != nullptr && matches->isVisible());
    QCOMPARE(matches->Table()->rowCount(), 1);
    QCOMPARE(matches->Table()->item(0, 3)->text(), QStringLiteral("図面番号, \"A\""));
    QVERIFY(!matches->Table()->accessibleName().isEmpty());
    QVERIFY(!matches->Table()->tabKeyNavigation());  // Tab leaves the table for "閉じる"

    // The error window's list offers what makes sense for a drawing that cannot be read.
    ErrorWindow errors(s.shell, s.messages);
    errors.AddPath(s.a);
    auto* menu = errors.List1()->findChild<ListContextMenu*>();
    QVERIFY(menu != nullptr);
    QStringList texts;
    for (QAction* action : menu->Menu()->actions()) texts << action->text();
    QCOMPARE(texts, (QStringList{QStringLiteral("開く"), QStringLiteral("フォルダを開く"), QStringLiteral("パスをコピー")}));

    // Opening more than ten drawings at once is asked first; No opens none.
    for (std::size_t i = 0; i < kOpenWithoutAsking; ++i) errors.AddPath(s.b);
    errors.List1()->setSelectionMode(QAbstractItemView::ExtendedSelection);
    errors.List1()->selectAll();
    s.messages.yesNoAnswers = {MessageAnswer::No};
    const std::size_t opened = s.shell.requests.size();
    menu->OpenSelected();
    QCOMPARE(s.messages.shown.back().text, QStringLiteral("11 個のファイルを開きますか？"));
    QCOMPARE(s.shell.requests.size(), opened);
  }

  void CsvExportReadsBackWithItsCharacters() {
    SearchedWindow s;
    s.saveDialog.file = QString::fromStdString(s.folder.File("found.csv"));
    s.MenuAction(QStringLiteral("一覧を保存…"))->trigger();
    QFile file(s.saveDialog.file);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray csv = file.readAll();
    QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(csv.mid(3)).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 1 + 12 + 1 + 1);  // heading, a's records, b's, the last line end
    QCOMPARE(lines[0], QStringLiteral("パス,範囲,場所,レイヤグループ,レイヤ,X,Y,文字"));
    QCOMPARE(lines[1], QString::fromStdString(s.a) + QStringLiteral(",データ内,図面,0,0,10,20,図面A"));
    QCOMPARE(lines[13], QString::fromStdString(s.b) + QStringLiteral(",データ内,図面,0,0,10,20,\"図面番号, \"\"A\"\"\""));
    QVERIFY(s.messages.shown.size() == 1);  // the result message only

    // A text a spreadsheet would run as a formula stays a text.
    dorvan::DrawingMatches formula;
    formula.Records.push_back({.Range = 0, .Text = u"=HYPERLINK(\"x\")", .LayerGroup = 0, .Layer = 0});
    formula.Total = 1;
    QVERIFY(QByteArray::fromStdString(FoundListCsv({{"/p.jww", &formula}}))
                .endsWith("/p.jww,データ内,図面,0,0,0,0,\"'=HYPERLINK(\"\"x\"\")\"\r\n"));

    // A path that is not UTF-8 is written as the window shows it, and the file stays UTF-8.
    const QByteArray shown = QByteArray::fromStdString(FoundListCsv({{"/\x90\x7d/\xff.jww", nullptr}}));
    QStringDecoder utf8(QStringDecoder::Utf8);
    QVERIFY(QString(utf8(shown)).contains(QStringLiteral("/図/\uFFFD.jww,")));
    QVERIFY(!utf8.hasError());

    // A file that cannot be written is reported, not passed over.
    s.saveDialog.file = QString::fromStdString(s.folder.File("missing/found.csv"));
    s.window->SaveFoundList();
    QCOMPARE(s.messages.shown.size(), std::size_t{2});
    QVERIFY(s.messages.shown.back().text.startsWith(QStringLiteral("一覧を保存できませんでした。")));
  }
};

QTEST_MAIN(FoundListTest)
#include "found_list_test.moc"
