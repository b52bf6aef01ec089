// Where a search run gets its drawings from. The run asks for one drawing at a time by
// path, or for a run of them read one after another into one record; the default source
// reads real files with the drawing reader, tests use an in-memory source.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "reader/jww_drawing.h"
#include "reader/reader_messages.h"
#include "search/search_request.h"

namespace dorvan {

class DrawingSource {
 public:
  virtual ~DrawingSource() = default;

  // Reads `path` into `out`: the whole drawing when `wholeDrawing`, else only its header.
  // Returns false when the drawing is unreadable. The reader's messages go to `messages`
  // (may be null).
  virtual bool Read(const std::string& path, bool wholeDrawing, JwwDrawing& out,
                    ReaderMessages* messages) = 0;

  // Reads `paths` one after another into `out`, calling `each(index, readable)` after each
  // read and before the next; the reader's messages about path `index` go to
  // `messagesFor(index)` (which may give null). A source may fetch the files of a run
  // together (the real one reads a run of headers with one system call). By default each
  // is read with Read; a read that throws is unreadable.
  virtual void ReadRun(const std::vector<const std::string*>& paths, bool wholeDrawing, JwwDrawing& out,
                       const std::function<ReaderMessages*(std::size_t)>& messagesFor,
                       const std::function<void(std::size_t, bool)>& each);

  // The run has evaluated what Read put into `drawing` (readable or not): a source may
  // give back memory the record holds beyond what later reads reuse. Called once after
  // every Read, on the same thread.
  virtual void DoneWith(JwwDrawing& /*drawing*/) {}

  // A run is about to read with this request (once, before the first Read), and has read
  // all it will (once, after the last). A source that keeps what it read may use the
  // request to answer faster; the run's results must stay those of reading.
  virtual void BeginRun(const SearchRequest& /*request*/) {}
  virtual void EndRun() {}

  // True when whole drawings cost about what headers cost to read (a source that keeps
  // what it read): the run then hands them over in runs as it does headers.
  virtual bool AnswersWholeDrawingsCheaply() const { return false; }

  // True when Read may run on several threads at once, so the run may read ahead.
  virtual bool SupportsConcurrentReads() const { return false; }
};

}  // namespace dorvan
