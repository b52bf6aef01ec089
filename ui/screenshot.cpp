#include "ui/screenshot.h"

#include <QApplication>
#include <QComboBox>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

#include "ui/main_window.h"
#include "ui/list_box.h"
#include "ui/matches_window.h"
#include "ui/drawing_view.h"
#include "ui/preview_window.h"

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
  // With DORVAN_SCREENSHOT_PREVIEW it is the preview of the first found drawing, given
  // time to be read and drawn.
  const bool preview = !qEnvironmentVariableIsEmpty("DORVAN_SCREENSHOT_PREVIEW");
  if (preview) {
    QTimer::singleShot(600, &window, [target] {
      if (target == nullptr) return;
      target->ShowPreviewOf(target->List2(), 0);
      if (target->Preview() == nullptr) return;
      target->Preview()->resize(1000, 700);
      target->Preview()->activateWindow();
      target->Preview()->View()->setFocus();
    });
  }
  // Let the window lay out and paint first.
  QTimer::singleShot(preview ? 3000 : 1000, &window, [target, path, matches, preview] {
    if (target == nullptr) return;
    QWidget* shown = target;
    if (preview) {
      if (target->Preview() == nullptr) {
        std::fprintf(stderr, "dorvan: nothing was found, so there is no drawing to preview\n");
        QApplication::exit(1);
        return;
      }
      shown = target->Preview();
    } else if (matches) {
      if (target->Matches() == nullptr) {
        std::fprintf(stderr, "dorvan: nothing was found, so there are no matches to show\n");
        QApplication::exit(1);
        return;
      }
      shown = target->Matches();
    }
    // DORVAN_SCREENSHOT_WINDOW names another window to take instead, by its name (the error
    // window dorvan_err_mes that a run over an unreadable drawing leaves open).
    const QString other = qEnvironmentVariable("DORVAN_SCREENSHOT_WINDOW");
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (!other.isEmpty() && window->objectName() == other && window->isVisible()) shown = window;
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
