#include "message_window.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>

#include "app_icon.h"

namespace dorvan::ui {

namespace {
// Twips to pixels at 96 dots per inch, where the window's layout was measured.
constexpr int Px(int twips) { return twips / 15; }
}  // namespace

MessageWindow::MessageWindow(std::atomic<bool>& cancel_flag, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint),
      cancel_flag_(cancel_flag),
      label1_(new QLabel(this)) {
  setObjectName("dorvan_message");
  setWindowTitle(" ");
  setWindowIcon(AppIcon());
  setModal(false);
  setFixedSize(Px(5205), Px(795));
  setSizeGripEnabled(false);
  label1_->setObjectName("Label1");
  label1_->setGeometry(Px(255), Px(210), Px(4695), Px(225));
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
