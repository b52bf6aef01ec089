#include "reader/embedded_images.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "reader/archive_primitives.h"
#include "reader/jww_reader.h"

namespace dorvan {
namespace {

// A name, at least 1 byte, and a size: the least an image entry takes in the file.
constexpr std::size_t kMinImageBytes = 1 + 4;

bool EndsInGz(const Text& name) { return name.size() >= 3 && name.compare(name.size() - 3, 3, u".gz") == 0; }

class Inflater {
 public:
  Inflater() { ok_ = inflateInit2(&stream_, 16 + MAX_WBITS) == Z_OK; }
  ~Inflater() {
    if (ok_) inflateEnd(&stream_);
  }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;
  bool ok() const { return ok_; }
  z_stream& stream() { return stream_; }

 private:
  z_stream stream_{};
  bool ok_ = false;
};

}  // namespace

std::optional<std::vector<uint8_t>> Gunzip(const uint8_t* data, std::size_t size, std::size_t limit) {
  if (size == 0 || size > UINT32_MAX) return std::nullopt;
  Inflater inflater;
  if (!inflater.ok()) return std::nullopt;
  z_stream& stream = inflater.stream();
  stream.next_in = const_cast<Bytef*>(data);
  stream.avail_in = static_cast<uInt>(size);

  std::vector<uint8_t> out;
  std::size_t produced = 0;
  for (;;) {
    if (produced == out.size()) {
      if (out.size() >= limit) return std::nullopt;  // more is coming than the limit allows
      const std::size_t grown = std::max<std::size_t>(out.size() * 2, std::min<std::size_t>(size * 4, 1 << 20));
      out.resize(std::min(std::max<std::size_t>(grown, 4096), limit));
    }
    stream.next_out = out.data() + produced;
    stream.avail_out = static_cast<uInt>(std::min<std::size_t>(out.size() - produced, UINT32_MAX));
    const uInt before = stream.avail_out;
    const int result = inflate(&stream, Z_NO_FLUSH);
    produced += before - stream.avail_out;
    if (result == Z_STREAM_END) {
      // Concatenated members unpack one after the other, as gzip does; bytes after the last
      // member that do not start another one are ignored.
      if (stream.avail_in >= 2 && stream.next_in[0] == 0x1F && stream.next_in[1] == 0x8B) {
        if (inflateReset(&stream) != Z_OK) return std::nullopt;
        continue;
      }
      break;
    }
    if (result != Z_OK && !(result == Z_BUF_ERROR && stream.avail_out == 0)) return std::nullopt;
    if (result == Z_OK && stream.avail_in == 0 && stream.avail_out != 0) return std::nullopt;  // cut short
  }
  out.resize(produced);
  return out;
}

void ReadEmbeddedImages(ByteCursor& in, JwwDrawingData& data) {
  data.Images.assign(1, EmbeddedImage{});
  const uint32_t count = in.UDword();
  if (!in.CanHold(count, kMinImageBytes)) return;
  std::size_t budget = kMaxUnpackedDrawingBytes;
  for (uint32_t i = 1; i <= count; ++i) {
    EmbeddedImage& image = data.Images.emplace_back();
    image.Name = ReadCString(in);
    const uint32_t size = in.UDword();
    const uint8_t* bytes = in.Take(size);
    if (in.failed()) return;
    if (EndsInGz(image.Name)) {
      if (auto unpacked = Gunzip(bytes, size, std::min(kMaxUnpackedImageBytes, budget))) {
        budget -= unpacked->size();
        image.Bytes = std::move(*unpacked);
        continue;
      }
    }
    image.Bytes.assign(bytes, bytes + size);
  }
}

int32_t CheckArchiverLibrary() {
  constexpr int32_t kLibraryMissing = 53;
  // The library in use must be of the major version the reader was built against ...
  if (zlibVersion()[0] != ZLIB_VERSION[0]) return kLibraryMissing;
  // ... and must unpack what it packs.
  static constexpr char kSample[] = "dorvan gzip probe";
  z_stream stream{};
  if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    return kLibraryMissing;
  uint8_t packed[128];
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(kSample));
  stream.avail_in = sizeof kSample;
  stream.next_out = packed;
  stream.avail_out = sizeof packed;
  const int result = deflate(&stream, Z_FINISH);
  const std::size_t packedSize = stream.total_out;
  deflateEnd(&stream);
  if (result != Z_STREAM_END) return kLibraryMissing;
  const auto unpacked = Gunzip(packed, packedSize, 1024);
  if (!unpacked || unpacked->size() != sizeof kSample ||
      std::memcmp(unpacked->data(), kSample, sizeof kSample) != 0)
    return kLibraryMissing;
  return 0;
}

}  // namespace dorvan
