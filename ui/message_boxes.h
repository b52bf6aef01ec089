// Every message box of the application goes through this interface, so that tests answer
// them without a real dialog.
#pragma once

#include <QString>
#include <memory>

class QMessageBox;
class QWidget;

namespace dorvan::ui {

enum class MessageIcon { None, Exclamation, Stop };
// OkPreview: OK and "プレビュー", for a drawing that can be looked at in dorvan instead.
enum class MessageButtons { Ok, YesNo, OkPreview };
enum class MessageAnswer { Ok, Yes, No, Preview };

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // Shows a modal message and returns the answer. `parent` may be null.
  virtual MessageAnswer Show(QWidget* parent, const QString& title, const QString& text,
                             MessageIcon icon, MessageButtons buttons) = 0;
};

// The box QtMessageBoxes shows, not yet shown: exclamation -> warning icon, stop -> critical
// icon. A Yes/No question has no close box and ignores Escape, so only "はい" or "いいえ"
// answers it: a No closes dorvan after a search, and must never be given by accident.
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, const QString& title, const QString& text,
                                            MessageIcon icon, MessageButtons buttons);

// The real message boxes (QMessageBox).
class QtMessageBoxes : public MessageBoxes {
 public:
  MessageAnswer Show(QWidget* parent, const QString& title, const QString& text, MessageIcon icon,
                     MessageButtons buttons) override;
};

}  // namespace dorvan::ui
