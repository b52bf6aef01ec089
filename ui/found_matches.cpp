#include "ui/found_matches.h"

#include "ui/window_paths.h"

#include <QListWidgetItem>
#include <QVariant>
#include <QStringList>
#include <cctype>
#include <charconv>
#include <cmath>
#include <memory>
#include <string_view>

#include "search/match_text.h"
#include "search/search_items.h"
#include "search/search_range.h"

Q_DECLARE_METATYPE(std::shared_ptr<const dorvan::DrawingMatches>)

namespace dorvan::ui {
namespace {

// Beside the path role of ListBox.
constexpr int kMatchesRole = Qt::UserRole + 1;

using SharedMatches = std::shared_ptr<const DrawingMatches>;

std::string CsvField(const std::string& value) {
  if (value.find_first_of(",\"\r\n") == std::string::npos) return value;
  std::string quoted = "\"";
  for (char c : value) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

// A drawing's text as a cell: a spreadsheet would take one that begins with = + - @ as a
// formula (which a drawing from elsewhere could use to run commands), so such a text is
// kept as text by a leading apostrophe.
std::string CsvText(const std::string& value) {
  if (!value.empty() && std::string_view("=+-@").find(value.front()) != std::string_view::npos) {
    return CsvField("'" + value);
  }
  return CsvField(value);
}

std::string Number(double value) {
  if (!std::isfinite(value)) return {};
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string HexNumber(int32_t value) {
  if (value < 0) return {};
  char text[16];
  const auto result = std::to_chars(text, text + sizeof text, value, 16);
  std::string digits(text, result.ptr);
  for (char& c : digits) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return digits;
}

}  // namespace

void AttachMatches(QListWidgetItem& item, DrawingMatches matches) {
  auto shared = std::make_shared<const DrawingMatches>(std::move(matches));
  item.setToolTip(MatchesToolTip(*shared));
  item.setData(kMatchesRole, QVariant::fromValue(SharedMatches(std::move(shared))));
}

const DrawingMatches* MatchesOf(const QListWidgetItem& item) {
  const QVariant stored = item.data(kMatchesRole);
  if (!stored.canConvert<SharedMatches>()) return nullptr;
  return stored.value<SharedMatches>().get();
}

QString MatchesToolTip(const DrawingMatches& matches) {
  QStringList lines;
  for (std::size_t i = 0; i < matches.Records.size() && i < kToolTipRecords; ++i) {
    lines << QString::fromStdString(MatchLine(matches.Records[i]));
  }
  const std::size_t shown = static_cast<std::size_t>(lines.size());
  if (matches.Total > shown) lines << QStringLiteral("…ほか %1 件").arg(matches.Total - shown);
  return lines.join(u'\n');
}

std::string FoundListCsv(const std::vector<FoundEntry>& entries) {
  std::string csv = "\xEF\xBB\xBF";
  csv += "パス,範囲,場所,レイヤグループ,レイヤ,X,Y,文字\r\n";
  for (const FoundEntry& entry : entries) {
    // The path as the window shows it, which is the name a Windows user knows: raw bytes
    // that are not UTF-8 would make the whole file unreadable as UTF-8.
    const std::string path = CsvField(DisplayPath(entry.path).toStdString());
    if (entry.matches == nullptr || entry.matches->Records.empty()) {
      csv += path + ",,,,,,,\r\n";
      continue;
    }
    for (const MatchRecord& record : entry.matches->Records) {
      const bool positioned = record.Range == RangeData;
      const std::string range = record.Range >= 0 && record.Range < kRangeCount
                                    ? std::string(kRangeCaptions[static_cast<std::size_t>(record.Range)])
                                    : std::string();
      csv += path + "," + CsvField(range) + "," + CsvField(MatchPlace(record)) + "," +
             HexNumber(record.LayerGroup) + "," + HexNumber(record.Layer) + "," +
             (positioned ? Number(record.X) : "") + "," + (positioned ? Number(record.Y) : "") + "," +
             CsvText(MatchTextLine(record)) + "\r\n";
    }
  }
  return csv;
}

}  // namespace dorvan::ui
