#include "nizyukidou.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "files/command_line.h"
#include "ui/app_icon.h"
#include "ui/program.h"
#include "ui/single_instance.h"

namespace dorvan::ui {

namespace {

// The arguments as the running copy must read them: its working folder is not this one's.
std::vector<std::string> FromHere(const std::vector<std::string>& args) {
  const std::string here = QDir::currentPath().toStdString();
  std::vector<std::string> absolute;
  for (const std::string& arg : args) absolute.push_back(arg.empty() || arg[0] == '/' ? arg : here + "/" + arg);
  return absolute;
}

}  // namespace

int Main(int argc, char** argv) {
  if (argc == 2 && std::string_view(argv[1]) == "--version") {
    std::puts("dorvan " DORVAN_VERSION);
    return 0;
  }
  // Before the application object, so a second copy does not even reach the display; it
  // hands the drawings it was given to the running copy and ends without a word.
  SingleInstance instance;
  if (!instance.TryAcquire()) {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (CommandLineTargets(GetCommandLine(args)).drawings.empty()) return 0;
    QCoreApplication handing(argc, argv);
    return instance.HandOver(FromHere(args)) ? 0 : 1;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("dorvan"));
  QApplication::setDesktopFileName(QStringLiteral("dorvan"));
  QApplication::setWindowIcon(AppIcon());
  // dorvan speaks Japanese on any desktop: Qt's own words (the file dialog, a text field's
  // menu) follow it where Qt's Japanese translation is installed, else they stay English.
  QTranslator qtWords;
  if (qtWords.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qtWords);
  }
  // Qt has taken its own options out of argv; the rest name drawings.
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);

  Program program;
  if (!program.Form_Load(args)) return 1;
  instance.Listen([&program](const std::vector<std::string>& handed) { program.TakeHandOver(handed); });
  program.Window().show();
  return app.exec();
}

}  // namespace dorvan::ui
