#include "ui/screenshot.h"

#include <QApplication>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <cstdio>

namespace dorvan::ui {

void SaveScreenshotIfAsked(QWidget& window) {
  const QString path = qEnvironmentVariable("DORVAN_SCREENSHOT");
  if (path.isEmpty()) return;
  QPointer<QWidget> target(&window);
  // Let the window lay out and paint first.
  QTimer::singleShot(500, &window, [target, path] {
    if (target == nullptr) return;
    if (!target->grab().save(path, "PNG")) {
      std::fprintf(stderr, "dorvan: cannot write the screenshot %s\n", qPrintable(path));
      QApplication::exit(1);
      return;
    }
    QApplication::exit(0);
  });
}

}  // namespace dorvan::ui
