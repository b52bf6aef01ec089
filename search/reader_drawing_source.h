// The drawing source over the drawing reader: clears the working record, reads the whole
// drawing or its header, hands the record over and asks the reader for the outcome.
#pragma once

#include "search/drawing_source.h"

namespace dorvan {

class ReaderDrawingSource : public DrawingSource {
 public:
  bool Read(const std::string& path, bool wholeDrawing, JwwDrawing& out,
            ReaderMessages* messages) override;
  // Every Read uses a reader of its own, so reads may overlap.
  bool SupportsConcurrentReads() const override { return true; }
};

}  // namespace dorvan
