// The window "一致箇所": the matches of one found drawing (where, layer, position, text),
// taken from the run that found it. One window serves every request; it stays open beside
// the main window until it is closed.
#pragma once

#include <QDialog>
#include <string>

#include "search/match_records.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace dorvan::ui {

class MatchesWindow : public QDialog {
  Q_OBJECT
 public:
  explicit MatchesWindow(QWidget* parent = nullptr);

  // Shows `matches` of the drawing at `path` (null: a drawing without records).
  void ShowMatches(const std::string& path, const DrawingMatches* matches);

  QLabel* Heading() const { return heading_; }
  QTableWidget* Table() const { return table_; }
  QPushButton* CloseButton() const { return close_; }

  // The selected rows as tab-separated lines, for Ctrl+C and "コピー".
  void CopySelectedRows();

 private:
  QLabel* heading_;
  QTableWidget* table_;
  QPushButton* close_;
};

}  // namespace dorvan::ui
