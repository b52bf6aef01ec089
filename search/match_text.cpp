#include "search/match_text.h"

#include <cmath>
#include <cstdio>

#include "reader/unicode_text.h"
#include "search/search_items.h"
#include "search/search_range.h"

namespace dorvan {
namespace {

char HexDigit(int32_t value) {
  return value >= 0 && value < 16 ? "0123456789ABCDEF"[value] : '?';
}

// A drawing's text printed on a terminal must not move the cursor or send escape
// sequences: breaks and tabs become spaces, other control characters U+FFFD.
std::string OneLine(std::u16string_view text) {
  std::u16string line(text);
  for (char16_t& c : line) {
    if (c == u'\r' || c == u'\n' || c == u'\t') {
      c = u' ';
    } else if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
      c = u'\uFFFD';
    }
  }
  return Utf16ToUtf8(line);
}

std::string Coordinate(double value) {
  if (!std::isfinite(value)) return "?";
  // What rounds to zero is shown as 0.00, not -0.00.
  if (std::fabs(value) < 0.005) value = 0;
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

}  // namespace

std::string MatchPlace(const MatchRecord& record) {
  switch (record.Range) {
    case RangeData:
      if (!record.InBlock) return "図面";
      return std::string("ブロック ").append(OneLine(record.BlockName)).append(" #").append(std::to_string(record.BlockNumber));
    case RangeMemo:
      if (record.FirstLine == record.LastLine) {
        return std::string("メモ ").append(std::to_string(record.FirstLine)).append("行目");
      }
      return std::string("メモ ").append(std::to_string(record.FirstLine)).append("-").append(std::to_string(record.LastLine)).append("行目");
    case RangeLayerGroupName:
      return std::string("レイヤグループ ").append(1, HexDigit(record.LayerGroup));
    case RangeLayerName:
      return std::string("レイヤ ").append(1, HexDigit(record.LayerGroup)).append("-").append(1, HexDigit(record.Layer));
    case RangeBlockName:
      return std::string("ブロック #").append(std::to_string(record.BlockNumber));
    default:
      if (record.Range >= 0 && record.Range < kRangeCount) {
        return std::string(kRangeCaptions[static_cast<std::size_t>(record.Range)]);
      }
      return {};
  }
}

std::string MatchLayer(const MatchRecord& record) {
  if (record.Range != RangeData) return {};
  std::string layer{HexDigit(record.LayerGroup), '-', HexDigit(record.Layer)};
  if (!record.LayerName.empty()) layer.append(" ").append(OneLine(record.LayerName));
  return layer;
}

std::string MatchPosition(const MatchRecord& record) {
  if (record.Range != RangeData) return {};
  std::string position = "(";
  position.append(Coordinate(record.X)).append(", ").append(Coordinate(record.Y)).append(")");
  return position;
}

std::string MatchTextLine(const MatchRecord& record) {
  if (record.Range == RangeBlockName && record.BlockName != record.Text) {
    return OneLine(record.BlockName).append(" (").append(OneLine(record.Text)).append(")");
  }
  return OneLine(record.Text);
}

std::string MatchLine(const MatchRecord& record) {
  std::string line = "[";
  line.append(MatchPlace(record)).append("]");
  for (const std::string& part : {MatchLayer(record), MatchPosition(record), MatchTextLine(record)}) {
    if (!part.empty()) line.append(" ").append(part);
  }
  return line;
}

}  // namespace dorvan
