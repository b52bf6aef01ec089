// Every message box of the application goes through this interface, so that tests answer
// them without a real dialog.
#pragma once

#include <QString>

class QWidget;

namespace dorvan::ui {

enum class MessageIcon { None, Exclamation, Stop };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // Shows a modal message and returns the answer. `parent` may be null.
  virtual MessageAnswer Show(QWidget* parent, const QString& title, const QString& text,
                             MessageIcon icon, MessageButtons buttons) = 0;
};

// The real message boxes (QMessageBox): exclamation -> warning icon, stop -> critical icon.
class QtMessageBoxes : public MessageBoxes {
 public:
  MessageAnswer Show(QWidget* parent, const QString& title, const QString& text, MessageIcon icon,
                     MessageButtons buttons) override;
};

}  // namespace dorvan::ui
