// The list boxes of the windows: a QListWidget that keeps each entry's path bytes as given
// (item data kPathBytesRole) beside the text that shows it, copies the selected paths with
// the copy key, can keep its entries in ascending order ignoring case (duplicates admitted),
// and scrolls horizontally as far as the extent its owner sets, like the platform list box.
#pragma once

#include <QListWidget>
#include <string>

namespace dorvan::ui {

class ListBox : public QListWidget {
  Q_OBJECT
 public:
  enum class Order { Insertion, SortedIgnoringCase };

  explicit ListBox(Order order, QWidget* parent = nullptr);

  // Adds one path (its bytes, whatever their encoding, kept unchanged for whoever reads it
  // back; shown through DisplayPath): at its sorted
  // place (after entries equal ignoring case) or at the end. Returns the row it took.
  int AddPath(const std::string& path);
  // The path of a row exactly as it was added; empty for a row out of range.
  std::string PathAt(int row) const;
  // Every path in list order.
  std::vector<std::string> Paths() const;
  // The paths of the selected rows, in list order.
  std::vector<std::string> SelectedPaths() const;

  // How far, in pixels, the entries can be scrolled horizontally; no scroll bar while the
  // extent fits the visible width.
  void SetHorizontalExtent(int pixels);
  int HorizontalExtent() const { return extent_; }

 protected:
  void updateGeometries() override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void ApplyExtent();

  Order order_;
  int extent_ = 0;
};

}  // namespace dorvan::ui
