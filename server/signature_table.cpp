#include "server/signature_table.h"

#include <algorithm>
#include <bit>
#include <mutex>

namespace dorvan::server {
namespace {

// What a row's drawing is known to hold.
constexpr uint8_t kUndecided = 0;     // nothing recorded, unreadable, or with messages
constexpr uint8_t kHoldsNothing = 1;  // readable, without a text of three units
constexpr uint8_t kSliced = 2;        // its signature sits in a slice

// Signatures come in powers of two from 64 bits. Wider ones than this are folded onto it
// (a bit at b lands at b modulo the width, where the search's keys also land): a drawing
// with that many texts then passes more often, but a slice stays a kilobyte a drawing.
constexpr uint32_t kNarrowestBits = 64;
constexpr uint32_t kWidestBits = 8192;
constexpr std::size_t kSliceCount = std::countr_zero(kWidestBits) - std::countr_zero(kNarrowestBits) + 1;

}  // namespace

// The signatures of one width, bit-sliced: column c holds bit c of every slot's signature,
// so that a search reads only the columns of its keys' bits.
struct SignatureTable::Slice {
  explicit Slice(uint32_t bits) : Bits(bits) {}
  const uint32_t Bits;
  std::size_t Words = 0;            // machine words of each column
  std::vector<uint64_t> Columns;    // Bits columns of Words words each
  std::vector<uint64_t> Live;       // the slots in use
  std::vector<uint32_t> FreeSlots;  // given up by rows that changed
  std::vector<uint32_t> RowOfSlot;
  uint32_t SlotsUsed = 0;

