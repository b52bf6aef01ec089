// The request table of the equivalence tests: the index's, where a search from the index
// must give what a reading run gives, and the server's, where dorvan-server must answer
// what dorvan-search --no-index answers. One table, so that a case added for one is run
// by both.
#pragma once

#include <string>
#include <vector>

#include "search/search_items.h"
#include "search/search_range.h"

namespace dorvan::testing {

struct EquivalenceRequest {
  std::string label;
  int range = RangeData;
  std::u16string text;
  bool word = false, caseSensitive = false, pattern = false;
  int versionIndex = -1, sizeIndex = -1;  // positions in kVersionItems and kSizeItems
  bool dpi300 = true;                     // the line-width base's resolution: 300 or 600 dpi
};

inline std::vector<EquivalenceRequest> EquivalenceRequests() {
  std::vector<EquivalenceRequest> requests = {
      {"data, occurrence", RangeData, u"図面番号"},
      {"data, normalised spelling", RangeData, u"a-101"},
      {"data, half-width kana composed", RangeData, u"ﾃﾞｻﾞｲﾝ"},
      {"data, two characters", RangeData, u"デザ"},
      {"data, block text", RangeData, u"ガス管"},
      {"data, case-sensitive kana at an edge", RangeData, u"ｶ", false, true},
      {"data, case-sensitive composed", RangeData, u"ｶﾞｽ管", false, true},
      {"data, width and case", RangeData, u"door"},
      {"data, whole text", RangeData, u"DOOR", true},
      {"data, whole text of three", RangeData, u"ｶﾞｽ管", true},
      {"data, case-sensitive", RangeData, u"Door", false, true},
      {"data, pattern", RangeData, u"図.*号", false, false, true},
      {"data, pattern and whole text", RangeData, u"door", true, false, true},
      {"data, yen and backslash", RangeData, u"c:￥work"},
      {"data, quote in the text", RangeData, u"\"q\" mark"},
      {"data, nowhere", RangeData, u"no such text here"},
      {"memo across a break", RangeMemo, u"平面図縮尺"},
      {"memo, kana", RangeMemo, u"ｶﾞ"},
      {"layer group", RangeLayerGroupName, u"設備"},
      {"layer", RangeLayerName, u"壁"},
      {"layer, pattern", RangeLayerName, u"^ﾚ", false, false, true},
      {"line-width base 300", RangeLineWidthBase, u"", false, false, false, -1, -1, true},
      {"line-width base 600", RangeLineWidthBase, u"", false, false, false, -1, -1, false},
      {"block name", RangeBlockName, u"SHEET"},
      {"block name, any", RangeBlockName, u""},
      {"block name, pattern", RangeBlockName, u"^D", false, false, true},
  };
  for (int v = 0; v < static_cast<int>(kVersionItems.size()); ++v) {
    requests.push_back({"version " + std::string(kVersionItems[v]), RangeVersion, u"", false, false, false, v});
  }
  for (int s = 0; s < static_cast<int>(kSizeItems.size()); ++s) {
    requests.push_back({"size " + std::string(kSizeItems[s]), RangeDrawingSize, u"", false, false, false, -1, s});
  }
  return requests;
}

}  // namespace dorvan::testing
