// Reads JWW drawings. A JwwReader holds the working state of one read at a time (the
// working record, the outcome flag, the file buffer), so two readers can run on two threads.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "reader/drawing_file.h"
#include "reader/jww_drawing.h"
#include "reader/reader_messages.h"

namespace dorvan {

class ByteCursor;

// Results of ReadWholeDrawing besides 0 (read) and the byte offset of a failed header.
inline constexpr int32_t kMissingSignature = -1;
inline constexpr int32_t kUnsupportedVersion = -2;
inline constexpr int32_t kMalformedList = -3;     // a message has told why
inline constexpr int32_t kUnreadableFile = -4;    // missing, a folder, no permission, I/O error, no memory
inline constexpr int32_t kDamagedContents = -5;   // entities, blocks or images cut short or impossible

class JwwReader {
 public:
  // `messages` may be null: messages are then dropped. They are shown on the thread that
  // reads.
  explicit JwwReader(ReaderMessages* messages = nullptr);
  JwwReader(const JwwReader&) = delete;
  JwwReader& operator=(const JwwReader&) = delete;

  // Reads only the header of `path` into `drawing` (cleared by the caller; its header
  // reset is enough) and empties its data; any version is accepted. Only the header's bytes are read from the file.
  // A header that cannot be read, or a file that does not begin with "JwwData.", is
  // reported with "ヘッド情報読み込みエラーです。" (title "JwwDataRead"); a file that cannot
  // be opened is not. The outcome is left for GetReadError.
  void ReadDrawingHeader(const std::string& path, JwwDrawing& drawing);
  // The same with the file's first bytes already read (PrefixBatch): they are used when the
  // whole header lies within them; anything else (a longer or damaged header, a file that
  // is no drawing) is read the ordinary way, so outcome and messages are those of the read
  // above.
  void ReadDrawingHeader(const std::string& path, std::string_view firstBytes, JwwDrawing& drawing);

  // Reads the whole drawing (versions 351, 420, 600 and 700): header, entities, block
  // definitions and embedded images, in one pass over the file's bytes. Returns 0,
  // kMissingSignature, kUnsupportedVersion, kMalformedList (after its message),
  // kUnreadableFile, kDamagedContents, or the byte offset where the header failed.
  int32_t ReadWholeDrawing(const std::string& path, JwwDrawing& drawing);

  // The same two reads over bytes already in memory; `drawing.FileName` is left as it is.
  void ReadHeaderFromBytes(std::string_view bytes, JwwDrawing& drawing);
  int32_t ReadWholeDrawingFromBytes(std::string_view bytes, JwwDrawing& drawing);

  // -1 when the most recent read failed, 0 when it succeeded or before any read.
  int16_t GetReadError() const { return readErrorFlag_; }

  // True when the most recent read failed because the file could not be opened or read
  // (no permission, an I/O error, a share gone away) or memory ran out: a failure that may
  // pass, which says nothing about the drawing. False for bytes found malformed.
  bool FailedOnTheFile() const { return readErrorFlag_ == -1 && fileFailed_; }

  // Where the most recent read stopped, in bytes from the start of the file: for a whole
  // read of a sound drawing, the file's size.
  uint64_t BytesConsumed() const { return bytesConsumed_; }

  // The reader's working record, which a search clears, reads into and copies out of.
  JwwDrawing& CurrentDrawing() { return current_; }

  // How much of the file a header-only read takes first (it grows from there as the
  // header needs); tests and fuzzing make it small to exercise the growing.
  void SetFirstHeaderChunk(std::size_t bytes) { firstHeaderChunk_ = bytes < 16 ? 16 : bytes; }

  // Files larger than this are read whole into memory of their own, given back page by
  // page as the read passes it and entirely at its end, so a large drawing costs little
  // more than its record; smaller ones reuse the reader's buffer. Tests make it small.
  void SetLargeDrawingBytes(std::size_t bytes) { largeDrawingBytes_ = bytes; }
  static constexpr std::size_t kLargeDrawingBytes = std::size_t{1} << 20;

  // The first header chunk by default: the headers of real drawings take 14 to 17 KB, so a
  // header read is one open, one read and one close, and copies few bytes it does not need.
  static constexpr std::size_t kFirstHeaderChunk = 17 * 1024;

 private:
  template <typename Source>
  void ReadHeaderInChunks(Source& source, JwwDrawing& drawing);
  // Header bytes parsed from `data`; false with `needed` set when they ran out first.
  bool ParseHeader(const uint8_t* data, std::size_t size, JwwDrawing& drawing, std::size_t* needed);
  int32_t ParseWhole(const uint8_t* data, std::size_t size, JwwDrawing& drawing);
  // A large file read a piece at a time as the parse goes, its passed pages given back.
  struct LargeFileRead;
  int32_t ParseWhole(LargeFileRead& read, JwwDrawing& drawing);
  int32_t ParseWhole(ByteCursor& in, JwwDrawing& drawing);
  void ReportHeaderFailure();
  void KeepBufferSmall();

  ReaderMessages* messages_;
  int16_t readErrorFlag_ = 0;
  bool fileFailed_ = false;
  uint64_t bytesConsumed_ = 0;
  std::size_t firstHeaderChunk_ = kFirstHeaderChunk;
  std::size_t largeDrawingBytes_ = kLargeDrawingBytes;
  ByteBuffer buffer_;
  JwwDrawing current_;
};

// Puts a drawing into its start state: empty name, header defaults, default layers,
// empty arrays.
void ClearDrawing(JwwDrawing& drawing);
// Every header value to its default (the extended colour and line-type names and the
// default layers included).
void ResetHeaderDefaults(JwwHeader& header);
// The layer groups and layers to their default states, with empty names.
void ResetLayers(JwwHeader& header);
// Every array of the data (entities, block definitions, number index, images) to element 0.
void ClearDrawingData(JwwDrawingData& data);
// The seven entity arrays and EntityOrder to element 0 only.
void ClearEntityArrays(EntityLists& lists);

// The bytes the arrays of a drawing's data hold room for, its blocks' own included (the
// heap memory of texts and image bytes is not counted).
std::size_t DataCapacityBytes(const JwwDrawingData& data);

// Makes `destination` an independent deep copy of `source`.
void CopyDrawing(JwwDrawing& destination, const JwwDrawing& source);

// The start-up probe of the image unpacking: 53 when the gzip layer cannot work,
// otherwise 0.
int32_t CheckArchiverLibrary();

}  // namespace dorvan
