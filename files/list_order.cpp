#include "files/list_order.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>

namespace dorvan {
namespace {

// The next code point of s from i, case folded. An invalid byte stands for itself, shifted
// above every code point so that it cannot compare equal to a real character.
UChar32 NextFolded(std::string_view s, int32_t& i) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(s.data());
  const auto length = static_cast<int32_t>(s.size());
  const uint8_t first = bytes[i];
  if (first < 0x80) {
    ++i;
    return first >= 'A' && first <= 'Z' ? first + ('a' - 'A') : first;
  }
  UChar32 c;
  const int32_t start = i;
  U8_NEXT(bytes, i, length, c);
  if (c < 0) return 0x110000 + bytes[start];
  return static_cast<UChar32>(u_foldCase(c, U_FOLD_CASE_DEFAULT));
}

}  // namespace

int CompareIgnoringCase(std::string_view a, std::string_view b) {
  int32_t i = 0;
  int32_t j = 0;
  const auto lengthA = static_cast<int32_t>(a.size());
  const auto lengthB = static_cast<int32_t>(b.size());
  while (i < lengthA && j < lengthB) {
    const UChar32 ca = NextFolded(a, i);
    const UChar32 cb = NextFolded(b, j);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (i < lengthA) return 1;
  if (j < lengthB) return -1;
  return 0;
}

std::size_t InsertSorted(std::vector<std::string>& list, std::string entry) {
  // upper_bound: after every entry equal to the new one, so arrivals keep their order.
  const auto at = std::upper_bound(list.begin(), list.end(), entry,
                                   [](const std::string& value, const std::string& element) {
                                     return LessIgnoringCase(value, element);
                                   });
  const auto index = static_cast<std::size_t>(at - list.begin());
  list.insert(at, std::move(entry));
  return index;
}

void SortIgnoringCase(std::vector<std::string>& names) {
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const int order = CompareIgnoringCase(a, b);
    return order != 0 ? order < 0 : a < b;
  });
}

}  // namespace dorvan
