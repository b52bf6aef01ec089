// How a match record reads for a user: where it sits, its layer and position, and the
// one-line form the command line prints and the window's tool tip shows. UTF-8.
#pragma once

#include <string>

#include "search/match_records.h"

namespace dorvan {

// "図面", "ブロック 窓W1 #4", "メモ 2行目" (or "メモ 1-2行目"), "レイヤグループ 3",
// "レイヤ 3-A", "ブロック #4", or the range's caption for the value ranges.
std::string MatchPlace(const MatchRecord& record);

// "0-5" for a group and a layer ("3" for a group alone) as the drawing program numbers
// them (hexadecimal digits), followed by the layer's name when it has one; empty when
// the record has no layer.
std::string MatchLayer(const MatchRecord& record);

// "(123.40, -56.70)" for a text, else empty.
std::string MatchPosition(const MatchRecord& record);

// The record's text on one line: breaks and tabs become spaces, other control characters
// U+FFFD; a block name record also shows the full stored name when it differs from the
// part compared.
std::string MatchTextLine(const MatchRecord& record);

// "[図面] 0-5 寸法 (123.40, -56.70) 図面番号ZX-1": place, layer, position and text.
std::string MatchLine(const MatchRecord& record);

}  // namespace dorvan
