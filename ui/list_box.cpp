#include "list_box.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QKeyEvent>
#include <QScrollBar>

#include "files/list_order.h"
#include "ui/window_paths.h"

namespace dorvan::ui {

ListBox::ListBox(Order order, QWidget* parent) : QListWidget(parent), order_(order) {
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setTextElideMode(Qt::ElideNone);
  // Every entry is one line in the list's font; the widths are the extent's business. Without
  // this the list measures the text of every entry to lay itself out, again after each
  // change: 20,000 found drawings cost the run more than the search itself.
  setUniformItemSizes(true);
  // QListWidget's own sorting compares case-sensitively; AddPath places entries instead.
  setSortingEnabled(false);
}

int ListBox::AddPath(const std::string& path) {
  int row = count();
  if (order_ == Order::SortedIgnoringCase) {
    // The first row that sorts after the new entry, so equal entries keep their order of
    // arrival.
    int low = 0;
    int high = count();
    while (low < high) {
      const int middle = low + (high - low) / 2;
      if (CompareIgnoringCase(PathAt(middle), path) <= 0) {
        low = middle + 1;
      } else {
        high = middle;
      }
    }
    row = low;
  }
  auto* item = new QListWidgetItem(DisplayPath(path));
  // The display text cannot carry bytes that are not UTF-8; the path itself must reach
  // the reader and the desktop unchanged.
  item->setData(kPathBytesRole, PathBytes(path));
  insertItem(row, item);
  return row;
}

std::string ListBox::PathAt(int row) const {
  const QListWidgetItem* entry = item(row);
  if (entry == nullptr) return {};
  const QVariant stored = entry->data(kPathBytesRole);
  if (stored.isValid()) return PathOfBytes(stored.toByteArray());
  // An entry that came in through QListWidget's own API.
  return PathOfBytes(QFile::encodeName(entry->text()));
}

std::vector<std::string> ListBox::Paths() const {
  std::vector<std::string> paths;
  paths.reserve(static_cast<std::size_t>(count()));
  for (int row = 0; row < count(); ++row) paths.push_back(PathAt(row));
  return paths;
}

std::vector<std::string> ListBox::SelectedPaths() const {
  std::vector<std::string> paths;
  for (int row = 0; row < count(); ++row) {
    if (item(row)->isSelected()) paths.push_back(PathAt(row));
  }
  return paths;
}

void ListBox::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    const std::vector<std::string> paths = SelectedPaths();
    if (!paths.empty()) QApplication::clipboard()->setMimeData(PathsMimeData(paths));
    event->accept();
    return;
  }
  QListWidget::keyPressEvent(event);
}

void ListBox::SetHorizontalExtent(int pixels) {
  extent_ = pixels < 0 ? 0 : pixels;
  ApplyExtent();
}

void ListBox::updateGeometries() {
  // The list's own layout decides whether the horizontal scroll bar shows from its contents'
  // width; made the extent, that decision agrees with the range set below. When they
  // disagreed, the bar was shown and hidden in turn for ever, and the window froze.
  resizeContents(extent_, contentsSize().height());
  QListWidget::updateGeometries();
  ApplyExtent();
}

void ListBox::ApplyExtent() {
  // The scroll range follows the extent the owner set, not the widest entry: an entry
  // wider than the extent is cut off at its end, as the platform list box does.
  QScrollBar* bar = horizontalScrollBar();
  const int visible = viewport()->width();
  bar->setPageStep(visible);
  bar->setSingleStep(8);
  bar->setRange(0, extent_ > visible ? extent_ - visible : 0);
}

}  // namespace dorvan::ui
