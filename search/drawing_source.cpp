#include "search/drawing_source.h"

#include <exception>

namespace dorvan {

void DrawingSource::ReadRun(const std::vector<const std::string*>& paths, bool wholeDrawing, JwwDrawing& out,
                            const std::function<ReaderMessages*(std::size_t)>& messagesFor,
                            const std::function<void(std::size_t, bool)>& each) {
  for (std::size_t i = 0; i < paths.size(); ++i) {
    bool readable = false;
    try {
      readable = Read(*paths[i], wholeDrawing, out, messagesFor(i));
    } catch (const std::exception&) {
      // A drawing too large for memory is as unreadable as a broken one.
    }
    each(i, readable);
  }
}

}  // namespace dorvan
