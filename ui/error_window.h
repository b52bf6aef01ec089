// The window `dorvan_err_mes`: the drawings the latest search run could not read, in the
// order of the target list. A double-click opens an entry with the desktop's application;
// "閉じる" closes the window. Each run fills a window of its own.
#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QPushButton;

namespace dorvan {
class ShellOpener;
}

namespace dorvan::ui {

class ListBox;
class MessageBoxes;

class ErrorWindow : public QDialog {
  Q_OBJECT
 public:
  // Opening failures are reported through `messages`.
  ErrorWindow(ShellOpener& shell, MessageBoxes& messages, QWidget* parent = nullptr);

  QLabel* Label1() const { return label1_; }
  ListBox* List1() const { return list1_; }
  QPushButton* Command1() const { return command1_; }

  // Appends an unreadable drawing at the end of the list.
  void AddPath(const std::string& path);
  // Appends a drawing on which the search pattern could not be decided, its reason shown
  // after the path (and as its tool tip).
  void AddUndecidedPath(const std::string& path);
  // The reason given for such a drawing, and what follows its path in the list.
  static QString UndecidedReason();
  static QString UndecidedSuffix();

  // Opens the entry at the list's current index (show command maximised); an entry the
  // desktop cannot open is reported in a message box.
  void List1_DblClick();
  // "閉じる".
  void Command1_Click();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  ShellOpener& shell_;
  MessageBoxes& messages_;
  QLabel* label1_;
  ListBox* list1_;
  QPushButton* command1_;
  bool centred_ = false;
};

}  // namespace dorvan::ui
