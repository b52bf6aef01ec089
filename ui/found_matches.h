// The match records of the found list's entries: kept with each entry from the run that
// found it, shown as the entry's tool tip, and written with the list as CSV.
#pragma once

#include <QString>
#include <string>
#include <vector>

#include "search/match_records.h"

class QListWidgetItem;

namespace dorvan::ui {

// The records an entry's tool tip lists before "…ほか N 件".
inline constexpr std::size_t kToolTipRecords = 10;

// Keeps `matches` with the entry and makes its tool tip list them.
void AttachMatches(QListWidgetItem& item, DrawingMatches matches);
// The records kept with an entry; null for an entry without any (not from a run).
const DrawingMatches* MatchesOf(const QListWidgetItem& item);

// The first ten matches, one a line, then "…ほか N 件" for the rest of the total.
QString MatchesToolTip(const DrawingMatches& matches);

// One found drawing as the CSV export sees it.
struct FoundEntry {
  std::string path;
  const DrawingMatches* matches = nullptr;  // may be null
};

// The found list as CSV in UTF-8 with a byte-order mark, so that a Japanese spreadsheet
// reads it as UTF-8: a heading line, then one line per match (a drawing without records
// gets a line with its path alone); columns path, range, where, layer group, layer, x, y,
// text; lines end in CR LF. A text that a spreadsheet would take for a formula gets a
// leading apostrophe.
std::string FoundListCsv(const std::vector<FoundEntry>& entries);

}  // namespace dorvan::ui
