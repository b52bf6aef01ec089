// Match records: for a found drawing, every candidate of the searched range that matched,
// with where it sits, so that a user sees why the drawing was found.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dorvan {

// The records one drawing reports at most; the total still counts them all, so that a
// drawing with 100,000 matching texts cannot flood the caller.
inline constexpr std::size_t kMatchRecordCap = 1000;

// One matching candidate. Which fields are set depends on the range:
// - texts (data range): Text, InBlock with BlockName / BlockNumber, LayerGroup, Layer and
//   their names, X / Y (the start point) and Index (in the Texts array of its list);
// - memo: Text (the matching lines without their breaks), FirstLine and LastLine;
// - layer group names: LayerGroup and Text; layer names: LayerGroup, Layer, LayerGroupName
//   and Text;
// - block names: Text (the full stored name), BlockName (the part compared), BlockNumber
//   and Index (in the block definitions);
// - version, drawing size, line-width base: Text (the value as the controls name it) and
//   Value (as the drawing stores it).
struct MatchRecord {
  int Range = -1;  // the SearchRange code
  std::u16string Text{};
  bool InBlock = false;
  std::u16string BlockName{};  // the name a user sees: the part before the marker
  int32_t BlockNumber = 0;
  int32_t LayerGroup = -1;  // -1 when the range has none
  int32_t Layer = -1;
  std::u16string LayerGroupName{};
  std::u16string LayerName{};
  double X = 0;
  double Y = 0;
  int32_t Index = 0;
  int32_t FirstLine = 0;  // 1-based
  int32_t LastLine = 0;
  int32_t Value = 0;
  bool operator==(const MatchRecord&) const = default;
};

// The matches of one drawing: the first kMatchRecordCap records in file order, and how
// many candidates matched in all.
struct DrawingMatches {
  std::vector<MatchRecord> Records;
  std::size_t Total = 0;
  bool operator==(const DrawingMatches&) const = default;
};

}  // namespace dorvan
