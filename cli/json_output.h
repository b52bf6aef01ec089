// The --json result object of dorvan-search.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "search/match_records.h"

namespace dorvan::cli {

// A JSON string literal for UTF-8 text. Bytes that are not valid UTF-8 become U+FFFD, so
// the output is always valid JSON.
std::string JsonString(std::string_view utf8);

// Standard base64 (RFC 4648, with padding) of `bytes`.
std::string Base64(std::string_view bytes);

// A path: a JSON string when it is valid UTF-8, else {"bytes": "BASE64"} of its raw bytes,
// so that every path can be given back exactly.
std::string JsonPath(std::string_view path);

// One match record as an item of "matches": "range" and "text" and the fields its range has.
std::string MatchItemJson(const MatchRecord& record);

// {"found": [...], "unreadable": [...], "code": N, "message": "..."} on one line. With
// `matches` (one entry per found path) also "matches": [{"path", "total", "items"}], the
// items left out unless `withItems`. Drawings on which the pattern could not be decided,
// if any, in "undecided".
std::string ResultJson(const std::vector<std::string>& found,
                       const std::vector<std::string>& unreadable, int code,
                       std::string_view message,
                       const std::vector<DrawingMatches>* matches = nullptr, bool withItems = true,
                       const std::vector<std::string>& undecided = {});

}  // namespace dorvan::cli
