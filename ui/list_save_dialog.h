// The save dialog of "一覧を保存…" behind a small interface, so tests name the file without a
// dialog on the screen.
#pragma once

#include <QString>

class QWidget;

namespace dorvan::ui {

class ListSaveDialog {
 public:
  virtual ~ListSaveDialog() = default;
  // The file to write the found list to, or an empty string when the user cancels.
  virtual QString ChooseSaveFile(QWidget* parent) = 0;
};

// The real dialog: "一覧を保存", CSV files, asks before replacing a file.
class QtListSaveDialog : public ListSaveDialog {
 public:
  QString ChooseSaveFile(QWidget* parent) override;
};

}  // namespace dorvan::ui
