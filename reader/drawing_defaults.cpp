// The start state of a drawing record: the defaults of every header value that a drawing
// may leave unread (older versions skip the extended colours and line types), the default
// layers, and empty entity arrays. Also the deep copy the search keeps of each drawing.
#include <utility>

#include "reader/jww_reader.h"

namespace dorvan {
namespace {

struct ColourDefault {
  int32_t screen, screenWidth, print, printWidth;
  double pointRadius;
};

constexpr ColourDefault kBasicColours[10] = {
    {0xFFFFFF, 1, 0xFFFFFF, 1, 1.0}, {0xC0C000, 1, 0xFFFF00, 1, 0.2},
    {0x000000, 1, 0x000000, 2, 0.3}, {0x00C000, 1, 0x00FF00, 3, 0.4},
    {0x00C0C0, 1, 0x00FFFF, 4, 0.5}, {0xC000C0, 1, 0xFF00FF, 5, 0.5},
    {0xFF0000, 1, 0xFF0000, 6, 0.5}, {0x808000, 1, 0x808000, 7, 0.5},
    {0x8000FF, 1, 0x0000FF, 8, 0.5}, {0xC0C0C0, 1, 0xC0C0C0, 1, 1.0},
};

struct NamedColour {
  const char16_t* name;
  int32_t colour;
};

// Colours 100 to 116; 117 to 132 are light grey and 133 to 356 black, all unnamed.
constexpr NamedColour kExtendedColours[17] = {
    {u"", 0x000000},           {u"black", 0x000000},     {u"red", 0x0000FF},
    {u"green", 0x00FF00},      {u"blue", 0xFF0000},      {u"yellow", 0x00FFFF},
    {u"magenta", 0xFF00FF},    {u"cyan", 0xFFFF00},      {u"white", 0xFFFFFF},
    {u"deeppink", 0x8000C0},   {u"brown", 0x4080C0},     {u"orange", 0x0080FF},
    {u"lightgreen", 0x80C080}, {u"lightblue", 0xFF8000}, {u"lavender", 0xFF4080},
    {u"lightgray", 0xC0C0C0},  {u"darkgray", 0x808080},
};

struct LineTypeDefault {
  uint32_t pattern;
  int32_t unitDots, pitch, printPitch;
};

constexpr LineTypeDefault kLineTypes[20] = {
    {0, 0, 0, 0},
    {0, 0, 0, 0},
    {0x99999999, 4, 1, 10},
    {0xC3C3C3C3, 8, 1, 10},
    {0xE7E7E7E7, 8, 1, 10},
    {0xF99FF99F, 16, 1, 10},
    {0xFFF99FFF, 32, 1, 10},
    {0xF24FF24F, 16, 1, 10},
    {0xFFF24FFF, 32, 1, 10},
    {0x22222222, 4, 1, 10},
    {0, 0, 0, 0},
    {0xCCB2B32A, 0, 3, 5},
    {0xCCB2B32A, 0, 4, 10},
    {0xCCB2B32A, 0, 5, 15},
    {0xCCB2B32A, 0, 6, 20},
    {0xCCB2B32A, 0, 7, 25},
    {0xFFF99FFF, 32, 2, 20},
    {0xFFF24FFF, 32, 2, 20},
    {0xFFFE7FFF, 32, 2, 20},
    {0xFFFE7FFF, 32, 4, 40},
};
constexpr int32_t kRandomAmplitudes[5] = {1, 1, 2, 2, 2};

// Patterns of the extended line types 31 to 46; the others keep pattern 0.
constexpr uint32_t kExtendedPatterns[16] = {
    0xFFFFFFFF, 0xFF00FF00, 0xFFF0FFF0, 0xFFC3FFC3, 0xFF18FF18, 0xFE10FE10,
    0xFC30FC30, 0xF0F0F0F0, 0xE4E4E4E4, 0xCCCCCCCC, 0xAAAAAAAA, 0xFFE4FFE4,
    0xFF24FF24, 0xF248F248, 0xFFCCFFCC, 0xFFFFFFFF,
};

struct NamedLineTypeDefault {
  const char16_t* name;
  int32_t count;
  double segments[10];
};

// Slots 1 to 16; slot 0 and 17 to 32 are unnamed with no segments.
constexpr NamedLineTypeDefault kNamedLineTypes[16] = {
    {u"continuous", 0, {}},
    {u"dashed", 2, {6.0, 1.5}},
    {u"dashed spaced", 2, {6.0, 6.0}},
    {u"long dashed dotted", 4, {12.0, 1.5, 0.25, 1.5}},
    {u"long dashed double-dotted", 6, {12.0, 1.5, 0.25, 1.5, 0.25, 1.5}},
    {u"long dashed triplicate-dotted", 8, {12.0, 1.5, 0.25, 1.5, 0.25, 1.5, 0.25, 1.5}},
    {u"dotted", 2, {0.25, 1.5}},
    {u"chain", 4, {12.0, 1.5, 3.0, 1.5}},
    {u"chain double dash", 6, {12.0, 1.5, 3.0, 1.5, 3.0, 1.5}},
    {u"dashed dotted", 4, {6.0, 1.5, 0.25, 1.5}},
    {u"double-dashed dotted", 6, {6.0, 1.5, 6.0, 1.5, 0.25, 1.5}},
    {u"dashed double-dotted", 6, {6.0, 1.5, 0.25, 1.5, 0.25, 1.5}},
    {u"double-dashed double-dotted", 8, {6.0, 1.5, 6.0, 1.5, 0.25, 1.5, 0.25, 1.5}},
    {u"dashed triplicate-dotted", 8, {6.0, 1.5, 0.25, 1.5, 0.25, 1.5, 0.25, 1.5}},
    {u"double-dashed triplicate-dotted", 10, {6.0, 1.5, 6.0, 1.5, 0.25, 1.5, 0.25, 1.5, 0.25, 1.5}},
    {u"undefined", 0, {}},
};

void ResetColours(JwwHeader& header) {
  header.ScreenColour.fill(0);
  header.ScreenLineWidth.fill(0);
  header.PrintColour.fill(0);
  header.PrintLineWidth.fill(0);
  header.PointRadius.fill(0.0);
  for (int c = 0; c < 10; ++c) {
    header.ScreenColour[c] = kBasicColours[c].screen;
    header.ScreenLineWidth[c] = kBasicColours[c].screenWidth;
    header.PrintColour[c] = kBasicColours[c].print;
    header.PrintLineWidth[c] = kBasicColours[c].printWidth;
    header.PointRadius[c] = kBasicColours[c].pointRadius;
  }
  for (int slot = 0; slot < 257; ++slot) {
    int32_t colour = slot <= 16 ? kExtendedColours[slot].colour : slot <= 32 ? 0xC0C0C0 : 0;
    header.ColourNames[slot] = slot <= 16 ? kExtendedColours[slot].name : u"";
    header.ScreenColour[100 + slot] = colour;
    header.PrintColour[100 + slot] = colour;
    header.ScreenLineWidth[100 + slot] = 18;
    header.PrintLineWidth[100 + slot] = 18;
    header.PointRadius[100 + slot] = 0.18;
  }
}

void ResetLineTypes(JwwHeader& header) {
  header.LinePattern.fill(0);
  header.LineUnitDots.fill(0);
  header.LinePitch.fill(0);
  header.LinePrintPitch.fill(0);
  header.RandomScreenAmplitude.fill(0);
  header.RandomPrintAmplitude.fill(0);
  for (int t = 2; t < 20; ++t) {
    header.LinePattern[t] = static_cast<int32_t>(kLineTypes[t].pattern);
    header.LineUnitDots[t] = kLineTypes[t].unitDots;
    header.LinePitch[t] = kLineTypes[t].pitch;
    header.LinePrintPitch[t] = kLineTypes[t].printPitch;
  }
  for (int t = 11; t <= 15; ++t) {
    header.RandomScreenAmplitude[t] = kRandomAmplitudes[t - 11];
    header.RandomPrintAmplitude[t] = kRandomAmplitudes[t - 11];
  }
  for (int t = 30; t <= 62; ++t) {
    header.LinePattern[t] = t >= 31 && t <= 46 ? static_cast<int32_t>(kExtendedPatterns[t - 31]) : 0;
    header.LineUnitDots[t] = 32;
    header.LinePitch[t] = 1;
    header.LinePrintPitch[t] = 10;
  }
  for (int slot = 0; slot < 33; ++slot) {
    NamedLineType& type = header.LineTypeNames[slot];
    type = NamedLineType{};
    if (slot >= 1 && slot <= 16) {
      const NamedLineTypeDefault& d = kNamedLineTypes[slot - 1];
      type.Name = d.name;
      type.SegmentCount = d.count;
      for (int s = 0; s < 10; ++s) type.Segments[s + 1] = d.segments[s];
    }
  }
}

template <typename T>
void ResetArray(std::vector<T>& items) {
  items.clear();
  items.emplace_back();
}

// The defaults, built once: a clear before every read then only copies them.
const JwwHeader& DefaultHeader() {
  static const JwwHeader defaults = [] {
    // Fields the table of defaults leaves open start from the record's own initial values.
    JwwHeader fresh;
    fresh.DimensionSettings = {2002111, 5, 50150030, 11000000, 4100};
    fresh.MultiLineSpacings = {100, 200, 300, 400, 500, 1000, 2000, 3000, 4000, 5000};
    ResetColours(fresh);
    ResetLineTypes(fresh);
    for (int kind = 1; kind <= 10; ++kind) {
      // Text kinds 1 to 10 grow from 2 mm to 10 mm.
      const double size = 2.0 + 0.5 * (kind - 1) + (kind > 5 ? 0.5 * (kind - 5) : 0);
      fresh.TextKinds[kind] = {size, size, 0.0, kind <= 9 ? kind : 1};
    }
    ResetLayers(fresh);
    return fresh;
  }();
  return defaults;
}

}  // namespace

void ResetHeaderDefaults(JwwHeader& header) { header = DefaultHeader(); }

void ResetLayers(JwwHeader& header) {
  header.WriteLayerGroup = 0;
  for (int g = 0; g < 16; ++g) {
    LayerGroupSettings& group = header.Groups[g];
    group.State = g == 0 ? 3 : 2;
    group.WriteLayer = 0;
    group.Scale = 1.0;
    group.Protection = 0;
    header.LayerGroupNames[g].clear();
    for (int l = 0; l < 16; ++l) {
      group.LayerState[l] = l == 0 ? 3 : 2;
      group.LayerProtection[l] = 0;
      header.LayerNames[g][l].clear();
    }
  }
}

void ClearEntityArrays(EntityLists& lists) {
  ResetArray(lists.Lines);
  ResetArray(lists.Arcs);
  ResetArray(lists.Points);
  ResetArray(lists.Texts);
  ResetArray(lists.Solids);
  ResetArray(lists.Dimensions);
  ResetArray(lists.BlockInserts);
  ResetArray(lists.EntityOrder);
}

void ClearDrawingData(JwwDrawingData& data) {
  ResetArray(data.BlockDefinitions);
  ClearEntityArrays(data);
  data.BlockIndexByNumber.assign(1, 0);
  ResetArray(data.Images);
}

void ClearDrawing(JwwDrawing& drawing) {
  drawing.FileName.clear();
  ResetHeaderDefaults(drawing.Header);  // the default layers included
  ClearDrawingData(drawing.Data);
}

namespace {

template <typename T>
std::size_t CapacityBytes(const std::vector<T>& items) {
  return items.capacity() * sizeof(T);
}

std::size_t ListCapacityBytes(const EntityLists& lists) {
  return CapacityBytes(lists.Lines) + CapacityBytes(lists.Arcs) + CapacityBytes(lists.Points) +
         CapacityBytes(lists.Texts) + CapacityBytes(lists.Solids) + CapacityBytes(lists.Dimensions) +
         CapacityBytes(lists.BlockInserts) + CapacityBytes(lists.EntityOrder);
}

}  // namespace

std::size_t DataCapacityBytes(const JwwDrawingData& data) {
  std::size_t bytes = ListCapacityBytes(data) + CapacityBytes(data.BlockDefinitions) +
                      CapacityBytes(data.BlockIndexByNumber) + CapacityBytes(data.Images);
  for (const BlockDefinition& block : data.BlockDefinitions) bytes += ListCapacityBytes(block.Data);
  return bytes;
}

void CopyDrawing(JwwDrawing& destination, const JwwDrawing& source) {
  // Every member is a value type, so assignment duplicates texts and nested arrays.
  if (&destination != &source) destination = source;
}

}  // namespace dorvan
