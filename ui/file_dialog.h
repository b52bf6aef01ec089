// The file-open dialog of the "ファイル選択" button behind a small interface, so tests choose
// files without a dialog on the screen.
#pragma once

#include <QFileDialog>
#include <string>
#include <vector>

class QWidget;

namespace dorvan::ui {

class DrawingFileDialog {
 public:
  virtual ~DrawingFileDialog() = default;
  // Lets the user choose existing files; returns their full paths (the bytes that name them)
  // in the order the dialog gives them, or nothing when the user cancels.
  virtual std::vector<std::string> ChooseFiles(QWidget* parent) = 0;
};

// The dialog itself: title "jwwファイルの選択", one filter "jwwファイル (*jww)" that lets through
// names ending in jww in any letter case, several files at once, existing files only. Qt
// shows a name that is not UTF-8 with replacement characters and would refuse it as missing;
// this dialog finds the file's own bytes behind such a name and accepts it.
class DrawingOpenDialog : public QFileDialog {
  Q_OBJECT
 public:
  explicit DrawingOpenDialog(QWidget* parent = nullptr);
  // The chosen files' paths after the dialog was accepted.
  const std::vector<std::string>& ChosenPaths() const { return chosen_; }
  void accept() override;

 private:
  std::vector<std::string> chosen_;
};

// The real dialog, modal. The working folder is left as it was, because the history file is
// found through it.
class QtDrawingFileDialog : public DrawingFileDialog {
 public:
  std::vector<std::string> ChooseFiles(QWidget* parent) override;
};

}  // namespace dorvan::ui
