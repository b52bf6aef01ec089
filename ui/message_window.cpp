#include "message_window.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>

#include "ui/app_icon.h"
#include "ui/twips.h"

namespace dorvan::ui {

MessageWindow::MessageWindow(std::atomic<bool>& cancel_flag, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint),
      cancel_flag_(cancel_flag),
      label1_(new QLabel(this)) {
  setObjectName("dorvan_message");
  setWindowTitle(" ");
  setWindowIcon(AppIcon());
  setModal(false);
  setFixedSize(Twips(5205), Twips(795));
  setSizeGripEnabled(false);
  setFont(CaptionFont(font()));
  label1_->setObjectName("Label1");
  label1_->setGeometry(TwipsRect(255, 210, 4695, 225));
  label1_->setAlignment(Qt::AlignCenter);
  // The window itself must hold the keyboard focus, so Escape reaches keyPressEvent.
  setFocusPolicy(Qt::StrongFocus);
}

void MessageWindow::CloseByProgram() {
  closing_by_program_ = true;
  close();
  closing_by_program_ = false;
}

void MessageWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) cancel_flag_ = true;
  // Every key is consumed: none may close the window or reach the main window.
  event->accept();
}

void MessageWindow::closeEvent(QCloseEvent* event) {
  if (closing_by_program_) {
    QDialog::closeEvent(event);
  } else {
    event->ignore();
  }
}

void MessageWindow::reject() {
  if (closing_by_program_) QDialog::reject();
}

}  // namespace dorvan::ui
