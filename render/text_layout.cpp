#include "render/text_layout.h"

namespace dorvan::render {

bool IsHalfWidth(char32_t character) {
  return character < 0x80 || (character >= 0xFF61 && character <= 0xFF9F);
}

std::vector<CharacterCell> LayOutText(const TextEntity& text) {
  std::vector<CharacterCell> cells;
  cells.reserve(text.Text.size());
  double offset = 0;
  const std::u16string& units = text.Text;
  for (std::size_t i = 0; i < units.size(); ++i) {
    CharacterCell cell;
    char32_t character = units[i];
    if (character >= 0xD800 && character < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] < 0xE000) {
      character = 0x10000 + ((character - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      cell.glyph = QString::fromUtf16(&units[i], 2);
      ++i;
    } else if (character < 0x20 || (character >= 0x7F && character < 0xA0)) {
      // Control characters have no glyph (and no place in an SVG file's XML).
    } else if ((character >= 0xD800 && character < 0xE000) || character == 0xFFFE || character == 0xFFFF) {
      cell.glyph = QString(QChar(0xFFFD));  // half a pair, or no character at all
    } else {
      cell.glyph = QString(QChar(units[i]));
    }
    cell.halfWidth = IsHalfWidth(character);
    const double share = cell.halfWidth ? 0.5 : 1.0;
    cell.offset = offset;
    cell.width = text.Width * share;
    offset += cell.width + text.Spacing * share;
    cells.push_back(std::move(cell));
  }
  return cells;
}

double TextLength(const TextEntity& text) {
  double length = 0, lastSpacing = 0;
  for (std::size_t i = 0; i < text.Text.size(); ++i) {
    const char16_t unit = text.Text[i];
    if (unit >= 0xDC00 && unit < 0xE000 && i > 0) continue;  // the second half of a pair
    const double share = IsHalfWidth(unit) ? 0.5 : 1.0;
    lastSpacing = text.Spacing * share;
    length += text.Width * share + lastSpacing;
  }
  return length - lastSpacing;
}

QTransform TextFrame(const PlacedText& text) {
  QTransform frame;
  frame.translate(text.text->StartX, text.text->StartY);
  frame.rotate(text.text->Angle);
  return frame * text.toSheet;
}

QPolygonF TextOutline(const PlacedText& text) {
  const double length = TextLength(*text.text), height = text.text->Height;
  return TextFrame(text).map(QPolygonF({QPointF(0, 0), QPointF(length, 0), QPointF(length, height),
                                        QPointF(0, height)}));
}

}  // namespace dorvan::render
