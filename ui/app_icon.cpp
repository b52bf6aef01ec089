#include "app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace dorvan::ui {

namespace {

// Paints the 64 × 64 design of desktop/dorvan.svg scaled to `size` pixels.
QPixmap Paint(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 64.0, size / 64.0);

  const QColor outline("#3a4a5c");
  QPainterPath sheet;
  sheet.moveTo(10, 4);
  sheet.lineTo(38, 4);
  sheet.lineTo(50, 16);
  sheet.lineTo(50, 58);
  sheet.lineTo(10, 58);
  sheet.closeSubpath();
  QPen sheet_pen(outline, 2.5);
  sheet_pen.setJoinStyle(Qt::RoundJoin);
  p.setPen(sheet_pen);
  p.setBrush(Qt::white);
  p.drawPath(sheet);
  QPainterPath fold;
  fold.moveTo(38, 4);
  fold.lineTo(38, 16);
  fold.lineTo(50, 16);
  p.setBrush(QColor("#dfe6ee"));
  p.drawPath(fold);

  QPen drawing_pen(QColor("#2f7dd1"), 2);
  drawing_pen.setCapStyle(Qt::RoundCap);
  p.setPen(drawing_pen);
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(16, 22, 16, 12));
  p.drawLine(QLineF(16, 40, 40, 40));
  p.drawLine(QLineF(16, 46, 30, 46));
  p.drawEllipse(QPointF(24, 28), 3, 3);

  const QColor lens_rim("#c0392b");
  QColor glass("#cfe6ff");
  glass.setAlphaF(0.85);
  p.setPen(QPen(lens_rim, 4));
  p.setBrush(glass);
  p.drawEllipse(QPointF(42, 42), 10, 10);
  QPen handle(lens_rim, 6);
  handle.setCapStyle(Qt::RoundCap);
  p.setPen(handle);
  p.drawLine(QLineF(49, 49, 59, 59));
  return pixmap;
}

}  // namespace

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128}) icon.addPixmap(Paint(size));
  return icon;
}

}  // namespace dorvan::ui
