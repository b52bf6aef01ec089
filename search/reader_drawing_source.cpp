#include "search/reader_drawing_source.h"

#include <utility>

#include "reader/jww_reader.h"

namespace dorvan {

bool ReaderDrawingSource::Read(const std::string& path, bool wholeDrawing, JwwDrawing& out,
                               ReaderMessages* messages) {
  JwwReader reader(messages);
  JwwDrawing& current = reader.CurrentDrawing();
  ClearDrawing(current);
  if (wholeDrawing) {
    reader.ReadWholeDrawing(path, current);  // the outcome is asked below
  } else {
    reader.ReadDrawingHeader(path, current);
  }
  // The working record is not needed after this read, so the run's copy takes it over
  // instead of copying it deeply.
  out = std::move(current);
  return reader.GetReadError() != -1;
}

}  // namespace dorvan
