// Reads JWW drawings. A JwwReader holds the working state of one read at a time (the
// working record, the outcome flag, the load map), so two readers can run on two threads.
#pragma once

#include <cstdint>
#include <string>

#include "jww_drawing.h"
#include "reader_messages.h"

namespace dorvan {

// Results of ReadWholeDrawing besides 0 (read) and the byte offset of a failed header.
inline constexpr int32_t kMissingSignature = -1;
inline constexpr int32_t kUnsupportedVersion = -2;
inline constexpr int32_t kMalformedList = -3;

class JwwReader {
 public:
  // `messages` may be null: messages are then dropped.
  explicit JwwReader(ReaderMessages* messages = nullptr);
  ~JwwReader();
  JwwReader(const JwwReader&) = delete;
  JwwReader& operator=(const JwwReader&) = delete;

  // Reads only the header of `path` into `drawing` (cleared by the caller) and empties
  // its data; any version is accepted. The outcome is left for GetReadError.
  void ReadDrawingHeader(const std::string& path, JwwDrawing& drawing);

  // Reads the whole drawing (versions 351, 420, 600 and 700): header, entities, block
  // definitions and embedded images. Returns 0, kMissingSignature, kUnsupportedVersion,
  // kMalformedList or the byte offset where the header failed.
  int32_t ReadWholeDrawing(const std::string& path, JwwDrawing& drawing);

  // -1 when the most recent read failed, 0 when it succeeded or before any read.
  int16_t GetReadError() const;

  // The reader's working record, which a search clears, reads into and copies out of.
  JwwDrawing& CurrentDrawing();

  struct State;  // load map, class tags, outcome flag

 private:
  State* state_;
  ReaderMessages* messages_;
  JwwDrawing current_;
};

// Puts a drawing into its start state: empty name, header defaults, default layers,
// empty arrays.
void ClearDrawing(JwwDrawing& drawing);
void ResetHeaderDefaults(JwwHeader& header);
void ResetLayers(JwwHeader& header);
void ClearDrawingData(JwwDrawingData& data);
void ClearEntityArrays(EntityLists& lists);

// Makes `destination` an independent deep copy of `source`.
void CopyDrawing(JwwDrawing& destination, const JwwDrawing& source);

// The start-up probe of the image unpacking: 53 when the gzip layer cannot work,
// otherwise 0.
int32_t CheckArchiverLibrary();

}  // namespace dorvan
