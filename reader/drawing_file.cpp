#include "reader/drawing_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <new>
#include <utility>

namespace dorvan {

uint8_t* ByteBuffer::Reserve(std::size_t size) {
  if (size > capacity_) {
    bytes_ = std::make_unique_for_overwrite<uint8_t[]>(size);
    capacity_ = size;
  }
  return bytes_.get();
}

uint8_t* ByteBuffer::Grow(std::size_t size, std::size_t keep) {
  if (size > capacity_) {
    auto bytes = std::make_unique_for_overwrite<uint8_t[]>(size);
    std::copy_n(bytes_.get(), std::min(keep, capacity_), bytes.get());
    bytes_ = std::move(bytes);
    capacity_ = size;
  }
  return bytes_.get();
}

void ByteBuffer::Release() {
  bytes_.reset();
  capacity_ = 0;
}

LargeFileBytes::~LargeFileBytes() { Unmap(); }

void LargeFileBytes::Unmap() {
  if (mapping_ != nullptr) ::munmap(mapping_, mappingSize_);
  mapping_ = nullptr;
  mappingSize_ = 0;
  bytes_ = nullptr;
  size_ = 0;
  givenBack_ = 0;
}

uint8_t* LargeFileBytes::Allocate(std::size_t size) {
  Unmap();
  if (size > SIZE_MAX - 2 * kHugePage) throw std::bad_alloc();
  // Whole huge pages, and one more to align them: a huge page is only used where all of
  // it lies inside the mapping.
  const std::size_t pages = (size + kHugePage - 1) / kHugePage * kHugePage;
  const std::size_t mappingSize = pages + kHugePage;
  void* mapping = ::mmap(nullptr, mappingSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED) throw std::bad_alloc();
  mapping_ = mapping;
  mappingSize_ = mappingSize;
  const auto address = reinterpret_cast<uintptr_t>(mapping);
  bytes_ = reinterpret_cast<uint8_t*>((address + kHugePage - 1) / kHugePage * kHugePage);
  size_ = size;
  // Only a hint: without huge pages the memory is the same, only slower to fault in.
  ::madvise(bytes_, pages, MADV_HUGEPAGE);
  return bytes_;
}

void LargeFileBytes::GiveBackBefore(std::size_t offset) {
  const std::size_t end = std::min(offset, size_) / kHugePage * kHugePage;
  if (bytes_ == nullptr || end <= givenBack_) return;
  // The pages are dropped at once (the read never returns to them); the mapping stays.
  ::madvise(bytes_ + givenBack_, end - givenBack_, MADV_DONTNEED);
  givenBack_ = end;
}

bool DrawingFile::OpenAnyKind(const std::string& path) {
  // O_NONBLOCK keeps a FIFO named like a drawing from stalling the open.
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  return fd_ >= 0;
}

bool DrawingFile::Open(const std::string& path) { return OpenAnyKind(path) && IsRegularFile(); }

void DrawingFile::Inspect() {
  inspected_ = true;
  struct stat info {};
  if (fd_ < 0 || ::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) return;
  regular_ = true;
  size_ = static_cast<uint64_t>(info.st_size);
}

bool DrawingFile::IsRegularFile() {
  if (!inspected_) Inspect();
  return regular_;
}

uint64_t DrawingFile::size() {
  if (!inspected_) Inspect();
  return size_;
}

DrawingFile::~DrawingFile() {
  if (fd_ >= 0) ::close(fd_);
}

int64_t DrawingFile::ReadAt(uint8_t* into, std::size_t count, uint64_t offset) {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd_, into + done, count - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<int64_t>(done);
}

}  // namespace dorvan
