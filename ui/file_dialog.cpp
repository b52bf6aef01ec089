#include "file_dialog.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>

namespace dorvan::ui {

std::vector<std::string> QtDrawingFileDialog::ChooseFiles(QWidget* parent) {
  QFileDialog dialog(parent, QStringLiteral("jwwファイルの選択"));
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // Qt's own dialog, because a desktop's native one matches the pattern in one letter case
  // only, and drawings come as both .jww and .JWW.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setNameFilter(QStringLiteral("jwwファイル (*jww)"));
  dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
  const QString working_folder = QDir::currentPath();
  std::vector<std::string> paths;
  if (dialog.exec() == QDialog::Accepted) {
    for (const QString& file : dialog.selectedFiles()) {
      paths.push_back(QFile::encodeName(file).toStdString());
    }
  }
  // The dialog should never move the working folder; make sure of it.
  if (QDir::currentPath() != working_folder) QDir::setCurrent(working_folder);
  return paths;
}

}  // namespace dorvan::ui
