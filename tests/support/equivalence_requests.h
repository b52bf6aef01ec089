// The request table of the equivalence tests: the index's, where a search from the index
// must give what a reading run gives, and the server's, where dorvan-server must answer
// what dorvan-search --no-index answers. One table, so that a case added for one is run
// by both.
#pragma once

#include <string>
#include <vector>

#include "search/search_items.h"
#include "tests/support/drawing_writer.h"
#include "search/search_range.h"

namespace dorvan::testing {

// The drawings both tests search, besides damaged and empty files of their own: a plan with
// a memo, names and block texts, a door in UTF-16 of another version and size, an old one.
inline DrawingRecipe EquivalencePlan() {
  DrawingRecipe plan;
  plan.memo = u"一階平面図\r\n縮尺1/100";
  plan.texts = {u"図面番号 A-101", u"ﾃﾞｻﾞｲﾝ室", u"ab", u"Door", u"xｶ", u"\"Q\" MARK"};
  plan.blocks.push_back({u"SHEET@@SfigorgFlag@@4", {u"表題", u"ｶﾞｽ管"}});
  plan.layerNames[2][5] = u"壁";
  plan.layerGroupNames[1] = u"設備";
  return plan;
}

inline DrawingRecipe EquivalenceDoor() {
  DrawingRecipe door;
  door.version = 700;
  door.strings = StringForm::Utf16;
  door.drawingSize = 12;
  door.printLineWidthBase = 20;
  door.texts = {u"ＤＯＯＲ", u"c:\\work", u"ＤＯＯＲ"};
  door.blocks.push_back({u"@@SfigorgFlag@@DOOR", {u"ﾄﾞｱ"}});
  return door;
}

inline DrawingRecipe EquivalenceOld() {
  DrawingRecipe old;
  old.version = 351;
  old.memo = u"ｶﾞ";
  old.texts = {u"デザイン"};
  old.layerNames[0][0] = u"ﾚｲﾔ";
  return old;
}

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
