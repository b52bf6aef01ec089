#include "search/result_report.h"

#include <array>

#include "reader/unicode_text.h"
#include "search/search_range.h"

namespace dorvan {
namespace {

// The fixed pieces keep the system's two kinds of blank: U+3000 (ideographic) and U+0020.
constexpr std::array<std::string_view, 8> kNothingFoundPrefix = {
    "【\u3000",
    "ファイルメモ【\u3000",
    "ファイルバージョン【\u3000",
    "図面サイズ【\u3000",
    "レイヤグループ名【\u3000",
    "レイヤ名【\u3000",
    "印刷時における既定線色の線幅の基準値【\u3000",
    "ブロック名【\u3000",
};
constexpr std::array<std::string_view, 8> kFoundPrefix = {
    "【\u3000",
    "メモ欄\u3000【\u3000",
    "ファイルバージョン\u3000【\u3000",
    "図面サイズ\u3000【\u3000",
    "レイヤグループ名\u3000【\u3000",
    "レイヤ名\u3000【\u3000",
    "印刷時における既定線色の線幅の基準値\u3000【\u3000",
    "ブロック名\u3000【\u3000",
};
constexpr std::string_view kExists = "\u3000 】の存在するファイルを\u3000";
constexpr std::string_view kOfValue = "\u3000 】のファイルを\u3000";
constexpr std::array<std::string_view, 8> kFoundMiddle = {kExists, kExists, kOfValue, kOfValue,
                                                          kExists, kExists, kOfValue, kExists};
constexpr std::string_view kNothingFoundEnding = "\u3000 】は、存在しません。もう一度実行しますか？。";
constexpr std::string_view kFoundEnding = " 個\u3000見つけました 。";

}  // namespace

int16_t ResultCode(int range, std::size_t foundCount) {
  return static_cast<int16_t>(foundCount == 0 ? range : 10 + range);
}

std::string ReportValue(const SearchRequest& request, int range) {
  switch (range) {
    case RangeVersion:
      return Utf16ToUtf8(request.VersionText);
    case RangeDrawingSize:
      return Utf16ToUtf8(request.SizeText);
    case RangeLineWidthBase:
      return std::to_string(request.RequestedDpi);
    default:
      return Utf16ToUtf8(request.ReportText);
  }
}

std::string BuildResultMessage(int range, std::string_view value, std::size_t foundCount) {
  if (range < 0 || range >= kRangeCount) return {};
  std::string message;
  if (foundCount == 0) {
    message.append(kNothingFoundPrefix[range]).append(value).append(kNothingFoundEnding);
  } else {
    message.append(kFoundPrefix[range]).append(value).append(kFoundMiddle[range]);
    message.append(" ").append(std::to_string(foundCount)).append(kFoundEnding);
  }
  return message;
}

std::string MalformedPatternMessage(std::string_view reason, std::size_t offset) {
  std::string message = "正規表現が正しくありません。\n";
  message.append(reason).append("\n");
  message.append("位置: ").append(std::to_string(offset + 1)).append(" 文字目");
  return message;
}

}  // namespace dorvan
