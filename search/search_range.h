// The eight search ranges, numbered as the range check boxes Check3(0) to Check3(7).
#pragma once

#include <cstdint>

namespace dorvan {

enum SearchRange : int16_t {
  RangeData = 0,            // "データ内": texts of the drawing and of its blocks
  RangeMemo = 1,            // "メモ欄"
  RangeVersion = 2,         // "ファイルバージョン"
  RangeDrawingSize = 3,     // "図面サイズ"
  RangeLayerGroupName = 4,  // "レイヤグループ名"
  RangeLayerName = 5,       // "レイヤ名"
  RangeLineWidthBase = 6,   // "印刷時における既定線色の線幅の基準値"
  RangeBlockName = 7,       // "ブロック名"
};
inline constexpr int kRangeCount = 8;

// Ranges whose value is compared with the search text.
constexpr bool IsTextRange(int range) {
  return range == RangeData || range == RangeMemo || range == RangeLayerGroupName ||
         range == RangeLayerName || range == RangeBlockName;
}

// Ranges that need the whole drawing rather than its header.
constexpr bool NeedsWholeDrawing(int range) { return range == RangeData || range == RangeBlockName; }

}  // namespace dorvan
