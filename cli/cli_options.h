// The command line of dorvan-search: its options, their parsing and the search controls
// they stand for.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "search/search_controls.h"

namespace dorvan::cli {

struct CliOptions {
  int range = 0;              // --range, a SearchRange code
  std::string text;           // --text, Combo1's text (UTF-8)
  bool word = false;          // --word: "単語検索"
  bool caseSensitive = false; // --case: "大文字小文字別"
  bool regex = false;         // --regex: "正規表現"
  int versionIndex = -1;      // --version, position in kVersionItems
  int sizeIndex = -1;         // --size, position in kSizeItems
  int dpi = 300;              // --dpi
  bool recursive = true;      // cleared by --no-recursive
  bool json = false;
  bool matches = false;       // --matches: each found drawing's match records
  bool count = false;         // --count: each found drawing's number of matches
  bool useIndex = true;       // cleared by --no-index
  std::string indexPath;      // --index FILE; empty: the default index of the user
  bool indexStats = false;    // --index-stats
  bool help = false;
  bool showVersion = false;   // --version without a value: the program's name and version
  std::vector<std::string> paths;
};

// Parses argv; false with `error` set for an unknown option, a missing or unknown value.
bool ParseCommandLine(int argc, const char* const* argv, CliOptions& options, std::string& error);

// The --range name of a SearchRange code ("data", "memo", ...).
std::string_view RangeName(int range);

// The --help text.
std::string UsageText();

// The controls a GUI user would have set for these options, with `targets` as the list.
SearchControls ControlsFor(const CliOptions& options, std::vector<std::string> targets);

}  // namespace dorvan::cli
