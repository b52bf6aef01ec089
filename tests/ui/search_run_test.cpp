// The run button over drawings written for the test: found and nothing-found results with
// their questions, a refused request, unreadable drawings in the error window, Escape, the
// folder page, and a window that takes no input while a run goes on.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QInputMethodEvent>
#include <QTest>
#include <QTimer>
#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "tests/support/drawing_writer.h"
#include "tests/support/temp_folder.h"
#include "tests/search/search_fixtures.h"
#include "tests/ui/window_fixture.h"
#include "ui/error_window.h"
#include "ui/list_box.h"

using namespace dorvan::ui;
using namespace dorvan::ui::testing;
using dorvan::testing::DrawingRecipe;
using dorvan::testing::TempFolder;

namespace {

const QString kCaption = QStringLiteral("dorvan\u3000ver 1.5.0.5");

// A drawing with these texts and memo, written into the folder; returns its path.
std::string Drawing(const TempFolder& folder, const std::string& name, std::vector<std::u16string> texts,
                    std::u16string memo = u"") {
  DrawingRecipe recipe;
  recipe.texts = std::move(texts);
  recipe.memo = std::move(memo);
  const std::string path = folder.File(name);
  if (!dorvan::testing::WriteDrawingFile(path, recipe)) qFatal("cannot write %s", path.c_str());
  return path;
}

// A file that is no drawing at all.
std::string Garbage(const TempFolder& folder, const std::string& name) {
  const std::string path = folder.File(name);
  dorvan::testing::WriteBytesFile(path, "this is not a drawing");
  return path;
}

// A drawing cut off inside its header: a header read fails with the reader's message.
std::string BrokenHeader(const TempFolder& folder, const std::string& name) {
  DrawingRecipe recipe;
  recipe.memo = std::u16string(1, u'x');
  const std::string path = folder.File(name);
  dorvan::testing::WriteBytesFile(path, dorvan::testing::WriteDrawing(recipe).substr(0, 60));
  return path;
}

void Search(MainWindow& w, const QString& text) {
  // Typed text arrives as an input method would deliver Japanese: as a whole.
  w.Combo1()->setEditText(text);
  ClickButton(w.Command6());
}

std::vector<std::string> Selected(ListBox* list) {
  std::vector<std::string> selected;
  for (int row = 0; row < list->count(); ++row)
    if (list->item(row)->isSelected()) selected.push_back(list->PathAt(row));
  return selected;
}

// Runs `act` on the first modal window that comes up while the test waits in a run.
void WhenModalWindowShows(std::function<void(QWidget*)> act) {
  auto* poll = new QTimer;
  poll->setInterval(5);
  QObject::connect(poll, &QTimer::timeout, [poll, act] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) return;
    poll->stop();
    poll->deleteLater();
    act(modal);
  });
  poll->start();
}

// Every path is a drawing holding "図", handed over after `pause`: slept through (a slow
// disk) or spun through (drawings as fast as a warm cache gives them).
class PacedSource : public dorvan::DrawingSource {
 public:
  PacedSource(std::chrono::microseconds pause, bool spin) : pause_(pause), spin_(spin) {}
  bool Read(const std::string&, bool, dorvan::JwwDrawing& out, dorvan::ReaderMessages*) override {
    if (spin_) {
      const auto until = std::chrono::steady_clock::now() + pause_;
      while (std::chrono::steady_clock::now() < until) {
      }
    } else {
      std::this_thread::sleep_for(pause_);
    }
    out = dorvan::testing::MakeDrawing({u"図"});
    ++reads;
    return true;
  }
  std::atomic<int> reads{0};

 private:
  std::chrono::microseconds pause_;
  bool spin_;
};

bool HasFocus(QWidget* control) {
  QWidget* focus = QApplication::focusWidget();
  return focus != nullptr && (focus == control || control->isAncestorOf(focus));
}

}  // namespace

class SearchRunTest : public QObject {
  Q_OBJECT

