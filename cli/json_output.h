// The --json result object of dorvan-search.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace dorvan::cli {

// A JSON string literal for UTF-8 text. Bytes that are not valid UTF-8 become U+FFFD, so
// the output is always valid JSON.
std::string JsonString(std::string_view utf8);

// {"found": [...], "unreadable": [...], "code": N, "message": "..."} on one line.
std::string ResultJson(const std::vector<std::string>& found,
                       const std::vector<std::string>& unreadable, int code,
                       std::string_view message);

}  // namespace dorvan::cli
