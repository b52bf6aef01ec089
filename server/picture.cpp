#include "server/picture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <QBuffer>
#include <QtEndian>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>

#include "cli/json_output.h"
#include "reader/jww_reader.h"
#include "reader/unicode_text.h"
#include "render/drawing_painter.h"
#include "render/framing.h"
#include "render/picture_export.h"
#include "search/search_items.h"

#include "index/index_database.h"

namespace dorvan::server {
namespace {

// What tells a file's version apart (a file written anew changes at least its change
// time): the index's stamp.
using index::FileStamp;

// Opened rather than looked up by name: a network file system checks a file's times with
// the server when it is opened, and may answer a lookup from times it noted a minute ago.
// (Not blocking, so that a pipe in a root does not hold the request.)
bool Stamp(const std::string& path, FileStamp& stamp) {
  const int file = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (file < 0) return false;
  struct stat st {};
  const bool found = ::fstat(file, &st) == 0 && S_ISREG(st.st_mode);
  ::close(file);
  if (!found) return false;
  stamp = index::StampOfInfo(st);
  return true;
}

// What a parsed drawing holds on the heap, roughly: the bound of the cache counts it.
template <class T>
std::size_t VectorBytes(const std::vector<T>& items) {
  return items.capacity() * sizeof(T);
}
std::size_t TextBytes(const std::u16string& text) { return 16 + (text.capacity() + 1) * sizeof(char16_t); }
std::size_t ListBytes(const EntityLists& lists) {
  std::size_t bytes = VectorBytes(lists.Lines) + VectorBytes(lists.Arcs) + VectorBytes(lists.Points) +
                      VectorBytes(lists.Texts) + VectorBytes(lists.Solids) + VectorBytes(lists.Dimensions) +
                      VectorBytes(lists.BlockInserts) + VectorBytes(lists.EntityOrder);
  for (const TextEntity& text : lists.Texts) bytes += TextBytes(text.FontName) + TextBytes(text.Text);
  for (const DimensionEntity& dimension : lists.Dimensions) {
    bytes += TextBytes(dimension.Label.FontName) + TextBytes(dimension.Label.Text);
  }
  return bytes;
}
std::size_t DrawingBytes(const JwwDrawing& drawing) {
  std::size_t bytes = sizeof(JwwDrawing) + (64u << 10) /* the header's names and memo */ + ListBytes(drawing.Data) +
                      VectorBytes(drawing.Data.BlockDefinitions) + VectorBytes(drawing.Data.BlockIndexByNumber) +
                      VectorBytes(drawing.Data.Images);
  for (const BlockDefinition& block : drawing.Data.BlockDefinitions) bytes += ListBytes(block.Data) + TextBytes(block.Name);
  for (const EmbeddedImage& image : drawing.Data.Images) bytes += image.Bytes.capacity() + TextBytes(image.Name);
  return bytes;
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

void PngChunk(std::string& png, const char* type, const unsigned char* data, std::size_t size) {
  const auto bigEndian = [&png](uint32_t value) {
    const char bytes[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
                           static_cast<char>(value)};
    png.append(bytes, 4);
  };
  bigEndian(static_cast<uint32_t>(size));
  const std::size_t at = png.size();
  png.append(type, 4);
  if (size > 0) png.append(reinterpret_cast<const char*>(data), size);
  bigEndian(static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(png.data() + at), static_cast<uInt>(size + 4))));
}

}  // namespace

// The buffers a painting turn keeps; those of pictures much larger than a screen are let go.
struct PaintingDesk {
  static constexpr qsizetype kKeptBytes = 8 << 20;
  QImage Picture;
  std::string Deflated;
  void Tidy() {
    if (Picture.sizeInBytes() > kKeptBytes) Picture = QImage();
    if (Deflated.capacity() > static_cast<std::size_t>(kKeptBytes)) std::string().swap(Deflated);
  }
};

