#include "ui/screenshot.h"

#include <QApplication>
#include <QComboBox>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

#include "ui/main_window.h"
#include "ui/matches_window.h"

namespace dorvan::ui {

void SaveScreenshotIfAsked(MainWindow& window) {
  const QString path = qEnvironmentVariable("DORVAN_SCREENSHOT");
  if (path.isEmpty()) return;
  QPointer<MainWindow> target(&window);
  const QString search = qEnvironmentVariable("DORVAN_SCREENSHOT_SEARCH");
  if (!search.isEmpty()) {
    QTimer::singleShot(100, &window, [target, search] {
      if (target == nullptr) return;
      target->Combo1()->setEditText(search);
      // The result message stays open until the picture has been taken; it is a window of
      // its own and not in the picture.
      target->Command6()->click();
    });
  }
  // With DORVAN_SCREENSHOT_MATCHES the picture is the matches window of the first found
  // drawing instead.
  const bool matches = !qEnvironmentVariableIsEmpty("DORVAN_SCREENSHOT_MATCHES");
  if (matches) {
    QTimer::singleShot(600, &window, [target] {
      if (target != nullptr) target->ShowMatchesOf(0);
    });
  }
  // Let the window lay out and paint first.
  QTimer::singleShot(1000, &window, [target, path, matches] {
    if (target == nullptr) return;
    QWidget* shown = target;
    if (matches) {
      if (target->Matches() == nullptr) {
        std::fprintf(stderr, "dorvan: nothing was found, so there are no matches to show\n");
        QApplication::exit(1);
        return;
      }
      shown = target->Matches();
    }
    if (!shown->grab().save(path, "PNG")) {
      std::fprintf(stderr, "dorvan: cannot write the screenshot %s\n", qPrintable(path));
      QApplication::exit(1);
      return;
    }
    QApplication::exit(0);
  });
}

}  // namespace dorvan::ui
