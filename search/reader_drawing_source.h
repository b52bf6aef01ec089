// The drawing source over the drawing reader: clears the caller's record, reads the whole
// drawing or its header into it and asks the reader for the outcome.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "search/drawing_source.h"

namespace dorvan {

class ReaderDrawingSource : public DrawingSource {
 public:
  ReaderDrawingSource();
  ~ReaderDrawingSource() override;

  bool Read(const std::string& path, bool wholeDrawing, JwwDrawing& out,
            ReaderMessages* messages) override;
  // Each Read borrows a reader of its own, so reads may overlap.
  bool SupportsConcurrentReads() const override { return true; }

 private:
  struct PooledReader;
  std::unique_ptr<PooledReader> Borrow();
  void GiveBack(std::unique_ptr<PooledReader> reader);

  // Idle readers, kept so that their file buffers are reused from one read to the next.
  std::mutex mutex_;
  std::vector<std::unique_ptr<PooledReader>> idle_;
};

}  // namespace dorvan
