// The small notice `dorvan_message` shown in front of the main window while a folder scan
// runs: one centred line of text, Escape in it asks the scan to stop, and the user cannot
// close it (only the program hides or closes it).
#pragma once

#include <QDialog>
#include <atomic>

class QLabel;

namespace dorvan::ui {

class MessageWindow : public QDialog {
  Q_OBJECT
 public:
  // `cancel_flag` is the flag the folder scan polls (`blnCansel_module`); it must outlive the
  // window. `owner` is the window this one stays in front of.
  MessageWindow(std::atomic<bool>& cancel_flag, QWidget* owner = nullptr);

  QLabel* Label1() const { return label1_; }

  // Closes the window on the program's behalf; the user's close box is refused.
  void CloseByProgram();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // QDialog closes itself on Escape through reject(); here Escape only raises the flag.
  void reject() override;

 private:
  std::atomic<bool>& cancel_flag_;
  QLabel* label1_;
  bool closing_by_program_ = false;
};

}  // namespace dorvan::ui
