#include "render/picture_export.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QPageSize>
#include <QRegularExpression>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>
#include <algorithm>
#include <cerrno>
#include <cctype>
#include <cstdio>
#include <vector>

#include "files/file_mode.h"
#include "render/drawing_painter.h"
#include "render/framing.h"

namespace dorvan::render {
namespace {

constexpr double kLargestPageMillimetres = 5000;  // PDF pages end at 200 inches
constexpr double kSmallestPageMillimetres = 10;
constexpr int kPdfDotsPerInch = 300;

// The file's name as a picture's title: SVG takes it into XML as it is, so the markup
// characters are escaped and control characters (which XML cannot hold) left out.
QString PictureTitle(const JwwDrawing& drawing, bool forXml) {
  QString title = QFileInfo(QString::fromStdString(drawing.FileName)).fileName();
  title.removeIf([](QChar c) { return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() < 0xA0); });
  return forXml ? title.toHtmlEscaped() : title;
}

// A vector picture takes no time to show but room on the disk and in the writer: its
// budget is larger than a thumbnail's, and bounds the file's size instead.
PaintOptions ExportBudget(PictureFormat format) {
  PaintOptions options;
  options.walkBudget = kMaxShapesPerExport;
  options.paintBudget = format == PictureFormat::Svg ? kSvgPaintBudget : kPdfPaintBudget;
  return options;
}

ExportOutcome Outcome(bool painted, PaintEnd end) {
  if (!painted) return ExportOutcome::CannotWrite;
  return end == PaintEnd::Finished ? ExportOutcome::Written : ExportOutcome::TooLarge;
}

ExportOutcome WritePng(QIODevice& file, const JwwDrawing& drawing, int longerSide) {
  QImage picture = RenderPicture(drawing, longerSide);
  if (picture.isNull()) return ExportOutcome::CannotWrite;  // no memory for a picture this large
  picture.convertTo(QImage::Format_RGB888);  // in place where it can be: a large picture is not held twice
  return picture.save(&file, "PNG") ? ExportOutcome::Written : ExportOutcome::CannotWrite;
}

// The sheet's size in millimetres, within what a PDF page can be.
QSizeF PageSize(const QRectF& frame) {
  QSizeF page = frame.size();
  const double longer = std::max(page.width(), page.height());
  if (longer > kLargestPageMillimetres) page *= kLargestPageMillimetres / longer;
  if (longer < kSmallestPageMillimetres) page *= kSmallestPageMillimetres / std::max(longer, 1e-9);
  return page;
}

// A vector picture cut short would pass for the whole drawing: it is refused instead.
ExportOutcome WriteSvg(QIODevice& file, const JwwDrawing& drawing, const QRectF& frame, int longerSide) {
  const QSize size = PictureSize(frame, longerSide);
  QBuffer written;
  written.open(QIODevice::WriteOnly);
  {
    // Gone before the text is worked on: the generator holds the whole text itself until
    // it ends, and a copy of hundreds of megabytes more would count against the budget.
    QSvgGenerator svg;
    svg.setOutputDevice(&written);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(PictureTitle(drawing, true));
    QPainter painter;
    if (!painter.begin(&svg)) return ExportOutcome::CannotWrite;
    const QRectF target(QPointF(0, 0), QSizeF(size));
    painter.fillRect(target, Qt::white);
    const PaintEnd end = PaintDrawing(painter, drawing, FitFrame(frame, target), ExportBudget(PictureFormat::Svg));
    const ExportOutcome outcome = Outcome(painter.end(), end);
    if (outcome != ExportOutcome::Written) return outcome;
  }
  // The generator declares the pixels at 72 dots an inch as millimetres (2,048 pixels made
  // 722 mm); the picture's size is the sheet's, as in the PDF.
  const QSizeF page = PageSize(frame);
  QByteArray& text = written.buffer();
  static const QRegularExpression declared(QStringLiteral(R"(width="[0-9.]+mm" height="[0-9.]+mm")"));
  const QRegularExpressionMatch match = declared.match(QString::fromLatin1(text.left(4096)));
  if (match.hasMatch()) {
    text.replace(match.capturedStart(), match.capturedLength(),
                 QStringLiteral(R"(width="%1mm" height="%2mm")").arg(page.width(), 0, 'f', 2).arg(page.height(), 0, 'f', 2).toLatin1());
  }
  return file.write(text) == text.size() ? ExportOutcome::Written : ExportOutcome::CannotWrite;
}

ExportOutcome WritePdf(QIODevice& file, const JwwDrawing& drawing, const QRectF& frame) {
  const QSizeF page = PageSize(frame);
  QPdfWriter pdf(&file);
  pdf.setResolution(kPdfDotsPerInch);
  pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
  pdf.setPageSize(QPageSize(page, QPageSize::Millimeter, QString(), QPageSize::ExactMatch));
  pdf.setTitle(PictureTitle(drawing, false));
  pdf.setCreator(QStringLiteral("dorvan"));
  QPainter painter;
  if (!painter.begin(&pdf)) return ExportOutcome::CannotWrite;
  const QRectF target(QPointF(0, 0), QSizeF(pdf.width(), pdf.height()));
  painter.fillRect(target, Qt::white);
  const PaintEnd end = PaintDrawing(painter, drawing, FitFrame(frame, target), ExportBudget(PictureFormat::Pdf));
  return Outcome(painter.end(), end);
}

ExportOutcome WritePicture(QIODevice& device, const JwwDrawing& drawing, PictureFormat format, int longerSide) {
  switch (format) {
    case PictureFormat::Png: return WritePng(device, drawing, longerSide);
    case PictureFormat::Svg: return WriteSvg(device, drawing, PictureFrame(drawing, kMaxShapesPerExport), longerSide);
    case PictureFormat::Pdf: return WritePdf(device, drawing, PictureFrame(drawing, kMaxShapesPerExport));
  }
  return ExportOutcome::CannotWrite;
}

}  // namespace

