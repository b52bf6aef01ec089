// A path is the byte string the system gave; these turn it into text to show and find the
// bytes again behind a name a toolkit could only show with replacement characters.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace dorvan {

// The text that shows a path, one name between separators at a time: the name as UTF-8 when
// it is valid UTF-8, else as Shift-JIS (the Windows Japanese code page) when every byte of
// it decodes, else as UTF-8 with U+FFFD for the bytes that are not. For display only: the
// text need not name the file again.
std::u16string PathDisplayText(std::string_view path);

// True when the bytes are valid UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view bytes);

// How a toolkit shows one name of a folder entry (for Qt, QFile::decodeName).
using NameDecoder = std::function<std::u16string(std::string_view name)>;

// The existing paths that `decode`, applied name by name, shows as `shown` (an absolute
// path). A name that exists as the UTF-8 form of its shown text is taken as it is; any other
// is looked up among the entries of its folder. Several paths come back when names differ
// only in bytes the decoder replaces; at most `limit` of them.
std::vector<std::string> PathsShownAs(std::u16string_view shown, const NameDecoder& decode,
                                      std::size_t limit = 16);

}  // namespace dorvan
