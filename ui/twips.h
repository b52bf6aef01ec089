// The windows' places are given in twips; the widgets use logical pixels at 15 twips a
// pixel (96 dots per inch), and Qt scales those for high-density screens.
#pragma once

#include <QFont>
#include <QRect>

namespace dorvan::ui {

constexpr int kTwipsPerPixel = 15;

// Twips to the nearest logical pixel.
constexpr int Twips(int twips) { return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel; }

// A place (left, top, width, height in twips) in logical pixels.
inline QRect TwipsRect(int left, int top, int width, int height) {
  return QRect(Twips(left), Twips(top), Twips(width), Twips(height));
}

// The captions were fitted to a proportional Japanese Gothic of 12 pixels; a wider font
// would cut them off in their fixed places. Every window of dorvan uses it.
inline QFont CaptionFont(QFont base) {
  base.setFamilies({QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP"), base.family()});
  base.setPixelSize(12);
  return base;
}

}  // namespace dorvan::ui
