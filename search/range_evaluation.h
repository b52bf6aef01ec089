// `Append`, the evaluation of one range of one drawing: which candidate texts and values
// a range looks at, and which test (rules A to D) decides for each candidate.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "reader/jww_drawing.h"
#include "search/match_records.h"
#include "search/search_request.h"
#include "search/text_matcher.h"

namespace dorvan {

// The literal that the drawing program puts into block names.
inline constexpr std::u16string_view BlockNameMarker = u"@@SfigorgFlag@@";

// The text rules: A drawing texts and memo, B texts inside block definitions, C layer
// group and layer names, D block names.
enum class MatchRule { A, B, C, D };

// Whether `rule` normalises candidate and search text for these options.
bool RuleNormalises(MatchRule rule, bool caseSensitive);

// The test `rule` chooses for the options.
MatchKind RuleTest(MatchRule rule, bool wordSearch, bool caseSensitive, bool patternSearch);

// The part of a block name that range 7 compares: the part before the first marker when
// it is not empty, else the part after the first marker up to the next marker or the
// end; a name without the marker is compared whole.
std::u16string_view BlockNameCandidate(std::u16string_view name);

// A memo as compared: its CR and LF removed, the cleaning a search text gets.
std::u16string MemoCandidate(std::u16string_view memo);

// Evaluates the lowest ticked range of a request against drawings. Not thread-safe: a
// thread that evaluates uses its own evaluator (Clone()).
class RangeEvaluator {
 public:
  // `pattern` is needed when the request has PatternSearch on and a text range is
  // evaluated; may be null otherwise. The evaluator takes its own clone of it.
  RangeEvaluator(const SearchRequest& request, const PatternMatcher* pattern);

  RangeEvaluator Clone() const;

  // True when the drawing matches: the run then adds its path to the found list.
  bool Append(const JwwDrawing& drawing);

  // After an Append that found nothing: true when the pattern could not be decided on some
  // text (PCRE2's match, depth or heap limit), so that "not found" would be a guess.
  bool LastAppendUndecided() const { return undecided_; }
  // Asked between the pattern tests of one drawing (every few milliseconds at most):
  // true abandons the drawing, so a slow pattern cannot hold a cancel up for long.
  void SetStopCheck(std::function<bool()> stopRequested) { stopRequested_ = std::move(stopRequested); }
  // After an Append: true when the stop check abandoned it (its answer means nothing).
  bool LastAppendStopped() const { return stopped_; }

  // Adds to `matches` every candidate of the range that matches under the same rule,
  // normalisation and options as Append, in file order (see MatchRecord); Append is true
  // exactly when a record is added. Only called for drawings Append found, so a run that
  // does not ask for records pays nothing for them.
  void Collect(const JwwDrawing& drawing, DrawingMatches& matches);

  // One candidate under a rule (normalising as the rule says), for tests and callers.
  bool MatchCandidate(MatchRule rule, std::u16string_view candidate);

 private:
  SearchRequest request_;
  int range_ = -1;
  std::u16string normalisedSearchText_;
  std::unique_ptr<PatternMatcher> pattern_;
  std::u16string scratch_;  // reused buffer for normalised candidates
  bool undecided_ = false;
  bool stopped_ = false;
  std::function<bool()> stopRequested_;
  std::chrono::steady_clock::time_point nextStopCheck_{};
};

}  // namespace dorvan
