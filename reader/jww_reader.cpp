#include "reader/jww_reader.h"

#include <algorithm>
#include <new>
#include <string>

#include "reader/block_reader.h"
#include "reader/byte_cursor.h"
#include "reader/header_reader.h"
#include "reader/reader_texts.h"

namespace dorvan {
namespace {

constexpr std::string_view kSignature = "JwwData.";

// A large file is read a piece of this size ahead of the parse, and the pages the parse
// has passed are given back as often: its bytes take two pieces of memory at most.
constexpr std::size_t kLargeFilePiece = LargeFileBytes::kHugePage;

bool IsReadableVersion(int32_t version) {
  return version == 351 || version == 420 || version == 600 || version == 700;
}

const uint8_t* BytesOf(std::string_view bytes) { return reinterpret_cast<const uint8_t*>(bytes.data()); }

}  // namespace

JwwReader::JwwReader(ReaderMessages* messages) : messages_(messages) { ClearDrawing(current_); }

// A large file being read: the bytes that are there, and the file they come from.
struct JwwReader::LargeFileRead {
  DrawingFile& file;
  LargeFileBytes& bytes;
  uint8_t* data;
  std::size_t size;
  std::size_t filled = 0;
  bool ioError = false;

  // Reads on up to `wanted` (a piece at least); returns how many bytes are there.
  static std::size_t Fill(void* context, std::size_t wanted) {
    auto& read = *static_cast<LargeFileRead*>(context);
    if (read.ioError) return read.filled;
    const std::size_t end = std::min(read.size, std::max(wanted, read.filled + kLargeFilePiece));
    const int64_t got = read.file.ReadAt(read.data + read.filled, end - read.filled, read.filled);
    if (got < 0) {
      read.ioError = true;
    } else {
      read.filled += static_cast<std::size_t>(got);
    }
    return read.filled;
  }

  static void GiveBack(void* context, std::size_t offset) {
    static_cast<LargeFileRead*>(context)->bytes.GiveBackBefore(offset);
  }
};

void JwwReader::ReportHeaderFailure() {
  readErrorFlag_ = -1;
  if (messages_)
    messages_->ShowReaderMessage(std::string(texts::kHeaderReadError), std::string(texts::kHeaderReadTitle));
}

void JwwReader::KeepBufferSmall() {
  // The buffer is kept from one read to the next (a search reads many drawings in a row,
  // and fresh memory costs a page fault per 4 KB), but never one of a large file's size.
  if (buffer_.capacity() > largeDrawingBytes_) buffer_.Release();
}

bool JwwReader::ParseHeader(const uint8_t* data, std::size_t size, JwwDrawing& drawing, std::size_t* needed) {
  ByteCursor in(data, size);
  *needed = 0;
  ReadSignature(in, drawing.Header);
  // A file that does not begin with the signature is no drawing, whatever follows.
  const bool isDrawing = !in.failed() && drawing.Header.Signature == kSignature;
  if (isDrawing) ReadHeaderBody(in, drawing.Header);
  bytesConsumed_ = in.offset();
  if (isDrawing && !in.failed()) return true;
  if (in.ranOut()) *needed = in.wanted();
  return false;
}

namespace {

// Bytes already in memory, read the way a file is.
class MemorySource {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  uint64_t size() const { return bytes_.size(); }
  bool IsRegularFile() const { return true; }
  int64_t ReadAt(uint8_t* into, std::size_t count, uint64_t offset) {
    if (offset >= bytes_.size()) return 0;
    const std::size_t n = std::min<std::size_t>(count, bytes_.size() - offset);
    std::copy_n(bytes_.data() + offset, n, into);
    return static_cast<int64_t>(n);
  }