std::optional<PictureFormat> FormatForPath(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return std::nullopt;
  std::string suffix(name.substr(dot + 1));
  for (char& c : suffix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (suffix == "png") return PictureFormat::Png;
  if (suffix == "svg") return PictureFormat::Svg;
  if (suffix == "pdf") return PictureFormat::Pdf;
  return std::nullopt;
}

namespace {

// Writes the picture into a new file beside `path` and renames it over `path`, so that the
// file appears whole or not at all; the new file gets the permissions the user's mask
// allows. The picture goes to the file as it is made, not through memory.
ExportOutcome WriteWholeFile(const std::string& path, const JwwDrawing& drawing, PictureFormat format,
                             int longerSide) {
  std::string temporary = path + ".XXXXXX";
  std::vector<char> name(temporary.begin(), temporary.end());
  name.push_back('\0');
  const int descriptor = mkstemp(name.data());
  if (descriptor < 0) return ExportOutcome::CannotWrite;
  temporary.assign(name.data());
  const mode_t mask = CurrentUmask();
  ExportOutcome outcome = ExportOutcome::CannotWrite;
  {
    QFile file;
    if (fchmod(descriptor, 0666 & ~mask) == 0 && file.open(descriptor, QIODevice::WriteOnly)) {
      outcome = WritePicture(file, drawing, format, longerSide);
      if (!file.flush() || file.error() != QFileDevice::NoError) outcome = ExportOutcome::CannotWrite;
      file.close();
    }
  }
  if (close(descriptor) != 0 && outcome == ExportOutcome::Written) outcome = ExportOutcome::CannotWrite;
  if (outcome == ExportOutcome::Written && std::rename(temporary.c_str(), path.c_str()) == 0) return outcome;
  unlink(temporary.c_str());
  return outcome == ExportOutcome::Written ? ExportOutcome::CannotWrite : outcome;
}

}  // namespace

QByteArray PictureBytes(const JwwDrawing& drawing, PictureFormat format, int longerSide) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  const bool made = WritePicture(buffer, drawing, format, longerSide) == ExportOutcome::Written;
  buffer.close();
  return made ? bytes : QByteArray();
}

ExportOutcome ExportPicture(const JwwDrawing& drawing, const std::string& path, PictureFormat format, int longerSide) {
  return WriteWholeFile(path, drawing, format, longerSide);
}

}  // namespace dorvan::render
