// The images embedded in drawings from version 700 on, and the in-memory gzip unpacking of
// those whose names end in ".gz".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "reader/byte_cursor.h"
#include "reader/jww_drawing.h"

namespace dorvan {

// The most one image may unpack to, and the most all images of one drawing may unpack to;
// an image beyond either keeps its stored bytes.
inline constexpr std::size_t kMaxUnpackedImageBytes = std::size_t{256} << 20;
inline constexpr std::size_t kMaxUnpackedDrawingBytes = std::size_t{512} << 20;

// Reads the image list into `data.Images` (elements 1 to n). A ".gz" image holds its
// unpacked contents, or its stored bytes when they do not unpack.
void ReadEmbeddedImages(ByteCursor& in, JwwDrawingData& data);

// The contents of gzip bytes (one member or several concatenated), or nullopt when they are
// damaged or would unpack to more than `limit` bytes.
std::optional<std::vector<uint8_t>> Gunzip(const uint8_t* data, std::size_t size, std::size_t limit);

}  // namespace dorvan
