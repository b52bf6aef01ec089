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
                                    MessageIcon::Exclamation, MessageButtons::YesNo);
    QVERIFY(!(box->windowFlags() & Qt::WindowCloseButtonHint));
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

  void MessageStillClosesWithEscape() {
    const auto box = MakeMessageBox(nullptr, QStringLiteral("t"), QStringLiteral("m"), MessageIcon::Stop,
                                    MessageButtons::OkPreview);
    QCOMPARE(box->icon(), QMessageBox::Critical);
    QCOMPARE(box->buttons().size(), 2);  // OK and "プレビュー"
    QCOMPARE(box->escapeButton(), box->button(QMessageBox::Ok));
    box->show();
    QVERIFY(QTest::qWaitForWindowExposed(box.get()));
    QTest::keyClick(box.get(), Qt::Key_Escape);
    QVERIFY(!box->isVisible());
  }
};

QTEST_MAIN(MessageBoxesTest)
#include "message_boxes_test.moc"
