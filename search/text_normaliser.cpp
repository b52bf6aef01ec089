#include "search/text_normaliser.h"

#include <unicode/translit.h>
#include <unicode/uchar.h>
#include <unicode/uniset.h>
#include <unicode/unistr.h>
#include <unicode/ures.h>
#include <unicode/utf16.h>

#include <array>
#include <bitset>
#include <memory>
#include <utility>
#include <vector>

namespace dorvan {
namespace {

constexpr char16_t kBackslash = u'\\';
constexpr char16_t kFullWidthYen = u'\uFFE5';
constexpr char16_t kHalfWidthKatakanaFirst = u'\uFF61';
constexpr char16_t kHalfWidthKatakanaLast = u'\uFF9F';
constexpr char16_t kHalfWidthVoicedMark = u'\uFF9E';
constexpr char16_t kHalfWidthSemiVoicedMark = u'\uFF9F';
constexpr int kKatakanaCount = kHalfWidthKatakanaLast - kHalfWidthKatakanaFirst + 1;

// ICU's registered "Halfwidth-Fullwidth" transform, the reference the table must agree
// with. Creating it by name first loads ICU's whole registry of transforms (tens of
// milliseconds), so the table below compiles the same rules itself.
std::unique_ptr<icu::Transliterator> RegisteredWidener() {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::Transliterator> widener(
      icu::Transliterator::createInstance("Halfwidth-Fullwidth", UTRANS_FORWARD, status));
  if (U_FAILURE(status)) widener.reset();
  return widener;
}

struct BundleCloser {
  void operator()(UResourceBundle* bundle) const { ures_close(bundle); }
};
using Bundle = std::unique_ptr<UResourceBundle, BundleCloser>;

// The same transform compiled from the rule text in ICU's own transform data, which takes
// about a millisecond; null when the data does not hold it in the expected form.
std::unique_ptr<icu::Transliterator> WidenerFromIcuRules() {
  UErrorCode status = U_ZERO_ERROR;
  const Bundle root(ures_openDirect(U_ICUDATA_NAME "-translit", "root", &status));
  const Bundle ids(ures_getByKey(root.get(), "RuleBasedTransliteratorIDs", nullptr, &status));
  const Bundle entry(ures_getByKey(ids.get(), "Halfwidth-Fullwidth", nullptr, &status));
  const Bundle file(ures_getByKey(entry.get(), "file", nullptr, &status));
  int32_t rulesLength = 0;
  const UChar* rules = ures_getStringByKey(file.get(), "resource", &rulesLength, &status);
  int32_t directionLength = 0;
  const UChar* direction = ures_getStringByKey(file.get(), "direction", &directionLength, &status);
  if (U_FAILURE(status)) return nullptr;
  const UTransDirection way =
      icu::UnicodeString(direction, directionLength) == icu::UnicodeString(u"REVERSE") ? UTRANS_REVERSE
                                                                                     : UTRANS_FORWARD;
  UParseError parseError;
  std::unique_ptr<icu::Transliterator> widener(icu::Transliterator::createFromRules(
      "Halfwidth-Fullwidth", icu::UnicodeString(rules, rulesLength), way, parseError, status));
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
    std::unique_ptr<icu::Transliterator> widener = WidenerFromIcuRules();
    if (widener == nullptr) widener = RegisteredWidener();
    // Only the transform's source set can change width; every other unit only changes
    // case, so the transform runs on a few hundred units instead of all 63,000.
    icu::UnicodeSet widened;
    if (widener != nullptr) widener->getSourceSet(widened);
    widened.add(kBackslash);
    for (uint32_t c = 0; c < 0x10000; ++c) {
      single_[c] = static_cast<char16_t>(c);
      if (U16_IS_SURROGATE(c)) continue;  // pairs are handled as code points
      if (widened.contains(static_cast<UChar32>(c))) continue;
      const UChar32 upper = u_toupper(static_cast<UChar32>(c));
      if (upper <= 0xFFFF) {
        single_[c] = static_cast<char16_t>(upper);
      } else {
        AddComplex(static_cast<char16_t>(c), icu::UnicodeString(upper));
      }
    }
    for (int32_t r = 0; r < widened.getRangeCount(); ++r) {
      for (UChar32 c = widened.getRangeStart(r); c <= widened.getRangeEnd(r) && c <= 0xFFFF; ++c) {
        if (U16_IS_SURROGATE(c)) continue;
        const char16_t unit = static_cast<char16_t>(c);
        const icu::UnicodeString s = NormaliseWithIcu(widener.get(), std::u16string_view(&unit, 1));
        if (s.length() == 1) {
          single_[c] = s.charAt(0);
        } else {
          AddComplex(unit, s);
        }
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
        const std::u16string& form = ComplexForm(c);
        out.resize(out.size() + form.size());
        for (char16_t u : form) out[j++] = u;
        continue;
      }
      out[j++] = single_[c];
    }
    out.resize(j);
  }

 private:
  std::array<char16_t, 0x10000> single_{};
  void AddComplex(char16_t unit, const icu::UnicodeString& form) {
    complex_.set(unit);
    complexForms_.emplace_back(unit, std::u16string(form.getBuffer(), static_cast<std::size_t>(form.length())));
  }
  const std::u16string& ComplexForm(char16_t unit) const {
    for (const auto& [u, form] : complexForms_) {
      if (u == unit) return form;
    }
    return complexForms_.front().second;  // not reached: complex_ marks only listed units
  }

  std::bitset<0x10000> complex_;  // units whose normal form is not one unit
  std::vector<std::pair<char16_t, std::u16string>> complexForms_;
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
  std::unique_ptr<icu::Transliterator> widener = RegisteredWidener();
  icu::UnicodeString s = NormaliseWithIcu(widener.get(), text);
  return std::u16string(s.getBuffer(), static_cast<std::size_t>(s.length()));
}

}  // namespace dorvan
