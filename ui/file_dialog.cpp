#include "file_dialog.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>

#include "ui/window_paths.h"

namespace dorvan::ui {

namespace {

bool IsExistingNonFolder(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}

}  // namespace

DrawingOpenDialog::DrawingOpenDialog(QWidget* parent)
    : QFileDialog(parent, QStringLiteral("jwwファイルの選択")) {
  setFileMode(QFileDialog::ExistingFiles);
  setAcceptMode(QFileDialog::AcceptOpen);
  // Qt's own dialog, because a desktop's native one matches the pattern in one letter case
  // only, and drawings come as both .jww and .JWW.
  setOption(QFileDialog::DontUseNativeDialog);
  setNameFilter(QStringLiteral("jwwファイル (*jww)"));
  setFilter(filter() & ~QDir::CaseSensitive);
}

void DrawingOpenDialog::accept() {
  std::vector<std::string> chosen;
  bool allFiles = true;
  for (const QString& file : selectedFiles()) {
    const std::vector<std::string> paths = PathsOfQtName(file);
    if (paths.empty()) allFiles = false;
    for (const std::string& path : paths) {
      allFiles = allFiles && IsExistingNonFolder(path);
      chosen.push_back(path);
    }
  }
  if (!allFiles || chosen.empty()) {
    // A folder to open, a typed name that does not exist: the dialog's own handling.
    QFileDialog::accept();
    if (result() == QDialog::Accepted) {
      chosen_.clear();
      for (const QString& file : selectedFiles()) chosen_.push_back(PathOfBytes(QFile::encodeName(file)));
    }
    return;
  }
  chosen_ = std::move(chosen);
  QDialog::accept();
}

std::vector<std::string> QtDrawingFileDialog::ChooseFiles(QWidget* parent) {
  DrawingOpenDialog dialog(parent);
  const QString working_folder = QDir::currentPath();
  std::vector<std::string> paths;
  if (dialog.exec() == QDialog::Accepted) paths = dialog.ChosenPaths();
  // The dialog should never move the working folder; make sure of it.
  if (QDir::currentPath() != working_folder) QDir::setCurrent(working_folder);
  return paths;
}

}  // namespace dorvan::ui
