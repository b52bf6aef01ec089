#include "search/reader_drawing_source.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <new>
#include <optional>
#include <string_view>
#include <utility>

#include "reader/prefix_batch.h"

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

// Files whose first bytes a run of header reads fetches at once: 16 take one system call
// where they took 48, and their 272 KB of buffer few page faults.
constexpr std::size_t kFilesPerFetch = 16;

struct ReaderDrawingSource::PooledReader {
  explicit PooledReader(std::size_t largeDrawingBytes) { reader.SetLargeDrawingBytes(largeDrawingBytes); }
  ForwardingMessages messages;
  JwwReader reader{&messages};
  std::unique_ptr<PrefixBatch> prefixes;  // made for the first run of headers
};

ReaderDrawingSource::ReaderDrawingSource(std::size_t largeDrawingBytes, std::size_t keptArrayBytes)
    : largeDrawingBytes_(largeDrawingBytes), keptArrayBytes_(keptArrayBytes) {}
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
  return std::make_unique<PooledReader>(largeDrawingBytes_);
}

void ReaderDrawingSource::GiveBack(std::unique_ptr<PooledReader> reader) {
  reader->messages.target = nullptr;
  std::lock_guard lock(mutex_);
  idle_.push_back(std::move(reader));
}

bool ReaderDrawingSource::IsLarge(const std::string& path) const {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && static_cast<uint64_t>(info.st_size) > largeDrawingBytes_;
}

namespace {

ReadOutcome OutcomeOf(const JwwReader& reader) {
  if (reader.GetReadError() != -1) return ReadOutcome::Readable;
  return reader.FailedOnTheFile() ? ReadOutcome::FileFailed : ReadOutcome::Malformed;
}

}  // namespace

bool ReaderDrawingSource::Read(const std::string& path, bool wholeDrawing, JwwDrawing& out,
                               ReaderMessages* messages) {
  return ReadWithOutcome(path, wholeDrawing, out, messages) == ReadOutcome::Readable;
}

ReadOutcome ReaderDrawingSource::ReadWithOutcome(const std::string& path, bool wholeDrawing, JwwDrawing& out,
                                                 ReaderMessages* messages) {
  if (wholeDrawing && IsLarge(path)) {
    // One large drawing at a time, in the arrays kept for large drawings: swapping hands
    // them to the record without copying, and DoneWith takes them back.
    std::unique_lock lock(largeMutex_);
    largeFree_.wait(lock, [&] { return largeRecord_ == nullptr || largeRecord_ == &out; });
    if (largeRecord_ == nullptr) {
      largeRecord_ = &out;
      std::swap(out.Data, largeData_);
    }
  }
  std::unique_ptr<PooledReader> pooled = Borrow();
  pooled->messages.target = messages;
  JwwReader& reader = pooled->reader;
  // The caller's record is read into directly, its arrays cleared with their capacity
  // kept: the next drawing fills memory already in place.
  if (wholeDrawing) {
    ClearDrawing(out);
    reader.ReadWholeDrawing(path, out);  // the outcome is asked below
  } else {
    // A header read sets the name and empties the arrays itself.
    ResetHeaderDefaults(out.Header);
    reader.ReadDrawingHeader(path, out);
  }
  const ReadOutcome outcome = OutcomeOf(reader);
  GiveBack(std::move(pooled));
  return outcome;
}

void ReaderDrawingSource::ReadRun(const std::vector<const std::string*>& paths, bool wholeDrawing,
                                  JwwDrawing& out,
                                  const std::function<ReaderMessages*(std::size_t)>& messagesFor,
                                  const std::function<void(std::size_t, bool)>& each) {
  ReadRunWithOutcomes(paths, wholeDrawing, out, messagesFor,
                      [&each](std::size_t i, ReadOutcome outcome) { each(i, outcome == ReadOutcome::Readable); });
}

void ReaderDrawingSource::ReadRunWithOutcomes(const std::vector<const std::string*>& paths, bool wholeDrawing,
                                              JwwDrawing& out,
                                              const std::function<ReaderMessages*(std::size_t)>& messagesFor,
                                              const std::function<void(std::size_t, ReadOutcome)>& each) {
  if (wholeDrawing) {
    for (std::size_t i = 0; i < paths.size(); ++i) {
      ReadOutcome outcome = ReadOutcome::FileFailed;
      try {
        outcome = ReadWithOutcome(*paths[i], true, out, messagesFor(i));
      } catch (const std::exception&) {
        // A drawing too large for memory: unreadable now, perhaps not another time.
      }
      each(i, outcome);
    }
    return;
  }
  std::unique_ptr<PooledReader> pooled = Borrow();
  if (!pooled->prefixes) pooled->prefixes = std::make_unique<PrefixBatch>(kFilesPerFetch, JwwReader::kFirstHeaderChunk);
  PrefixBatch& batch = *pooled->prefixes;
  JwwReader& reader = pooled->reader;
  std::vector<const std::string*> fetch;
  for (std::size_t first = 0; first < paths.size(); first += batch.MaxFiles()) {
    const std::size_t last = std::min(paths.size(), first + batch.MaxFiles());
    fetch.assign(paths.begin() + static_cast<std::ptrdiff_t>(first),
                 paths.begin() + static_cast<std::ptrdiff_t>(last));
    const bool fetched = batch.Available() && batch.Read(fetch);
    for (std::size_t i = first; i < last; ++i) {
      ReadOutcome outcome = ReadOutcome::FileFailed;
      try {
        pooled->messages.target = messagesFor(i);
        ResetHeaderDefaults(out.Header);
        const std::optional<std::string_view> prefix =
            fetched ? batch.Prefix(i - first) : std::nullopt;
        if (prefix) {
          reader.ReadDrawingHeader(*paths[i], *prefix, out);
        } else {
          reader.ReadDrawingHeader(*paths[i], out);  // not fetched: read the ordinary way
        }
        outcome = OutcomeOf(reader);
      } catch (const std::exception&) {
        // Unreadable, as in Read.
      }
      pooled->messages.target = nullptr;
      each(i, outcome);
    }
  }
  GiveBack(std::move(pooled));
}

void ReaderDrawingSource::DoneWith(JwwDrawing& drawing) {
  {
    std::lock_guard lock(largeMutex_);
    if (largeRecord_ == &drawing) {
      // Emptied here, by the thread whose heap holds the texts, and at once: the next
      // large drawing may be read on another thread.
      ClearDrawingData(drawing.Data);
      std::swap(drawing.Data, largeData_);
      largeRecord_ = nullptr;
      largeFree_.notify_all();
    }
  }
  if (DataCapacityBytes(drawing.Data) > keptArrayBytes_) {
    try {
      drawing.Data = JwwDrawingData{};
    } catch (const std::bad_alloc&) {
      // Without memory for a fresh record the old one stays, cleared by the next read.
    }
  }
}

}  // namespace dorvan
