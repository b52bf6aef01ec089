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
// A preview is cancelled by the next view, so it can afford more than a thumbnail: a view
// zoomed into a dense drawing crosses it with long lines.
constexpr int64_t kPreviewPaintBudget = 4 * render::kThumbnailPaintBudget;

// The scale that fits `frame` into a widget of `size`.
double FitScale(const QRectF& frame, QSize size) {
  const QTransform fit = render::FitFrame(frame, QRectF(QPointF(0, 0), QSizeF(size)));
  return std::clamp(fit.m11(), kSmallestScale, kLargestScale);
}

QTransform ViewTransform(QSize size, double scale, QPointF centre) {
  QTransform view;
  view.translate(size.width() / 2.0, size.height() / 2.0);
  view.scale(scale, -scale);
  view.translate(-centre.x(), -centre.y());
  return view;
}

}  // namespace

DrawingView::DrawingView(QWidget* parent) : QWidget(parent), mailbox_(std::make_shared<Mailbox>()) {
  mailbox_->view = this;
  renderPool_.setMaxThreadCount(1);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(200, 150);
  setAccessibleName(QStringLiteral("図面"));
  setCursor(Qt::OpenHandCursor);
}

DrawingView::~DrawingView() {
  if (cancelRendering_) cancelRendering_->store(true);
  renderPool_.clear();
  std::lock_guard lock(mailbox_->mutex);
  mailbox_->view = nullptr;
}

void DrawingView::SetDrawing(std::shared_ptr<const JwwDrawing> drawing, std::vector<QPolygonF> highlights) {
  drawing_ = std::move(drawing);
  highlights_ = std::move(highlights);
  layers_.reset();
  message_.clear();
  picture_ = QImage();
  frame_.reset();
  FitAll();
}

void DrawingView::SetMessage(const QString& text) {
  if (cancelRendering_) cancelRendering_->store(true);
  drawing_.reset();
  highlights_.clear();
  picture_ = QImage();
  frame_.reset();
  message_ = text;
  update();
}

QTransform DrawingView::SheetToWidget() const { return ViewTransform(size(), scale_, centre_); }

QPointF DrawingView::SheetPointAt(QPointF widgetPoint) const {
  return SheetToWidget().inverted().map(widgetPoint);
}

void DrawingView::FitAll() {
  fitted_ = true;
  if (!drawing_) return;
  if (frame_) ApplyFit(*frame_);  // else the picture's job frames the drawing and fits it
  RequestPicture();
}

void DrawingView::SetLayers(std::optional<render::LayerTable> layers) {
  layers_ = layers;
  RequestPicture();
}

void DrawingView::ApplyFit(const QRectF& frame) {
  scale_ = FitScale(frame, size());
  centre_ = frame.center();
}

// Zooming and panning start from the fitted view: until the drawing is framed there is
// nothing on show to move.
void DrawingView::ZoomAt(QPointF widgetPoint, double factor) {
  if (!drawing_ || !frame_ || !(factor > 0)) return;
  const QPointF fixed = SheetPointAt(widgetPoint);
  scale_ = std::clamp(scale_ * factor, kSmallestScale, kLargestScale);
  // Move the centre so that `fixed` lands under the pointer again.
  const QPointF offset = widgetPoint - QPointF(width() / 2.0, height() / 2.0);
  centre_ = fixed - QPointF(offset.x() / scale_, -offset.y() / scale_);
  fitted_ = false;
  RequestPicture();
}

void DrawingView::PanBy(QPointF widgetDelta) {
  if (!drawing_ || !frame_) return;
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
  // The newest request wins: the running job stops at its next entity, the queued ones
  // never start.
  if (cancelRendering_) cancelRendering_->store(true);
  renderPool_.clear();
  cancelRendering_ = std::make_shared<std::atomic<bool>>(false);
  const quint64 generation = ++generation_;
  const bool frame = !frame_, fit = fitted_;
  const QSize size = this->size();
  const qreal ratio = devicePixelRatioF();
  auto job = [drawing = drawing_, highlights = highlights_, layers = layers_, cancel = cancelRendering_,
              mailbox = mailbox_, generation, frame, fit, size, ratio, scale = scale_, centre = centre_]() mutable {
    if (cancel->load()) return;
    std::optional<QRectF> framing;
    if (frame) {
      framing = render::PictureFrame(*drawing, render::kMaxShapesPerWalk, cancel.get());
      if (cancel->load()) return;  // a frame of part of the drawing
      if (fit) {
        scale = FitScale(*framing, size);
        centre = framing->center();
      }
    }
    const QTransform view = ViewTransform(size, scale, centre);
    QImage picture;
    if (!cancel->load()) {
      picture = QImage((QSizeF(size) * ratio).toSize(), QImage::Format_RGB32);
      picture.setDevicePixelRatio(ratio);
      picture.fill(Qt::white);
      QPainter painter(&picture);
      render::PaintOptions options;
      options.highlights = highlights;
      options.cancel = cancel.get();
      if (layers) options.layers = &*layers;
      options.paintBudget = kPreviewPaintBudget;
      const render::PaintEnd end =
          render::PaintDrawing(painter, *drawing, view * QTransform::fromScale(ratio, ratio), options);
      painter.end();
      if (end == render::PaintEnd::Cancelled) picture = QImage();
    }
    if (picture.isNull() && !framing) return;  // the framing is worth keeping even so
    std::lock_guard lock(mailbox->mutex);
    if (mailbox->view == nullptr) return;
    DrawingView* target = mailbox->view;
    QMetaObject::invokeMethod(
        target,
        [target, generation, drawing, picture, view, size, framing] {
          target->Delivered(generation, drawing.get(), picture, view, size, framing);
        },
        Qt::QueuedConnection);
  };
  renderPool_.start(job);
}

void DrawingView::Delivered(quint64 generation, const JwwDrawing* drawing, QImage picture, QTransform view, QSize size,
                            std::optional<QRectF> frame) {
  if (frame && drawing == drawing_.get() && !frame_) {
    frame_ = frame;
    if (fitted_) {
      ApplyFit(*frame_);
      if (generation != generation_) RequestPicture();  // the view changed size meanwhile
    }
  }
  if (generation != generation_ || picture.isNull()) return;  // a newer view is on its way
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
