#include "search/range_evaluation.h"

#include "search/search_items.h"
#include "search/search_range.h"
#include "search/text_normaliser.h"

namespace dorvan {

bool RuleNormalises(MatchRule rule, bool caseSensitive) {
  return rule != MatchRule::D && !caseSensitive;
}

MatchKind RuleTest(MatchRule rule, bool wordSearch, bool caseSensitive, bool patternSearch) {
  switch (rule) {
    case MatchRule::A:
      // Under A the case option alone already asks for the whole text.
      if (wordSearch || caseSensitive) return MatchKind::Equality;
      return patternSearch ? MatchKind::Pattern : MatchKind::Occurrence;
    case MatchRule::B:
      // Texts inside block definitions know no pattern: it is looked for as plain text.
      return wordSearch ? MatchKind::Equality : MatchKind::Occurrence;
    case MatchRule::C:
    case MatchRule::D:
      if (patternSearch) return MatchKind::Pattern;
      return wordSearch ? MatchKind::Equality : MatchKind::Occurrence;
  }
  return MatchKind::Occurrence;
}

std::u16string_view BlockNameCandidate(std::u16string_view name) {
  // The drawing program writes "name@@SfigorgFlag@@number": the name is what a user looks
  // for, so it is compared when present; a name that begins with the marker is compared
  // by the part after it.
  const std::size_t first = name.find(BlockNameMarker);
  if (first == std::u16string_view::npos) return name;
  if (first > 0) return name.substr(0, first);
  std::u16string_view rest = name.substr(BlockNameMarker.size());
  const std::size_t next = rest.find(BlockNameMarker);
  return next == std::u16string_view::npos ? rest : rest.substr(0, next);
}

std::u16string MemoCandidate(std::u16string_view memo) {
  // Long memos are broken with CR LF by the drawing program; a search text never holds
  // either, so a phrase across a break must still be found.
  std::u16string candidate;
  candidate.reserve(memo.size());
  for (char16_t c : memo) {
    if (c != u'\r' && c != u'\n') candidate.push_back(c);
  }
  return candidate;
}

RangeEvaluator::RangeEvaluator(const SearchRequest& request, const PatternMatcher* pattern)
    : request_(request), range_(request.LowestRange()) {
  // Value ranges never normalise, so they need not build the normalisation table.
  if (IsTextRange(range_)) StrChange(request_.SearchText, normalisedSearchText_);
  if (pattern != nullptr) pattern_ = pattern->Clone();
}

RangeEvaluator RangeEvaluator::Clone() const { return RangeEvaluator(request_, pattern_.get()); }

bool RangeEvaluator::MatchCandidate(MatchRule rule, std::u16string_view candidate) {
  const MatchKind kind = RuleTest(rule, request_.WordSearch, request_.CaseSensitive,
                                  request_.PatternSearch);
  if (kind == MatchKind::Pattern) {
    if (stopped_) return false;
    if (stopRequested_) {
      // The clock is cheap beside a pattern test; the check itself may not be.
      const auto now = std::chrono::steady_clock::now();
      if (now >= nextStopCheck_) {
        nextStopCheck_ = now + std::chrono::milliseconds(5);
        if (stopRequested_()) {
          stopped_ = true;
          return false;
        }
      }
    }
  }
  bool matched = false;
  if (RuleNormalises(rule, request_.CaseSensitive)) {
    StrChange(candidate, scratch_);
    matched = MatchText(kind, scratch_, normalisedSearchText_, pattern_.get());
  } else {
    matched = MatchText(kind, candidate, request_.SearchText, pattern_.get());
  }
  if (!matched && kind == MatchKind::Pattern && pattern_ && pattern_->LastTestHitLimit()) undecided_ = true;
  return matched;
}

bool RangeEvaluator::Append(const JwwDrawing& drawing) {
  undecided_ = false;
  stopped_ = false;
  const JwwHeader& header = drawing.Header;
  switch (range_) {
    case RangeData: {
      const auto& texts = drawing.Data.Texts;
      for (std::size_t i = 1; i < texts.size(); ++i) {
        if (MatchCandidate(MatchRule::A, texts[i].Text)) return true;
      }
      const auto& blocks = drawing.Data.BlockDefinitions;
      for (std::size_t b = 1; b < blocks.size(); ++b) {
        const auto& blockTexts = blocks[b].Data.Texts;
        for (std::size_t i = 1; i < blockTexts.size(); ++i) {
          if (MatchCandidate(MatchRule::B, blockTexts[i].Text)) return true;
        }
      }
      return false;
    }
    case RangeMemo:
      return MatchCandidate(MatchRule::A, MemoCandidate(header.Memo));
    case RangeVersion:
      return header.Version == request_.RequestedVersion;
    case RangeDrawingSize:
      return header.DrawingSize == SizeCodeForIndex(request_.RequestedSizeIndex);
    case RangeLayerGroupName:
      for (const auto& name : header.LayerGroupNames) {
        if (MatchCandidate(MatchRule::C, name)) return true;
      }
      return false;
    case RangeLayerName:
      for (const auto& group : header.LayerNames) {
        for (const auto& name : group) {
          if (MatchCandidate(MatchRule::C, name)) return true;
        }
      }
      return false;
    case RangeLineWidthBase:
      return static_cast<double>(request_.RequestedDpi) / 30.0 ==
             static_cast<double>(header.PrintLineWidthBase());
    case RangeBlockName: {
      const auto& blocks = drawing.Data.BlockDefinitions;
      for (std::size_t b = 1; b < blocks.size(); ++b) {
        if (MatchCandidate(MatchRule::D, BlockNameCandidate(blocks[b].Name))) return true;
      }
      return false;
    }
    default:
      return false;
  }
}

}  // namespace dorvan
