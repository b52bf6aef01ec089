// The drawing source over the drawing reader: clears the caller's record, reads the whole
// drawing or its header into it and asks the reader for the outcome.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "reader/jww_reader.h"
#include "search/drawing_source.h"

namespace dorvan {

// How a read ended. A file that could not be opened or read, or a read that ran out of
// memory, may read well another time; only bytes found malformed say something lasting
// about the drawing.
enum class ReadOutcome { Readable, Malformed, FileFailed };

class ReaderDrawingSource : public DrawingSource {
 public:
  // Whole drawings larger than `largeDrawingBytes` are read one at a time, whatever the
  // number of threads, into arrays the source keeps for them; a caller's record whose
  // arrays grew beyond `keptArrayBytes` anyway is emptied once the run is done with it.
  // A run's memory is then that of its largest drawing plus a little per thread, not that
  // of its largest drawings side by side.
  explicit ReaderDrawingSource(std::size_t largeDrawingBytes = JwwReader::kLargeDrawingBytes,
                               std::size_t keptArrayBytes = kKeptArrayBytes);
  ~ReaderDrawingSource() override;

  static constexpr std::size_t kKeptArrayBytes = std::size_t{4} << 20;

  bool Read(const std::string& path, bool wholeDrawing, JwwDrawing& out,
            ReaderMessages* messages) override;
  // Headers are read PrefixBatch::MaxFiles() at a time with one system call where the
  // system offers it.
  void ReadRun(const std::vector<const std::string*>& paths, bool wholeDrawing, JwwDrawing& out,
               const std::function<ReaderMessages*(std::size_t)>& messagesFor,
               const std::function<void(std::size_t, bool)>& each) override;
  void DoneWith(JwwDrawing& drawing) override;

  // Read and ReadRun, telling how each read ended.
  ReadOutcome ReadWithOutcome(const std::string& path, bool wholeDrawing, JwwDrawing& out,
                              ReaderMessages* messages);
  void ReadRunWithOutcomes(const std::vector<const std::string*>& paths, bool wholeDrawing, JwwDrawing& out,
                           const std::function<ReaderMessages*(std::size_t)>& messagesFor,
                           const std::function<void(std::size_t, ReadOutcome)>& each);
  // Each Read borrows a reader of its own, so reads may overlap.
  bool SupportsConcurrentReads() const override { return true; }

 private:
  struct PooledReader;
  std::unique_ptr<PooledReader> Borrow();
  void GiveBack(std::unique_ptr<PooledReader> reader);
  bool IsLarge(const std::string& path) const;

  const std::size_t largeDrawingBytes_;
  const std::size_t keptArrayBytes_;
  // Idle readers, kept so that their file buffers are reused from one read to the next.
  std::mutex mutex_;
  std::vector<std::unique_ptr<PooledReader>> idle_;
  // The record a large drawing is read into and evaluated in, if any; while it is, its
  // own arrays wait in largeData_ and the large ones are in the record.
  std::mutex largeMutex_;
  std::condition_variable largeFree_;
  const JwwDrawing* largeRecord_ = nullptr;
  JwwDrawingData largeData_;
};

}  // namespace dorvan
