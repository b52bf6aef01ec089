// The order of the sorted lists (target list, found list) and of names within a scanned
// folder: ascending, ignoring letter case.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace dorvan {

// Compares two UTF-8 texts code point by code point after simple Unicode case folding
// (so "a.JWW" and "A.jww" are equal, and so are full-width "Ａ" and "ａ"). Bytes that are
// not valid UTF-8 compare by their value. Returns <0, 0 or >0.
int CompareIgnoringCase(std::string_view a, std::string_view b);

// a sorts before b, ignoring letter case.
inline bool LessIgnoringCase(std::string_view a, std::string_view b) {
  return CompareIgnoringCase(a, b) < 0;
}

// Inserts entry into a list kept in ascending order ignoring case, admitting duplicates.
// Stable: an entry equal (ignoring case) to entries already present goes after them, so
// equal entries keep their order of arrival. Returns the index the entry took.
std::size_t InsertSorted(std::vector<std::string>& list, std::string entry);

// Sorts names ascending ignoring case; names equal ignoring case are ordered by their
// bytes, so the result never depends on the order the names came in.
void SortIgnoringCase(std::vector<std::string>& names);

}  // namespace dorvan
