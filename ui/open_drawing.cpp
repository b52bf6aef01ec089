#include "ui/open_drawing.h"

#include <QApplication>
#include <QPointer>
#include <QThreadPool>
#include <memory>
#include <sys/stat.h>

#include "export/dxf_cache.h"
#include "files/shell_open.h"
#include "ui/background_pool.h"
#include "ui/main_window.h"
#include "ui/message_boxes.h"
#include "ui/window_paths.h"

namespace dorvan::ui {

QString OpenFailureText(const std::string& path, int32_t error, const std::string& detail, bool folder) {
  QString reason;
  switch (error) {
    case kShellFileMissing:
      reason = folder ? QStringLiteral("フォルダが見つかりません。") : QStringLiteral("ファイルが見つかりません。");
      break;
    case kShellNoApplication:
      reason = folder ? QStringLiteral("このフォルダを開くアプリケーションが登録されていません。")
                      : QStringLiteral("このファイルを開くアプリケーションが登録されていません。");
      break;
    case kShellLaunchFailed: reason = QStringLiteral("アプリケーションを起動できませんでした。"); break;
    default: reason = QStringLiteral("ファイルを開けませんでした。（エラー %1）").arg(error); break;
  }
  QString text = DisplayPath(path) + QStringLiteral("\n\n") + reason;
  // Without an application the detail is the file's type as the desktop names it, which
  // alone ("unknown" where no type database is installed) reads like a verdict.
  if (!detail.empty() && !(folder && error == kShellNoApplication)) {
    text += QStringLiteral("\n");
    if (error == kShellNoApplication) text += QStringLiteral("ファイルの種類：");
    text += QString::fromStdString(detail);
  }
  return text;
}

int32_t OpenDrawing(ShellOpener& shell, MessageBoxes& messages, QWidget* parent, const std::string& path,
                    int32_t showCommand, const std::function<void()>& preview, bool folder) {
  const int32_t result = shell.ShellOpen(path, showCommand);
  if (result == 0) return result;
  QString text = OpenFailureText(path, result, shell.FailureDetail(), folder);
  // A drawing that is gone cannot be looked at either.
  const bool offerPreview = preview && result != kShellFileMissing;
  struct stat status {};
  const bool offerDxf = result == kShellNoApplication && ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
                        shell.HasApplicationFor(kDxfContentType);
  if (offerPreview) text += QStringLiteral("\n\n「プレビュー」で図面を見ることができます。");
  if (offerDxf) text += QStringLiteral("\n「DXF で開く」で CAD プログラムで開くことができます。");
  const MessageButtons buttons = offerPreview ? (offerDxf ? MessageButtons::OkPreviewDxf : MessageButtons::OkPreview)
                                              : (offerDxf ? MessageButtons::OkDxf : MessageButtons::Ok);
  const MessageAnswer answer = messages.Show(parent, MainCaption(), text, MessageIcon::Stop, buttons);
  if (answer == MessageAnswer::Preview && offerPreview) preview();
  if (answer == MessageAnswer::Dxf && offerDxf) OpenAsDxf(shell, messages, parent, path);
  return result;
}

namespace {

void FinishOpenAsDxf(ShellOpener& shell, MessageBoxes& messages, QWidget* parent, const std::string& path,
                     const dxf::CachedDxf& made) {
  QString reason;
  if (made.path.empty()) {
    if (made.readResult != 0)
      reason = QStringLiteral("図面を読み込めませんでした。");
    else if (made.outcome == dxf::DxfOutcome::TooLarge)
      reason = QStringLiteral("図面が大きすぎて DXF にできません。");
    else
      reason = QStringLiteral("DXF を書き込めませんでした。\n") + QString::fromStdString(dxf::DxfCacheFolder());
    messages.Show(parent, MainCaption(), DisplayPath(path) + QStringLiteral("\n\n") + reason, MessageIcon::Stop,
                  MessageButtons::Ok);
    return;
  }
  const int32_t result = shell.ShellOpenAs(made.path, kDxfContentType);
  if (result != 0) {
    reason = result == kShellNoApplication ? QStringLiteral("DXF を開くアプリケーションが登録されていません。")
                                           : OpenFailureText(made.path, result, shell.FailureDetail());
    messages.Show(parent, MainCaption(), DisplayPath(path) + QStringLiteral("\n\n") + reason, MessageIcon::Stop,
                  MessageButtons::Ok);
  }
}

}  // namespace

void OpenAsDxf(ShellOpener& shell, MessageBoxes& messages, QWidget* parent, const std::string& path) {
  // Without a CAD program there is no use in writing the file.
  if (!shell.HasApplicationFor(kDxfContentType)) {
    messages.Show(parent, MainCaption(),
                  DisplayPath(path) + QStringLiteral("\n\nDXF を開くアプリケーションが登録されていません。"),
                  MessageIcon::Stop, MessageButtons::Ok);
    return;
  }
  // An 8 MB drawing takes most of a second: the DXF is written on a worker thread. The
  // window it was asked from is watched (only here, on the window's thread): when it has
  // gone, so have the opener and the message boxes, and nothing more is done.
  QApplication::setOverrideCursor(Qt::BusyCursor);
  const auto window = std::make_shared<QPointer<QWidget>>(parent);
  const bool hadWindow = parent != nullptr;
  BackgroundPool().start([&shell, &messages, window, hadWindow, path] {
    auto made = std::make_shared<dxf::CachedDxf>(dxf::MakeCachedDxf(path, dxf::DxfCacheFolder()));
    QMetaObject::invokeMethod(
        qApp,
        [&shell, &messages, window, hadWindow, path, made] {
          QApplication::restoreOverrideCursor();
          if (hadWindow && window->isNull()) return;
          FinishOpenAsDxf(shell, messages, window->data(), path, *made);
        },
        Qt::QueuedConnection);
  });
}

}  // namespace dorvan::ui
