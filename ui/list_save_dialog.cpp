#include "ui/list_save_dialog.h"

#include <QFileDialog>

namespace dorvan::ui {

QString QtListSaveDialog::ChooseSaveFile(QWidget* parent) {
  QFileDialog dialog(parent, QStringLiteral("一覧を保存"), QString(), QStringLiteral("CSV ファイル (*.csv)"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("csv"));
  dialog.selectFile(QStringLiteral("該当ファイル.csv"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst();
}

}  // namespace dorvan::ui
