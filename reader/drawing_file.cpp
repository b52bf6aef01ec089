#include "reader/drawing_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>

namespace dorvan {

uint8_t* ByteBuffer::Reserve(std::size_t size) {
  if (size > capacity_) {
    bytes_ = std::make_unique_for_overwrite<uint8_t[]>(size);
    capacity_ = size;
  }
  return bytes_.get();
}

void ByteBuffer::Release() {
  bytes_.reset();
  capacity_ = 0;
}

LargeFileBytes::~LargeFileBytes() {
  if (bytes_ != nullptr) ::munmap(bytes_, size_);
}

uint8_t* LargeFileBytes::Allocate(std::size_t size) {
  if (bytes_ != nullptr) ::munmap(bytes_, size_);
  bytes_ = nullptr;
  size_ = 0;
  givenBack_ = 0;
  void* bytes = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (bytes == MAP_FAILED) throw std::bad_alloc();
  bytes_ = static_cast<uint8_t*>(bytes);
  size_ = size;
  return bytes_;
}

void LargeFileBytes::GiveBackBefore(std::size_t offset) {
  static const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  const std::size_t end = std::min(offset, size_) / page * page;
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

int64_t DrawingFile::ReadPrefix(uint8_t* into, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd_, into + done, count - done, static_cast<off_t>(done));
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
