// The picture area of the preview window: a drawing fitted to the widget, zoomed around the
// pointer by the mouse wheel, panned by dragging, fitted again by FitAll (Home). Pictures
// are rendered on a thread of the view's own, which reads, saves and searches cannot keep
// busy; the newest request cancels the ones before it. The drawing's framing is worked out
// there too, with its first picture, and kept for later fits, so that neither a resize nor
// a new drawing walks the drawing on the window's thread. Until the picture for the
// current view arrives, the last one is shown moved and scaled to it.
#pragma once

#include <QImage>
#include <QPolygonF>
#include <QThreadPool>
#include <QTransform>
#include <QWidget>
#include <atomic>
#include <memory>
#include <optional>
#include <vector>

#include "reader/jww_drawing.h"
#include "render/drawing_walk.h"

namespace dorvan::ui {

class DrawingView : public QWidget {
  Q_OBJECT
 public:
  explicit DrawingView(QWidget* parent = nullptr);
  ~DrawingView() override;

  // Shows `drawing` fitted to the view, with `highlights` (sheet millimetres) boxed.
  void SetDrawing(std::shared_ptr<const JwwDrawing> drawing, std::vector<QPolygonF> highlights);
  // Shows the layers `layers` marks ([group][layer]) instead of those the drawing's own
  // states show (none: its own, as SetDrawing starts); the picture is rendered anew.
  void SetLayers(std::optional<render::LayerTable> layers);
  const std::optional<render::LayerTable>& Layers() const { return layers_; }
  // Shows a message instead of a picture (loading, an unreadable drawing).
  void SetMessage(const QString& text);
  const QString& Message() const { return message_; }
  bool HasDrawing() const { return drawing_ != nullptr; }

  // The whole drawing, framed as a whole-drawing picture is.
  void FitAll();
  // Zooms by `factor` keeping the sheet point under `widgetPoint` where it is.
  void ZoomAt(QPointF widgetPoint, double factor);
  void PanBy(QPointF widgetDelta);
  // Centres `sheetArea` and zooms so that it fills about a third of the view.
  void ShowSheetArea(const QRectF& sheetArea);

  // Pixels per sheet millimetre, and the sheet point at the view's centre.
  double Scale() const { return scale_; }
  QPointF Centre() const { return centre_; }
  QTransform SheetToWidget() const;
  QPointF SheetPointAt(QPointF widgetPoint) const;
  // True once the picture on show was rendered for the current view.
  bool PictureCurrent() const { return !picture_.isNull() && pictureView_ == SheetToWidget() && pictureSize_ == size(); }
  // The drawing's framing (sheet millimetres), once its first picture has worked it out.
  const std::optional<QRectF>& Frame() const { return frame_; }

 signals:
  // The pointer is over the sheet point `sheet` (millimetres).
  void PointerMoved(QPointF sheet);
  // A picture for the current view has arrived.
  void PictureReady();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  struct Mailbox;
  void RequestPicture();
  void Delivered(quint64 generation, const JwwDrawing* drawing, QImage picture, QTransform view, QSize size,
                 std::optional<QRectF> frame);
  void ApplyFit(const QRectF& frame);

  std::shared_ptr<const JwwDrawing> drawing_;
  std::vector<QPolygonF> highlights_;
  std::optional<render::LayerTable> layers_;
  QString message_;
  double scale_ = 1;
  QPointF centre_;
  bool fitted_ = true;  // untouched since the last fit: a resize fits again
  std::optional<QRectF> frame_;
  QImage picture_;
  QTransform pictureView_;
  QSize pictureSize_;
  quint64 generation_ = 0;
  std::shared_ptr<std::atomic<bool>> cancelRendering_;
  std::shared_ptr<Mailbox> mailbox_;
  QThreadPool renderPool_;
  bool dragging_ = false;
  QPointF dragFrom_;
};

}  // namespace dorvan::ui
