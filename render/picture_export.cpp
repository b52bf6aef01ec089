#include "render/picture_export.h"

#include <QFileInfo>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QSvgGenerator>
#include <algorithm>

#include "render/drawing_painter.h"
#include "render/framing.h"

namespace dorvan::render {
namespace {

constexpr double kLargestPageMillimetres = 5000;  // PDF pages end at 200 inches
constexpr double kSmallestPageMillimetres = 10;
constexpr int kPdfDotsPerInch = 300;

bool PaintInto(QPaintDevice& device, const JwwDrawing& drawing, const QRectF& frame, const QRectF& target) {
  QPainter painter;
  if (!painter.begin(&device)) return false;
  painter.fillRect(target, Qt::white);
  PaintDrawing(painter, drawing, FitFrame(frame, target));
  return painter.end();
}

bool WritePng(QSaveFile& file, const JwwDrawing& drawing, int longerSide) {
  const QImage picture = RenderPicture(drawing, longerSide).convertToFormat(QImage::Format_RGB888);
  return !picture.isNull() && picture.save(&file, "PNG");
}

bool WriteSvg(QSaveFile& file, const JwwDrawing& drawing, const QRectF& frame, int longerSide) {
  const QSize size = PictureSize(frame, longerSide);
  QSvgGenerator svg;
  svg.setOutputDevice(&file);
  svg.setSize(size);
  svg.setViewBox(QRect(QPoint(0, 0), size));
  svg.setTitle(QFileInfo(QString::fromStdString(drawing.FileName)).fileName());
  return PaintInto(svg, drawing, frame, QRectF(QPointF(0, 0), QSizeF(size)));
}

bool WritePdf(QSaveFile& file, const JwwDrawing& drawing, const QRectF& frame) {
  QSizeF page = frame.size();
  const double longer = std::max(page.width(), page.height());
  if (longer > kLargestPageMillimetres) page *= kLargestPageMillimetres / longer;
  if (longer < kSmallestPageMillimetres) page *= kSmallestPageMillimetres / std::max(longer, 1e-9);
  QPdfWriter pdf(&file);
  pdf.setResolution(kPdfDotsPerInch);
  pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
  pdf.setPageSize(QPageSize(page, QPageSize::Millimeter, QString(), QPageSize::ExactMatch));
  pdf.setTitle(QFileInfo(QString::fromStdString(drawing.FileName)).fileName());
  pdf.setCreator(QStringLiteral("dorvan"));
  QPainter painter;
  if (!painter.begin(&pdf)) return false;
  const QRectF target(QPointF(0, 0), QSizeF(pdf.width(), pdf.height()));
  painter.fillRect(target, Qt::white);
  PaintDrawing(painter, drawing, FitFrame(frame, target));
  return painter.end();
}

}  // namespace

std::optional<PictureFormat> FormatForPath(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix == QLatin1String("png")) return PictureFormat::Png;
  if (suffix == QLatin1String("svg")) return PictureFormat::Svg;
  if (suffix == QLatin1String("pdf")) return PictureFormat::Pdf;
  return std::nullopt;
}

ExportOutcome ExportPicture(const JwwDrawing& drawing, const QString& path, PictureFormat format, int longerSide) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return ExportOutcome::CannotWrite;
  const QRectF frame = PictureFrame(drawing);
  bool written = false;
  switch (format) {
    case PictureFormat::Png: written = WritePng(file, drawing, longerSide); break;
    case PictureFormat::Svg: written = WriteSvg(file, drawing, frame, longerSide); break;
    case PictureFormat::Pdf: written = WritePdf(file, drawing, frame); break;
  }
  if (!written || file.error() != QFileDevice::NoError) {
    file.cancelWriting();
    return ExportOutcome::CannotWrite;
  }
  return file.commit() ? ExportOutcome::Written : ExportOutcome::CannotWrite;
}

}  // namespace dorvan::render
