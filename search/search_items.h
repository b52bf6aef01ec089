// The fixed item lists of the search controls, shared by the GUI and the command line so
// that both offer exactly the same choices.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace dorvan {

// Combo2, the file versions a search can ask for ("700" drawings are read too, so they
// must be searchable).
inline constexpr std::array<std::string_view, 9> kVersionItems = {
    "220", "223", "225", "230", "300", "351", "420", "600", "700"};

// Combo3, the drawing sizes, in list order.
inline constexpr std::array<std::string_view, 12> kSizeItems = {
    "A0", "A1", "A2", "A3", "A4", "2A", "3A", "4A", "5A", "10m", "50m", "100m"};

// The captions of the range check boxes Check3(0) to Check3(7).
inline constexpr std::array<std::string_view, 8> kRangeCaptions = {
    "データ内", "メモ欄", "ファイルバージョン", "図面サイズ", "レイヤグループ名", "レイヤ名",
    "印刷時における既定線色の線幅の基準値", "ブロック名"};

// The drawing-size code a drawing stores for the Combo3 item at `index`: the position for
// "A0" to "A4", the position + 3 after that ("2A" is 8 ... "100m" is 14); -1 for no item.
constexpr int32_t SizeCodeForIndex(int32_t index) {
  if (index < 0 || index >= static_cast<int32_t>(kSizeItems.size())) return -1;
  return index <= 4 ? index : index + 3;
}

}  // namespace dorvan
