#include "search/reader_drawing_source.h"

#include <utility>

#include "reader/jww_reader.h"

namespace dorvan {
namespace {

// Passes the reader's messages on to whoever asked for the current read.
class ForwardingMessages : public ReaderMessages {
 public:
  void ShowReaderMessage(const std::string& text, const std::string& title) override {
    if (target != nullptr) target->ShowReaderMessage(text, title);
  }
  ReaderMessages* target = nullptr;
};

}  // namespace

struct ReaderDrawingSource::PooledReader {
  ForwardingMessages messages;
  JwwReader reader{&messages};
};

ReaderDrawingSource::ReaderDrawingSource() = default;
ReaderDrawingSource::~ReaderDrawingSource() = default;

std::unique_ptr<ReaderDrawingSource::PooledReader> ReaderDrawingSource::Borrow() {
  {
    std::lock_guard lock(mutex_);
    if (!idle_.empty()) {
      std::unique_ptr<PooledReader> reader = std::move(idle_.back());
      idle_.pop_back();
      return reader;
    }
  }
  return std::make_unique<PooledReader>();
}

void ReaderDrawingSource::GiveBack(std::unique_ptr<PooledReader> reader) {
  reader->messages.target = nullptr;
  std::lock_guard lock(mutex_);
  idle_.push_back(std::move(reader));
}

bool ReaderDrawingSource::Read(const std::string& path, bool wholeDrawing, JwwDrawing& out,
                               ReaderMessages* messages) {
  std::unique_ptr<PooledReader> pooled = Borrow();
  pooled->messages.target = messages;
  JwwReader& reader = pooled->reader;
  JwwDrawing& current = reader.CurrentDrawing();
  ClearDrawing(current);
  if (wholeDrawing) {
    reader.ReadWholeDrawing(path, current);  // the outcome is asked below
  } else {
    reader.ReadDrawingHeader(path, current);
  }
  // The working record is not needed after this read, so the run's copy takes it over
  // instead of copying it deeply. Swapping rather than moving hands the caller's old
  // arrays to the reader, which clears them keeping their capacity: the next read fills
  // memory already in place instead of asking the system for fresh pages.
  std::swap(out, current);
  const bool readable = reader.GetReadError() != -1;
  GiveBack(std::move(pooled));
  return readable;
}

}  // namespace dorvan
