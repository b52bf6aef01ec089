// Which drawings' texts surely cannot hold a search text, decided in memory:
// the trigram signatures of the index's entries kept bit-sliced, one slice per
// signature width, so that a search tests each of its bits for all the drawings
// of a width in one pass over machine words instead of looking up every drawing
// in the index. Without it a warm search of a large archive spends its time on
// one index lookup per drawing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "index/index_database.h"

namespace dorvan::server {

class SignatureTable {
 public:
  static constexpr uint32_t kNoRow = UINT32_MAX;

  SignatureTable();
  ~SignatureTable();
  SignatureTable(const SignatureTable &) = delete;
  SignatureTable &operator=(const SignatureTable &) = delete;

  // The row of the drawing at `relative` below root `root`, the same for the
  // table's life.
  uint32_t RowFor(std::size_t root, std::string_view relative);

  // What the index holds for the row's drawing read under `stamp`. Only a
  // readable drawing without reader messages is ever ruled out (the others must
  // reach the run to be listed or to show their messages); a signature this
  // program did not write rules out nothing.
  void Record(uint32_t row, const index::FileStamp &stamp, bool readable, bool hasMessages, std::string_view signature);

  // The table's decision for one search's trigram keys; holds the table's read
  // lock.
  class Verdict {
   public:
    Verdict(Verdict &&) noexcept;
    ~Verdict();
    // True when the drawing, as `stamp` shows it now, surely holds no text with
    // every key.
    bool RulesOut(uint32_t row, const index::FileStamp &stamp) const;

   private:
    friend class SignatureTable;
    Verdict(const SignatureTable &table, const std::vector<uint64_t> &keys);
    const SignatureTable *table_;
    std::shared_lock<std::shared_mutex> lock_;
    bool keyed_ = false;
    std::vector<std::vector<uint64_t>> mayHold_;  // per slice, per slot
  };
  // Without keys (a search the signatures cannot decide) the verdict rules out
  // nothing.
  Verdict Decide(const std::vector<uint64_t> &keys) const;

  // Memory held by the slices, for the status and the benchmark.
  std::size_t SliceBytes() const;

 private:
  struct Slice;
  struct RowState {
    index::FileStamp Stamp;
    uint8_t Kind = 0;  // see the constants in the source
    uint8_t SliceIndex = 0;
    uint32_t Slot = 0;
  };
  void Vacate(RowState &state);

  mutable std::shared_mutex mutex_;
  std::unordered_map<std::string, uint32_t> rowOfPath_;
  std::vector<RowState> rows_;
  std::vector<std::unique_ptr<Slice>> slices_;
};

}  // namespace dorvan::server
