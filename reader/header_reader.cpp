#include "reader/header_reader.h"

#include <algorithm>
#include <limits>
#include <string_view>

#include "reader/archive_primitives.h"

namespace dorvan {
namespace {

constexpr std::string_view kSignature = "JwwData.";

void ReadLineType(FieldReader& in, JwwHeader& h, int t) {
  in.Read(h.LinePattern[t]);
  in.Read(h.LineUnitDots[t]);
  in.Read(h.LinePitch[t]);
  in.Read(h.LinePrintPitch[t]);
}

void ReadLayers(FieldReader& in, JwwHeader& h) {
  in.Read(h.WriteLayerGroup);
  for (LayerGroupSettings& group : h.Groups) {
    in.Read(group.State);
    in.Read(group.WriteLayer);
    in.Read(group.Scale);
    in.Read(group.Protection);
    for (int l = 0; l < 16; ++l) {
      in.Read(group.LayerState[l]);
      in.Read(group.LayerProtection[l]);
    }
  }
}

void ReadSettings(FieldReader& in, JwwHeader& h) {
  for (int32_t& v : h.Reserved1) in.Read(v);
  for (int32_t& v : h.DimensionSettings) in.Read(v);
  in.Read(h.Reserved2);
  in.Read(h.MaxLineDrawingWidth);
  in.Read(h.PrintOriginX);
  in.Read(h.PrintOriginY);
  in.Read(h.PrintScale);
  in.Read(h.PrintRotation);
  in.Read(h.GridMode);
  in.Read(h.GridMinSpacing);
  in.Read(h.GridSpacingX);
  in.Read(h.GridSpacingY);
  in.Read(h.GridBaseX);
  in.Read(h.GridBaseY);
}

void ReadNames(ByteCursor& in, JwwHeader& h) {
  for (auto& group : h.LayerNames)
    for (Text& name : group) ReadCString(in, name);
  for (Text& name : h.LayerGroupNames) ReadCString(in, name);
}

void ReadViewSettings(FieldReader& in, JwwHeader& h) {
  in.Read(h.ShadowHeight);
  in.Read(h.Latitude);
  in.Read(h.NineToFifteen);
  in.Read(h.WallShadowHeight);
  in.Read(h.SkyMapHeight);
  in.Read(h.SkyMapDiameter);
  in.Read(h.TwoAndHalfDUnit);
  in.Read(h.ScreenScale);
  in.Read(h.ScreenOriginX);
  in.Read(h.ScreenOriginY);
  in.Read(h.RangeScale);
  in.Read(h.RangeOriginX);
  in.Read(h.RangeOriginY);
  for (int m = 1; m <= 8; ++m) {
    in.Read(h.MarkJumps[m].Scale);
    in.Read(h.MarkJumps[m].X);
    in.Read(h.MarkJumps[m].Y);
    in.Read(h.MarkJumps[m].LayerGroup);
  }
  in.Read(h.Further1);
  in.Read(h.Further2);
  in.Read(h.Further3);
  in.Read(h.Further4);
  in.Read(h.Further5);
  in.Read(h.Further6);
  in.Read(h.Further7);
  in.Read(h.Further8);
  for (double& v : h.MultiLineSpacings) in.Read(v);
  in.Read(h.MultiLineEndExtension);
}

void ReadPens(FieldReader& in, JwwHeader& h) {
  for (int c = 0; c <= 9; ++c) {
    in.Read(h.ScreenColour[c]);
    in.Read(h.ScreenLineWidth[c]);
  }
  for (int c = 0; c <= 9; ++c) {
    in.Read(h.PrintColour[c]);
    in.Read(h.PrintLineWidth[c]);
    in.Read(h.PointRadius[c]);
  }
  for (int t = 2; t <= 9; ++t) ReadLineType(in, h, t);
  for (int t = 11; t <= 15; ++t) {
    in.Read(h.LinePattern[t]);
    in.Read(h.RandomScreenAmplitude[t]);
    in.Read(h.LinePitch[t]);
    in.Read(h.RandomPrintAmplitude[t]);
    in.Read(h.LinePrintPitch[t]);
  }
  for (int t = 16; t <= 19; ++t) ReadLineType(in, h, t);
  for (int32_t& v : h.DrawingFlags) in.Read(v);
  for (double& v : h.EyeSettings) in.Read(v);
  in.Read(h.SolidAnyColour);
  in.Read(h.SolidColour);
}

// Reads a run of fixed values whose byte count is known, checking the bounds once.
template <std::size_t Bytes, typename ReadFields>
void ReadFixed(ByteCursor& in, ReadFields read) {
  if (const uint8_t* p = in.Take(Bytes)) {
    FieldReader fields(p);
    read(fields);
  }
}

constexpr std::size_t kLayerBytes = 4 + 16 * (4 + 4 + 8 + 4 + 16 * (4 + 4));
constexpr std::size_t kSettingsBytes = 14 * 4 + 5 * 4 + 4 + 4 + 3 * 8 + 2 * 4 + 5 * 8;
constexpr std::size_t kViewSettingsBytes =
    (8 + 8 + 4 + 8) + 2 * 8 + 4 + 3 * 8 + 3 * 8 + 8 * (3 * 8 + 4) + (3 * 8 + 4 + 2 * 8) + (8 + 4) + 10 * 8 + 8;
constexpr std::size_t kPenBytes =
    10 * (4 + 4) + 10 * (4 + 4 + 8) + 8 * 16 + 5 * 20 + 4 * 16 + 16 * 4 + 9 * 8 + 2 * 4;
constexpr std::size_t kTextStyleBytes = 10 * (3 * 8 + 4) + (3 * 8 + 2 * 4) + (2 * 8 + 4) + 6 * 8;

// Colours 100 to 356 and line types 30 to 62, written from version 420 on.
void ReadExtendedPens(ByteCursor& in, JwwHeader& h) {
  ReadFixed<257 * 8>(in, [&](FieldReader& f) {
    for (int c = 100; c <= 356; ++c) {
      f.Read(h.ScreenColour[c]);
      f.Read(h.ScreenLineWidth[c]);
    }
  });
  for (int c = 100; c <= 356; ++c) {
    ReadCString(in, h.ColourNames[c - 100]);
    ReadFixed<4 + 4 + 8>(in, [&](FieldReader& f) {
      f.Read(h.PrintColour[c]);
      f.Read(h.PrintLineWidth[c]);
      f.Read(h.PointRadius[c]);
    });
  }
  ReadFixed<33 * 16>(in, [&](FieldReader& f) {
    for (int t = 30; t <= 62; ++t) ReadLineType(f, h, t);
  });
  for (NamedLineType& type : h.LineTypeNames) {
    ReadCString(in, type.Name);
    ReadFixed<4 + 10 * 8>(in, [&](FieldReader& f) {
      f.Read(type.SegmentCount);
      for (int s = 1; s <= 10; ++s) f.Read(type.Segments[s]);
    });
  }
}

void ReadTextStyles(FieldReader& in, JwwHeader& h) {
  for (int k = 1; k <= 10; ++k) {
    in.Read(h.TextKinds[k].Width);
    in.Read(h.TextKinds[k].Height);
    in.Read(h.TextKinds[k].Spacing);
    in.Read(h.TextKinds[k].Colour);
  }
  in.Read(h.CurrentTextWidth);
  in.Read(h.CurrentTextHeight);
  in.Read(h.CurrentTextSpacing);
  in.Read(h.CurrentTextColour);
  in.Read(h.CurrentTextKind);
  in.Read(h.TextArrange1);
  in.Read(h.TextArrange2);
  in.Read(h.TextArrange3);
  for (double& v : h.TextBaseHorizontal) in.Read(v);
  for (double& v : h.TextBaseVertical) in.Read(v);
}

}  // namespace

int32_t ReadSignature(ByteCursor& in, JwwHeader& header) {
  const uint8_t* p = in.Take(kSignature.size());
  if (!p) return 0;
  header.Signature.assign(reinterpret_cast<const char*>(p), kSignature.size());
  if (header.Signature != kSignature) return 0;
  in.Read(header.Version);
  ReadCString(in, header.Memo);
  return in.failed() ? 0 : header.Version;
}

int32_t ReadHeaderBody(ByteCursor& in, JwwHeader& h) {
  in.Read(h.DrawingSize);
  ReadFixed<kLayerBytes>(in, [&](FieldReader& f) { ReadLayers(f, h); });
  ReadFixed<kSettingsBytes>(in, [&](FieldReader& f) { ReadSettings(f, h); });
  ReadNames(in, h);
  ReadFixed<kViewSettingsBytes>(in, [&](FieldReader& f) { ReadViewSettings(f, h); });
  ReadFixed<kPenBytes>(in, [&](FieldReader& f) { ReadPens(f, h); });
  if (h.Version >= 420) ReadExtendedPens(in, h);
  ReadFixed<kTextStyleBytes>(in, [&](FieldReader& f) { ReadTextStyles(f, h); });
  if (!in.failed()) return 0;
  // The offset of the failure; never 0, which means success.
  const std::size_t at = std::max<std::size_t>(in.offset(), 1);
  return static_cast<int32_t>(std::min<std::size_t>(at, std::numeric_limits<int32_t>::max()));
}

}  // namespace dorvan
