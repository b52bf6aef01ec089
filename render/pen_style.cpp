#include "render/pen_style.h"

#include <cstdint>
#include <vector>

namespace dorvan::render {
namespace {

// Perceived lightness from 0 (black) to 1 (white).
double Lightness(const QColor& colour) {
  return (0.299 * colour.red() + 0.587 * colour.green() + 0.114 * colour.blue()) / 255.0;
}

constexpr double kTooLightOnWhite = 0.8;

bool ColourNumberKnown(int number) { return (number >= 1 && number <= 9) || (number >= 100 && number <= 356); }

}  // namespace

QColor StoredColour(int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  return QColor(static_cast<int>(bits & 0xFF), static_cast<int>((bits >> 8) & 0xFF),
                static_cast<int>((bits >> 16) & 0xFF));
}

QColor PenColourOnWhite(const JwwHeader& header, int number) {
  if (!ColourNumberKnown(number)) return Qt::black;
  const auto slot = static_cast<std::size_t>(number);
  const QColor screen = StoredColour(header.ScreenColour[slot]);
  if (Lightness(screen) <= kTooLightOnWhite) return screen;
  const QColor print = StoredColour(header.PrintColour[slot]);
  if (Lightness(print) <= kTooLightOnWhite) return print;
  return Qt::black;
}

QList<qreal> DashPattern(const JwwHeader& header, int type) {
  if (type < 2 || type >= static_cast<int>(header.LinePattern.size())) return {};
  const auto slot = static_cast<std::size_t>(type);
  const int bitCount = header.LineUnitDots[slot];
  if (bitCount < 2 || bitCount > 32) return {};
  const auto pattern = static_cast<uint32_t>(header.LinePattern[slot]);
  const double pitch = header.LinePitch[slot] >= 1 && header.LinePitch[slot] <= 16 ? header.LinePitch[slot] : 1;
  std::vector<bool> bits;
  for (int b = bitCount - 1; b >= 0; --b) bits.push_back(((pattern >> b) & 1U) != 0);
  // Start at a dash that follows a gap, so the pattern begins with a dash and ends with a gap.
  int first = -1;
  for (int b = 0; b < bitCount; ++b)
    if (bits[static_cast<std::size_t>(b)] && !bits[static_cast<std::size_t>((b + bitCount - 1) % bitCount)]) {
      first = b;
      break;
    }
  if (first < 0) return {};  // no gaps (or no dashes)
  QList<qreal> runs;
  bool inDash = true;
  int run = 0;
  for (int k = 0; k < bitCount; ++k) {
    const bool on = bits[static_cast<std::size_t>((first + k) % bitCount)];
    if (on != inDash) {
      runs.push_back(run * pitch);
      inDash = on;
      run = 0;
    }
    ++run;
  }
  runs.push_back(run * pitch);
  return runs;
}

}  // namespace dorvan::render
