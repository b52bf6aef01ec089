#include "search/text_normaliser.h"

#include <unicode/translit.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf16.h>

#include <array>
#include <bitset>
#include <memory>

namespace dorvan {
namespace {

constexpr char16_t kBackslash = u'\\';
constexpr char16_t kFullWidthYen = u'\uFFE5';
constexpr char16_t kHalfWidthKatakanaFirst = u'\uFF61';
constexpr char16_t kHalfWidthKatakanaLast = u'\uFF9F';
constexpr char16_t kHalfWidthVoicedMark = u'\uFF9E';
constexpr char16_t kHalfWidthSemiVoicedMark = u'\uFF9F';
constexpr int kKatakanaCount = kHalfWidthKatakanaLast - kHalfWidthKatakanaFirst + 1;

std::unique_ptr<icu::Transliterator> MakeWidener() {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::Transliterator> widener(
      icu::Transliterator::createInstance("Halfwidth-Fullwidth", UTRANS_FORWARD, status));
  if (U_FAILURE(status)) widener.reset();
  return widener;
}

// Upper-cases with ICU's simple (one to one) case mapping, code point by code point.
void UpperCase(icu::UnicodeString& text) {
  icu::UnicodeString upper;
  for (int32_t i = 0; i < text.length();) {
    UChar32 c = text.char32At(i);
    upper.append(static_cast<UChar32>(u_toupper(c)));
    i += U16_LENGTH(c);
  }
  text = upper;
}

icu::UnicodeString NormaliseWithIcu(const icu::Transliterator* widener, std::u16string_view text) {
  icu::UnicodeString s(text.data(), static_cast<int32_t>(text.size()));
  s.findAndReplace(icu::UnicodeString(kBackslash), icu::UnicodeString(kFullWidthYen));
  if (widener != nullptr) widener->transliterate(s);
  UpperCase(s);
  return s;
}

// The normalisation of every BMP unit alone and of every half-width katakana followed by
// a voiced or semi-voiced mark, computed once with ICU. Immutable after construction, so
// any number of threads may read it.
class NormalisationTable {
 public:
  NormalisationTable() {
    std::unique_ptr<icu::Transliterator> widener = MakeWidener();
    for (uint32_t c = 0; c < 0x10000; ++c) {
      single_[c] = static_cast<char16_t>(c);
      if (U16_IS_SURROGATE(c)) continue;  // pairs are handled as code points
      const char16_t unit = static_cast<char16_t>(c);
      icu::UnicodeString s = NormaliseWithIcu(widener.get(), std::u16string_view(&unit, 1));
      if (s.length() == 1) {
        single_[c] = s.charAt(0);
      } else {
        complex_.set(c);
      }
    }
    for (int k = 0; k < kKatakanaCount; ++k) {
      for (int m = 0; m < 2; ++m) {
        const char16_t pair[2] = {static_cast<char16_t>(kHalfWidthKatakanaFirst + k),
                                  m == 0 ? kHalfWidthVoicedMark : kHalfWidthSemiVoicedMark};
        icu::UnicodeString s = NormaliseWithIcu(widener.get(), std::u16string_view(pair, 2));
        composed_[k][m] = s.length() == 1 ? s.charAt(0) : u'\0';
      }
    }
  }

  void Normalise(std::u16string_view in, std::u16string& out) const {
    out.resize(in.size());
    std::size_t j = 0;
    const std::size_t n = in.size();
    for (std::size_t i = 0; i < n; ++i) {
      const char16_t c = in[i];
      if (c >= kHalfWidthKatakanaFirst && c <= kHalfWidthKatakanaLast && i + 1 < n &&
          (in[i + 1] == kHalfWidthVoicedMark || in[i + 1] == kHalfWidthSemiVoicedMark)) {
        const char16_t composed =
            composed_[c - kHalfWidthKatakanaFirst][in[i + 1] == kHalfWidthVoicedMark ? 0 : 1];
        if (composed != u'\0') {
          out[j++] = composed;
          ++i;
          continue;
        }
      }
      if (U16_IS_LEAD(c) && i + 1 < n && U16_IS_TRAIL(in[i + 1])) {
        // Supplementary characters have no half-width form; only their case changes.
        const UChar32 upper = u_toupper(U16_GET_SUPPLEMENTARY(c, in[i + 1]));
        out[j++] = U16_LEAD(upper);
        out[j++] = U16_TRAIL(upper);
        ++i;
        continue;
      }
      if (complex_.test(c)) {
        icu::UnicodeString s = NormaliseWithIcu(MakeWidener().get(), std::u16string_view(&c, 1));
        out.resize(out.size() + s.length());
        for (int32_t u = 0; u < s.length(); ++u) out[j++] = s.charAt(u);
        continue;
      }
      out[j++] = single_[c];
    }
    out.resize(j);
  }

 private:
  std::array<char16_t, 0x10000> single_{};
  std::bitset<0x10000> complex_;  // units whose normal form is not one unit
  std::array<std::array<char16_t, 2>, kKatakanaCount> composed_{};
};

const NormalisationTable& Table() {
  static const auto* const table = new NormalisationTable();
  return *table;
}

}  // namespace

void StrChange(std::u16string_view text, std::u16string& out) { Table().Normalise(text, out); }

void StrChange(std::u16string& text) {
  std::u16string out;
  Table().Normalise(text, out);
  text.swap(out);
}

std::u16string Normalised(std::u16string_view text) {
  std::u16string out;
  Table().Normalise(text, out);
  return out;
}

std::u16string NormalisedByIcu(std::u16string_view text) {
  std::unique_ptr<icu::Transliterator> widener = MakeWidener();
  icu::UnicodeString s = NormaliseWithIcu(widener.get(), text);
  return std::u16string(s.getBuffer(), static_cast<std::size_t>(s.length()));
}

}  // namespace dorvan
