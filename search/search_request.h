// The search request read from the controls, its validation `Check_data` and the
// validation messages.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "search/search_controls.h"

namespace dorvan {

// The request of a run. The window keeps it from one run to the next: a field is only
// refreshed when its range is ticked.
struct SearchRequest {
  std::u16string SearchText;   // Combo1's text without CR, LF, TAB and BS
  std::u16string ReportText;   // SearchText as the result message quotes it
  std::u16string PatternText;  // Combo1's text unchanged: the pattern of the pattern option
  int32_t RequestedVersion = 0;
  int32_t RequestedSizeIndex = -1;  // Combo3's position; see SizeCodeForIndex
  int32_t RequestedDpi = 300;
  std::u16string VersionText;  // Combo2's text, quoted by the report
  std::u16string SizeText;     // Combo3's text, quoted by the report
  bool WordSearch = false;
  bool CaseSensitive = false;
  bool PatternSearch = false;
  std::array<bool, 8> Ranges{};  // the ticked ranges, by SearchRange code

  // The lowest ticked range code, the one evaluated and reported; -1 when none is ticked.
  int LowestRange() const;
};

// The slots of ValidationMessages that a refused request can show.
enum ValidationSlot : int16_t {
  kSlotNoSearchText = 1,
  kSlotNoRange = 6,
  kSlotNoVersion = 11,
  kSlotNoSize = 12,
  kSlotNoTargets = 13,
};

// The 16 validation texts (UTF-8); only the slots of ValidationSlot hold one.
const std::array<std::string_view, 16>& ValidationMessages();

// The control that should take the keyboard focus after a refused request.
enum class FocusTarget { None, Command1, Combo1, Combo2, Combo3 };

struct Validation {
  bool RequestValid = false;
  int16_t ValidationCode = 0;  // the slot to show when RequestValid is false
  FocusTarget Focus = FocusTarget::None;
};

// Decides whether a run may start; the first failing check decides the message.
Validation Check_data(const SearchControls& controls);
// The same with the target list told as whether it holds any target (a list still growing).
Validation Check_data(const SearchControls& controls, bool anyTargets);

// Combo1's text without carriage returns, line feeds, tabs and backspaces.
std::u16string CleanSearchText(std::u16string_view text);

// The leading number of a text, rounded to the nearest integer (halves to even); 0
// when the text does not begin with a number.
int32_t LeadingNumber(std::u16string_view text);

// Reads the request of a valid run into `request`. `addHistory` (may be empty) is called
// once, at the first ticked text range, with Combo1's text.
void ReadRequest(const SearchControls& controls, SearchRequest& request,
                 const std::function<void(const std::u16string&)>& addHistory);

}  // namespace dorvan