 private slots:
  void FoundDrawingsAreListedAndCounted() {
    TempFolder folder;
    WindowFixture f;
    MainWindow& w = f.w();
    const std::string a = Drawing(folder, "a.jww", {u"図面番号"});
    const std::string b = Drawing(folder, "B.jww", {u"平面図"});
    const std::string c = Drawing(folder, "c.jww", {u"外構", u"詳細図面"});
    for (const std::string& path : {c, b, a}) w.List1()->AddPath(path);
    w.Combo1()->addItem(QStringLiteral("以前"));
    w.Combo1()->setCurrentIndex(-1);

    Search(w, QStringLiteral("図面"));
    QCOMPARE(w.List2()->Paths(), (std::vector<std::string>{a, c}));
    QCOMPARE(f.messages.shown.size(), std::size_t{1});
    const ShownMessage& shown = f.messages.shown[0];
    QCOMPARE(shown.title, kCaption);
    QCOMPARE(shown.text, QStringLiteral("【\u3000図面\u3000 】の存在するファイルを\u3000 2 個\u3000見つけました 。"));
    QCOMPARE(shown.icon, MessageIcon::Exclamation);
    QCOMPARE(shown.buttons, MessageButtons::Ok);
    // The search text went to the top of the history.
    QCOMPARE(w.Combo1()->itemText(0), QStringLiteral("図面"));
    QCOMPARE(w.Combo1()->itemText(1), QStringLiteral("以前"));
    QVERIFY(HasFocus(w.Combo1()));
    QVERIFY(w.ProgressBar1()->isHidden());
    QCOMPARE(w.ProgressBar1()->maximum(), 3);
    QVERIFY(Selected(w.List1()).empty());
    QCOMPARE(w.List2()->HorizontalExtent(), static_cast<int>(a.size()) * 6 + 12);
    QCOMPARE(w.LastEnding(), dorvan::RunEnding::Completed);
    QVERIFY(f.errorWindows.empty());
  }

