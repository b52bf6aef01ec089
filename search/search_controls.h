// A plain snapshot of the main window's search controls. The GUI and the command line
// fill it; the engine reads the request from it and never sees a widget.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace dorvan {

// Which page of the tab control is in front; it decides which list is the target list.
enum class TargetPage { Folder = 0, Files = 1 };

struct SearchControls {
  std::u16string Combo1Text;                 // the search text, as typed
  std::vector<std::u16string> Combo1History; // the history entries, newest first
  bool Check1 = false;                       // "単語検索" (whole text)
  bool Check2 = false;                       // "大文字小文字別" (case-sensitive)
  bool Check4 = false;                       // "正規表現" (pattern)
  std::array<bool, 8> Check3{};              // the range boxes, by SearchRange code
  int Combo2Index = -1;                      // file version item, -1 when none is chosen
  std::u16string Combo2Text;
  int Combo3Index = -1;                      // drawing size item, -1 when none is chosen
  std::u16string Combo3Text;
  bool Option1 = true;                       // "300 dpi" chosen (else "600 dpi")
  TargetPage FrontPage = TargetPage::Files;
  // The list the front page selects: the folder result list for the folder page, the
  // chosen files otherwise. Paths are UTF-8.
  std::vector<std::string> TargetList;
};

}  // namespace dorvan
