#include "search/search_request.h"

#include <cmath>

#include "search/search_range.h"

namespace dorvan {

int SearchRequest::LowestRange() const {
  for (int range = 0; range < kRangeCount; ++range) {
    if (Ranges[range]) return range;
  }
  return -1;
}

const std::array<std::string_view, 16>& ValidationMessages() {
  static constexpr std::array<std::string_view, 16> kMessages = [] {
    std::array<std::string_view, 16> messages{};
    messages[kSlotNoSearchText] = "対象文字が指定されていません。";
    messages[kSlotNoRange] = "検索範囲の指定が不正です。";
    messages[kSlotNoVersion] = "ファイルバージョンが指定されていません。";
    messages[kSlotNoSize] = "図面サイズが指定されていません。";
    messages[kSlotNoTargets] = "ファイルが選択されていません。";
    return messages;
  }();
  return kMessages;
}

Validation Check_data(const SearchControls& controls) {
  return Check_data(controls, !controls.TargetList.empty());
}

Validation Check_data(const SearchControls& controls, bool anyTargets) {
  Validation result;
  auto refuse = [&result](ValidationSlot slot, FocusTarget focus) {
    result.ValidationCode = slot;
    result.Focus = focus;
    return result;
  };
  bool anyRange = false;
  for (bool ticked : controls.Check3) anyRange = anyRange || ticked;
  if (!anyRange) return refuse(kSlotNoRange, FocusTarget::None);
  if (!anyTargets) {
    // Only the file page has a button to choose files with.
    return refuse(kSlotNoTargets, controls.FrontPage == TargetPage::Folder ? FocusTarget::None
                                                                           : FocusTarget::Command1);
  }
  for (int range = 0; range < kRangeCount; ++range) {
    if (!controls.Check3[range]) continue;
    switch (range) {
      case RangeData:
      case RangeMemo:
      case RangeLayerGroupName:
      case RangeLayerName:
        if (controls.Combo1Text.empty()) return refuse(kSlotNoSearchText, FocusTarget::Combo1);
        break;
      case RangeVersion:
        if (controls.Combo2Index < 0) return refuse(kSlotNoVersion, FocusTarget::Combo2);
        break;
      case RangeDrawingSize:
        if (controls.Combo3Index < 0) return refuse(kSlotNoSize, FocusTarget::Combo3);
        break;
      default:  // the line-width base and the block names need nothing more
        break;
    }
  }
  result.RequestValid = true;
  return result;
}

std::u16string CleanSearchText(std::u16string_view text) {
  std::u16string cleaned;
  cleaned.reserve(text.size());
  for (char16_t c : text) {
    if (c != u'\r' && c != u'\n' && c != u'\t' && c != u'\b') cleaned.push_back(c);
  }
  return cleaned;
}

int32_t LeadingNumber(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  double value = 0;
  bool digits = false;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = value * 10 + (text[i] - u'0');
    digits = true;
  }
  if (i < text.size() && text[i] == u'.') {
    double scale = 0.1;
    for (++i; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i, scale /= 10) {
      value += (text[i] - u'0') * scale;
      digits = true;
    }
  }
  if (!digits) return 0;
  // Halves go to the even neighbour; values beyond 32 bits are clamped rather than wrapped.
  double rounded = std::nearbyint(negative ? -value : value);
  if (rounded > 2147483647.0) rounded = 2147483647.0;
  if (rounded < -2147483648.0) rounded = -2147483648.0;
  return static_cast<int32_t>(rounded);
}

void ReadRequest(const SearchControls& controls, SearchRequest& request,
                 const std::function<void(const std::u16string&)>& addHistory) {
  request.SearchText = CleanSearchText(controls.Combo1Text);
  request.PatternText = controls.Combo1Text;
  request.WordSearch = controls.Check1;
  request.CaseSensitive = controls.Check2;
  request.PatternSearch = controls.Check4;
  request.Ranges = controls.Check3;
  bool historyAdded = false;
  for (int range = 0; range < kRangeCount; ++range) {
    if (!controls.Check3[range]) continue;
    switch (range) {
      case RangeVersion:
        request.RequestedVersion = LeadingNumber(controls.Combo2Text);
        request.VersionText = controls.Combo2Text;
        break;
      case RangeDrawingSize:
        request.RequestedSizeIndex = controls.Combo3Index;
        request.SizeText = controls.Combo3Text;
        break;
      case RangeLineWidthBase:
        request.RequestedDpi = controls.Option1 ? 300 : 600;
        break;
      default:
        request.ReportText = request.SearchText;
        if (!historyAdded) {
          historyAdded = true;
          if (addHistory) addHistory(controls.Combo1Text);
        }
        break;
    }
  }
}

}  // namespace dorvan
