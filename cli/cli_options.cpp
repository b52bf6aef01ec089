#include "cli/cli_options.h"

#include <array>
#include <utility>
#include <string_view>

#include "files/path_text.h"
#include "reader/unicode_text.h"
#include "search/search_items.h"
#include "search/search_range.h"

namespace dorvan::cli {
namespace {

constexpr std::array<std::string_view, 8> kRangeNames = {
    "data", "memo", "version", "size", "layer-group", "layer", "line-width-base", "block"};

template <std::size_t N>
int IndexOf(const std::array<std::string_view, N>& items, std::string_view value) {
  for (std::size_t i = 0; i < N; ++i) {
    if (items[i] == value) return static_cast<int>(i);
  }
  return -1;
}

template <std::size_t N>
std::string Choices(const std::array<std::string_view, N>& items) {
  std::string text;
  for (std::string_view item : items) text.append(text.empty() ? "" : "|").append(item);
  return text;
}

}  // namespace

bool ParseCommandLine(int argc, const char* const* argv, CliOptions& options, std::string& error) {
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      options.paths.emplace_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    // --name=value and --name value are both accepted.
    std::string_view name = arg;
    std::string_view value;
    bool hasValue = false;
    if (const std::size_t eq = arg.find('='); eq != std::string_view::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      hasValue = true;
    }
    auto takeValue = [&]() -> bool {
      if (hasValue) return true;
      if (i + 1 >= argc) {
        error = std::string(name) + " needs a value";
        return false;
      }
      value = argv[++i];
      return true;
    };
    auto flag = [&](bool& target) {
      if (hasValue) {
        error = std::string(name) + " takes no value";
        return false;
      }
      target = true;
      return true;
    };
    if (name == "--help" || name == "-h") {
      if (!flag(options.help)) return false;
    } else if (name == "--word") {
      if (!flag(options.word)) return false;
    } else if (name == "--case") {
      if (!flag(options.caseSensitive)) return false;
    } else if (name == "--regex") {
      if (!flag(options.regex)) return false;
    } else if (name == "--json") {
      if (!flag(options.json)) return false;
    } else if (name == "--matches") {
      if (!flag(options.matches)) return false;
    } else if (name == "--count") {
      if (!flag(options.count)) return false;
    } else if (name == "--no-recursive") {
      bool noRecursive = false;
      if (!flag(noRecursive)) return false;
      options.recursive = false;
    } else if (name == "--no-index") {
      bool noIndex = false;
      if (!flag(noIndex)) return false;
      options.useIndex = false;
    } else if (name == "--index-stats") {
      if (!flag(options.indexStats)) return false;
    } else if (name == "--index") {
      if (!takeValue()) return false;
      if (value.empty()) {
        error = "--index needs a file name";
        return false;
      }
      options.indexPath = std::string(value);
    } else if (name == "--text") {
      if (!takeValue()) return false;
      // Bytes of another locale's terminal would be searched as U+FFFD and could find
      // drawings whose texts hold that character.
      if (!IsValidUtf8(value)) {
        error = "--text is not valid UTF-8 (is the terminal's locale UTF-8?)";
        return false;
      }
      options.text = std::string(value);
    } else if (name == "--range") {
      if (!takeValue()) return false;
      options.range = IndexOf(kRangeNames, value);
      if (options.range < 0) {
        error = "--range must be one of " + Choices(kRangeNames);
        return false;
      }
    } else if (name == "--version" && !hasValue &&
               (i + 1 >= argc || std::string_view(argv[i + 1]).starts_with("--"))) {
      // Alone, it asks for the program's version; with a value it is the file version.
      options.showVersion = true;
    } else if (name == "--version") {
      if (!takeValue()) return false;
      options.versionIndex = IndexOf(kVersionItems, value);
      if (options.versionIndex < 0) {
        error = "--version must be one of " + Choices(kVersionItems);
        return false;
      }
    } else if (name == "--size") {
      if (!takeValue()) return false;
      options.sizeIndex = IndexOf(kSizeItems, value);
      if (options.sizeIndex < 0) {
        error = "--size must be one of " + Choices(kSizeItems);
        return false;
      }
    } else if (name == "--dpi") {
      if (!takeValue()) return false;
      if (value != "300" && value != "600") {
        error = "--dpi must be 300 or 600";
        return false;
      }
      options.dpi = value == "300" ? 300 : 600;
    } else {
      error = "unknown option " + std::string(arg);
      return false;
    }
  }
  return true;
}

std::string_view RangeName(int range) {
  return range >= 0 && range < static_cast<int>(kRangeNames.size()) ? kRangeNames[static_cast<std::size_t>(range)]
                                                                    : std::string_view();
}

