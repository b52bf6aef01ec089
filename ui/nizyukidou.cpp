#include "nizyukidou.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <string>
#include <vector>

#include "ui/app_icon.h"
#include "ui/program.h"
#include "ui/single_instance.h"

namespace dorvan::ui {

int Main(int argc, char** argv) {
  // Before the application object, so a second copy does not even reach the display.
  SingleInstance instance;
  if (!instance.TryAcquire()) return 0;

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
  program.Window().show();
  return app.exec();
}

}  // namespace dorvan::ui
