#include "ui/error_window.h"

#include <QGuiApplication>
#include <QLabel>
#include <QListWidgetItem>
#include <QPushButton>
#include <QScreen>

#include "files/shell_open.h"
#include "ui/found_list_menu.h"
#include "ui/list_box.h"
#include "ui/open_drawing.h"
#include "ui/twips.h"

namespace dorvan::ui {

ErrorWindow::ErrorWindow(ShellOpener& shell, MessageBoxes& messages, QWidget* parent)
    : QDialog(parent),
      shell_(shell),
      messages_(messages),
      label1_(new QLabel(QStringLiteral("読込エラーのファイル（ファイルが古いバージョンか、異常なデータが存在する等）"), this)),
      list1_(new ListBox(ListBox::Order::Insertion, this)),
      command1_(new QPushButton(QStringLiteral("閉じる"), this)) {
  setObjectName(QStringLiteral("dorvan_err_mes"));
  setWindowTitle(QStringLiteral(" "));
  setModal(true);
  // The border can be dragged, but the controls keep their places.
  resize(Twips(6735), Twips(2190));
  label1_->setObjectName(QStringLiteral("Label1"));
  setFont(CaptionFont(font()));
  label1_->setGeometry(TwipsRect(135, 135, 6465, 195));
  // The heading shows whole even in a font wider than the one it was fitted to: the label
  // and the window grow to hold it ("等）" was cut off).
  const int needed = label1_->sizeHint().width();
  if (needed > label1_->width()) {
    label1_->resize(needed, label1_->height());
    resize(label1_->geometry().right() + 1 + label1_->x(), height());
  }
  list1_->setObjectName(QStringLiteral("List1"));
  list1_->setGeometry(TwipsRect(180, 495, 6315, 1140));
  list1_->setSelectionMode(QAbstractItemView::SingleSelection);
  command1_->setObjectName(QStringLiteral("Command1"));
  command1_->setGeometry(TwipsRect(2970, 1800, 780, 285));
  command1_->setAutoDefault(false);
  connect(command1_, &QPushButton::clicked, this, &ErrorWindow::Command1_Click);
  connect(list1_, &QListWidget::itemDoubleClicked, this, [this] { List1_DblClick(); });
  new ListContextMenu(*list1_, shell_, messages_);
}

void ErrorWindow::AddPath(const std::string& path) { list1_->AddPath(path); }

QString ErrorWindow::UndecidedReason() {
  return QStringLiteral("正規表現が複雑すぎて、一致するかどうかを判定できませんでした");
}

QString ErrorWindow::UndecidedSuffix() { return QStringLiteral("　（") + UndecidedReason() + QStringLiteral("）"); }

void ErrorWindow::AddUndecidedPath(const std::string& path) {
  QListWidgetItem* entry = list1_->item(list1_->AddPath(path));
  entry->setText(entry->text() + UndecidedSuffix());
  entry->setToolTip(UndecidedReason());
}

void ErrorWindow::List1_DblClick() {
  const int row = list1_->currentRow();
  if (row < 0) return;
  OpenDrawing(shell_, messages_, this, list1_->PathAt(row));
}

void ErrorWindow::Command1_Click() { accept(); }

void ErrorWindow::showEvent(QShowEvent* event) {
  if (!centred_) {
    centred_ = true;
    const QScreen* screen = parentWidget() != nullptr ? parentWidget()->screen()
                                                      : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
      QRect frame = frameGeometry();
      frame.moveCenter(screen->availableGeometry().center());
      move(frame.topLeft());
    }
  }
  QDialog::showEvent(event);
  list1_->setFocus(Qt::OtherFocusReason);
}

}  // namespace dorvan::ui
