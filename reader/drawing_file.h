// A drawing file opened read-only (never created), and the bytes read from it. Reads are
// whole-file or a prefix, each one system call per chunk: no per-value I/O.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace dorvan {

// A growable byte buffer that is not zero-filled, kept by a reader between reads.
class ByteBuffer {
 public:
  uint8_t* Reserve(std::size_t size);  // room for `size` bytes; contents are undefined
  // Room for `size` bytes, the first `keep` of them as they were.
  uint8_t* Grow(std::size_t size, std::size_t keep);
  void Release();
  std::size_t capacity() const { return capacity_; }

 private:
  std::unique_ptr<uint8_t[]> bytes_;
  std::size_t capacity_ = 0;
};

// Memory of its own for the bytes of one large file, taken from the system rather than the
// heap so that a read can give back the pages it has passed while it goes on (the record
// it fills grows meanwhile), and all of it when it ends. It is asked for in huge pages
// where the system offers them: faulting fresh memory in 4 KB at a time costs more than
// reading the file.
class LargeFileBytes {
 public:
  LargeFileBytes() = default;
  LargeFileBytes(const LargeFileBytes&) = delete;
  LargeFileBytes& operator=(const LargeFileBytes&) = delete;
  ~LargeFileBytes();

  // Room for `size` bytes; throws std::bad_alloc when the system has none.
  uint8_t* Allocate(std::size_t size);
  // Gives back the whole huge pages before `offset`: they must never be read again.
  void GiveBackBefore(std::size_t offset);

  // The unit memory is asked for and given back in.
  static constexpr std::size_t kHugePage = std::size_t{2} << 20;

 private:
  void Unmap();

  void* mapping_ = nullptr;  // as mapped, with room to align bytes_ to a huge page
  std::size_t mappingSize_ = 0;
  uint8_t* bytes_ = nullptr;
  std::size_t size_ = 0;
  std::size_t givenBack_ = 0;
};

class DrawingFile {
 public:
  // Opens a regular file for reading; fails for a missing file, a folder, a device or a
  // file without read permission. Never blocks on a FIFO and never creates anything.
  bool Open(const std::string& path);
  // Opens `path` for reading without asking the system what it is, which a read of a
  // header does only when the header fails (IsRegularFile): a system call fewer per file.
  // Never blocks on a FIFO and never creates anything.
  bool OpenAnyKind(const std::string& path);
  ~DrawingFile();
  DrawingFile() = default;
  DrawingFile(const DrawingFile&) = delete;
  DrawingFile& operator=(const DrawingFile&) = delete;

  // Whether the open file is a regular file, and its size then (0 otherwise), as when they
  // were first asked.
  bool IsRegularFile();
  uint64_t size();
  // Reads up to `count` bytes from offset 0 into `into`; returns how many were read (fewer
  // when the file is shorter), or -1 on a read error (a folder or a FIFO gives one).
  int64_t ReadPrefix(uint8_t* into, std::size_t count) { return ReadAt(into, count, 0); }
  // The same from `offset` on.
  int64_t ReadAt(uint8_t* into, std::size_t count, uint64_t offset);

 private:
  void Inspect();

  int fd_ = -1;
  bool inspected_ = false;
  bool regular_ = false;
  uint64_t size_ = 0;
};

}  // namespace dorvan
