// window_bench: the main window's search run against dorvan-search on the same drawings and
// the same index, in the same run. The window runs offscreen; its time is the run button's,
// from the click to the result message. The command line's time is the process's wall time.
//
//   window_bench --tree DIR --search PROGRAM --scratch DIR [--counts 2000,20000]
//                [--repetitions N] [--out FILE]
//
// DIR is a tree written by dorvan_small_corpus (DIR/f<k>/drawing-<i>.jww, 100 a folder,
// every drawing holding "図番 S-<i>"). For each count N the first N drawings are the
// targets: the window's target list holds them, dorvan-search is given their folders. The
// searches: "図" (every drawing found) and "S-<N-1>" (one found), each first (an empty
// index) and repeated (from the index). Target: the window at most 1.2 times dorvan-search
// plus 50 ms. Then Escape pressed halfway through a repeat run over the largest count: the
// time from the press to the end of the run (target within 100 ms).
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/ui/fake_services.h"
#include "ui/list_box.h"
#include "ui/main_window.h"

using dorvan::ui::MainWindow;
using dorvan::ui::WindowServices;

namespace {

struct Options {
  QString tree;
  QString search;
  QString scratch;
  std::vector<int> counts{2000, 20000};
  int repetitions = 3;
  QString out;
};

QString IndexFile(const Options& options) { return options.scratch + QStringLiteral("/cache/dorvan/index.sqlite3"); }

void ForgetIndex(const Options& options) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) QFile::remove(IndexFile(options) + QLatin1String(suffix));
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

// One dorvan-search run; returns its wall time in ms and the number of paths it listed.
double TimeCommandLine(const Options& options, int count, const QString& text, int& found) {
  QStringList args{QStringLiteral("--range"), QStringLiteral("data"), QStringLiteral("--text"), text};
  for (int folder = 0; folder * 100 < count; ++folder) args << options.tree + QStringLiteral("/f%1").arg(folder);
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("XDG_CACHE_HOME"), options.scratch + QStringLiteral("/cache"));
  process.setProcessEnvironment(environment);
  QElapsedTimer clock;
  clock.start();
  process.start(options.search, args);
  process.waitForFinished(-1);
  const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
  found = static_cast<int>(process.readAllStandardOutput().count('\n'));
  return ms;
}

struct Window {
  dorvan::ui::testing::FakeMessageBoxes messages;
  dorvan::ui::testing::FakeShell shell;
  std::unique_ptr<MainWindow> window;

  Window(const Options& options, int count) {
    WindowServices services;
    services.messages = &messages;
    services.shell = &shell;
    window = std::make_unique<MainWindow>(services);
    window->show();
    for (int i = 0; i < count; ++i) {
      window->List1()->AddPath(QStringLiteral("%1/f%2/drawing-%3.jww").arg(options.tree).arg(i / 100).arg(i).toStdString());
    }
    window->Check3(0)->setChecked(true);
    window->Check3_Click(0);
    QCoreApplication::processEvents();
  }