 private:
  std::string_view bytes_;
};

}  // namespace

template <typename Source>
void JwwReader::ReadHeaderInChunks(Source& source, JwwDrawing& drawing) {
  // The header's length depends on its strings, so it is read in growing chunks until it
  // fits: a large drawing's entities are never loaded.
  std::size_t chunk = firstHeaderChunk_;
  std::size_t have = 0;  // bytes from the start of the file in the buffer
  bool read = false;
  bool ioError = false;
  for (;;) {
    // A larger chunk only reads the bytes the buffer does not hold yet.
    uint8_t* bytes = buffer_.Grow(chunk, have);
    const int64_t got = source.ReadAt(bytes + have, chunk - have, have);
    if (got < 0) {
      ioError = true;
      break;
    }
    have += static_cast<std::size_t>(got);
    std::size_t needed = 0;
    read = ParseHeader(bytes, have, drawing, &needed);
    if (read || needed == 0 || have < chunk) break;
    // A length that reaches past the end of the file is damage, never a reason to read
    // (or allocate) more. The size is asked only here: most headers fit the first chunk.
    const uint64_t size = source.size();
    if (needed > size) break;
    chunk = static_cast<std::size_t>(std::min<uint64_t>(size, std::max(needed, chunk * 2)));
  }
  KeepBufferSmall();
  ClearDrawingData(drawing.Data);
  fileFailed_ = ioError;
  if (ioError) {
    readErrorFlag_ = -1;
  } else if (!read) {
    // A device or the like is unreadable as a file that cannot be opened is: unannounced.
    if (source.IsRegularFile()) {
      ReportHeaderFailure();
    } else {
      readErrorFlag_ = -1;
    }
  } else {
    readErrorFlag_ = 0;
  }
}

void JwwReader::ReadDrawingHeader(const std::string& path, JwwDrawing& drawing) {
  drawing.FileName = path;
  bytesConsumed_ = 0;
  try {
    DrawingFile file;
    if (file.OpenAnyKind(path)) {
      ReadHeaderInChunks(file, drawing);
      return;
    }
  } catch (const std::bad_alloc&) {
    // A file whose header does not fit in memory is as unreadable as one that cannot open.
  }
  ClearDrawingData(drawing.Data);
  readErrorFlag_ = -1;
  fileFailed_ = true;
}

void JwwReader::ReadDrawingHeader(const std::string& path, std::string_view firstBytes, JwwDrawing& drawing) {
  try {
    std::size_t needed = 0;
    if (ParseHeader(BytesOf(firstBytes), firstBytes.size(), drawing, &needed)) {
      drawing.FileName = path;
      ClearDrawingData(drawing.Data);
      readErrorFlag_ = 0;
      fileFailed_ = false;
      return;
    }
  } catch (const std::bad_alloc&) {
    // Read again below, where running out of memory has its own outcome.
  }
  ReadDrawingHeader(path, drawing);
}

void JwwReader::ReadHeaderFromBytes(std::string_view bytes, JwwDrawing& drawing) {
  bytesConsumed_ = 0;
  try {
    MemorySource source(bytes);
    ReadHeaderInChunks(source, drawing);
  } catch (const std::bad_alloc&) {
    readErrorFlag_ = -1;
    fileFailed_ = true;
  }
}

int32_t JwwReader::ReadWholeDrawing(const std::string& path, JwwDrawing& drawing) {
  drawing.FileName = path;
  bytesConsumed_ = 0;
  int32_t result = kUnreadableFile;
  readErrorFlag_ = -1;
  try {
    DrawingFile file;
    if (file.Open(path) && file.size() <= SIZE_MAX) {
      const auto size = static_cast<std::size_t>(file.size());
      if (size > largeDrawingBytes_) {
        LargeFileBytes large;
        LargeFileRead read{file, large, large.Allocate(size), size};
        LargeFileRead::Fill(&read, 0);
        result = ParseWhole(read, drawing);
        // A file that could not be read to its end is unreadable, however far it got.
        if (read.ioError) {
          result = kUnreadableFile;
          readErrorFlag_ = -1;
        }
      } else {
        uint8_t* bytes = buffer_.Reserve(size);
        const int64_t got = file.ReadPrefix(bytes, size);
        if (got >= 0) result = ParseWhole(bytes, static_cast<std::size_t>(got), drawing);
      }
    }
  } catch (const std::bad_alloc&) {
    // A drawing too large for memory is unreadable; what was read of it stays.
    result = kUnreadableFile;
    readErrorFlag_ = -1;
  }
  KeepBufferSmall();
  fileFailed_ = result == kUnreadableFile;
  return result;
}

int32_t JwwReader::ReadWholeDrawingFromBytes(std::string_view bytes, JwwDrawing& drawing) {
  try {
    fileFailed_ = false;
    return ParseWhole(BytesOf(bytes), bytes.size(), drawing);
  } catch (const std::bad_alloc&) {
    readErrorFlag_ = -1;
    fileFailed_ = true;
    return kUnreadableFile;
  }
}

int32_t JwwReader::ParseWhole(LargeFileRead& read, JwwDrawing& drawing) {
  ByteCursor in(read.data, read.size);
  in.OnFill(LargeFileRead::Fill, &read, read.filled);
  in.OnPassed(LargeFileRead::GiveBack, &read, kLargeFilePiece);
  return ParseWhole(in, drawing);
}

int32_t JwwReader::ParseWhole(const uint8_t* data, std::size_t size, JwwDrawing& drawing) {
  ByteCursor in(data, size);
  return ParseWhole(in, drawing);
}

int32_t JwwReader::ParseWhole(ByteCursor& in, JwwDrawing& drawing) {
  auto finish = [&](int32_t result, bool read) {
    bytesConsumed_ = in.offset();
    readErrorFlag_ = read ? 0 : -1;
    return result;
  };
  JwwHeader& header = drawing.Header;
  if (ReadSignature(in, header) == 0) return finish(kMissingSignature, false);
  if (!IsReadableVersion(header.Version)) return finish(kUnsupportedVersion, false);
  const int32_t headerResult = ReadHeaderBody(in, header);
  ClearDrawingData(drawing.Data);
  if (headerResult != 0) return finish(headerResult, false);

  const ContentsResult contents = ReadBlockDefinitions(in, drawing, true);
  if (!contents.Message.empty()) {
    if (messages_) {
      messages_->ShowReaderMessage(std::string(contents.Message) + "\r\n",
                                   std::string(texts::kMalformedListTitle));
    }
    return finish(kMalformedList, false);
  }
  if (in.failed()) return finish(kDamagedContents, false);
  // A malformed list inside a block definition leaves the drawing unreadable, unannounced.
  return finish(0, !contents.BlockListFailed);
}

}  // namespace dorvan
