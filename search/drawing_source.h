// Where a search run gets its drawings from. The run only asks for one drawing at a time
// by path; the default source reads real files with the drawing reader, tests use an
// in-memory source.
#pragma once

#include <string>

#include "reader/jww_drawing.h"
#include "reader/reader_messages.h"

namespace dorvan {

class DrawingSource {
 public:
  virtual ~DrawingSource() = default;

  // Reads `path` into `out`: the whole drawing when `wholeDrawing`, else only its header.
  // Returns false when the drawing is unreadable. The reader's messages go to `messages`
  // (may be null).
  virtual bool Read(const std::string& path, bool wholeDrawing, JwwDrawing& out,
                    ReaderMessages* messages) = 0;

  // The run has evaluated what Read put into `drawing` (readable or not): a source may
  // give back memory the record holds beyond what later reads reuse. Called once after
  // every Read, on the same thread.
  virtual void DoneWith(JwwDrawing& /*drawing*/) {}

  // True when Read may run on several threads at once, so the run may read ahead.
  virtual bool SupportsConcurrentReads() const { return false; }
};

}  // namespace dorvan
