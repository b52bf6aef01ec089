// `MatchText`: the three tests of a candidate text against the search text (equality,
// occurrence, pattern). The pattern test is PCRE2 (16-bit) set up to behave like an
// ECMAScript-style regular expression: \uXXXX escapes, an empty class [] allowed, an
// unset back-reference matching empty, \d and \w ASCII only, case-sensitive.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace dorvan {

enum class MatchKind { Equality, Occurrence, Pattern };

// The two texts are equal unit by unit.
bool TextEquals(std::u16string_view candidate, std::u16string_view searchText);

// The candidate is not empty and holds the search text; an empty search text occurs in
// every non-empty candidate.
bool TextOccurs(std::u16string_view candidate, std::u16string_view searchText);

// Why a pattern was refused: PCRE2's reason (UTF-8) and the offset in the pattern, in
// UTF-16 units, where it was found.
struct PatternError {
  std::string Reason;
  std::size_t Offset = 0;
};

// A compiled pattern. Compile once per run; each thread that tests texts uses its own
// PatternMatcher (Clone() shares the compiled code and gives fresh match state).
class PatternMatcher {
 public:
  // Compiles `pattern` (JIT where available). On failure returns null and fills `error`.
  static std::unique_ptr<PatternMatcher> Compile(std::u16string_view pattern, PatternError& error);
  ~PatternMatcher();
  PatternMatcher(const PatternMatcher&) = delete;
  PatternMatcher& operator=(const PatternMatcher&) = delete;

  // A matcher over the same compiled code for use on another thread.
  std::unique_ptr<PatternMatcher> Clone() const;

  // True when the pattern matches somewhere in `text`. A match that exceeds the match or
  // depth limit counts as no match, so that no pattern can hang a search.
  bool Test(std::u16string_view text);

  // Whether the most recent Test hit a limit (for tests and diagnostics).
  bool LastTestHitLimit() const { return hitLimit_; }

  struct Impl;

 private:
  explicit PatternMatcher(std::shared_ptr<Impl> code);
  std::shared_ptr<Impl> code_;  // the compiled pattern, shared between clones
  struct MatchState;
  std::unique_ptr<MatchState> state_;
  bool hitLimit_ = false;
};

// One test of `candidate` against `searchText`; `pattern` is used only for
// MatchKind::Pattern and must then be set.
bool MatchText(MatchKind kind, std::u16string_view candidate, std::u16string_view searchText,
               PatternMatcher* pattern);

}  // namespace dorvan
