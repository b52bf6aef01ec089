// The one way the reader takes bytes from a drawing: a bounds-checked little-endian cursor
// over bytes held in memory. The first read that does not fit (or a value the caller finds
// impossible) fails the cursor, and it stays failed: later reads yield zeros and consume
// nothing, so a record is checked once after it has been read.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

namespace dorvan {

// A little-endian value from unaligned bytes: one load on a little-endian host.
template <typename T>
T LoadLittleEndian(const uint8_t* p) {
  T value = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&value, p, sizeof value);
  } else {
    for (std::size_t i = 0; i < sizeof(T); ++i) value |= static_cast<T>(static_cast<T>(p[i]) << (8 * i));
  }
  return value;
}

// The fields of a fixed-size record whose bytes the cursor has already checked as a whole
// (ByteCursor::Take), decoded without a check per field.
class FieldReader {
 public:
  explicit FieldReader(const uint8_t* p) : p_(p) {}
  uint8_t Byte() { return *p_++; }
  void Read(int32_t& field) { field = Dword(); }
  void Read(double& field) { field = Double(); }
  int16_t Word() { return static_cast<int16_t>(Next<uint16_t>()); }
  int32_t Dword() { return static_cast<int32_t>(Next<uint32_t>()); }
  double Double() {
    const uint64_t bits = Next<uint64_t>();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }

 private:
  template <typename T>
  T Next() {
    const T value = LoadLittleEndian<T>(p_);
    p_ += sizeof(T);
    return value;
  }
  const uint8_t* p_;
};

class ByteCursor {
 public:
  ByteCursor(const uint8_t* data, std::size_t size) : data_(data), size_(size), available_(size) {}

  bool failed() const { return failed_; }
  std::size_t offset() const { return pos_; }
  std::size_t size() const { return size_; }
  std::size_t remaining() const { return size_ - pos_; }
  // True when the cursor failed because the bytes ran out (rather than a bad value); then
  // wanted() is the offset the failing read needed to reach.
  bool ranOut() const { return ranOut_; }
  std::size_t wanted() const { return wanted_; }

  // Fails the cursor for a value the caller cannot accept.
  void Fail() { failed_ = true; }

  // For bytes that arrive while the cursor reads them (a large file read a piece at a time
  // just ahead of the parse): only the first `available` of the `size` bytes are there,
  // and `fill(context, wanted)` is asked to bring in at least those before offset `wanted`;
  // it returns how many are there then, fewer than wanted when the file ended early.
  using FillHook = std::size_t (*)(void* context, std::size_t wanted);
  void OnFill(FillHook fill, void* context, std::size_t available) {
    fill_ = fill;
    fillContext_ = context;
    available_ = available < size_ ? available : size_;
  }

  // Lets a long read give back the bytes it has passed: Passed() calls `hook(context,
  // offset)` whenever the cursor has moved at least `every` bytes since the last call.
  using PassedHook = void (*)(void* context, std::size_t offset);
  void OnPassed(PassedHook hook, void* context, std::size_t every) {
    hook_ = hook;
    hookContext_ = context;
    hookEvery_ = every;
    nextHook_ = every;
  }
  // Called between records, where no byte before the offset is looked at again.
  void Passed() {
    if (pos_ >= nextHook_) {
      hook_(hookContext_, pos_);
      nextHook_ = pos_ + hookEvery_;
    }
  }

  // True when `count` items of at least `minBytes` each can still follow; otherwise the
  // cursor fails at once, so no allocation or loop is ever sized from an impossible count.
  bool CanHold(uint64_t count, std::size_t minBytes) {
    if (failed_) return false;
    if (count <= remaining() / minBytes) return true;
    RunOut(count > std::numeric_limits<std::size_t>::max() / minBytes ? std::numeric_limits<std::size_t>::max()
                                                                      : static_cast<std::size_t>(count) * minBytes);
    return false;
  }

  // The next byte without consuming it, or -1 when there is none.
  int Peek() {
    if (failed_ || (pos_ == available_ && !Bring(1))) return -1;
    return data_[pos_];
  }

  // The next n bytes, or nullptr when they are not all there.
  const uint8_t* Take(std::size_t n) {
    if (failed_ || n > available_ - pos_) {
      if (failed_ || !Bring(n)) {
        RunOut(n);
        return nullptr;
      }
    }
    const uint8_t* at = data_ + pos_;
    pos_ += n;
    return at;
  }

  bool Skip(std::size_t n) {
    Take(n);
    return !failed_;
  }

  uint8_t Byte() {
    const uint8_t* p = Take(1);
    return p ? *p : 0;
  }
  uint16_t UWord() { return Fixed<uint16_t>(); }
  int16_t Word() { return static_cast<int16_t>(Fixed<uint16_t>()); }
  uint32_t UDword() { return Fixed<uint32_t>(); }
  int32_t Dword() { return static_cast<int32_t>(Fixed<uint32_t>()); }
  double Double() { return AsDouble(Fixed<uint64_t>()); }

  // The same reads into a field, which keeps its value when the read does not fit.
  void Read(int32_t& field) {
    if (const uint8_t* p = Take(4)) field = static_cast<int32_t>(Load<uint32_t>(p));
  }
  void Read(double& field) {
    if (const uint8_t* p = Take(8)) field = AsDouble(Load<uint64_t>(p));
  }

 private:
  template <typename T>
  static T Load(const uint8_t* p) {
    return LoadLittleEndian<T>(p);
  }
  template <typename T>
  T Fixed() {
    const uint8_t* p = Take(sizeof(T));
    return p ? Load<T>(p) : 0;
  }
  static double AsDouble(uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }

  // Makes the next n bytes available when they lie within the size; false when they do
  // not, or the file ended before them (the size is then what arrived).
  bool Bring(std::size_t n) {
    if (n > size_ - pos_ || fill_ == nullptr) return false;
    const std::size_t arrived = fill_(fillContext_, pos_ + n);
    available_ = arrived < size_ ? arrived : size_;
    if (available_ < size_ && n > available_ - pos_) {
      size_ = available_;
      return false;
    }
    return true;
  }

  void RunOut(std::size_t n) {
    if (failed_) return;
    failed_ = true;
    ranOut_ = true;
    wanted_ = n > std::numeric_limits<std::size_t>::max() - pos_ ? std::numeric_limits<std::size_t>::max() : pos_ + n;
  }

  const uint8_t* data_;
  std::size_t size_;
  std::size_t available_;  // bytes that are there so far, up to size_
  std::size_t pos_ = 0;
  std::size_t wanted_ = 0;
  bool failed_ = false;
  bool ranOut_ = false;
  FillHook fill_ = nullptr;
  void* fillContext_ = nullptr;
  PassedHook hook_ = nullptr;
  void* hookContext_ = nullptr;
  std::size_t hookEvery_ = 0;
  std::size_t nextHook_ = std::numeric_limits<std::size_t>::max();
};

}  // namespace dorvan
