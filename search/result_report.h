// The result report of a finished run: the code `SearchResult` and the text
// `ResultMessage`, with their exact blanks (U+3000 and U+0020 as the system shows them).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "search/search_request.h"

namespace dorvan {

// What a cancelled run leaves as its message.
inline constexpr std::string_view kCancelMessage = "キャンセルされました 。";

// r when nothing was found in range r, 10 + r when something was.
int16_t ResultCode(int range, std::size_t foundCount);

// The value the message quotes for `range`: the report text for text ranges, Combo2's
// or Combo3's text, or the dpi in decimal digits. UTF-8.
std::string ReportValue(const SearchRequest& request, int range);

// The message for `range`, the quoted value (UTF-8) and the number of found drawings.
std::string BuildResultMessage(int range, std::string_view value, std::size_t foundCount);

// The message that refuses a malformed pattern, quoting PCRE2's reason and position.
std::string MalformedPatternMessage(std::string_view reason, std::size_t offset);

}  // namespace dorvan
