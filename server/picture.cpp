#include "server/picture.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <memory>

#include "cli/json_output.h"
#include "reader/jww_reader.h"
#include "reader/unicode_text.h"
#include "render/drawing_painter.h"
#include "render/framing.h"
#include "render/picture_export.h"
#include "search/search_items.h"

namespace dorvan::server {
namespace {

std::unique_ptr<JwwDrawing> ReadWhole(const std::string& path) {
  auto drawing = std::make_unique<JwwDrawing>();
  JwwReader reader;
  ClearDrawing(*drawing);
  const int32_t result = reader.ReadWholeDrawing(path, *drawing);
  if (result != 0 || reader.GetReadError() != 0) return nullptr;
  return drawing;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Number(double value) {
  if (!std::isfinite(value)) return "null";
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

std::string SizeName(int32_t code) {
  for (int32_t i = 0; i < static_cast<int32_t>(kSizeItems.size()); ++i) {
    if (SizeCodeForIndex(i) == code) return std::string(kSizeItems[static_cast<std::size_t>(i)]);
  }
  return std::to_string(code);
}

std::string PngBytes(const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "PNG")) return {};
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace

bool ParseLayers(const std::string& text, std::vector<LayerRef>& layers) {
  layers.clear();
  if (text.empty()) return true;
  std::size_t at = 0;
  while (at <= text.size()) {
    const std::size_t comma = std::min(text.find(',', at), text.size());
    const std::string item = text.substr(at, comma - at);
    LayerRef layer;
    if (item.size() == 1 && HexDigit(item[0]) >= 0) {
      layer.Group = HexDigit(item[0]);
    } else if (item.size() == 3 && item[1] == '-' && HexDigit(item[0]) >= 0 && HexDigit(item[2]) >= 0) {
      layer.Group = HexDigit(item[0]);
      layer.Layer = HexDigit(item[2]);
    } else {
      return false;
    }
    layers.push_back(layer);
    if (layers.size() > 272) return false;
    at = comma + 1;
  }
  return true;
}

bool DrawingInfoJson(const std::string& path, std::string& json) {
  const std::unique_ptr<JwwDrawing> drawing = ReadWhole(path);
  if (!drawing) return false;
  const JwwHeader& header = drawing->Header;
  using cli::JsonString;
  json = "{\"version\": " + std::to_string(header.Version) + ", \"size\": " + JsonString(SizeName(header.DrawingSize)) +
         ", \"size_code\": " + std::to_string(header.DrawingSize) + ", \"memo\": " +
         JsonString(Utf16ToUtf8(header.Memo)) + ", \"layer_groups\": [";
  for (int g = 0; g < 16; ++g) {
    const LayerGroupSettings& group = header.Groups[static_cast<std::size_t>(g)];
    if (g > 0) json += ", ";
    json += "{\"group\": " + std::to_string(g) + ", \"name\": " +
            JsonString(Utf16ToUtf8(header.LayerGroupNames[static_cast<std::size_t>(g)])) +
            ", \"visible\": " + (group.State != 0 ? "true" : "false") + ", \"layers\": [";
    for (int l = 0; l < 16; ++l) {
      if (l > 0) json += ", ";
      json += "{\"layer\": " + std::to_string(l) + ", \"name\": " +
              JsonString(Utf16ToUtf8(header.LayerNames[static_cast<std::size_t>(g)][static_cast<std::size_t>(l)])) +
              ", \"visible\": " + (group.LayerState[static_cast<std::size_t>(l)] != 0 ? "true" : "false") + "}";
    }
    json += "]}";
  }
  json += "], \"extents\": ";
  const std::optional<QRectF> extents = render::DrawnExtents(*drawing);
  if (extents) {
    json += "[" + Number(extents->left()) + ", " + Number(extents->top()) + ", " + Number(extents->right()) + ", " +
            Number(extents->bottom()) + "]";
  } else {
    json += "null";
  }
  const QRectF frame = render::PictureFrame(*drawing);
  json += ", \"frame\": [" + Number(frame.left()) + ", " + Number(frame.top()) + ", " + Number(frame.right()) + ", " +
          Number(frame.bottom()) + "]}";
  return true;
}

bool PicturePng(const std::string& path, const PictureRequest& request, std::string& png) {
  const std::unique_ptr<JwwDrawing> drawing = ReadWhole(path);
  if (!drawing) return false;
  for (const LayerRef& layer : request.Hidden) {
    LayerGroupSettings& group = drawing->Header.Groups[static_cast<std::size_t>(layer.Group)];
    if (layer.Layer < 0) {
      group.State = 0;
    } else {
      group.LayerState[static_cast<std::size_t>(layer.Layer)] = 0;
    }
  }
  QRectF frame = render::PictureFrame(*drawing);
  if (request.View) {
    const auto& v = *request.View;
    frame = QRectF(QPointF(std::min(v[0], v[2]), std::min(v[1], v[3])), QPointF(std::max(v[0], v[2]), std::max(v[1], v[3])));
  }
  QImage picture(request.Width, request.Height, QImage::Format_RGB32);
  if (picture.isNull()) return false;
  picture.fill(Qt::white);
  QPainter painter(&picture);
  render::PaintDrawing(painter, *drawing, render::FitFrame(frame, QRectF(0, 0, request.Width, request.Height)));
  painter.end();
  picture.convertTo(QImage::Format_RGB888);
  png = PngBytes(picture);
  return !png.empty();
}

bool ThumbnailPng(const std::string& path, int longerSide, std::string& png) {
  const std::unique_ptr<JwwDrawing> drawing = ReadWhole(path);
  if (!drawing) return false;
  QImage picture = render::RenderPicture(*drawing, longerSide);
  if (picture.isNull()) return false;
  picture.convertTo(QImage::Format_RGB888);
  png = PngBytes(picture);
  return !png.empty();
}

bool ExportBytes(const std::string& path, ExportKind kind, std::string& bytes) {
  const std::unique_ptr<JwwDrawing> drawing = ReadWhole(path);
  if (!drawing) return false;
  const render::PictureFormat format = kind == ExportKind::Png   ? render::PictureFormat::Png
                                       : kind == ExportKind::Svg ? render::PictureFormat::Svg
                                                                 : render::PictureFormat::Pdf;
  const QByteArray made = render::PictureBytes(*drawing, format, 2048);
  bytes.assign(made.constData(), static_cast<std::size_t>(made.size()));
  return !bytes.empty();
}

}  // namespace dorvan::server
