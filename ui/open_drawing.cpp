#include "ui/open_drawing.h"

#include "files/shell_open.h"
#include "ui/main_window.h"
#include "ui/message_boxes.h"
#include "ui/window_paths.h"

namespace dorvan::ui {

QString OpenFailureText(const std::string& path, int32_t error, const std::string& detail) {
  QString reason;
  switch (error) {
    case kShellFileMissing: reason = QStringLiteral("ファイルが見つかりません。"); break;
    case kShellNoApplication: reason = QStringLiteral("このファイルを開くアプリケーションが登録されていません。"); break;
    case kShellLaunchFailed: reason = QStringLiteral("アプリケーションを起動できませんでした。"); break;
    default: reason = QStringLiteral("ファイルを開けませんでした。（エラー %1）").arg(error); break;
  }
  QString text = DisplayPath(path) + QStringLiteral("\n\n") + reason;
  // Without an application the detail is the file's type as the desktop names it, which
  // alone ("unknown" where no type database is installed) reads like a verdict.
  if (!detail.empty()) {
    text += QStringLiteral("\n");
    if (error == kShellNoApplication) text += QStringLiteral("ファイルの種類：");
    text += QString::fromStdString(detail);
  }
  return text;
}

int32_t OpenDrawing(ShellOpener& shell, MessageBoxes& messages, QWidget* parent, const std::string& path,
                    int32_t showCommand, const std::function<void()>& preview) {
  const int32_t result = shell.ShellOpen(path, showCommand);
  if (result == 0) return result;
  QString text = OpenFailureText(path, result, shell.FailureDetail());
  // A drawing that is gone cannot be looked at either.
  const bool offerPreview = preview && result != kShellFileMissing;
  if (offerPreview) text += QStringLiteral("\n\n「プレビュー」で図面を見ることができます。");
  const MessageAnswer answer = messages.Show(parent, MainCaption(), text, MessageIcon::Stop,
                                             offerPreview ? MessageButtons::OkPreview : MessageButtons::Ok);
  if (answer == MessageAnswer::Preview) preview();
  return result;
}

}  // namespace dorvan::ui
