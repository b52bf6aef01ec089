// Where a text's characters sit. A text's start point is the lower-left corner of its
// first character; each character takes the text's width (half for a half-width
// character) and is followed by the spacing (half after a half-width character), along
// the text's angle in degrees; the last character's spacing is not part of the text.
#pragma once

#include <QPolygonF>
#include <QString>
#include <vector>

#include "reader/jww_drawing.h"
#include "render/drawing_walk.h"

namespace dorvan::render {

// Characters a single byte holds in Shift-JIS: ASCII and the half-width katakana.
bool IsHalfWidth(char32_t character);

struct CharacterCell {
  // One character (two code units for a surrogate pair); empty for a control character,
  // U+FFFD for half a surrogate pair or a non-character.
  QString glyph;
  double offset = 0;     // from the start point along the baseline, in the text's units
  double width = 0;
  bool halfWidth = false;
};

// The cells of every character, in order.
std::vector<CharacterCell> LayOutText(const TextEntity& text);
// The length of the baseline from the start point to the end of the last character.
double TextLength(const TextEntity& text);
// The text's box (its characters' cells together) on the sheet: lower-left, lower-right,
// upper-right, upper-left.
QPolygonF TextOutline(const PlacedText& text);
// The transform from the text's frame (x along the baseline from the start point, y up
// through the character height, in the text's units) to the sheet.
QTransform TextFrame(const PlacedText& text);

}  // namespace dorvan::render
