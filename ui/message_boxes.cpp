#include "message_boxes.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>

namespace dorvan::ui {

namespace {

// QMessageBox takes "No" as the answer to Escape and to the close box; a question that must
// be answered takes neither (after a search that found nothing, No closes dorvan, and must
// never be given by accident).
class QuestionBox : public QMessageBox {
 public:
  explicit QuestionBox(QWidget* parent) : QMessageBox(parent) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  }

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->matches(QKeySequence::Cancel) || event->key() == Qt::Key_Escape) {
      event->accept();
      return;
    }
    QMessageBox::keyPressEvent(event);
  }
  void closeEvent(QCloseEvent* event) override { event->ignore(); }
};

}  // namespace

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, const QString& title, const QString& text,
                                            MessageIcon icon, MessageButtons buttons) {
  std::unique_ptr<QMessageBox> box =
      buttons == MessageButtons::YesNoOnly ? std::make_unique<QuestionBox>(parent) : std::make_unique<QMessageBox>(parent);
  box->setWindowTitle(title);
  box->setText(text);
  switch (icon) {
    case MessageIcon::Exclamation: box->setIcon(QMessageBox::Warning); break;
    case MessageIcon::Stop: box->setIcon(QMessageBox::Critical); break;
    case MessageIcon::None: box->setIcon(QMessageBox::NoIcon); break;
  }
  if (buttons == MessageButtons::YesNo || buttons == MessageButtons::YesNoOnly) {
    box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box->setDefaultButton(QMessageBox::Yes);
    // The window is Japanese whatever the desktop's language; the question's answers are
    // named in its words ("いいえ" closes dorvan after a search that found nothing).
    box->button(QMessageBox::Yes)->setText(QStringLiteral("はい(&Y)"));
    box->button(QMessageBox::No)->setText(QStringLiteral("いいえ(&N)"));
  } else {
    box->setStandardButtons(QMessageBox::Ok);
    box->button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    if (buttons == MessageButtons::OkPreview || buttons == MessageButtons::OkPreviewDxf)
      box->addButton(QStringLiteral("プレビュー"), QMessageBox::ActionRole)->setObjectName(QStringLiteral("preview"));
    if (buttons == MessageButtons::OkDxf || buttons == MessageButtons::OkPreviewDxf)
      box->addButton(QStringLiteral("DXF で開く"), QMessageBox::ActionRole)->setObjectName(QStringLiteral("dxf"));
    if (buttons != MessageButtons::Ok) {
      box->setDefaultButton(QMessageBox::Ok);
      box->setEscapeButton(QMessageBox::Ok);
    }
  }
  return box;
}

MessageAnswer QtMessageBoxes::Show(QWidget* parent, const QString& title, const QString& text,
                                   MessageIcon icon, MessageButtons buttons) {
  const std::unique_ptr<QMessageBox> box = MakeMessageBox(parent, title, text, icon, buttons);
  const int answer = box->exec();
  if (buttons != MessageButtons::YesNo && buttons != MessageButtons::YesNoOnly) {
    const QString clicked = box->clickedButton() != nullptr ? box->clickedButton()->objectName() : QString();
    if (clicked == QStringLiteral("preview")) return MessageAnswer::Preview;
    if (clicked == QStringLiteral("dxf")) return MessageAnswer::Dxf;
    return MessageAnswer::Ok;
  }
  return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

}  // namespace dorvan::ui
