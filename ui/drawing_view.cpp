#include "ui/drawing_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QScopeGuard>
#include <QThreadPool>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <mutex>

#include "render/drawing_painter.h"
#include "render/framing.h"

namespace dorvan::ui {

// Where a worker thread posts its picture; the view leaves it when it goes away, so a
// picture finished after that is dropped.
struct DrawingView::Mailbox {
  std::mutex mutex;
  DrawingView* view = nullptr;
};

namespace {

constexpr double kSmallestScale = 1e-6;  // pixels per millimetre
constexpr double kLargestScale = 1e5;

}  // namespace

DrawingView::DrawingView(QWidget* parent) : QWidget(parent), mailbox_(std::make_shared<Mailbox>()) {
  mailbox_->view = this;
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(200, 150);
  setAccessibleName(QStringLiteral("図面"));
  setCursor(Qt::OpenHandCursor);
}

DrawingView::~DrawingView() {
  if (cancelRendering_) cancelRendering_->store(true);
  std::lock_guard lock(mailbox_->mutex);
  mailbox_->view = nullptr;
}

void DrawingView::SetDrawing(std::shared_ptr<const JwwDrawing> drawing, std::vector<QPolygonF> highlights) {
  drawing_ = std::move(drawing);
  highlights_ = std::move(highlights);
  layers_.reset();
  message_.clear();
  picture_ = QImage();
  FitAll();
}

void DrawingView::SetMessage(const QString& text) {
  if (cancelRendering_) cancelRendering_->store(true);
  drawing_.reset();
  highlights_.clear();
  picture_ = QImage();
  message_ = text;
  update();
}

QTransform DrawingView::SheetToWidget() const {
  QTransform view;
  view.translate(width() / 2.0, height() / 2.0);
  view.scale(scale_, -scale_);
  view.translate(-centre_.x(), -centre_.y());
  return view;
}

QPointF DrawingView::SheetPointAt(QPointF widgetPoint) const {
  return SheetToWidget().inverted().map(widgetPoint);
}

void DrawingView::FitAll() {
  fitted_ = true;
  if (!drawing_) return;
  const QRectF frame = render::PictureFrame(*drawing_);
  const QTransform fit = render::FitFrame(frame, QRectF(rect()));
  scale_ = std::clamp(fit.m11(), kSmallestScale, kLargestScale);
  centre_ = frame.center();
  RequestPicture();
}

void DrawingView::SetLayers(std::optional<render::LayerTable> layers) {
  layers_ = layers;
  RequestPicture();
}

void DrawingView::ZoomAt(QPointF widgetPoint, double factor) {
  if (!drawing_ || !(factor > 0)) return;
  const QPointF fixed = SheetPointAt(widgetPoint);
  scale_ = std::clamp(scale_ * factor, kSmallestScale, kLargestScale);
  // Move the centre so that `fixed` lands under the pointer again.
  const QPointF offset = widgetPoint - QPointF(width() / 2.0, height() / 2.0);
  centre_ = fixed - QPointF(offset.x() / scale_, -offset.y() / scale_);
  fitted_ = false;
  RequestPicture();
}

void DrawingView::PanBy(QPointF widgetDelta) {
  if (!drawing_) return;
  centre_ -= QPointF(widgetDelta.x() / scale_, -widgetDelta.y() / scale_);
  fitted_ = false;
  RequestPicture();
}

void DrawingView::ShowSheetArea(const QRectF& sheetArea) {
  if (!drawing_) return;
  const QRectF area = sheetArea.normalized();
  const double side = std::max({area.width(), area.height(), 1.0});
  scale_ = std::clamp(std::min(width(), height()) / (3.0 * side), kSmallestScale, kLargestScale);
  centre_ = area.center();
  fitted_ = false;
  RequestPicture();
}

void DrawingView::RequestPicture() {
  update();
  if (!drawing_ || width() <= 0 || height() <= 0) return;
  if (cancelRendering_) cancelRendering_->store(true);
  cancelRendering_ = std::make_shared<std::atomic<bool>>(false);
  const quint64 generation = ++generation_;
  const QTransform view = SheetToWidget();
  const QSize size = this->size();
  const qreal ratio = devicePixelRatioF();
  auto job = [drawing = drawing_, highlights = highlights_, layers = layers_, cancel = cancelRendering_,
              mailbox = mailbox_, generation, view, size, ratio] {
    if (cancel->load()) return;
    QImage picture((QSizeF(size) * ratio).toSize(), QImage::Format_RGB32);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    render::PaintOptions options;
    options.highlights = highlights;
    options.cancel = cancel.get();
    if (layers) options.layers = &*layers;
    const bool finished = render::PaintDrawing(painter, *drawing, view * QTransform::fromScale(ratio, ratio), options);
    painter.end();
    if (!finished) return;
    std::lock_guard lock(mailbox->mutex);
    if (mailbox->view == nullptr) return;
    DrawingView* target = mailbox->view;
    QMetaObject::invokeMethod(
        target, [target, generation, picture, view, size] { target->Delivered(generation, picture, view, size); },
        Qt::QueuedConnection);
  };
  QThreadPool::globalInstance()->start(job);
}

void DrawingView::Delivered(quint64 generation, QImage picture, QTransform view, QSize size) {
  if (generation != generation_) return;  // a newer view is on its way
  picture_ = std::move(picture);
  pictureView_ = view;
  pictureSize_ = size;
  update();
  emit PictureReady();
}

void DrawingView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  // The keyboard's place shows on whatever the view shows.
  // (The style draws its focus frame only after a focus change by the keyboard.)
  const auto focusMark = qScopeGuard([this, &painter] {
    if (!hasFocus()) return;
    painter.resetTransform();
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
  });
  painter.fillRect(rect(), Qt::white);
  if (!drawing_) {
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(rect().adjusted(12, 12, -12, -12), Qt::AlignCenter | Qt::TextWordWrap, message_);
    return;
  }
  if (picture_.isNull()) return;
  // The last picture, moved and scaled from the view it was made for to the current one.
  painter.setRenderHint(QPainter::SmoothPixmapTransform, !PictureCurrent());
  painter.setTransform(pictureView_.inverted() * SheetToWidget());
  painter.drawImage(QPointF(0, 0), picture_);
}

