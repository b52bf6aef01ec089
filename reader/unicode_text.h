// Conversions between the UTF-8 of paths and messages and the UTF-16 of drawing texts.
#pragma once

#include <string>
#include <string_view>

namespace dorvan {

// Invalid sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

}  // namespace dorvan