  // One run of the run button; returns its time in ms and the number found.
  double Run(const QString& text, int& found) {
    window->Combo1()->setEditText(text);
    QElapsedTimer clock;
    clock.start();
    window->Command6_Click();
    const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    found = window->List2()->count();
    QCoreApplication::processEvents();
    return ms;
  }
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const QString name = QString::fromLocal8Bit(argv[i]);
    const QString value = QString::fromLocal8Bit(argv[i + 1]);
    if (name == QStringLiteral("--tree")) options.tree = value;
    else if (name == QStringLiteral("--search")) options.search = value;
    else if (name == QStringLiteral("--scratch")) options.scratch = value;
    else if (name == QStringLiteral("--repetitions")) options.repetitions = value.toInt();
    else if (name == QStringLiteral("--out")) options.out = value;
    else if (name == QStringLiteral("--counts")) {
      options.counts.clear();
      for (const QString& count : value.split(QLatin1Char(','))) options.counts.push_back(count.toInt());
    } else {
      return false;
    }
  }
  return !options.tree.isEmpty() && !options.search.isEmpty() && !options.scratch.isEmpty() && options.repetitions > 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr, "usage: window_bench --tree DIR --search PROGRAM --scratch DIR [--counts N,N] "
                         "[--repetitions N] [--out FILE]\n");
    return 2;
  }
  QDir().mkpath(options.scratch + QStringLiteral("/cache"));
  qputenv("XDG_CACHE_HOME", (options.scratch + QStringLiteral("/cache")).toLocal8Bit());
  QApplication app(argc, argv);

  QString table = QStringLiteral(
      "| targets | search | found | run | dorvan-search ms | window ms | window ÷ command line | "
      "limit ms (1.2 × + 50) | met |\n|---:|---|---:|---|---:|---:|---:|---:|---|\n");
  bool allMet = true;
  for (const int count : options.counts) {
    const QString one = QStringLiteral("S-%1").arg(count - 1);
    for (const QString& text : {QStringLiteral("図"), one}) {
      std::vector<double> cliFirst, cliRepeat, windowFirst, windowRepeat;
      int cliFound = 0, windowFound = 0;
      for (int repetition = 0; repetition < options.repetitions; ++repetition) {
        ForgetIndex(options);
        cliFirst.push_back(TimeCommandLine(options, count, text, cliFound));
        cliRepeat.push_back(TimeCommandLine(options, count, text, cliFound));
        ForgetIndex(options);
        Window window(options, count);
        windowFirst.push_back(window.Run(text, windowFound));
        windowRepeat.push_back(window.Run(text, windowFound));
      }
      if (cliFound != windowFound) {
        std::fprintf(stderr, "window_bench: %d targets, \"%s\": dorvan-search found %d, the window %d\n", count,
                     text.toUtf8().constData(), cliFound, windowFound);
        allMet = false;
      }
      for (const bool first : {true, false}) {
        const double cli = Median(first ? cliFirst : cliRepeat);
        const double window = Median(first ? windowFirst : windowRepeat);
        const double limit = 1.2 * cli + 50;
        const bool met = window <= limit;
        allMet = allMet && met;
        table += QStringLiteral("| %1 | `%2` | %3 | %4 | %5 | %6 | %7 | %8 | %9 |\n")
                     .arg(count)
                     .arg(text)
                     .arg(windowFound)
                     .arg(first ? QStringLiteral("first") : QStringLiteral("repeat"))
                     .arg(cli, 0, 'f', 1)
                     .arg(window, 0, 'f', 1)
                     .arg(window / cli, 0, 'f', 2)
                     .arg(limit, 0, 'f', 1)
                     .arg(met ? QStringLiteral("yes") : QStringLiteral("**no**"));
        std::fprintf(stderr, "window_bench: %d targets, %s, %s: command line %.1f ms, window %.1f ms\n", count,
                     text.toUtf8().constData(), first ? "first" : "repeat", cli, window);
      }
    }
  }

  // Escape halfway through a repeat run over the largest count, all found.
  const int largest = *std::max_element(options.counts.begin(), options.counts.end());
  std::vector<double> latencies;
  for (int repetition = 0; repetition < options.repetitions; ++repetition) {
    Window window(options, largest);
    int found = 0;
    window.Run(QStringLiteral("図"), found);  // fills the index
    QElapsedTimer sincePress;
    QTimer watch;
    watch.setInterval(1);
    QObject::connect(&watch, &QTimer::timeout, [&] {
      QProgressBar* bar = window.window->ProgressBar1();
      if (sincePress.isValid() || !window.window->Running() || bar->value() * 2 < bar->maximum()) return;
      sincePress.start();
      QTest::keyClick(window.window.get(), Qt::Key_Escape);
    });
    watch.start();
    window.window->Combo1()->setEditText(QStringLiteral("図"));
    window.window->Works();
    if (!sincePress.isValid() || window.window->LastEnding() != dorvan::RunEnding::Cancelled) {
      std::fprintf(stderr, "window_bench: the run ended before Escape could be pressed halfway\n");
      allMet = false;
      continue;
    }
    latencies.push_back(static_cast<double>(sincePress.nsecsElapsed()) / 1e6);
  }
  const double latency = Median(latencies);
  table += QStringLiteral("\nEscape halfway through a repeat run over %1 targets, all found: the run ended %2 ms after "
                          "the press (median of %3; target within 100 ms: %4).\n")
               .arg(largest)
               .arg(latency, 0, 'f', 1)
               .arg(latencies.size())
               .arg(!latencies.empty() && latency <= 100 ? QStringLiteral("met") : QStringLiteral("**not met**"));
  allMet = allMet && !latencies.empty() && latency <= 100;

  std::fputs(table.toUtf8().constData(), stdout);
  if (!options.out.isEmpty()) {
    QFile file(options.out);
    if (file.open(QIODevice::WriteOnly)) file.write(table.toUtf8());
  }
  return allMet ? 0 : 1;
}