  uint32_t TakeSlot() {
    if (!FreeSlots.empty()) {
      const uint32_t slot = FreeSlots.back();
      FreeSlots.pop_back();
      return slot;
    }
    if (SlotsUsed == Words * 64) {
      const std::size_t grown = std::max<std::size_t>(1, Words * 2);
      std::vector<uint64_t> columns(static_cast<std::size_t>(Bits) * grown, 0);
      for (std::size_t c = 0; c < Bits; ++c) {
        std::copy_n(Columns.begin() + static_cast<std::ptrdiff_t>(c * Words), Words,
                    columns.begin() + static_cast<std::ptrdiff_t>(c * grown));
      }
      Columns = std::move(columns);
      Live.resize(grown, 0);
      Words = grown;
    }
    RowOfSlot.push_back(kNoRow);
    return SlotsUsed++;
  }
};

SignatureTable::SignatureTable() {
  for (std::size_t i = 0; i < kSliceCount; ++i) slices_.push_back(std::make_unique<Slice>(kNarrowestBits << i));
}

SignatureTable::~SignatureTable() = default;

uint32_t SignatureTable::RowFor(std::size_t root, std::string_view relative) {
  std::string key = std::to_string(root);
  key += '\0';
  key += relative;
  std::unique_lock lock(mutex_);
  const auto [at, added] = rowOfPath_.try_emplace(std::move(key), static_cast<uint32_t>(rows_.size()));
  if (added) {
    rows_.emplace_back();
    decided_.resize((rows_.size() + 63) / 64, 0);
  }
  return at->second;
}

void SignatureTable::Refresh(uint32_t row) {
  const RowState& state = rows_[row];
  const uint64_t bit = uint64_t{1} << (row % 64);
  if (state.Kind != kUndecided && state.Catalog && *state.Catalog == state.Recorded) {
    decided_[row / 64] |= bit;
  } else {
    decided_[row / 64] &= ~bit;
  }
}

void SignatureTable::SetCatalogStamps(std::size_t count, const std::function<RowStamp(std::size_t)>& at) {
  std::unique_lock lock(mutex_);
  for (std::size_t i = 0; i < count; ++i) {
    const auto [row, stamp] = at(i);
    if (row >= rows_.size()) continue;
    rows_[row].Catalog = *stamp;
    Refresh(row);
  }
}

void SignatureTable::Vacate(RowState& state) {
  if (state.Kind == kSliced) {
    Slice& slice = *slices_[state.SliceIndex];
    const std::size_t word = state.Slot / 64;
    const uint64_t keep = ~(uint64_t{1} << (state.Slot % 64));
    for (std::size_t c = 0; c < slice.Bits; ++c) slice.Columns[c * slice.Words + word] &= keep;
    slice.Live[word] &= keep;
    slice.RowOfSlot[state.Slot] = kNoRow;
    slice.FreeSlots.push_back(state.Slot);
  }
  state.Kind = kUndecided;
}

void SignatureTable::Record(uint32_t row, const index::FileStamp& stamp, bool readable, bool hasMessages,
                            std::string_view signature) {
  std::unique_lock lock(mutex_);
  if (row >= rows_.size()) return;
  RowState& state = rows_[row];
  // The same version of a drawing told again (the indexer reads every drawing once after a
  // restart) holds the same signature.
  if (state.Kind != kUndecided && state.Recorded == stamp && readable && !hasMessages) return;
  Vacate(state);
  state.Recorded = stamp;
  const std::size_t bytes = signature.size();
  if (readable && !hasMessages && bytes == 0) {
    state.Kind = kHoldsNothing;
  } else if (readable && !hasMessages && std::has_single_bit(bytes) && bytes * 8 >= kNarrowestBits) {
    const uint32_t bits = static_cast<uint32_t>(std::min<std::size_t>(bytes * 8, kWidestBits));
    state.SliceIndex = static_cast<uint8_t>(std::countr_zero(bits) - std::countr_zero(kNarrowestBits));
    Slice& slice = *slices_[state.SliceIndex];
    state.Slot = slice.TakeSlot();
    const std::size_t word = state.Slot / 64;
    const uint64_t mark = uint64_t{1} << (state.Slot % 64);
    for (std::size_t k = 0; k < bytes; ++k) {
      for (unsigned byte = static_cast<unsigned char>(signature[k]); byte != 0; byte &= byte - 1) {
        const std::size_t column = (k * 8 + static_cast<std::size_t>(std::countr_zero(byte))) & (bits - 1);
        slice.Columns[column * slice.Words + word] |= mark;
      }
    }
    slice.Live[word] |= mark;
    slice.RowOfSlot[state.Slot] = row;
    state.Kind = kSliced;
  }
  Refresh(row);
}

SignatureTable::Verdict SignatureTable::Decide(const std::vector<uint64_t>& keys) const {
  Verdict verdict;
  if (keys.empty()) return verdict;
  std::shared_lock lock(mutex_);
  verdict.keyed_ = true;
  verdict.rows_ = rows_.size();
  // Every row its signature cannot decide may match; of the others, those whose slice
  // holds every bit of every key.
  verdict.mayMatch_.resize(decided_.size());
  for (std::size_t w = 0; w < decided_.size(); ++w) verdict.mayMatch_[w] = ~decided_[w];
  std::vector<uint64_t> may;
  for (const std::unique_ptr<Slice>& slice : slices_) {
    may = slice->Live;
    for (uint64_t key : keys) {
      for (uint64_t bit : {key & (slice->Bits - 1), (key >> 32) & (slice->Bits - 1)}) {
        const uint64_t* column = slice->Columns.data() + bit * slice->Words;
        for (std::size_t w = 0; w < may.size(); ++w) may[w] &= column[w];
      }
    }
    for (std::size_t w = 0; w < may.size(); ++w) {
      for (uint64_t bits = may[w]; bits != 0; bits &= bits - 1) {
        const uint32_t row = slice->RowOfSlot[w * 64 + static_cast<std::size_t>(std::countr_zero(bits))];
        verdict.mayMatch_[row / 64] |= uint64_t{1} << (row % 64);
      }
    }
  }
  return verdict;
}

std::size_t SignatureTable::SliceBytes() const {
  std::shared_lock lock(mutex_);
  std::size_t bytes = 0;
  for (const std::unique_ptr<Slice>& slice : slices_) bytes += (slice->Columns.size() + slice->Live.size()) * 8;
  return bytes;
}

}  // namespace dorvan::server
