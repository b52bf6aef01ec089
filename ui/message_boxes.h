// Every message box of the application goes through this interface, so that tests answer
// them without a real dialog.
#pragma once

#include <QString>
#include <memory>

class QMessageBox;
class QWidget;

namespace dorvan::ui {

enum class MessageIcon { None, Exclamation, Stop };
// YesNoOnly: a question that only its two buttons answer (no close box, Escape ignored).
// OkPreview: OK and "プレビュー", for a drawing that can be looked at in dorvan instead.
// OkDxf, OkPreviewDxf: and "DXF で開く", for a drawing the desktop's CAD program can open as DXF.
enum class MessageButtons { Ok, YesNo, YesNoOnly, OkPreview, OkDxf, OkPreviewDxf };
enum class MessageAnswer { Ok, Yes, No, Preview, Dxf };

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // Shows a modal message and returns the answer. `parent` may be null.
  virtual MessageAnswer Show(QWidget* parent, const QString& title, const QString& text,
                             MessageIcon icon, MessageButtons buttons) = 0;
};

// The box QtMessageBoxes shows, not yet shown: exclamation -> warning icon, stop -> critical
// icon. Escape and the close box answer a Yes/No question with No, except a YesNoOnly one.
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, const QString& title, const QString& text,
                                            MessageIcon icon, MessageButtons buttons);

// The real message boxes (QMessageBox).
class QtMessageBoxes : public MessageBoxes {
 public:
  MessageAnswer Show(QWidget* parent, const QString& title, const QString& text, MessageIcon icon,
                     MessageButtons buttons) override;
};

}  // namespace dorvan::ui