void DrawingView::resizeEvent(QResizeEvent*) {
  if (fitted_) {
    FitAll();
  } else {
    RequestPicture();  // same centre and scale: the view stays where it was
  }
}

void DrawingView::wheelEvent(QWheelEvent* event) {
  const double steps = event->angleDelta().y() / 120.0;
  if (steps != 0) ZoomAt(event->position(), std::pow(1.25, steps));
  event->accept();
}

void DrawingView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton || event->button() == Qt::MiddleButton) {
    dragging_ = true;
    dragFrom_ = event->position();
    setCursor(Qt::ClosedHandCursor);
  }
  setFocus(Qt::MouseFocusReason);
}

void DrawingView::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_) {
    PanBy(event->position() - dragFrom_);
    dragFrom_ = event->position();
  }
  if (drawing_) emit PointerMoved(SheetPointAt(event->position()));
}

void DrawingView::mouseReleaseEvent(QMouseEvent*) {
  dragging_ = false;
  setCursor(Qt::OpenHandCursor);
}

void DrawingView::keyPressEvent(QKeyEvent* event) {
  const QPointF middle(width() / 2.0, height() / 2.0);
  switch (event->key()) {
    case Qt::Key_Home: FitAll(); break;
    case Qt::Key_Plus:
    case Qt::Key_Equal: ZoomAt(middle, 1.25); break;
    case Qt::Key_Minus: ZoomAt(middle, 0.8); break;
    case Qt::Key_Left: PanBy(QPointF(width() / 8.0, 0)); break;
    case Qt::Key_Right: PanBy(QPointF(-width() / 8.0, 0)); break;
    case Qt::Key_Up: PanBy(QPointF(0, height() / 8.0)); break;
    case Qt::Key_Down: PanBy(QPointF(0, -height() / 8.0)); break;
    default: QWidget::keyPressEvent(event); return;
  }
  event->accept();
}

}  // namespace dorvan::ui
