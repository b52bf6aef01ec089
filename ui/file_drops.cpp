#include "file_drops.h"

#include <QAbstractItemView>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "ui/window_paths.h"

namespace dorvan::ui {

namespace {

bool CarriesFiles(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return false;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) return true;
  }
  return false;
}

}  // namespace

std::vector<std::string> DroppedFilePaths(const QMimeData* data) {
  std::vector<std::string> paths;
  if (data == nullptr || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (std::optional<std::string> path = LocalPathOfUrl(url)) paths.push_back(std::move(*path));
  }
  return paths;
}

FileDropFilter::FileDropFilter(QAbstractItemView* view, DropHandler on_drop)
    : QObject(view), on_drop_(std::move(on_drop)) {
  view->setAcceptDrops(true);
  view->viewport()->setAcceptDrops(true);
  view->viewport()->installEventFilter(this);
}

bool FileDropFilter::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      // A copy for a list of files and nothing else: the files stay where they are.
      if (CarriesFiles(drag->mimeData())) {
        drag->setDropAction(Qt::CopyAction);
        drag->accept();
      } else {
        drag->setDropAction(Qt::IgnoreAction);
        drag->ignore();
      }
      return true;
    }
    case QEvent::DragLeave:
      return true;
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      if (!CarriesFiles(drop->mimeData())) {
        drop->ignore();
        return true;
      }
      drop->setDropAction(Qt::CopyAction);
      drop->accept();
      on_drop_(DroppedFilePaths(drop->mimeData()));
      return true;
    }
    default:
      return QObject::eventFilter(watched, event);
  }
}

}  // namespace dorvan::ui
