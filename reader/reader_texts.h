// The fixed texts the reader hands to its ReaderMessages (UTF-8).
#pragma once

#include <string_view>

namespace dorvan::texts {

inline constexpr std::string_view kHeaderReadError = "ヘッド情報読み込みエラーです。";
inline constexpr std::string_view kHeaderReadTitle = "JwwDataRead";
inline constexpr std::string_view kMalformedListTitle = "dorvan";
inline constexpr std::string_view kUnknownClass = "データ形式が不正です。";
inline constexpr std::string_view kNoEntityClass = "データに不具合があります。";
inline constexpr std::string_view kUnknownBlockClass = "データ形式が不正です。（ブロック定義データ）";
inline constexpr std::string_view kBadBlockTag = "ブロック定義データに不具合があります。";

}  // namespace dorvan::texts
