// A check box and a push button whose captions wrap onto several lines inside their fixed
// places, as two captions of the main window need; text() stays the caption as given.
#pragma once

#include <QCheckBox>
#include <QPushButton>

namespace dorvan::ui {

class WrappingCheckBox : public QCheckBox {
  Q_OBJECT
 public:
  explicit WrappingCheckBox(const QString& caption, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
  // The whole place answers clicks, not only the first line of the caption.
  bool hitButton(const QPoint& pos) const override;
};

class WrappingPushButton : public QPushButton {
  Q_OBJECT
 public:
  explicit WrappingPushButton(const QString& caption, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace dorvan::ui
