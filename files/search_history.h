// The search history: the item list of the search-text combo box, most recent first,
// kept between runs in the settings file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace dorvan {

// The settings file, opened by its bare name in the working folder.
inline constexpr const char* kHistoryFileName = "dorvan.dat";
// Lines read from and written to the settings file; also how many leading items are
// examined for a duplicate.
inline constexpr std::size_t kHistoryLines = 10;

// Appends the first ten lines of file to items, in file order. Lines end in CR LF (a lone
// LF or CR is accepted too). The file is Shift-JIS, or UTF-8 when it starts with the UTF-8
// byte-order mark. Returns false when the file is missing or unreadable; items then keep
// whatever was read before the failure.
bool Load_data(std::vector<std::u16string>& items, const std::string& file = kHistoryFileName);

// Moves text to the top of the history: among the first ten items, an exact (case-
// sensitive) equal is removed, then text is inserted as item 0. The index moves on after a
// removal, so an equal item that moves up into the freed position stays. Returns the item
// to select, 0; an empty text changes nothing and returns -1.
int Add_Data(std::vector<std::u16string>& items, std::u16string_view text);

// Writes the first ten items, each followed by CR LF, in Shift-JIS; when any of them has no
// Shift-JIS form, the whole file is UTF-8 with a byte-order mark instead, so nothing turns
// into question marks. The file is replaced atomically (a temporary file in the same folder,
// flushed to disk, renamed over the old one): a failed save leaves the previous file as it
// was. Returns false on failure; the caller reports nothing.
bool Save_data(const std::vector<std::u16string>& items, const std::string& file = kHistoryFileName);

}  // namespace dorvan
