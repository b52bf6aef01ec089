#include "ui/dxf_save.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QThreadPool>
#include <memory>

#include "export/dxf_writer.h"
#include "reader/jww_reader.h"
#include "ui/background_pool.h"
#include "ui/main_window.h"
#include "ui/message_boxes.h"
#include "ui/preview_window.h"
#include "ui/window_paths.h"

namespace dorvan::ui {

bool SaveDrawingAsDxf(PictureSaveDialog& dialog, MessageBoxes& messages, QWidget* parent, const std::string& path) {
  const QString suggested = QFileInfo(DisplayPath(path)).completeBaseName() + QStringLiteral(".dxf");
  QString file = dialog.ChoosePictureFile(parent, suggested);
  if (file.isEmpty()) return false;
  if (!file.endsWith(QStringLiteral(".dxf"), Qt::CaseInsensitive)) file += QStringLiteral(".dxf");
  // Read and written on a worker thread, as "DXF で開く" is; the message of a failure goes
  // to the window that asked, while it is there.
  QApplication::setOverrideCursor(Qt::BusyCursor);
  const auto window = std::make_shared<QPointer<QWidget>>(parent);
  const bool hadWindow = parent != nullptr;
  BackgroundPool().start([&messages, window, hadWindow, path, file] {
    JwwReader reader;
    JwwDrawing& drawing = reader.CurrentDrawing();
    ClearDrawing(drawing);
    const bool read = reader.ReadWholeDrawing(path, drawing) == 0 && reader.GetReadError() == 0;
    const dxf::DxfOutcome outcome =
        read ? dxf::WriteDxf(drawing, QFile::encodeName(file).toStdString()) : dxf::DxfOutcome::CannotWrite;
    QMetaObject::invokeMethod(
        qApp,
        [&messages, window, hadWindow, path, file, read, outcome] {
          QApplication::restoreOverrideCursor();
          if (outcome == dxf::DxfOutcome::Written || (hadWindow && window->isNull())) return;
          const QString reason = !read ? QStringLiteral("図面を読み込めませんでした。\n%1").arg(DisplayPath(path))
                                 : outcome == dxf::DxfOutcome::TooLarge
                                     ? QStringLiteral("図面が大きすぎて DXF にできません。")
                                     : QStringLiteral("DXF を保存できませんでした。\n%1").arg(file);
          messages.Show(window->data(), MainCaption(), reason, MessageIcon::Exclamation, MessageButtons::Ok);
        },
        Qt::QueuedConnection);
  });
  return true;
}

}  // namespace dorvan::ui
