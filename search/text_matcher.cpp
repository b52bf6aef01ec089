#include "search/text_matcher.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <algorithm>
#include <vector>

#include "reader/unicode_text.h"

namespace dorvan {
namespace {

// Options that make PCRE2 accept and answer like an ECMAScript-style expression: \uXXXX
// escapes, [] matching nothing, an unset back-reference matching the empty text, $ only
// at the very end; UTF so that a surrogate pair is one character, with invalid UTF-16
// in a drawing text tolerated rather than failing the match. \d and \w stay ASCII
// (no PCRE2_UCP), as in that syntax.
constexpr uint32_t kCompileOptions = PCRE2_ALT_BSUX | PCRE2_ALLOW_EMPTY_CLASS |
                                     PCRE2_MATCH_UNSET_BACKREF | PCRE2_DOLLAR_ENDONLY |
                                     PCRE2_UTF | PCRE2_MATCH_INVALID_UTF;

// Enough for every sensible pattern on drawing texts; a pathological one gives up well
// within a second instead of hanging the search.
constexpr uint32_t kMatchLimit = 1'000'000;
constexpr uint32_t kDepthLimit = 10'000;
constexpr uint32_t kHeapLimitKiB = 20 * 1024;
constexpr std::size_t kJitStackMin = 32 * 1024;
constexpr std::size_t kJitStackMax = 1024 * 1024;

PCRE2_SPTR16 Units(std::u16string_view text) {
  static constexpr char16_t kEmpty[1] = {u'\0'};
  return reinterpret_cast<PCRE2_SPTR16>(text.empty() ? kEmpty : text.data());
}

// PCRE2 never matches a quantified empty class ("a[]?b" fails on "ab"), while the
// expression syntax lets the quantifier make it optional. Wrapping each [] in a group,
// (?:[]), gives the intended meaning. `origin` maps each unit of the result back to its
// offset in `pattern`, so error positions still point into what the user typed.
std::u16string WrapEmptyClasses(std::u16string_view pattern, std::vector<std::size_t>& origin) {
  std::u16string out;
  origin.clear();
  auto emit = [&](std::u16string_view units, std::size_t from) {
    out.append(units);
    origin.insert(origin.end(), units.size(), from);
  };
  bool inClass = false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char16_t c = pattern[i];
    if (c == u'\\' && i + 1 < pattern.size()) {
      emit(pattern.substr(i, 1), i);
      emit(pattern.substr(i + 1, 1), i + 1);
      ++i;
    } else if (inClass) {
      if (c == u']') inClass = false;
      emit(pattern.substr(i, 1), i);
    } else if (c == u'[' && i + 1 < pattern.size() && pattern[i + 1] == u']') {
      emit(u"(?:", i);
      emit(pattern.substr(i, 2), i);
      emit(u")", i + 1);
      ++i;
    } else if (c == u'[' && i + 2 < pattern.size() && pattern[i + 1] == u'^' &&
               pattern[i + 2] == u']') {
      emit(pattern.substr(i, 3), i);  // [^] is a whole class: any character
      i += 2;
    } else {
      if (c == u'[') inClass = true;
      emit(pattern.substr(i, 1), i);
    }
  }
  origin.push_back(pattern.size());
  return out;
}

}  // namespace

struct PatternMatcher::Impl {
  pcre2_code_16* code = nullptr;
  ~Impl() { pcre2_code_free_16(code); }
};

struct PatternMatcher::MatchState {
  pcre2_match_context_16* context = nullptr;
  pcre2_match_data_16* data = nullptr;
  pcre2_jit_stack_16* jitStack = nullptr;
  ~MatchState() {
    pcre2_match_data_free_16(data);
    pcre2_jit_stack_free_16(jitStack);
    pcre2_match_context_free_16(context);
  }
};

bool TextEquals(std::u16string_view candidate, std::u16string_view searchText) {
  return candidate == searchText;
}

bool TextOccurs(std::u16string_view candidate, std::u16string_view searchText) {
  return !candidate.empty() && candidate.find(searchText) != std::u16string_view::npos;
}

std::unique_ptr<PatternMatcher> PatternMatcher::Compile(std::u16string_view pattern,
                                                        PatternError& error) {
  int errorCode = 0;
  PCRE2_SIZE errorOffset = 0;
  pcre2_compile_context_16* context = pcre2_compile_context_create_16(nullptr);
  pcre2_set_newline_16(context, PCRE2_NEWLINE_LF);
  std::vector<std::size_t> origin;
  const std::u16string compiled = WrapEmptyClasses(pattern, origin);
  pcre2_code_16* code = pcre2_compile_16(Units(compiled), compiled.size(), kCompileOptions,
                                         &errorCode, &errorOffset, context);
  pcre2_compile_context_free_16(context);
  if (code == nullptr) {
    PCRE2_UCHAR16 buffer[256];
    const int length = pcre2_get_error_message_16(errorCode, buffer, 256);
    error.Reason = length > 0 ? Utf16ToUtf8(std::u16string_view(
                                    reinterpret_cast<const char16_t*>(buffer),
                                    static_cast<std::size_t>(length)))
                              : std::string("error ") + std::to_string(errorCode);
    error.Offset = origin[std::min<std::size_t>(errorOffset, origin.size() - 1)];
    return nullptr;
  }
  // Without JIT support the interpreter is used; the answers are the same.
  pcre2_jit_compile_16(code, PCRE2_JIT_COMPLETE);
  auto impl = std::make_shared<Impl>();
  impl->code = code;
  return std::unique_ptr<PatternMatcher>(new PatternMatcher(std::move(impl)));
}

PatternMatcher::PatternMatcher(std::shared_ptr<Impl> code)
    : code_(std::move(code)), state_(std::make_unique<MatchState>()) {
  state_->context = pcre2_match_context_create_16(nullptr);
  pcre2_set_match_limit_16(state_->context, kMatchLimit);
  pcre2_set_depth_limit_16(state_->context, kDepthLimit);
  pcre2_set_heap_limit_16(state_->context, kHeapLimitKiB);
  state_->jitStack = pcre2_jit_stack_create_16(kJitStackMin, kJitStackMax, nullptr);
  if (state_->jitStack != nullptr) {
    pcre2_jit_stack_assign_16(state_->context, nullptr, state_->jitStack);
  }
  state_->data = pcre2_match_data_create_16(1, nullptr);
}

PatternMatcher::~PatternMatcher() = default;

std::unique_ptr<PatternMatcher> PatternMatcher::Clone() const {
  return std::unique_ptr<PatternMatcher>(new PatternMatcher(code_));
}

bool PatternMatcher::Test(std::u16string_view text) {
  hitLimit_ = false;
  const int rc = pcre2_match_16(code_->code, Units(text), text.size(), 0, 0, state_->data,
                                state_->context);
  if (rc >= 0) return true;
  switch (rc) {
    case PCRE2_ERROR_MATCHLIMIT:
    case PCRE2_ERROR_DEPTHLIMIT:
    case PCRE2_ERROR_HEAPLIMIT:
    case PCRE2_ERROR_JIT_STACKLIMIT:
      hitLimit_ = true;
      break;
    default:
      break;
  }
  return false;
}

bool MatchText(MatchKind kind, std::u16string_view candidate, std::u16string_view searchText,
               PatternMatcher* pattern) {
  switch (kind) {
    case MatchKind::Equality:
      return TextEquals(candidate, searchText);
    case MatchKind::Occurrence:
      return TextOccurs(candidate, searchText);
    case MatchKind::Pattern:
      return pattern != nullptr && pattern->Test(candidate);
  }
  return false;
}

}  // namespace dorvan
