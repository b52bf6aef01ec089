// The file-open dialog of the "ファイル選択" button behind a small interface, so tests choose
// files without a dialog on the screen.
#pragma once

#include <string>
#include <vector>

class QWidget;

namespace dorvan::ui {

class DrawingFileDialog {
 public:
  virtual ~DrawingFileDialog() = default;
  // Lets the user choose existing files; returns their full paths (UTF-8) in the order the
  // dialog gives them, or nothing when the user cancels.
  virtual std::vector<std::string> ChooseFiles(QWidget* parent) = 0;
};

// The real dialog: title "jwwファイルの選択", one filter "jwwファイル (*jww)" that lets through
// names ending in jww in any letter case, several files at once, existing files only. The
// working folder is left as it was, because the history file is found through it.
class QtDrawingFileDialog : public DrawingFileDialog {
 public:
  std::vector<std::string> ChooseFiles(QWidget* parent) override;
};

}  // namespace dorvan::ui
