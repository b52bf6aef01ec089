// Which drawings' texts surely cannot hold a search text, decided in memory: the trigram
// signatures of the index's entries kept bit-sliced, one slice per signature width, so that
// a search tests each of its bits for all the drawings of a width in one pass over machine
// words, and learns the drawings that may match as a bitmap over their rows. Without it a
// warm search of a large archive spends its time on one index lookup per drawing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
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
  SignatureTable(const SignatureTable&) = delete;
  SignatureTable& operator=(const SignatureTable&) = delete;

  // The row of the drawing at `relative` below root `root`, the same for the table's life.
  uint32_t RowFor(std::size_t root, std::string_view relative);

  // The stamps the catalog now knows `count` drawings by, `at(i)` giving the i-th row and
  // stamp: a row's signature rules out only while it was recorded under that stamp.
  using RowStamp = std::pair<uint32_t, const std::optional<index::FileStamp>*>;
  void SetCatalogStamps(std::size_t count, const std::function<RowStamp(std::size_t)>& at);

  // What the index holds for the row's drawing read under `stamp`. Only a readable drawing
  // without reader messages is ever ruled out (the others must reach the run to be listed
  // or to show their messages); a signature this program did not write rules out nothing.
  void Record(uint32_t row, const index::FileStamp& stamp, bool readable, bool hasMessages,
              std::string_view signature);

  // The table's decision for one search's trigram keys, taken at once.
  class Verdict {
   public:
    // True when the row's drawing, as the catalog stamps it, surely holds no text with every key.
    bool RulesOut(uint32_t row) const {
      return keyed_ && row < rows_ && ((mayMatch_[row / 64] >> (row % 64)) & 1) == 0;
    }

   private:
    friend class SignatureTable;
    bool keyed_ = false;
    std::size_t rows_ = 0;
    std::vector<uint64_t> mayMatch_;  // a bit per row
  };
  // Without keys (a search the signatures cannot decide) the verdict rules out nothing.
  Verdict Decide(const std::vector<uint64_t>& keys) const;

  // Memory held by the slices, for the log.
  std::size_t SliceBytes() const;

 private:
  struct Slice;
  struct RowState {
    index::FileStamp Recorded;
    std::optional<index::FileStamp> Catalog;
    uint8_t Kind = 0;  // see the constants in the source
    uint8_t SliceIndex = 0;
    uint32_t Slot = 0;
  };
  void Vacate(RowState& state);
  // Sets the row's bit in decided_ from its state.
  void Refresh(uint32_t row);

  mutable std::shared_mutex mutex_;
  std::unordered_map<std::string, uint32_t> rowOfPath_;
  std::vector<RowState> rows_;
  std::vector<uint64_t> decided_;  // a bit per row: its signature rules out by itself
  std::vector<std::unique_ptr<Slice>> slices_;
};

}  // namespace dorvan::server
