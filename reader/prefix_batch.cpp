#include "reader/prefix_batch.h"

#include <fcntl.h>
#include <linux/io_uring.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace dorvan {
namespace {

int Setup(unsigned entries, io_uring_params& params) {
  return static_cast<int>(::syscall(__NR_io_uring_setup, entries, &params));
}

int Enter(int fd, unsigned submit, unsigned wait) {
  return static_cast<int>(::syscall(__NR_io_uring_enter, fd, submit, wait, IORING_ENTER_GETEVENTS, nullptr, 0));
}

int Register(int fd, unsigned opcode, void* argument, unsigned count) {
  return static_cast<int>(::syscall(__NR_io_uring_register, fd, opcode, argument, count));
}

// The three requests of one file and how their completions are told apart.
enum Step : uint64_t { kOpen = 0, kRead = 1, kClose = 2 };

}  // namespace

// The rings shared with the kernel: submissions in, completions out.
struct PrefixBatch::Ring {
  int fd = -1;
  void* sqMap = nullptr;
  std::size_t sqMapSize = 0;
  void* cqMap = nullptr;
  std::size_t cqMapSize = 0;
  io_uring_sqe* sqes = nullptr;
  std::size_t sqesSize = 0;
  unsigned* sqTail = nullptr;
  unsigned* sqMask = nullptr;
  unsigned* sqArray = nullptr;
  unsigned* cqHead = nullptr;
  unsigned* cqTail = nullptr;
  unsigned* cqMask = nullptr;
  io_uring_cqe* cqes = nullptr;

  ~Ring() {
    if (sqes != nullptr) ::munmap(sqes, sqesSize);
    if (cqMap != nullptr && cqMap != sqMap) ::munmap(cqMap, cqMapSize);
    if (sqMap != nullptr) ::munmap(sqMap, sqMapSize);
    if (fd >= 0) ::close(fd);
  }

  // False when the kernel refuses any part of it.
  bool Open(unsigned entries, unsigned files) {
    io_uring_params params{};
    fd = Setup(entries, params);
    if (fd < 0) return false;
    sqMapSize = params.sq_off.array + params.sq_entries * sizeof(unsigned);
    cqMapSize = params.cq_off.cqes + params.cq_entries * sizeof(io_uring_cqe);
    const bool single = (params.features & IORING_FEAT_SINGLE_MMAP) != 0;
    if (single) sqMapSize = cqMapSize = std::max(sqMapSize, cqMapSize);
    sqMap = ::mmap(nullptr, sqMapSize, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd, IORING_OFF_SQ_RING);
    if (sqMap == MAP_FAILED) {
      sqMap = nullptr;
      return false;
    }
    if (single) {
      cqMap = sqMap;
    } else {
      cqMap = ::mmap(nullptr, cqMapSize, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd, IORING_OFF_CQ_RING);
      if (cqMap == MAP_FAILED) {
        cqMap = nullptr;
        return false;
      }
    }
    sqesSize = params.sq_entries * sizeof(io_uring_sqe);
    void* s = ::mmap(nullptr, sqesSize, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd, IORING_OFF_SQES);
    if (s == MAP_FAILED) return false;
    sqes = static_cast<io_uring_sqe*>(s);
    auto* sq = static_cast<char*>(sqMap);
    auto* cq = static_cast<char*>(cqMap);
    sqTail = reinterpret_cast<unsigned*>(sq + params.sq_off.tail);
    sqMask = reinterpret_cast<unsigned*>(sq + params.sq_off.ring_mask);
    sqArray = reinterpret_cast<unsigned*>(sq + params.sq_off.array);
    cqHead = reinterpret_cast<unsigned*>(cq + params.cq_off.head);
    cqTail = reinterpret_cast<unsigned*>(cq + params.cq_off.tail);
    cqMask = reinterpret_cast<unsigned*>(cq + params.cq_off.ring_mask);
    cqes = reinterpret_cast<io_uring_cqe*>(cq + params.cq_off.cqes);
    // A table of empty file slots: each file is opened into slot i, read and closed there
    // without ever becoming a descriptor of the process.
    io_uring_rsrc_register table{};
    table.nr = files;
    table.flags = IORING_RSRC_REGISTER_SPARSE;
    return Register(fd, IORING_REGISTER_FILES2, &table, sizeof table) == 0;
  }

