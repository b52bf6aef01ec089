#include "render/picture_export.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QFileInfo>
#include <QBuffer>
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

bool WritePng(QIODevice& file, const JwwDrawing& drawing, int longerSide) {
  QImage picture = RenderPicture(drawing, longerSide);
  if (picture.isNull()) return false;  // no memory for a picture this large
  picture.convertTo(QImage::Format_RGB888);  // in place where it can be: a large picture is not held twice
  return picture.save(&file, "PNG");
}

// The sheet's size in millimetres, within what a PDF page can be.
QSizeF PageSize(const QRectF& frame) {
  QSizeF page = frame.size();
  const double longer = std::max(page.width(), page.height());
  if (longer > kLargestPageMillimetres) page *= kLargestPageMillimetres / longer;
  if (longer < kSmallestPageMillimetres) page *= kSmallestPageMillimetres / std::max(longer, 1e-9);
  return page;
}

bool WriteSvg(QIODevice& file, const JwwDrawing& drawing, const QRectF& frame, int longerSide) {
  const QSize size = PictureSize(frame, longerSide);
  QBuffer written;
  written.open(QIODevice::WriteOnly);
  QSvgGenerator svg;
  svg.setOutputDevice(&written);
  svg.setSize(size);
  svg.setViewBox(QRect(QPoint(0, 0), size));
  svg.setTitle(QFileInfo(QString::fromStdString(drawing.FileName)).fileName());
  if (!PaintInto(svg, drawing, frame, QRectF(QPointF(0, 0), QSizeF(size)))) return false;
  // The generator declares the pixels at 72 dots an inch as millimetres (2,048 pixels made
  // 722 mm); the picture's size is the sheet's, as in the PDF.
  const QSizeF page = PageSize(frame);
  QByteArray text = written.data();
  static const QRegularExpression declared(QStringLiteral(R"(width="[0-9.]+mm" height="[0-9.]+mm")"));
  const QRegularExpressionMatch match = declared.match(QString::fromLatin1(text.left(4096)));
  if (match.hasMatch()) {
    text.replace(match.capturedStart(), match.capturedLength(),
                 QStringLiteral(R"(width="%1mm" height="%2mm")").arg(page.width(), 0, 'f', 2).arg(page.height(), 0, 'f', 2).toLatin1());
  }
  return file.write(text) == text.size();
}

bool WritePdf(QIODevice& file, const JwwDrawing& drawing, const QRectF& frame) {
  const QSizeF page = PageSize(frame);
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

// The process's file mode mask, read without changing it (umask() can only be asked by
// setting it, which other threads would see).
mode_t CurrentUmask() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  mode_t mask = 022;
  if (status == nullptr) return mask;
  char line[256];
  while (std::fgets(line, sizeof line, status) != nullptr) {
    unsigned value = 0;
    if (std::sscanf(line, "Umask: %o", &value) == 1) {
      mask = static_cast<mode_t>(value);
      break;
    }
  }
  std::fclose(status);
  return mask;
}

// Writes `bytes` to a new file beside `path` and renames it over `path`, so that the file
// appears whole or not at all; the new file gets the permissions the user's mask allows.
bool WriteWholeFile(const std::string& path, const QByteArray& bytes) {
  std::string temporary = path + ".XXXXXX";
  std::vector<char> name(temporary.begin(), temporary.end());
  name.push_back('\0');
  const int descriptor = mkstemp(name.data());
  if (descriptor < 0) return false;
  temporary.assign(name.data());
  const mode_t mask = CurrentUmask();
  bool written = fchmod(descriptor, 0666 & ~mask) == 0;
  for (qsizetype done = 0; written && done < bytes.size();) {
    const ssize_t wrote = write(descriptor, bytes.constData() + done, static_cast<std::size_t>(bytes.size() - done));
    if (wrote < 0 && errno == EINTR) continue;
    written = wrote > 0;
    if (written) done += wrote;
  }
  written = close(descriptor) == 0 && written;
  if (written && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
  unlink(temporary.c_str());
  return false;
}

}  // namespace

QByteArray PictureBytes(const JwwDrawing& drawing, PictureFormat format, int longerSide) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  const QRectF frame = PictureFrame(drawing);
  bool made = false;
  switch (format) {
    case PictureFormat::Png: made = WritePng(buffer, drawing, longerSide); break;
    case PictureFormat::Svg: made = WriteSvg(buffer, drawing, frame, longerSide); break;
    case PictureFormat::Pdf: made = WritePdf(buffer, drawing, frame); break;
  }
  buffer.close();
  return made ? bytes : QByteArray();
}

ExportOutcome ExportPicture(const JwwDrawing& drawing, const std::string& path, PictureFormat format, int longerSide) {
  const QByteArray bytes = PictureBytes(drawing, format, longerSide);
  if (bytes.isEmpty()) return ExportOutcome::CannotWrite;
  return WriteWholeFile(path, bytes) ? ExportOutcome::Written : ExportOutcome::CannotWrite;
}

}  // namespace dorvan::render
