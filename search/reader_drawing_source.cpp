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
  // The caller's record is read into directly: no second record of the drawing's size,
  // and its arrays, cleared with their capacity kept, take the next drawing of a run.
  ClearDrawing(out);
  if (wholeDrawing) {
    reader.ReadWholeDrawing(path, out);  // the outcome is asked below
  } else {
    reader.ReadDrawingHeader(path, out);
  }
  const bool readable = reader.GetReadError() != -1;
  GiveBack(std::move(pooled));
  return readable;
}

}  // namespace dorvan
