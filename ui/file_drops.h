// Files dragged from the file manager onto a list: the list offers a copy only for a list of
// local files and hands the dropped paths to its owner.
#pragma once

#include <QObject>
#include <functional>
#include <string>
#include <vector>

class QAbstractItemView;
class QMimeData;

namespace dorvan::ui {

// The local files a drag carries, as path bytes exactly as the URLs name them, in the order of the drag; empty
// when it carries no file list. Addresses that are not local files are left out.
std::vector<std::string> DroppedFilePaths(const QMimeData* data);

// Installed on a list view's viewport, where Qt delivers the drag events. It takes every
// drag event, so the view's own item drag and drop never sees them.
class FileDropFilter : public QObject {
  Q_OBJECT
 public:
  using DropHandler = std::function<void(const std::vector<std::string>& paths)>;
  // `on_drop` receives the paths of every drop of files, even when none of them is a drawing.
  FileDropFilter(QAbstractItemView* view, DropHandler on_drop);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  DropHandler on_drop_;
};

}  // namespace dorvan::ui
