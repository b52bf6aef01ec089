#include "target_list.h"

#include <QPushButton>

#include "files/command_line.h"
#include "files/list_extent.h"
#include "ui/file_dialog.h"
#include "ui/list_box.h"
#include "ui/main_window.h"

namespace dorvan::ui {

TargetListHandlers::TargetListHandlers(MainWindow& window, DrawingFileDialog& dialog)
    : w_(window), dialog_(dialog) {}

void TargetListHandlers::Command1_Click() { AppendBatch(DialogTargets(dialog_.ChooseFiles(&w_))); }

void TargetListHandlers::List1_OLEDragDrop(const std::vector<std::string>& paths) {
  AppendBatch(DroppedTargets(paths));
  ApplyTargetButtonRule();
}

void TargetListHandlers::AppendCommandLine(const std::vector<std::string>& args) {
  AppendBatch(CommandLineTargets(GetCommandLine(args)));
}

void TargetListHandlers::Command4_Click() {
  w_.List1()->clear();
  w_.List1Extent().RemoveAllEntries();
  w_.Command1()->setEnabled(true);
  w_.Command4()->setEnabled(false);
  w_.Command5()->setEnabled(false);
}

void TargetListHandlers::Command5_Click() {
  ListBox* list = w_.List1();
  // Downwards, so the rows not yet visited keep their numbers.
  for (int row = list->count() - 1; row >= 0; --row) {
    if (!list->item(row)->isSelected()) continue;
    w_.List1Extent().RemoveEntry(list->PathAt(row));
    delete list->takeItem(row);
  }
  ApplyTargetButtonRule();
}

void TargetListHandlers::Command9_Click() {
  if (w_.List2()->count() == 0) return;
  w_.List1()->clear();
  w_.List1Extent().RemoveAllEntries();
  w_.Command1()->setEnabled(true);
  for (const std::string& path : w_.List2()->Paths()) {
    w_.List1()->AddPath(path);
    // The extent grows with any longer entry, so no handed-over path is cut off.
    w_.List1Extent().AddEntry(path);
  }
  w_.ApplyExtent(w_.List1(), w_.List1Extent());
  ApplyTargetButtonRule();
}

void TargetListHandlers::ApplyTargetButtonRule() {
  if (w_.List1()->count() > 0) {
    w_.Command1()->setEnabled(true);
    w_.Command4()->setEnabled(true);
    w_.Command5()->setEnabled(true);
  } else {
    w_.Command4()->setEnabled(false);
    w_.Command5()->setEnabled(false);
  }
}

void TargetListHandlers::AppendBatch(const TargetBatch& batch) {
  for (const std::string& path : batch.drawings) {
    w_.List1()->AddPath(path);
    w_.List1Extent().AddEntry(path);
  }
  w_.List1Extent().EndBatch(batch.longestBytes);
  w_.ApplyExtent(w_.List1(), w_.List1Extent());
}

}  // namespace dorvan::ui
