// The tab control SSTab1: a QTabWidget whose tabs share the row in equal parts and whose
// page controls are placed relative to the whole tab control, tab row included, as the
// window's layout gives their places.
#pragma once

#include <QRect>
#include <QTabWidget>
#include <vector>

namespace dorvan::ui {

class TabControl : public QTabWidget {
  Q_OBJECT
 public:
  explicit TabControl(QWidget* parent = nullptr);

  // Puts `control`, a child of one of the pages, at `place` (pixels relative to the tab
  // control's top-left corner), now and whenever the pages move.
  void Place(QWidget* control, const QRect& place);

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void PlaceAll();

  struct Placement {
    QWidget* control;
    QRect place;
  };
  std::vector<Placement> placements_;
};

}  // namespace dorvan::ui
