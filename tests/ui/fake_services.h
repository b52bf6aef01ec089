// Stand-ins for the window's message boxes and the desktop's opener: every message is
// recorded and answered from a script, every opening request is recorded.
#pragma once

#include <QString>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "files/shell_open.h"
#include "ui/message_boxes.h"

namespace dorvan::ui::testing {

struct ShownMessage {
  QString title;
  QString text;
  MessageIcon icon;
  MessageButtons buttons;
};

class FakeMessageBoxes : public MessageBoxes {
 public:
  MessageAnswer Show(QWidget*, const QString& title, const QString& text, MessageIcon icon,
                     MessageButtons buttons) override {
    shown.push_back({title, text, icon, buttons});
    if (onShow) onShow(shown.back());
    if (buttons == MessageButtons::Ok) return MessageAnswer::Ok;
    if (buttons == MessageButtons::OkPreview || buttons == MessageButtons::OkDxf ||
        buttons == MessageButtons::OkPreviewDxf)
      return previewAnswer;
    if (yesNoAnswers.empty()) return MessageAnswer::Yes;
    const MessageAnswer answer = yesNoAnswers.front();
    yesNoAnswers.pop_front();
    return answer;
  }

  std::vector<ShownMessage> shown;
  // Answers to the Yes/No questions in turn; Yes once they run out.
  std::deque<MessageAnswer> yesNoAnswers;
  // The answer to every message that offers "プレビュー" or "DXF で開く".
  MessageAnswer previewAnswer = MessageAnswer::Ok;
  // Runs while a message is "on the screen", before it is answered.
  std::function<void(const ShownMessage&)> onShow;
};

class FakeShell : public ShellOpener {
 public:
  struct Request {
    std::string file;
    int32_t showCommand;
  };
  int32_t ShellOpen(const std::string& file, int32_t showCommand) override {
    requests.push_back({file, showCommand});
    return result;
  }
  std::string FailureDetail() const override { return detail; }
  bool HasApplicationFor(const std::string& contentType) override { return applicationTypes.count(contentType) != 0; }
  int32_t ShellOpenAs(const std::string& file, const std::string& contentType) override {
    openedAs.push_back({file, contentType});
    return 0;
  }
  std::vector<Request> requests;
  // The MIME types the desktop has an application for, and what was opened as one of them.
  std::set<std::string> applicationTypes;
  std::vector<std::pair<std::string, std::string>> openedAs;
  // What every request answers: 0 (issued) or an error number with the system's words.
  int32_t result = 0;
  std::string detail;
};

}  // namespace dorvan::ui::testing
