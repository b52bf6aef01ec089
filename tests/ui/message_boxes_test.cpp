// The real message boxes: a Yes/No question is answered only by its two buttons.
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "ui/message_boxes.h"

using namespace dorvan::ui;

class MessageBoxesTest : public QObject {
  Q_OBJECT

 private slots:
  // The question after a search that found nothing closes dorvan on No: neither Escape nor
  // the close box may give that answer.
  void QuestionIgnoresEscapeAndTheCloseBox() {
    const auto box = MakeMessageBox(nullptr, QStringLiteral("t"), QStringLiteral("もう一度実行しますか？"),
                                    MessageIcon::Exclamation, MessageButtons::YesNoOnly);
    QVERIFY(!(box->windowFlags() & Qt::WindowCloseButtonHint));
    QCOMPARE(box->button(QMessageBox::No)->text(), QStringLiteral("いいえ(&N)"));
    QSignalSpy answered(box.get(), &QMessageBox::buttonClicked);
    box->show();
    QVERIFY(QTest::qWaitForWindowExposed(box.get()));
    QTest::keyClick(box.get(), Qt::Key_Escape);
    QVERIFY(!box->close());
    QVERIFY(box->isVisible());
    QCOMPARE(answered.count(), 0);
    box->button(QMessageBox::No)->click();
    QVERIFY(!box->isVisible());
    QCOMPARE(box->result(), int(QMessageBox::No));
  }

  // An ordinary question and a message still close with Escape (as No and OK).
  void OtherBoxesStillCloseWithEscape() {
    const auto question = MakeMessageBox(nullptr, QStringLiteral("t"), QStringLiteral("q"),
                                         MessageIcon::Exclamation, MessageButtons::YesNo);
    const auto message = MakeMessageBox(nullptr, QStringLiteral("t"), QStringLiteral("m"), MessageIcon::Stop,
                                        MessageButtons::OkPreview);
    QCOMPARE(message->icon(), QMessageBox::Critical);
    QCOMPARE(message->buttons().size(), 2);  // OK and "プレビュー"
    for (QMessageBox* box : {question.get(), message.get()}) {
      box->show();
      QVERIFY(QTest::qWaitForWindowExposed(box));
      QTest::keyClick(box, Qt::Key_Escape);
      QVERIFY(!box->isVisible());
    }
    QCOMPARE(question->result(), int(QMessageBox::No));
    QCOMPARE(message->result(), int(QMessageBox::Ok));
  }
};

QTEST_MAIN(MessageBoxesTest)
#include "message_boxes_test.moc"
