// The rules that keep the main window's search request consistent: ticking a range locks
// the other ranges and enables only its companion controls, the pattern option locks the
// whole-text and case options, and the tab page decides whether the target-list buttons
// can be used.
#pragma once

#include <array>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QPushButton;

namespace dorvan::ui {

// The controls the rules read and change, owned by the main window.
struct RuleControls {
  std::array<QCheckBox*, 8> Check3{};  // the range boxes, by range code
  QComboBox* Combo1 = nullptr;         // search text
  QComboBox* Combo2 = nullptr;         // file version
  QComboBox* Combo3 = nullptr;         // drawing size
  QCheckBox* Check1 = nullptr;         // "単語検索"
  QCheckBox* Check2 = nullptr;         // "大文字小文字別"
  QCheckBox* Check4 = nullptr;         // "正規表現"
  QGroupBox* Frame2 = nullptr;         // the dpi choice of range 6
  QPushButton* Command1 = nullptr;     // "ファイル選択"
  QPushButton* Command4 = nullptr;     // "ALL クリア" of the target list
  QPushButton* Command5 = nullptr;     // "選択クリア" of the target list
};

class ControlRules {
 public:
  explicit ControlRules(const RuleControls& controls) : c_(controls) {}

  // Every range box except `index`: unticked, then disabled.
  void Sousa_Off(int index);
  // Every range box except `index`: enabled, ticks unchanged.
  void Sousa_On(int index);
  // Combo2 and Combo3 enabled, their choice unchanged.
  void SousaCombo_2_3on();
  // Combo2, then Combo3: nothing chosen, then disabled.
  void SousaCombo_2_3off();
  // Check1, Check2, Check4 in this order: each unticked, then disabled.
  void Sousa_Chec1_2_off();
  // Check1, Check2, Check4 enabled, ticks unchanged.
  void Sousa_Chec1_2_on();

  // After the user changed the tick of range box `index` (0 to 7; others do nothing).
  void Check3_Click(int index);
  // After the user changed the tick of "正規表現".
  void Check4_Click();
  // After the tab page changed; `previousPage` was in front before (0 folder, 1 files).
  void SSTab1_Click(int previousPage);

 private:
  bool Ticked(int index) const;
  void ClearChoice(QComboBox* combo);

  RuleControls c_;
};

}  // namespace dorvan::ui
