// Colours and line types of the drawing's pens, for a picture on a white background.
#pragma once

#include <QColor>
#include <QList>

#include "reader/jww_drawing.h"

namespace dorvan::render {

// A colour as the header stores it (0x00BBGGRR).
QColor StoredColour(int32_t value);

// The colour of pen colour `number` (1 to 9, 100 to 356) on white: the screen colour,
// or, where that is too light to see on white (pens of a dark-background palette), the
// print colour, or black when that is too light as well. Other numbers draw black.
QColor PenColourOnWhite(const JwwHeader& header, int number);

// The dash pattern of line type `type` from the header's bit patterns, as Qt takes it
// (dash and gap lengths in pixels of a one-pixel pen, starting with a dash); empty for a
// solid line (type 1, unknown types, the freehand types and patterns without gaps).
QList<qreal> DashPattern(const JwwHeader& header, int type);

}  // namespace dorvan::render