SearchControls ControlsFor(const CliOptions& options, std::vector<std::string> targets) {
  SearchControls controls;
  controls.Combo1Text = Utf8ToUtf16(options.text);
  controls.Check1 = options.word;
  controls.Check2 = options.caseSensitive;
  controls.Check4 = options.regex;
  controls.Check3[options.range] = true;
  controls.Combo2Index = options.versionIndex;
  if (options.versionIndex >= 0) controls.Combo2Text = Utf8ToUtf16(kVersionItems[options.versionIndex]);
  controls.Combo3Index = options.sizeIndex;
  if (options.sizeIndex >= 0) controls.Combo3Text = Utf8ToUtf16(kSizeItems[options.sizeIndex]);
  controls.Option1 = options.dpi == 300;
  controls.FrontPage = TargetPage::Files;
  controls.TargetList = std::move(targets);
  return controls;
}

std::string UsageText() {
  return R"(Usage: dorvan-search [OPTION]... PATH...
Search JWW drawings for a text or a value and list the drawings that match.

  --range RANGE   what to search (default data):
                    data             texts of the drawing and of its block definitions
                    memo             the file memo
                    version          the file version (needs --version)
                    size             the drawing size (needs --size)
                    layer-group      the layer group names
                    layer            the layer names
                    line-width-base  the print line-width base value (see --dpi)
                    block            the block names
  --text TEXT     the search text (needed by data, memo, layer-group and layer;
                  block accepts an empty text and then lists every named block)
  --word          whole text only ("単語検索")
  --case          case-sensitive ("大文字小文字別"); without it case, character width
                  and backslash/yen are ignored, except for block names
  --regex         TEXT is a regular expression ("正規表現")
  --version V     220|223|225|230|300|351|420|600|700; without a value, print the
                  program's name and version and end
  --size S        A0|A1|A2|A3|A4|2A|3A|4A|5A|10m|50m|100m
  --dpi D         300|600: the line-width base 10 or 20 (default 300)
  --no-recursive  scan only the folders named, not their subfolders
  --matches       after each found path, what matched in it, one match a line,
                  indented: where (the drawing, a block, a memo line, a layer), the
                  layer, the position and the text, e.g.
                      [図面] 0-5 寸法 (123.40, -56.70) 図面番号ZX-1
                      [ブロック 窓W1 #4] 1-2 建具 (10.00, 0.00) W1
                      [メモ 2行目] 基準階平面図
                  Layers are numbered group-layer in hexadecimal as the drawing program
                  shows them; at most the first 1000 matches of a drawing are listed,
                  then "…ほか N 件" for the rest
  --count         each found path followed by its number of matches: PATH:N
  --json          print one JSON object on standard output:
                  {"found": [...], "unreadable": [...], "code": N, "message": "..."}
                  A path that is valid UTF-8 is a JSON string, any other path is
                  {"bytes": "BASE64"} (standard base64 of its raw bytes). With
                  --matches or --count the object also has
                  "matches": [{"path": PATH, "total": N, "items": [...]}, ...], one
                  entry per found drawing in the order of "found" (--count alone
                  leaves "items" out). Each item has "range" and "text" and, as the
                  range has them, "block" (null or {"name", "number"}), "layer_group",
                  "layer", "layer_group_name", "layer_name", "x", "y", "index",
                  "line", "last_line", "value".
  --no-index      read every drawing; the index is neither used nor updated
  --index FILE    use the index FILE instead of the user's index
                  ($XDG_CACHE_HOME/dorvan/index.sqlite3, by default
                  ~/.cache/dorvan/index.sqlite3)
  --index-stats   print the index's entries, its size and the run's hit rate on
                  standard error
  -h, --help      show this text

A PATH that is a file is searched as named. A PATH that is a folder is scanned for
files whose names end in "jww" (any case): its own drawings first, names sorted
ignoring case, then each subfolder the same way.

Output: the matching drawings on standard output, one path a line, sorted ignoring
case, each path written as its bytes are. On standard error: "unreadable: PATH" for
each drawing that could not be read, the reader's messages, and the result message as
the last line. While the search runs and standard error is a terminal, a progress
line (files done / total) is shown there. Ctrl-C stops the search between two files;
the drawings found until then are still printed. No search history is kept.

The index: what the search reads from each drawing (texts, names, header values, and
whether it could be read) is kept in the index, so that a repeat search answers from
it instead of reading the drawings again. An entry is used only while its file has the
same device, inode, size and modification and change times; any other file is read,
and what is read of a file changed within the last 2 seconds is not kept.
Results are exactly those of reading. When the index cannot be used (locked, read-only,
damaged, disk full) the drawings are read, and a line on standard error says so once.
Deleting the index file is always safe: it is made again by the next search.

A pattern that cannot be decided on some text of a drawing (it would take PCRE2 beyond
its match, depth or memory limits) and matches no other text leaves that drawing
undecided: neither found nor surely not found. Each is named on standard error
("undecided: PATH") and, with --json, listed in "undecided".

Exit status: 0 drawings were found, 1 none were found, 2 the request was refused
(a missing value, a malformed pattern, a search text that is not UTF-8 or a wrong
option; the message is on standard error, and in JSON the code is 0), 3 none were
found but some drawings were undecided, 130 the search was cancelled with Ctrl-C.
)";
}

}  // namespace dorvan::cli
