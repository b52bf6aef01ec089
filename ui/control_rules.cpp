#include "control_rules.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>

namespace dorvan::ui {

namespace {
constexpr int kLastRange = 7;
// The ranges whose value is compared with the search text.
constexpr std::array<int, 5> kTextRanges = {0, 1, 4, 5, 7};
}  // namespace

bool ControlRules::Ticked(int index) const { return c_.Check3[index]->isChecked(); }

void ControlRules::ClearChoice(QComboBox* combo) { combo->setCurrentIndex(-1); }

void ControlRules::Sousa_Off(int index) {
  for (int i = 0; i <= kLastRange; ++i) {
    if (i == index) continue;
    c_.Check3[i]->setChecked(false);
    c_.Check3[i]->setEnabled(false);
  }
}

void ControlRules::Sousa_On(int index) {
  for (int i = 0; i <= kLastRange; ++i) {
    if (i != index) c_.Check3[i]->setEnabled(true);
  }
}

void ControlRules::SousaCombo_2_3on() {
  c_.Combo2->setEnabled(true);
  c_.Combo3->setEnabled(true);
}

void ControlRules::SousaCombo_2_3off() {
  ClearChoice(c_.Combo2);
  c_.Combo2->setEnabled(false);
  ClearChoice(c_.Combo3);
  c_.Combo3->setEnabled(false);
}

void ControlRules::Sousa_Chec1_2_off() {
  for (QCheckBox* box : {c_.Check1, c_.Check2, c_.Check4}) {
    box->setChecked(false);
    box->setEnabled(false);
  }
}

void ControlRules::Sousa_Chec1_2_on() {
  for (QCheckBox* box : {c_.Check1, c_.Check2, c_.Check4}) box->setEnabled(true);
}

void ControlRules::Check3_Click(int index) {
  if (index < 0 || index > kLastRange) return;
  if (Ticked(index)) {
    Sousa_Off(index);
    switch (index) {
      case 2:
        c_.Combo1->setEnabled(false);
        Sousa_Chec1_2_off();
        c_.Combo2->setEnabled(true);
        ClearChoice(c_.Combo3);
        c_.Combo3->setEnabled(false);
        c_.Frame2->setEnabled(false);
        break;
      case 3:
        c_.Combo1->setEnabled(false);
        Sousa_Chec1_2_off();
        ClearChoice(c_.Combo2);
        c_.Combo2->setEnabled(false);
        c_.Combo3->setEnabled(true);
        c_.Frame2->setEnabled(false);
        break;
      case 6:
        c_.Combo1->setEnabled(false);
        Sousa_Chec1_2_off();
        SousaCombo_2_3off();
        c_.Frame2->setEnabled(true);
        break;
      default:  // the text ranges
        c_.Combo1->setEnabled(true);
        Sousa_Chec1_2_on();
        SousaCombo_2_3off();
        c_.Frame2->setEnabled(false);
        break;
    }
    return;
  }
  Sousa_On(index);
  switch (index) {
    case 2:
    case 3:
      c_.Combo1->setEnabled(true);
      Sousa_Chec1_2_on();
      SousaCombo_2_3off();
      c_.Frame2->setEnabled(true);
      break;
    case 6:
      // The drop-down lists come back before the option boxes here.
      c_.Combo1->setEnabled(false);
      SousaCombo_2_3on();
      Sousa_Chec1_2_on();
      c_.Frame2->setEnabled(false);
      break;
    default:  // the text ranges leave the option boxes as they are
      c_.Combo1->setEnabled(false);
      SousaCombo_2_3on();
      c_.Frame2->setEnabled(true);
      break;
  }
}

void ControlRules::Check4_Click() {
  const bool pattern = c_.Check4->isChecked();
  int textRangesTicked = 0;
  for (int range : kTextRanges) {
    if (Ticked(range)) ++textRangesTicked;
  }
  if (textRangesTicked > 0) {
    if (pattern) {
      c_.Check1->setChecked(false);
      c_.Check2->setChecked(false);
      c_.Check1->setEnabled(false);
      c_.Check2->setEnabled(false);
    } else {
      c_.Check1->setEnabled(true);
      c_.Check2->setEnabled(true);
    }
  }
  // Only one range can be ticked, so this applies in every reachable state: the pattern
  // option locks the two other options even when no text range is ticked.
  if (textRangesTicked < static_cast<int>(kTextRanges.size()) && pattern) {
    c_.Check1->setEnabled(false);
    c_.Check2->setEnabled(false);
  }
}

void ControlRules::SSTab1_Click(int previousPage) {
  // The target list may well be empty: the page alone decides.
  if (previousPage == 0) {
    for (QPushButton* button : {c_.Command1, c_.Command4, c_.Command5}) button->setEnabled(true);
  } else if (previousPage == 1) {
    for (QPushButton* button : {c_.Command1, c_.Command4, c_.Command5}) button->setEnabled(false);
  }
}

}  // namespace dorvan::ui