namespace {

// A preview travels once over the office's network and is painted at once: the fastest
// compression (no row filters, deflate level 1) makes it in a fifth of the time of the
// default, for about the same size on line drawings.
std::string PreviewPng(const QImage& image, std::string& deflated) {
  const int width = image.width(), height = image.height();
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 3 + 1;
  z_stream stream{};
  // A smaller hash table than zlib's default (memory level 6 of 9) is faster still here.
  if (deflateInit2(&stream, 1, Z_DEFLATED, 15, 6, Z_DEFAULT_STRATEGY) != Z_OK) return {};
  const std::size_t bound = deflateBound(&stream, rowBytes * static_cast<std::size_t>(height));
  if (deflated.size() < bound) deflated.resize(bound);
  stream.next_out = reinterpret_cast<Bytef*>(deflated.data());
  stream.avail_out = static_cast<uInt>(deflated.size());
  std::vector<unsigned char> row(rowBytes + 1);  // the last pixel writes one byte past its own
  bool sound = true;
  for (int y = 0; sound && y < height; ++y) {
    const auto* pixels = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    unsigned char* out = row.data();
    *out++ = 0;  // no filter
    for (int x = 0; x < width; ++x) {
      // Red, green and blue in that order in memory, and one byte more that the next overwrites.
      const uint32_t rgb = qToLittleEndian(static_cast<uint32_t>(qRed(pixels[x]) | qGreen(pixels[x]) << 8 | qBlue(pixels[x]) << 16));
      std::memcpy(out, &rgb, 4);
      out += 3;
    }
    stream.next_in = row.data();
    stream.avail_in = static_cast<uInt>(rowBytes);
    sound = deflate(&stream, y + 1 == height ? Z_FINISH : Z_NO_FLUSH) == (y + 1 == height ? Z_STREAM_END : Z_OK);
  }
  const std::size_t deflatedBytes = stream.total_out;
  deflateEnd(&stream);
  if (!sound) return {};
  std::string png("\x89PNG\r\n\x1a\n", 8);
  png.reserve(deflatedBytes + 64);
  const unsigned char header[13] = {static_cast<unsigned char>(width >> 24), static_cast<unsigned char>(width >> 16),
                                    static_cast<unsigned char>(width >> 8),  static_cast<unsigned char>(width),
                                    static_cast<unsigned char>(height >> 24), static_cast<unsigned char>(height >> 16),
                                    static_cast<unsigned char>(height >> 8), static_cast<unsigned char>(height),
                                    8 /* bits */, 2 /* RGB */, 0, 0, 0};
  PngChunk(png, "IHDR", header, sizeof header);
  PngChunk(png, "IDAT", reinterpret_cast<const unsigned char*>(deflated.data()), deflatedBytes);
  PngChunk(png, "IEND", nullptr, 0);
  return png;
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

struct HeldDrawing {
  JwwDrawing Drawing;
  std::string Key;  // the path and the stamp of the version read
  bool Settled = false;  // the file was the same before and after the read, and not just changed
  QRectF Frame;
  std::string Info;  // without the catalog's part
  std::size_t Bytes = 0;
};

namespace {

std::string InfoOf(const JwwDrawing& drawing, const std::optional<QRectF>& extents, const QRectF& frame) {
  const JwwHeader& header = drawing.Header;
  using cli::JsonString;
  std::string json = "{\"version\": " + std::to_string(header.Version) + ", \"size\": " +
                     JsonString(SizeName(header.DrawingSize)) + ", \"size_code\": " +
                     std::to_string(header.DrawingSize) + ", \"memo\": " + JsonString(Utf16ToUtf8(header.Memo)) +
                     ", \"layer_groups\": [";
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
  if (extents) {
    json += "[" + Number(extents->left()) + ", " + Number(extents->top()) + ", " + Number(extents->right()) + ", " +
            Number(extents->bottom()) + "]";
  } else {
    json += "null";
  }
  json += ", \"frame\": [" + Number(frame.left()) + ", " + Number(frame.top()) + ", " + Number(frame.right()) + ", " +
          Number(frame.bottom()) + "]}";
  return json;
}

std::string StampKey(const std::string& path, const FileStamp& stamp) {
  return path + '\0' + std::to_string(stamp.Device) + ':' + std::to_string(stamp.Inode) + ':' +
         std::to_string(stamp.Size) + ':' + std::to_string(stamp.ModifiedNs) + ':' + std::to_string(stamp.ChangedNs);
}

// A turn at painting, held until the scope ends.
class PaintingTurn {
 public:
  explicit PaintingTurn(PaintingTurns& turns) : turns_(turns), desk_(turns.Take()) {}
  ~PaintingTurn() { turns_.Give(desk_); }
  PaintingDesk& Desk() const { return desk_; }
  PaintingTurn(const PaintingTurn&) = delete;
  PaintingTurn& operator=(const PaintingTurn&) = delete;

 private:
  PaintingTurns& turns_;
  PaintingDesk& desk_;
};

std::string ExactNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

}  // namespace

PaintingTurns::PaintingTurns(int turns) : admitted_(static_cast<uint64_t>(turns)) {
  for (int i = 0; i < turns; ++i) {
    desks_.push_back(std::make_unique<PaintingDesk>());
    free_.push_back(desks_.back().get());
  }
}

PaintingTurns::~PaintingTurns() = default;

PaintingDesk& PaintingTurns::Take() {
  std::unique_lock lock(mutex_);
  const uint64_t ticket = asked_++;
  given_.wait(lock, [&] { return ticket < admitted_; });
  PaintingDesk& desk = *free_.back();
  free_.pop_back();
  return desk;
}

void PaintingTurns::Give(PaintingDesk& desk) {
  desk.Tidy();
  {
    std::lock_guard lock(mutex_);
    free_.push_back(&desk);
    ++admitted_;
  }
  given_.notify_all();
}

PictureMaker::PictureMaker(const Limits& limits)
    : limits_(limits),
      painting_(std::clamp(limits.Painting > 0 ? limits.Painting : static_cast<int>(std::thread::hardware_concurrency()),
                           1, 1024)) {}

PictureMaker::~PictureMaker() = default;

std::shared_ptr<const HeldDrawing> PictureMaker::Load(const std::string& path, bool keep) {
  FileStamp stamp;
  if (!Stamp(path, stamp)) return nullptr;
  {
    std::lock_guard lock(mutex_);
    const auto found = drawingByPath_.find(path);
    if (found != drawingByPath_.end()) {
      const std::shared_ptr<const HeldDrawing>& held = found->second->second;
      if (held->Key == StampKey(path, stamp)) {
        drawings_.splice(drawings_.begin(), drawings_, found->second);
        return held;
      }
    }
  }
  const int64_t readAt = index::NowNs();
  auto held = std::make_shared<HeldDrawing>();
  JwwReader reader;
  ClearDrawing(held->Drawing);
  const int32_t result = reader.ReadWholeDrawing(path, held->Drawing);
  if (result != 0 || reader.GetReadError() != 0) return nullptr;
  const std::optional<QRectF> extents = render::DrawnExtents(held->Drawing);
  held->Frame = render::PictureFrame(extents, held->Drawing.Header.DrawingSize);
  held->Info = InfoOf(held->Drawing, extents, held->Frame);
  held->Bytes = DrawingBytes(held->Drawing) + held->Info.size();
  FileStamp after;
  held->Settled = Stamp(path, after) && after == stamp && index::SettledWhenTaken(stamp, readAt, limits_.Settle.count());
  held->Key = StampKey(path, stamp);
  if (keep && held->Settled && held->Bytes <= limits_.DrawingBytes) {
    std::lock_guard lock(mutex_);
    const auto found = drawingByPath_.find(path);
    if (found != drawingByPath_.end()) {
      drawingBytes_ -= found->second->second->Bytes;
      drawings_.erase(found->second);
      drawingByPath_.erase(found);
    }
    drawings_.emplace_front(path, held);
    drawingByPath_.emplace(path, drawings_.begin());
    drawingBytes_ += held->Bytes;
    while (drawingBytes_ > limits_.DrawingBytes) {
      drawingBytes_ -= drawings_.back().second->Bytes;
      drawingByPath_.erase(drawings_.back().first);
      drawings_.pop_back();
    }
  }
  return held;
}

bool PictureMaker::InfoJson(const std::string& path, std::string& json) {
  const std::shared_ptr<const HeldDrawing> held = Load(path, true);
  if (!held) return false;
  json = held->Info;
  return true;
}

bool PictureMaker::PicturePng(const std::string& path, const PictureRequest& request, std::string& png) {
  const std::shared_ptr<const HeldDrawing> held = Load(path, true);
  if (!held) return false;
  std::string key = held->Key + '\0' + std::to_string(request.Width) + 'x' + std::to_string(request.Height);
  if (request.View) {
    for (double v : *request.View) key += ',' + ExactNumber(v);
  }
  for (const LayerRef& layer : request.Hidden) key += ';' + std::to_string(layer.Group) + '-' + std::to_string(layer.Layer);
  {
    std::lock_guard lock(mutex_);
    const auto found = pictureByKey_.find(key);
    if (found != pictureByKey_.end()) {
      pictures_.splice(pictures_.begin(), pictures_, found->second);
      png = found->second->second;
      return true;
    }
  }
  // The drawing is shared: hidden layers are told to the painter, not written into it.
  render::LayerTable layers{};
  for (std::size_t g = 0; g < 16; ++g) {
    const LayerGroupSettings& group = held->Drawing.Header.Groups[g];
    for (std::size_t l = 0; l < 16; ++l) layers[g][l] = group.State != 0 && group.LayerState[l] != 0;
  }
  for (const LayerRef& layer : request.Hidden) {
    auto& group = layers[static_cast<std::size_t>(layer.Group)];
    if (layer.Layer < 0) {
      group.fill(false);
    } else {
      group[static_cast<std::size_t>(layer.Layer)] = false;
    }
  }
  QRectF frame = held->Frame;
  if (request.View) {
    const auto& v = *request.View;
    frame = QRectF(QPointF(std::min(v[0], v[2]), std::min(v[1], v[3])), QPointF(std::max(v[0], v[2]), std::max(v[1], v[3])));
  }
  const PaintingTurn turn(painting_);
  QImage& picture = turn.Desk().Picture;
  if (picture.size() != QSize(request.Width, request.Height)) {
    picture = QImage(request.Width, request.Height, QImage::Format_RGB32);
    if (picture.isNull()) return false;
  }
  picture.fill(Qt::white);
  QPainter painter(&picture);
  render::PaintOptions options;
  options.layers = &layers;
  render::PaintDrawing(painter, held->Drawing, render::FitFrame(frame, QRectF(0, 0, request.Width, request.Height)),
                       options);
  painter.end();
  png = PreviewPng(picture, turn.Desk().Deflated);
  if (png.empty()) return false;
  std::lock_guard lock(mutex_);
  if (held->Settled && png.size() <= limits_.PictureBytes / 4 && !pictureByKey_.contains(key)) {
    pictures_.emplace_front(key, png);
    pictureByKey_.emplace(std::move(key), pictures_.begin());
    pictureBytes_ += png.size() + pictures_.front().first.size();
    while (pictureBytes_ > limits_.PictureBytes) {
      pictureBytes_ -= pictures_.back().second.size() + pictures_.back().first.size();
      pictureByKey_.erase(pictures_.back().first);
      pictures_.pop_back();
    }
  }
  return true;
}

bool PictureMaker::ThumbnailPng(const std::string& path, int longerSide, std::string& png) {
  const std::shared_ptr<const HeldDrawing> held = Load(path, false);
  if (!held) return false;
  const PaintingTurn turn(painting_);
  QImage picture(render::PictureSize(held->Frame, longerSide), QImage::Format_RGB32);
  if (picture.isNull()) return false;
  picture.fill(Qt::white);
  QPainter painter(&picture);
  render::PaintDrawing(painter, held->Drawing,
                       render::FitFrame(held->Frame, QRectF(QPointF(0, 0), QSizeF(picture.size()))));
  painter.end();
  picture.convertTo(QImage::Format_RGB888);
  png = PngBytes(picture);
  return !png.empty();
}

bool PictureMaker::ExportBytes(const std::string& path, ExportKind kind, std::string& bytes) {
  const std::shared_ptr<const HeldDrawing> held = Load(path, false);
  if (!held) return false;
  const render::PictureFormat format = kind == ExportKind::Png   ? render::PictureFormat::Png
                                       : kind == ExportKind::Svg ? render::PictureFormat::Svg
                                                                 : render::PictureFormat::Pdf;
  const PaintingTurn turn(painting_);
  const QByteArray made = render::PictureBytes(held->Drawing, format, 2048);
  bytes.assign(made.constData(), static_cast<std::size_t>(made.size()));
  return !bytes.empty();
}

}  // namespace dorvan::server
