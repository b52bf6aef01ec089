// Start-up and shut-down: the history and the command-line drawings at start, the refused
// start without the gzip layer, the two ways out (only "終　了" keeps the history), and one
// running copy per user.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <thread>

#include "tests/ui/program_fixture.h"
#include "ui/folder_page.h"
#include "ui/folder_scan.h"
#include "ui/message_window.h"
#include "ui/single_instance.h"

using namespace dorvan::ui;
using namespace dorvan::ui::testing;
using Paths = std::vector<std::string>;

namespace {

// Runs the test in a fresh working folder, where the history file lives.
struct WorkingFolder {
  QTemporaryDir dir;
  QString previous = QDir::currentPath();
  WorkingFolder() { QDir::setCurrent(dir.path()); }
  ~WorkingFolder() { QDir::setCurrent(previous); }
  QString History() const { return dir.filePath(QStringLiteral("dorvan.dat")); }
};

void Write(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

QByteArray Read(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QByteArray("<missing>");
  return file.readAll();
}

QStringList Items(QComboBox* combo) {
  QStringList items;
  for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
  return items;
}

}  // namespace

class StartupTest : public QObject {
  Q_OBJECT

 private slots:
  void CommandLineDrawingsBecomeTargetsWithButtonsUntouched() {
    WorkingFolder folder;
    ProgramFixture f(false);
    QVERIFY(f.p().Form_Load({"a.jww", "b.txt", "c.JWW", "plan.jww.gz", ""}));
    MainWindow& w = f.w();
    QCOMPARE(w.List1()->Paths(), (Paths{"a.jww", "c.JWW"}));
    QCOMPARE(w.List1()->HorizontalExtent(), 5 * 6 + 12);
    QVERIFY(!w.Command1()->isEnabled());
    QVERIFY(!w.Command4()->isEnabled());
    QVERIFY(!w.Command5()->isEnabled());
    QVERIFY(f.messages.shown.empty());
  }

  void HistoryFillsTheListAndTheSearchTextStartsEmpty() {
    WorkingFolder folder;
    Write(folder.History(), "abc\r\nxyz\r\n");
    ProgramFixture f(false);
    QVERIFY(f.p().Form_Load({}));
    QCOMPARE(Items(f.w().Combo1()), (QStringList{"abc", "xyz"}));
    QCOMPARE(f.w().Combo1()->currentText(), QString());
  }

  void ExitButtonSavesTheHistoryAndEndsTheProgram() {
    WorkingFolder folder;
    Write(folder.History(), "abc\r\nxyz\r\n");
    ProgramFixture f;
    QVERIFY(f.p().Form_Load({}));
    f.w().Combo1()->insertItem(0, QStringLiteral("new"));
    ClickButton(f.w().Command7());
    QCOMPARE(Read(folder.History()), QByteArray("new\r\nabc\r\nxyz\r\n"));
    QCOMPARE(f.processEnds, 1);
    QVERIFY(!f.w().isVisible());
  }

  void CloseBoxEndsWithoutSavingAndClosesTheMessageWindow() {
    WorkingFolder folder;
    Write(folder.History(), "abc\r\n");
    for (int i = 0; i < 200; ++i) {
      QVERIFY(QDir().mkpath(folder.dir.filePath(QStringLiteral("tree/f%1").arg(i))));
      Write(folder.dir.filePath(QStringLiteral("tree/f%1/x.jww").arg(i)), "");
    }
    ProgramFixture f;
    QVERIFY(f.p().Form_Load({}));
    f.w().Combo1()->insertItem(0, QStringLiteral("new"));
    // Closed while a scan may still be walking: the walk stops and its window goes too.
    f.p().Folders().SetDir1Path(folder.dir.filePath(QStringLiteral("tree")));
    ClickTab(f.w(), 0);
    ClickButton(f.w().Command8());
    QVERIFY(f.p().Message().isVisible());
    QVERIFY(f.w().close());
    QVERIFY(!f.p().Scan().Running());
    QVERIFY(!f.p().Message().isVisible());
    QCOMPARE(f.processEnds, 1);
    QCOMPARE(Read(folder.History()), QByteArray("abc\r\n"));
  }

  void MissingGzipLayerEndsTheStartWithItsMessage() {
    WorkingFolder folder;
    ProgramFixture f(false);
    f.archiverAnswer = 53;
    QVERIFY(!f.p().Form_Load({"a.jww"}));
    QCOMPARE(f.messages.shown.size(), std::size_t{1});
    QCOMPARE(f.messages.shown[0].text,
             QStringLiteral("「zlib」がインストールされていないので実行できません。\n\n入手先\u3000https://zlib.net/"));
    QCOMPARE(f.messages.shown[0].title, QStringLiteral("dorvan\u3000ver 1.5.0.5"));
    QCOMPARE(f.messages.shown[0].icon, MessageIcon::Stop);
    QCOMPARE(f.messages.shown[0].buttons, MessageButtons::Ok);
    QVERIFY(!f.w().isVisible());
    QCOMPARE(f.processEnds, 1);
    QCOMPARE(Read(folder.History()), QByteArray("<missing>"));
  }

  // A later start hands its drawings to the running copy, which adds them as its own
  // command line would and can then clear them.
  void SecondStartHandsItsDrawingsToTheRunningCopy() {
    QTemporaryDir runtime;
    WorkingFolder folder;
    ProgramFixture f;
    QVERIFY(f.p().Form_Load({"a.jww"}));
    SingleInstance running(runtime.path());
    QVERIFY(running.TryAcquire());
    QVERIFY(running.Listen([&f](const Paths& args) { f.p().TakeHandOver(args); }));
    SingleInstance later(runtime.path());
    QVERIFY(!later.TryAcquire());
    bool handed = false;
    std::thread start([&] { handed = later.HandOver({"/d/b.jww", "notes.txt", "/d/C.JWW"}); });
    QTRY_COMPARE(f.w().List1()->Paths(), (Paths{"/d/b.jww", "/d/C.JWW", "a.jww"}));
    start.join();
    QVERIFY(handed);
    QVERIFY(f.w().Command4()->isEnabled());
    QVERIFY(f.w().Command5()->isEnabled());
  }

  void SecondCopyEndsAtOnceAndTheFirstRunsOn() {
    QTemporaryDir runtime;  // made 0700, as a user's runtime folder must be
    WorkingFolder folder;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const auto start = [&](QProcess& process) {
      process.setProcessEnvironment(environment);
      process.setWorkingDirectory(folder.dir.path());
      process.start(QStringLiteral(DORVAN_PROGRAM), {QStringLiteral("a.jww")});
      QVERIFY(process.waitForStarted());
    };
    const QString lock = runtime.filePath(QStringLiteral("dorvan.lock"));

    QProcess first;
    start(first);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(lock), 10000);
    QProcess second;
    start(second);
    QVERIFY(second.waitForFinished(5000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(second.readAllStandardOutput(), QByteArray());
    QCOMPARE(second.readAllStandardError(), QByteArray());
    QCOMPARE(first.state(), QProcess::Running);

    // A copy that died without letting go leaves no lasting lock.
    first.kill();
    QVERIFY(first.waitForFinished(5000));
    QProcess third;
    start(third);
    QVERIFY(!third.waitForFinished(1500));
    third.kill();
    QVERIFY(third.waitForFinished(5000));
  }
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