  io_uring_sqe& Next() {
    const unsigned tail = *sqTail;  // only this side writes the tail
    const unsigned index = tail & *sqMask;
    io_uring_sqe& sqe = sqes[index];
    std::memset(&sqe, 0, sizeof sqe);
    sqArray[index] = index;
    __atomic_store_n(sqTail, tail + 1, __ATOMIC_RELEASE);
    return sqe;
  }
};

PrefixBatch::PrefixBatch(std::size_t maxFiles, std::size_t prefixBytes)
    : maxFiles_(maxFiles), prefixBytes_(prefixBytes) {
  auto ring = std::make_unique<Ring>();
  if (!ring->Open(static_cast<unsigned>(3 * maxFiles), static_cast<unsigned>(maxFiles))) return;
  ring_ = std::move(ring);
  bytes_ = std::make_unique_for_overwrite<uint8_t[]>(maxFiles * prefixBytes);
  lengths_.assign(maxFiles, -1);
}

PrefixBatch::~PrefixBatch() = default;

bool PrefixBatch::Read(const std::vector<const std::string*>& paths) {
  std::fill(lengths_.begin(), lengths_.end(), -1);
  if (!ring_ || paths.size() > maxFiles_) return false;
  Ring& ring = *ring_;
  const auto files = static_cast<unsigned>(paths.size());
  for (unsigned k = 0; k < files; ++k) {
    // Open into slot k; a failed open cancels the read and the close linked to it.
    io_uring_sqe& open = ring.Next();
    open.opcode = IORING_OP_OPENAT;
    open.fd = AT_FDCWD;
    open.addr = reinterpret_cast<uint64_t>(paths[k]->c_str());
    open.open_flags = O_RDONLY | O_NONBLOCK | O_NOCTTY;
    open.file_index = k + 1;
    open.flags = IOSQE_IO_LINK;
    open.user_data = 3 * k + kOpen;
    io_uring_sqe& read = ring.Next();
    read.opcode = IORING_OP_READ;
    read.fd = static_cast<int>(k);
    read.addr = reinterpret_cast<uint64_t>(bytes_.get() + k * prefixBytes_);
    read.len = static_cast<unsigned>(prefixBytes_);
    read.off = 0;
    // A hard link: the close follows a failed read too.
    read.flags = IOSQE_FIXED_FILE | IOSQE_IO_HARDLINK;
    read.user_data = 3 * k + kRead;
    io_uring_sqe& close = ring.Next();
    close.opcode = IORING_OP_CLOSE;
    close.file_index = k + 1;
    close.user_data = 3 * k + kClose;
  }
  const unsigned requests = 3 * files;
  std::vector<int64_t> readResult(files, -1);
  std::vector<bool> opened(files, false);
  unsigned submitted = 0;
  unsigned completed = 0;
  bool refused = false;
  while (completed < requests && !(refused && completed == submitted)) {
    const unsigned toSubmit = refused ? 0 : requests - submitted;
    const int result = Enter(ring.fd, toSubmit, 1);
    if (result < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EBUSY) continue;
      if (toSubmit > 0) {
        refused = true;  // what was submitted is still waited for
        continue;
      }
      // The kernel will not even wait: the buffers and paths may still be written to or
      // read, so the ring and its memory are left as they are, never to be used again.
      static_cast<void>(ring_.release());
      static_cast<void>(bytes_.release());
      return false;
    }
    submitted += static_cast<unsigned>(result);
    unsigned head = *ring.cqHead;
    const unsigned tail = __atomic_load_n(ring.cqTail, __ATOMIC_ACQUIRE);
    for (; head != tail; ++head) {
      const io_uring_cqe& cqe = ring.cqes[head & *ring.cqMask];
      const uint64_t k = cqe.user_data / 3;
      if (cqe.user_data % 3 == kOpen && cqe.res >= 0) opened[k] = true;
      if (cqe.user_data % 3 == kRead) readResult[k] = cqe.res;
      ++completed;
    }
    __atomic_store_n(ring.cqHead, head, __ATOMIC_RELEASE);
  }
  if (submitted < requests) {
    // Requests left in the ring would go out with the next batch: the ring is given up.
    ring_.reset();
    return false;
  }
  for (unsigned k = 0; k < files; ++k) lengths_[k] = opened[k] && readResult[k] >= 0 ? readResult[k] : -1;
  return true;
}

std::optional<std::string_view> PrefixBatch::Prefix(std::size_t index) const {
  if (index >= lengths_.size() || lengths_[index] < 0) return std::nullopt;
  return std::string_view(reinterpret_cast<const char*>(bytes_.get() + index * prefixBytes_),
                          static_cast<std::size_t>(lengths_[index]));
}

}  // namespace dorvan
