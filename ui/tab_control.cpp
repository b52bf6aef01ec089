#include "tab_control.h"

namespace dorvan::ui {

TabControl::TabControl(QWidget* parent) : QTabWidget(parent) {}

void TabControl::Place(QWidget* control, const QRect& place) {
  placements_.push_back({control, place});
  PlaceAll();
}

void TabControl::showEvent(QShowEvent* event) {
  QTabWidget::showEvent(event);
  PlaceAll();
}

void TabControl::resizeEvent(QResizeEvent* event) {
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
