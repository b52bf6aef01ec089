#include "ui/background_pool.h"

#include <QThreadPool>

namespace dorvan::ui {

QThreadPool& BackgroundPool() {
  static QThreadPool* pool = new QThreadPool;
  return *pool;
}

}  // namespace dorvan::ui
