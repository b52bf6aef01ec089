// The search form keeps its request consistent by the window's own rules: ticking a range
// unticks and locks the others and enables only its companions; "正規表現" locks
// "単語検索" and "大文字小文字別". The controls are the form's elements under the window's
// names, so that each step reads as the window's.

export const RANGE_NAMES = ['data', 'memo', 'version', 'size', 'layer-group', 'layer', 'line-width-base', 'block'];
const TEXT_RANGES = [0, 1, 4, 5, 7];

// c: {Check3: [8 checkboxes], Combo1, Combo2, Combo3 (selects), Check1, Check2, Check4, Frame2}
export class ControlRules {
  constructor(c) { this.c = c; }

  ticked(i) { return this.c.Check3[i].checked; }

  sousaOff(index) {
    this.c.Check3.forEach((box, i) => { if (i !== index) { box.checked = false; box.disabled = true; } });
  }

  sousaOn(index) {
    this.c.Check3.forEach((box, i) => { if (i !== index) box.disabled = false; });
  }

  combosOn() { this.c.Combo2.disabled = false; this.c.Combo3.disabled = false; }

  combosOff() {
    for (const combo of [this.c.Combo2, this.c.Combo3]) { combo.value = ''; combo.disabled = true; }
  }

  optionsOff() {
    for (const box of [this.c.Check1, this.c.Check2, this.c.Check4]) { box.checked = false; box.disabled = true; }
  }

  optionsOn() { for (const box of [this.c.Check1, this.c.Check2, this.c.Check4]) box.disabled = false; }

  // After range box `index` changed its tick.
  rangeClicked(index) {
    const c = this.c;
    if (index < 0 || index > 7) return;
    if (this.ticked(index)) {
      this.sousaOff(index);
      if (index === 2) {
        c.Combo1.disabled = true; this.optionsOff();
        c.Combo2.disabled = false; c.Combo3.value = ''; c.Combo3.disabled = true; c.Frame2.disabled = true;
      } else if (index === 3) {
        c.Combo1.disabled = true; this.optionsOff();
        c.Combo2.value = ''; c.Combo2.disabled = true; c.Combo3.disabled = false; c.Frame2.disabled = true;
      } else if (index === 6) {
        c.Combo1.disabled = true; this.optionsOff(); this.combosOff(); c.Frame2.disabled = false;
      } else {
        c.Combo1.disabled = false; this.optionsOn(); this.combosOff(); c.Frame2.disabled = true;
      }
      return;
    }
    this.sousaOn(index);
    if (index === 2 || index === 3) {
      c.Combo1.disabled = false; this.optionsOn(); this.combosOff(); c.Frame2.disabled = false;
    } else if (index === 6) {
      c.Combo1.disabled = true; this.combosOn(); this.optionsOn(); c.Frame2.disabled = true;
    } else {
      // The text ranges leave the option boxes as they are.
      c.Combo1.disabled = true; this.combosOn(); c.Frame2.disabled = false;
    }
  }

  // After "正規表現" changed its tick.
  patternClicked() {
    const c = this.c;
    const pattern = c.Check4.checked;
    const textTicked = TEXT_RANGES.filter((r) => this.ticked(r)).length;
    if (textTicked > 0) {
      if (pattern) {
        c.Check1.checked = false; c.Check2.checked = false;
        c.Check1.disabled = true; c.Check2.disabled = true;
      } else {
        c.Check1.disabled = false; c.Check2.disabled = false;
      }
    }
    // Only one range can be ticked, so this applies in every reachable state.
    if (textTicked < TEXT_RANGES.length && pattern) { c.Check1.disabled = true; c.Check2.disabled = true; }
  }

  // The window's state at start: "データ内" ticked and alone enabled, nothing else chosen.
  reset() {
    const c = this.c;
    c.Check3.forEach((box, i) => { box.checked = i === 0; box.disabled = i !== 0; });
    c.Combo1.disabled = false;
    for (const box of [c.Check1, c.Check2, c.Check4]) { box.checked = false; box.disabled = false; }
    this.combosOff();
    c.Frame2.disabled = true;
    c.Dpi300.checked = true;
  }

  // Sets the controls to a request by clicking them as a person would, so that the rules
  // decide what a request that the window could not make turns into.
  apply(request) {
    const c = this.c;
    this.reset();
    const range = RANGE_NAMES.indexOf(request.range);
    if (range !== 0) { c.Check3[0].checked = false; this.rangeClicked(0); }
    if (range > 0) { c.Check3[range].checked = true; this.rangeClicked(range); }
    c.Combo1.value = request.text ?? '';
    const tick = (box, on) => { if (on && !box.disabled) box.checked = true; };
    tick(c.Check1, request.word);
    tick(c.Check2, request.case);
    if (request.regex && !c.Check4.disabled) { c.Check4.checked = true; this.patternClicked(); }
    const choose = (combo, value) => {
      if (!combo.disabled && [...combo.options].some((o) => o.value === value)) combo.value = value;
    };
    choose(c.Combo2, request.version ?? '');
    choose(c.Combo3, request.size ?? '');
    if (request.dpi === '600') c.Dpi600.checked = true;
  }

  // The request the controls describe (the window reads the lowest ticked range).
  read() {
    const c = this.c;
    const request = {};
    const range = c.Check3.findIndex((box) => box.checked);
    if (range >= 0) request.range = RANGE_NAMES[range];
    if (range < 0 || TEXT_RANGES.includes(range)) request.text = c.Combo1.value;
    if (c.Check1.checked) request.word = true;
    if (c.Check2.checked) request.case = true;
    if (c.Check4.checked) request.regex = true;
    if (range === 2) request.version = c.Combo2.value;
    if (range === 3) request.size = c.Combo3.value;
    if (range === 6) request.dpi = c.Dpi600.checked ? '600' : '300';
    return request;
  }
}
