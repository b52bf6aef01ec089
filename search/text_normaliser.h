// `StrChange`, the normalisation that makes text comparison blind to case, character
// width and the backslash/yen distinction: backslash to U+FFE5, full width (ASCII, the
// space, half-width katakana with a following voiced or semi-voiced mark composed where a
// composed form exists), then upper case. The mappings come from ICU.
#pragma once

#include <string>
#include <string_view>

namespace dorvan {

// Normalises `text` in place. Thread-safe: the table behind it is built once and then
// only read.
void StrChange(std::u16string& text);

// Writes the normalised form of `text` into `out` (whose storage is reused).
void StrChange(std::u16string_view text, std::u16string& out);

// The normalised form of `text`.
std::u16string Normalised(std::u16string_view text);

// The reference: the same normalisation through ICU's transliterator and case mapping,
// slow, for tests that check the fast table against it.
std::u16string NormalisedByIcu(std::u16string_view text);

}  // namespace dorvan
