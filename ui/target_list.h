// How entries enter and leave the target list List1: the file dialog, drops on either list,
// the command line at start-up, the two clear buttons and the hand-over of the found list.
#pragma once

#include <string>
#include <vector>

#include "files/target_batch.h"

namespace dorvan::ui {

class DrawingFileDialog;
class MainWindow;

class TargetListHandlers {
 public:
  // `window` and `dialog` must outlive the handlers.
  TargetListHandlers(MainWindow& window, DrawingFileDialog& dialog);

  // "ファイル選択": appends every chosen file; a cancelled dialog appends nothing. No button
  // changes.
  void Command1_Click();
  // Files dropped on List1 or List2: appends the drawings among them to List1, then the
  // target-button rule.
  void List1_OLEDragDrop(const std::vector<std::string>& paths);
  void List2_OLEDragDrop(const std::vector<std::string>& paths) { List1_OLEDragDrop(paths); }
  // Start-up: the drawings among the command-line arguments; no button changes.
  void AppendCommandLine(const std::vector<std::string>& args);
  // "ALL クリア": empties List1; "ファイル選択" on, both clear buttons off.
  void Command4_Click();
  // "選択クリア": removes the selected entries of List1, then the target-button rule.
  void Command5_Click();
  // The found drawings become the targets: List1 is replaced by List2's entries (nothing
  // happens while List2 is empty); List2 keeps them.
  void Command9_Click();

  // With entries in List1: "ファイル選択" and both clear buttons on. Empty: both clear
  // buttons off, "ファイル選択" as it was.
  void ApplyTargetButtonRule();

 private:
  void AppendBatch(const TargetBatch& batch);

  MainWindow& w_;
  DrawingFileDialog& dialog_;
};

}  // namespace dorvan::ui