  void ARepeatRunFromTheIndexShowsWhatTheFirstShowedAndAFailedIndexLeavesANote() {
    TempFolder folder;
    const std::string a = Drawing(folder, "a.jww", {u"図面番号"});
    const std::string broken = BrokenHeader(folder, "broken.jww");
    const QByteArray savedCache = qgetenv("XDG_CACHE_HOME");
    // The messages and error windows of two runs.
    struct Shown {
      QStringList messages;
      std::vector<QStringList> errorWindows;
    };
    auto twoRuns = [&](bool indexUsable, Shown& shown) {
      WindowFixture f;
      MainWindow& w = f.w();
      for (const std::string& path : {a, broken}) w.List1()->AddPath(path);
      for (int run = 0; run < 2; ++run) {
        Search(w, QStringLiteral("図面"));
        QCOMPARE(w.List2()->Paths(), std::vector<std::string>{a});
        QCOMPARE(w.IndexNote()->isVisible(), !indexUsable);
        // The reason in the window's language, not SQLite's.
        if (!indexUsable) QVERIFY(w.IndexNote()->toolTip().endsWith(QStringLiteral("索引のファイルを開けません。")));
      }
      for (const ShownMessage& message : f.messages.shown) shown.messages << message.text;
      shown.errorWindows = f.errorWindows;
    };
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(folder.File("cache")));
    Shown usable, unusable;
    twoRuns(true, usable);
    // A file where the index's folder should be: the index cannot be opened.
    folder.MakeFolder("unusable");
    dorvan::testing::WriteBytesFile(folder.File("unusable/dorvan"), "");
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(folder.File("unusable")));
    twoRuns(false, unusable);
    qputenv("XDG_CACHE_HOME", savedCache);
    QCOMPARE(usable.messages, unusable.messages);
    QCOMPARE(usable.errorWindows, unusable.errorWindows);
    QCOMPARE(usable.errorWindows.size(), std::size_t{2});
  }

  void NothingFoundAnsweredYesKeepsTheWindowReady() {
    TempFolder folder;
    WindowFixture f;
    MainWindow& w = f.w();
    w.List1()->AddPath(Drawing(folder, "a.jww", {u"平面図"}));
    w.List2()->AddPath("/old/result.jww");
    f.messages.yesNoAnswers = {MessageAnswer::Yes};
    Search(w, QStringLiteral("無い"));
    QCOMPARE(w.List2()->count(), 0);
    QCOMPARE(f.messages.shown.size(), std::size_t{1});
    QCOMPARE(f.messages.shown[0].text, QStringLiteral("【\u3000無い\u3000 】は、存在しません。もう一度実行しますか？。"));
    QCOMPARE(f.messages.shown[0].buttons, MessageButtons::YesNoOnly);
    QCOMPARE(f.messages.shown[0].icon, MessageIcon::Exclamation);
    QVERIFY(w.isVisible());
    QVERIFY(HasFocus(w.Combo1()));
    QCOMPARE(w.ProgressBar1()->value(), 0);
    QCOMPARE(w.Combo1()->currentIndex(), 0);
    QCOMPARE(w.Combo1()->currentText(), QStringLiteral("無い"));
  }

  void NothingFoundAnsweredNoClosesTheProgram() {
    TempFolder folder;
    WindowFixture f;
    MainWindow& w = f.w();
    QSignalSpy unloading(&w, &MainWindow::Unloading);
    w.List1()->AddPath(Drawing(folder, "a.jww", {u"平面図"}));
    f.messages.yesNoAnswers = {MessageAnswer::No};
    Search(w, QStringLiteral("無い"));
    QVERIFY(!w.isVisible());
    QCOMPARE(unloading.count(), 1);
  }

  void NothingFoundInAValueRangeAnsweredYesChangesNothing() {
    TempFolder folder;
    WindowFixture f;
    MainWindow& w = f.w();
    w.List1()->AddPath(Drawing(folder, "a.jww", {u"平面図"}));
    ClickBox(w.Check3(0));
    ClickBox(w.Check3(2));
    w.Combo2()->setCurrentIndex(5);  // "351"; the drawing is version 600
    f.messages.yesNoAnswers = {MessageAnswer::Yes};
    ClickButton(w.Command6());
    QCOMPARE(f.messages.shown.size(), std::size_t{1});
    QCOMPARE(f.messages.shown[0].text,
             QStringLiteral("ファイルバージョン【\u3000351\u3000 】は、存在しません。もう一度実行しますか？。"));
    QVERIFY(w.isVisible());
    QCOMPARE(w.Combo2()->currentIndex(), 5);
    QCOMPARE(w.Combo1()->count(), 0);
  }

  void RefusedRequestShowsOnlyItsOwnMessage() {
    TempFolder folder;
    WindowFixture f;
    MainWindow& w = f.w();
    w.List2()->AddPath("/old/result.jww");
    // No range ticked comes before the empty target list.
    ClickBox(w.Check3(0));
    ClickButton(w.Command6());
    QCOMPARE(f.messages.shown.size(), std::size_t{1});
    QCOMPARE(f.messages.shown[0].text, QStringLiteral("検索範囲の指定が不正です。"));
    QCOMPARE(f.messages.shown[0].icon, MessageIcon::Exclamation);
    QCOMPARE(f.messages.shown[0].buttons, MessageButtons::Ok);
    QCOMPARE(f.messages.shown[0].title, kCaption);
    QCOMPARE(w.List2()->count(), 0);
    QVERIFY(w.ProgressBar1()->isHidden());
    QCOMPARE(w.LastEnding(), dorvan::RunEnding::Refused);

    // An empty search text with a text range ticked moves the focus to the text.
    ClickBox(w.Check3(0));
    w.List1()->AddPath(Drawing(folder, "a.jww", {u"平面図"}));
    w.Command6()->setFocus();
    ClickButton(w.Command6());
    QCOMPARE(f.messages.shown.size(), std::size_t{2});
    QCOMPARE(f.messages.shown[1].text, QStringLiteral("対象文字が指定されていません。"));
    QVERIFY(HasFocus(w.Combo1()));
    QVERIFY(w.isVisible());
  }

  void UnreadableDrawingsAreShownBeforeTheResult() {
    TempFolder folder;
    WindowFixture f;
    MainWindow& w = f.w();
    const std::string second = Garbage(folder, "2.jww");
    const std::string first = Garbage(folder, "1.jww");
    w.List1()->AddPath(second);
    w.List1()->AddPath(first);
    std::vector<QString> events;
    QStringList errorEntries;
    QString errorCaption;
    w.SetErrorWindowPresenter([&](ErrorWindow& window) {
      events.push_back(QStringLiteral("error window"));
      errorCaption = window.windowTitle();
      for (int row = 0; row < window.List1()->count(); ++row) errorEntries << window.List1()->item(row)->text();
    });
    f.messages.onShow = [&](const ShownMessage& shown) { events.push_back(shown.text); };
    f.messages.yesNoAnswers = {MessageAnswer::Yes};
    Search(w, QStringLiteral("図面"));
    QCOMPARE(errorEntries, QStringList({QString::fromStdString(first), QString::fromStdString(second)}));
    QCOMPARE(errorCaption, kCaption);
    QCOMPARE(events.size(), std::size_t{2});
    QCOMPARE(events[0], QStringLiteral("error window"));
    QCOMPARE(events[1], QStringLiteral("【\u3000図面\u3000 】は、存在しません。もう一度実行しますか？。"));
  }

  void ErrorWindowOpensEntriesAndClosesWithItsButton() {
    TempFolder folder;
    WindowFixture f;
    MainWindow& w = f.w();
    const std::string broken = Garbage(folder, "broken.jww");
    w.List1()->AddPath(broken);
    w.List1()->AddPath(Drawing(folder, "good.jww", {u"図面"}));
    // The real modal window: the test looks at it while the run waits on it, then presses
    // "閉じる". Everything is compared afterwards, so a failure cannot leave it open.
    QString name, caption, heading, closeCaption;
    QSize size;
    QAbstractItemView::SelectionMode mode = QAbstractItemView::NoSelection;
    bool listFocused = false;
    bool openAfterDoubleClick = false;
    w.SetErrorWindowPresenter([](ErrorWindow& window) { window.exec(); });
    WhenModalWindowShows([&](QWidget* modal) {
      name = modal->objectName();
      caption = modal->windowTitle();
      size = modal->size();
      auto* window = qobject_cast<ErrorWindow*>(modal);
      if (window == nullptr) {
        modal->close();
        return;
      }
      heading = window->Label1()->text();
      mode = window->List1()->selectionMode();
      listFocused = window->focusWidget() == window->List1();
      const QRect entry = window->List1()->visualItemRect(window->List1()->item(0));
      QTest::mouseClick(window->List1()->viewport(), Qt::LeftButton, {}, entry.center());
      QTest::mouseDClick(window->List1()->viewport(), Qt::LeftButton, {}, entry.center());
      openAfterDoubleClick = window->isVisible();
      closeCaption = window->Command1()->text();
      ClickButton(window->Command1());
    });
    Search(w, QStringLiteral("図面"));
    QCOMPARE(name, QStringLiteral("dorvan_err_mes"));
    QCOMPARE(caption, kCaption);
    QCOMPARE(heading, QStringLiteral("読込エラーのファイル（ファイルが古いバージョンか、異常なデータが存在する等）"));
    QCOMPARE(size, QSize(449, 146));
    QCOMPARE(mode, QAbstractItemView::SingleSelection);
    QVERIFY(listFocused);
    QVERIFY(openAfterDoubleClick);
    QCOMPARE(closeCaption, QStringLiteral("閉じる"));
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QCOMPARE(f.shell.requests.size(), std::size_t{1});
    QCOMPARE(f.shell.requests[0].file, broken);
    QCOMPARE(f.shell.requests[0].showCommand, 3);
    // The result follows the closed window.
    QCOMPARE(f.messages.shown.size(), std::size_t{1});
    QVERIFY(f.messages.shown[0].text.contains(QStringLiteral(" 1 個")));
  }

  // Three targets for a memo search (header reads): 1 and 3 hold "x" in their memo, the
  // header of 2 is broken, so the reader stops the run with its message while on file 2.
  static std::array<std::string, 3> MemoTargetsWithBrokenMiddle(TempFolder& folder, MainWindow& w) {
    const std::string first = Drawing(folder, "1.jww", {}, u"x");
    const std::string broken = BrokenHeader(folder, "2.jww");
    const std::string third = Drawing(folder, "3.jww", {}, u"x");
    for (const std::string& path : {first, broken, third}) w.List1()->AddPath(path);
    ClickBox(w.Check3(0));
    ClickBox(w.Check3(1));
    return {first, broken, third};
  }

  // Escape pressed while file 2 of 3 is being read: file 2 is finished, file 3 is never
  // looked at, and what was found before stays.
  void EscapeCancelsBeforeTheNextFile() {
    TempFolder folder;
    WindowFixture f;
    MainWindow& w = f.w();
    const auto targets = MemoTargetsWithBrokenMiddle(folder, w);
    const std::string &first = targets[0], &broken = targets[1];
    f.messages.onShow = [&](const ShownMessage& shown) {
      if (shown.title == QStringLiteral("JwwDataRead")) QTest::keyClick(&w, Qt::Key_Escape);
    };
    Search(w, QStringLiteral("x"));
    QCOMPARE(f.messages.shown.size(), std::size_t{2});
    QCOMPARE(f.messages.shown[0].title, QStringLiteral("JwwDataRead"));
    QCOMPARE(f.messages.shown[0].icon, MessageIcon::None);
    QCOMPARE(f.messages.shown[1].text, QStringLiteral("キャンセルされました 。"));
    QCOMPARE(f.messages.shown[1].icon, MessageIcon::Stop);
    QCOMPARE(f.messages.shown[1].buttons, MessageButtons::Ok);
    QCOMPARE(f.messages.shown[1].title, kCaption);
    QCOMPARE(w.List2()->Paths(), std::vector<std::string>{first});
    // The broken drawing was finished: it is listed as unreadable, before the cancel.
    QCOMPARE(f.errorWindows.size(), std::size_t{1});
    QCOMPARE(f.errorWindows[0], QStringList{QString::fromStdString(broken)});
    QCOMPARE(w.LastEnding(), dorvan::RunEnding::Cancelled);
    QCOMPARE(w.ResultMessage(), QStringLiteral("キャンセルされました 。"));
    QVERIFY(Selected(w.List1()).empty());
    QVERIFY(w.ProgressBar1()->isHidden());
    QVERIFY(w.isVisible());
  }

  // Escape held down when the run starts stops it before the first file; once released,
  // the next run goes through.
  void EscapeAlreadyDownCancelsBeforeTheFirstFile() {
    TempFolder folder;
    WindowFixture f;
    MainWindow& w = f.w();
    w.List1()->AddPath(Drawing(folder, "a.jww", {u"図面"}));
    w.List1()->AddPath(Garbage(folder, "b.jww"));
    QTest::keyPress(&w, Qt::Key_Escape);
    Search(w, QStringLiteral("図面"));
    QCOMPARE(w.LastEnding(), dorvan::RunEnding::Cancelled);
    QVERIFY(w.List2()->Paths().empty());
    QVERIFY(f.errorWindows.empty());  // the unreadable drawing was never read
    QCOMPARE(f.messages.shown.back().text, QStringLiteral("キャンセルされました 。"));

    QTest::keyRelease(&w, Qt::Key_Escape);
    Search(w, QStringLiteral("図面"));
    QCOMPARE(w.LastEnding(), dorvan::RunEnding::Completed);
    QCOMPARE(w.List2()->count(), 1);
  }

  // Escape in the middle of a run stops it before the next drawing, whether the drawings
  // come slowly or as fast as they can; the found list fills while the run goes on.
  void EscapeInTheMiddleOfARunStopsItBeforeTheNextDrawing() {
    struct Pace {
      const char* name;
      std::chrono::microseconds pause;
      bool spin;
      int targets;
    };
    for (const Pace& pace : {Pace{"slow", std::chrono::milliseconds(20), false, 300},
                             Pace{"fast", std::chrono::microseconds(100), true, 6000}}) {
      PacedSource source(pace.pause, pace.spin);
      WindowServices services;
      services.drawings = &source;
      WindowFixture f(services);
      MainWindow& w = f.w();
      w.SetRunSettings({.ReadThreads = 1});
      for (int i = 0; i < pace.targets; ++i) w.List1()->AddPath("/d/" + std::to_string(i) + ".jww");
      int readsAtEscape = -1;
      int foundAtEscape = 0;
      QTimer watch;
      watch.setInterval(1);
      QObject::connect(&watch, &QTimer::timeout, [&] {
        if (readsAtEscape >= 0 || !w.Running() || w.List2()->count() < 3) return;
        readsAtEscape = source.reads.load();
        foundAtEscape = w.List2()->count();
        QTest::keyClick(&w, Qt::Key_Escape);
      });
      watch.start();
      Search(w, QStringLiteral("図"));
      QVERIFY2(readsAtEscape > 0, pace.name);
      QCOMPARE(w.LastEnding(), dorvan::RunEnding::Cancelled);
      // At most the drawing being read when Escape came is finished.
      QVERIFY2(source.reads.load() <= readsAtEscape + 1, pace.name);
      QVERIFY2(source.reads.load() < pace.targets, pace.name);
      QVERIFY2(foundAtEscape > 0, pace.name);
      QCOMPARE(w.List2()->count(), source.reads.load());
      QVERIFY(Selected(w.List1()).empty());
    }
  }

  // While the run waits on a reader message, clicks and typing on the window do nothing.
  void WindowTakesNoInputDuringARun() {
    TempFolder folder;
    WindowFixture f;
    MainWindow& w = f.w();
    const auto targets = MemoTargetsWithBrokenMiddle(folder, w);
    const std::string &first = targets[0], &broken = targets[1], &third = targets[2];
    bool sawRun = false;
    f.messages.onShow = [&](const ShownMessage& shown) {
      if (shown.title != QStringLiteral("JwwDataRead")) return;
      sawRun = w.Running();
      QVERIFY(w.ProgressBar1()->isVisible());
      // The file being read is highlighted; the one before it goes once this one is done.
      QCOMPARE(Selected(w.List1()), (std::vector<std::string>{first, broken}));
      ClickButton(w.Command3());        // would empty the found list
      ClickBox(w.Check3(1));            // would untick the range
      QTest::keyClicks(w.Combo1()->lineEdit(), "zz");
      // Japanese committed by an input method arrives as one event, not as key presses.
      QInputMethodEvent committed;
      committed.setCommitString(QStringLiteral("図面"));
      QCoreApplication::sendEvent(w.Combo1()->lineEdit(), &committed);
      w.close();                        // the close box
    };
    Search(w, QStringLiteral("x"));
    QVERIFY(sawRun);
    QVERIFY(!w.Running());
    QCOMPARE(w.List2()->Paths(), (std::vector<std::string>{first, third}));
    QVERIFY(w.Check3(1)->isChecked());
    QCOMPARE(w.Combo1()->currentText(), QStringLiteral("x"));
    QVERIFY(w.isVisible());
  }

  void FolderPageSearchesTheFolderListOnly() {
    TempFolder folder;
    WindowFixture f;
    MainWindow& w = f.w();
    const std::string inFolder = Drawing(folder, "z.jww", {u"図面"});
    const std::string alsoInFolder = Drawing(folder, "a.jww", {u"図面"});
    const std::string chosen = Drawing(folder, "m.jww", {u"図面"});
    w.List3()->AddPath(inFolder);
    w.List3()->AddPath(alsoInFolder);
    w.List1()->AddPath(chosen);
    ClickTab(w, 0);
    QSignalSpy folderSelections(w.List3(), &QListWidget::itemSelectionChanged);
    QSignalSpy targetSelections(w.List1(), &QListWidget::itemSelectionChanged);
    Search(w, QStringLiteral("図面"));
    QCOMPARE(w.List2()->Paths(), (std::vector<std::string>{alsoInFolder, inFolder}));
    QVERIFY(folderSelections.count() > 0);
    QCOMPARE(targetSelections.count(), 0);
    QVERIFY(Selected(w.List3()).empty());
    QCOMPARE(w.List1()->Paths(), std::vector<std::string>{chosen});

    // The folder page with an empty folder list refuses, whatever the target list holds.
    w.List3()->clear();
    ClickButton(w.Command6());
    QCOMPARE(f.messages.shown.back().text, QStringLiteral("ファイルが選択されていません。"));
  }

  void MalformedPatternIsReportedOnce() {
    TempFolder folder;
    WindowFixture f;
    MainWindow& w = f.w();
    w.List1()->AddPath(Drawing(folder, "a.jww", {u"図面"}));
    ClickBox(w.Check4());
    Search(w, QStringLiteral("(図面"));
    QCOMPARE(f.messages.shown.size(), std::size_t{1});
    QCOMPARE(f.messages.shown[0].icon, MessageIcon::Exclamation);
    QCOMPARE(f.messages.shown[0].buttons, MessageButtons::Ok);
    QCOMPARE(w.LastEnding(), dorvan::RunEnding::MalformedPattern);
    QVERIFY(w.isVisible());
  }

  void DrawingsThePatternCannotDecideAreListedWithTheirReason() {
    TempFolder folder;
    WindowFixture f;
    MainWindow& w = f.w();
    // PCRE2 gives up on the run of Ａ before it reaches the Ｃ.
    const std::string path = Drawing(folder, "a.jww", {std::u16string(30, u'Ａ') + u"Ｃ"});
    w.List1()->AddPath(path);
    ClickBox(w.Check4());
    f.messages.yesNoAnswers = {MessageAnswer::Yes};
    Search(w, QStringLiteral("Ｃ|(Ａ|Ａ)+$"));
    QCOMPARE(f.errorWindows.size(), std::size_t{1});
    QCOMPARE(f.errorWindows[0], QStringList({QString::fromStdString(path) + QStringLiteral("\u3000（") +
                                             ErrorWindow::UndecidedReason() + QStringLiteral("）")}));
  }
};

QTEST_MAIN(SearchRunTest)
#include "search_run_test.moc"
