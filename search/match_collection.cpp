// RangeEvaluator::Collect: the records behind a found drawing, by the same candidates and
// tests as Append.
#include <string>
#include <string_view>
#include <vector>

#include "search/range_evaluation.h"
#include "search/search_items.h"
#include "search/search_range.h"

namespace dorvan {
namespace {

// Counts a match and tells whether its record is still wanted (under the cap).
bool CountMatch(DrawingMatches& matches) {
  ++matches.Total;
  return matches.Records.size() < kMatchRecordCap;
}

std::u16string NameAt(const std::array<Text, 16>& names, int32_t index) {
  return index >= 0 && index < 16 ? names[static_cast<std::size_t>(index)] : std::u16string();
}

std::u16string Ascii(std::string_view text) { return std::u16string(text.begin(), text.end()); }

// The lines of a memo as the drawing program breaks them (CR LF; a lone CR or LF breaks too).
std::vector<std::u16string_view> MemoLines(std::u16string_view memo) {
  std::vector<std::u16string_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= memo.size(); ++i) {
    if (i < memo.size() && memo[i] != u'\r' && memo[i] != u'\n') continue;
    lines.push_back(memo.substr(start, i - start));
    if (i + 1 < memo.size() && memo[i] == u'\r' && memo[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  return lines;
}

std::u16string JoinLines(const std::vector<std::u16string_view>& lines, std::size_t first,
                         std::size_t last) {
  std::u16string joined;
  for (std::size_t i = first; i <= last; ++i) joined.append(lines[i]);
  return joined;
}

}  // namespace

void RangeEvaluator::Collect(const JwwDrawing& drawing, DrawingMatches& matches) {
  const JwwHeader& header = drawing.Header;
  auto addText = [&](const TextEntity& text, std::size_t index, const BlockDefinition* block) {
    if (!CountMatch(matches)) return;
    MatchRecord record;
    record.Range = RangeData;
    record.Text = text.Text;
    if (block != nullptr) {
      record.InBlock = true;
      record.BlockName = std::u16string(BlockNameCandidate(block->Name));
      record.BlockNumber = block->Number;
    }
    record.LayerGroup = text.Base.LayerGroup;
    record.Layer = text.Base.Layer;
    record.LayerGroupName = NameAt(header.LayerGroupNames, record.LayerGroup);
    if (record.LayerGroup >= 0 && record.LayerGroup < 16) {
      record.LayerName = NameAt(header.LayerNames[static_cast<std::size_t>(record.LayerGroup)], record.Layer);
    }
    record.X = text.StartX;
    record.Y = text.StartY;
    record.Index = static_cast<int32_t>(index);
    matches.Records.push_back(std::move(record));
  };
  auto addValue = [&](int32_t value, std::u16string text) {
    if (!CountMatch(matches)) return;
    MatchRecord record;
    record.Range = range_;
    record.Value = value;
    record.Text = std::move(text);
    matches.Records.push_back(std::move(record));
  };

  switch (range_) {
    case RangeData: {
      const auto& texts = drawing.Data.Texts;
      for (std::size_t i = 1; i < texts.size(); ++i) {
        if (MatchCandidate(MatchRule::A, texts[i].Text)) addText(texts[i], i, nullptr);
      }
      const auto& blocks = drawing.Data.BlockDefinitions;
      for (std::size_t b = 1; b < blocks.size(); ++b) {
        const auto& blockTexts = blocks[b].Data.Texts;
        for (std::size_t i = 1; i < blockTexts.size(); ++i) {
          if (MatchCandidate(MatchRule::B, blockTexts[i].Text)) addText(blockTexts[i], i, &blocks[b]);
        }
      }
      return;
    }
    case RangeMemo: {
      if (!MatchCandidate(MatchRule::A, MemoCandidate(header.Memo)) || !CountMatch(matches)) return;
      // The memo is one candidate; the lines a user is shown are the fewest that still
      // match: up to the first line that completes a match, from the last line that can
      // begin it.
      const std::vector<std::u16string_view> lines = MemoLines(header.Memo);
      std::size_t last = lines.size() - 1;
      for (std::size_t k = 0; k < lines.size(); ++k) {
        if (MatchCandidate(MatchRule::A, JoinLines(lines, 0, k))) {
          last = k;
          break;
        }
      }
      std::size_t first = 0;
      for (std::size_t j = last + 1; j-- > 0;) {
        if (MatchCandidate(MatchRule::A, JoinLines(lines, j, last))) {
          first = j;
          break;
        }
      }
      MatchRecord record;
      record.Range = RangeMemo;
      record.Text = JoinLines(lines, first, last);
      record.FirstLine = static_cast<int32_t>(first + 1);
      record.LastLine = static_cast<int32_t>(last + 1);
      matches.Records.push_back(std::move(record));
      return;
    }
    // A value range's one candidate is decided by Append itself, so the two cannot differ.
    case RangeVersion:
      if (Append(drawing)) {
        addValue(header.Version, Ascii(std::to_string(header.Version)));
      }
      return;
    case RangeDrawingSize:
      if (Append(drawing)) {
        addValue(header.DrawingSize, Ascii(kSizeItems[static_cast<std::size_t>(request_.RequestedSizeIndex)]));
      }
      return;
    case RangeLayerGroupName:
      for (std::size_t g = 0; g < header.LayerGroupNames.size(); ++g) {
        if (!MatchCandidate(MatchRule::C, header.LayerGroupNames[g]) || !CountMatch(matches)) continue;
        MatchRecord record;
        record.Range = RangeLayerGroupName;
        record.LayerGroup = static_cast<int32_t>(g);
        record.Text = header.LayerGroupNames[g];
        matches.Records.push_back(std::move(record));
      }
      return;
    case RangeLayerName:
      for (std::size_t g = 0; g < header.LayerNames.size(); ++g) {
        for (std::size_t l = 0; l < header.LayerNames[g].size(); ++l) {
          if (!MatchCandidate(MatchRule::C, header.LayerNames[g][l]) || !CountMatch(matches)) continue;
          MatchRecord record;
          record.Range = RangeLayerName;
          record.LayerGroup = static_cast<int32_t>(g);
          record.Layer = static_cast<int32_t>(l);
          record.LayerGroupName = header.LayerGroupNames[g];
          record.Text = header.LayerNames[g][l];
          matches.Records.push_back(std::move(record));
        }
      }
      return;
    case RangeLineWidthBase:
      if (Append(drawing)) {
        addValue(header.PrintLineWidthBase(), Ascii(std::to_string(header.PrintLineWidthBase())));
      }
      return;
    case RangeBlockName: {
      const auto& blocks = drawing.Data.BlockDefinitions;
      for (std::size_t b = 1; b < blocks.size(); ++b) {
        const std::u16string_view compared = BlockNameCandidate(blocks[b].Name);
        if (!MatchCandidate(MatchRule::D, compared) || !CountMatch(matches)) continue;
        MatchRecord record;
        record.Range = RangeBlockName;
        record.Text = blocks[b].Name;
        record.InBlock = true;
        record.BlockName = std::u16string(compared);
        record.BlockNumber = blocks[b].Number;
        record.Index = static_cast<int32_t>(b);
        matches.Records.push_back(std::move(record));
      }
      return;
    }
    default:
      return;
  }
}

}  // namespace dorvan
