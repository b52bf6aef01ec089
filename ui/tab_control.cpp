#include "tab_control.h"

#include <QTabBar>

namespace dorvan::ui {

namespace {

// The tabs share the row: each takes an equal part of the tab control's width, the last
// one what the division leaves.
class SharedRowTabBar : public QTabBar {
 public:
  using QTabBar::QTabBar;

 protected:
  QSize tabSizeHint(int index) const override {
    QSize size = QTabBar::tabSizeHint(index);
    const QWidget* control = parentWidget();
    if (control == nullptr || count() == 0) return size;
    const int share = control->width() / count();
    size.setWidth(index == count() - 1 ? control->width() - share * (count() - 1) : share);
    return size;
  }
};

}  // namespace

TabControl::TabControl(QWidget* parent) : QTabWidget(parent) { setTabBar(new SharedRowTabBar(this)); }

void TabControl::Place(QWidget* control, const QRect& place) {
  placements_.push_back({control, place});
  PlaceAll();
}

void TabControl::showEvent(QShowEvent* event) {
  QTabWidget::showEvent(event);
  PlaceAll();
}

void TabControl::resizeEvent(QResizeEvent* event) {
  // The tabs' widths follow the control's; setting the icon size lays the tabs out anew.
  tabBar()->setIconSize(tabBar()->iconSize());
  QTabWidget::resizeEvent(event);
  PlaceAll();
}

void TabControl::PlaceAll() {
  // The pages sit below the tab row; their origin moves with the style and the font.
  for (const Placement& placement : placements_) {
    QWidget* page = placement.control->parentWidget();
    const QPoint pageOrigin = page->mapTo(this, QPoint(0, 0));
    placement.control->setGeometry(placement.place.translated(-pageOrigin));
  }
}

}  // namespace dorvan::ui
