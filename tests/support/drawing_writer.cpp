#include "tests/support/drawing_writer.h"

#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "reader/jww_reader.h"
#include "reader/shift_jis.h"

namespace dorvan::testing {

// ---- ArchiveWriter -------------------------------------------------------------------

void ArchiveWriter::Byte(uint8_t value) { bytes_.push_back(static_cast<char>(value)); }

void ArchiveWriter::Word(uint16_t value) {
  Byte(static_cast<uint8_t>(value));
  Byte(static_cast<uint8_t>(value >> 8));
}

void ArchiveWriter::Dword(uint32_t value) {
  Word(static_cast<uint16_t>(value));
  Word(static_cast<uint16_t>(value >> 16));
}

void ArchiveWriter::Double(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  Dword(static_cast<uint32_t>(bits));
  Dword(static_cast<uint32_t>(bits >> 32));
}

void ArchiveWriter::Bytes(std::string_view bytes) { bytes_.append(bytes); }

void ArchiveWriter::Count(uint32_t count) {
  if (count < 0xFFFF) {
    Word(static_cast<uint16_t>(count));
  } else {
    Word(0xFFFF);
    Dword(count);
  }
}

void ArchiveWriter::Length(uint32_t length) {
  if (length < 0xFF) {
    Byte(static_cast<uint8_t>(length));
    return;
  }
  Byte(0xFF);
  if (length < 0xFFFE) {
    Word(static_cast<uint16_t>(length));
    return;
  }
  Word(0xFFFF);
  Dword(length);
}

void ArchiveWriter::RawCString(std::string_view bytes) {
  Length(static_cast<uint32_t>(bytes.size()));
  Bytes(bytes);
}

void ArchiveWriter::CString(std::u16string_view text, StringForm form) {
  if (form == StringForm::ShiftJis) {
    const std::optional<std::string> bytes = sjis::Encode(text);
    if (!bytes) throw std::invalid_argument("text has no Shift-JIS form");
    RawCString(*bytes);
    return;
  }
  Byte(0xFF);
  Word(0xFFFE);
  Length(static_cast<uint32_t>(text.size()));
  for (char16_t c : text) Word(static_cast<uint16_t>(c));
}

// ---- DrawingWriter -------------------------------------------------------------------

void DrawingWriter::WriteHeader(const JwwHeader& h) {
  ArchiveWriter& o = out_;
  auto dword = [&](int32_t v) { o.Dword(static_cast<uint32_t>(v)); };
  auto text = [&](const Text& t) { o.CString(t, strings_); };

  o.Bytes(std::string_view(h.Signature).substr(0, 8));
  dword(h.Version);
  text(h.Memo);
  dword(h.DrawingSize);
  dword(h.WriteLayerGroup);
  for (const LayerGroupSettings& g : h.Groups) {
    dword(g.State);
    dword(g.WriteLayer);
    o.Double(g.Scale);
    dword(g.Protection);
    for (int l = 0; l < 16; ++l) {
      dword(g.LayerState[l]);
      dword(g.LayerProtection[l]);
    }
  }
  for (int32_t v : h.Reserved1) dword(v);
  for (int32_t v : h.DimensionSettings) dword(v);
  dword(h.Reserved2);
  dword(h.MaxLineDrawingWidth);
  o.Double(h.PrintOriginX);
  o.Double(h.PrintOriginY);
  o.Double(h.PrintScale);
  dword(h.PrintRotation);
  dword(h.GridMode);
  for (double v : {h.GridMinSpacing, h.GridSpacingX, h.GridSpacingY, h.GridBaseX, h.GridBaseY})
    o.Double(v);
  for (const auto& group : h.LayerNames)
    for (const Text& name : group) text(name);
  for (const Text& name : h.LayerGroupNames) text(name);
  o.Double(h.ShadowHeight);
  o.Double(h.Latitude);
  dword(h.NineToFifteen);
  o.Double(h.WallShadowHeight);
  o.Double(h.SkyMapHeight);
  o.Double(h.SkyMapDiameter);
  dword(h.TwoAndHalfDUnit);
  for (double v : {h.ScreenScale, h.ScreenOriginX, h.ScreenOriginY, h.RangeScale, h.RangeOriginX,
                   h.RangeOriginY})
    o.Double(v);
  for (int m = 1; m <= 8; ++m) {
    o.Double(h.MarkJumps[m].Scale);
    o.Double(h.MarkJumps[m].X);
    o.Double(h.MarkJumps[m].Y);
    dword(h.MarkJumps[m].LayerGroup);
  }
  o.Double(h.Further1);
  o.Double(h.Further2);
  o.Double(h.Further3);
  dword(h.Further4);
  o.Double(h.Further5);
  o.Double(h.Further6);
  o.Double(h.Further7);
  dword(h.Further8);
  for (double v : h.MultiLineSpacings) o.Double(v);
  o.Double(h.MultiLineEndExtension);
  for (int c = 0; c <= 9; ++c) {
    dword(h.ScreenColour[c]);
    dword(h.ScreenLineWidth[c]);
  }
  for (int c = 0; c <= 9; ++c) {
    dword(h.PrintColour[c]);
    dword(h.PrintLineWidth[c]);
    o.Double(h.PointRadius[c]);
  }
  auto lineType = [&](int t) {
    dword(h.LinePattern[t]);
    dword(h.LineUnitDots[t]);
    dword(h.LinePitch[t]);
    dword(h.LinePrintPitch[t]);
  };
  for (int t = 2; t <= 9; ++t) lineType(t);
  for (int t = 11; t <= 15; ++t) {
    dword(h.LinePattern[t]);
    dword(h.RandomScreenAmplitude[t]);
    dword(h.LinePitch[t]);
    dword(h.RandomPrintAmplitude[t]);
    dword(h.LinePrintPitch[t]);
  }
  for (int t = 16; t <= 19; ++t) lineType(t);
  for (int32_t v : h.DrawingFlags) dword(v);
  for (double v : h.EyeSettings) o.Double(v);
  dword(h.SolidAnyColour);
  dword(h.SolidColour);
  if (h.Version >= 420) {
    for (int c = 100; c <= 356; ++c) {
      dword(h.ScreenColour[c]);
      dword(h.ScreenLineWidth[c]);
    }
    for (int c = 100; c <= 356; ++c) {
      text(h.ColourNames[c - 100]);
      dword(h.PrintColour[c]);
      dword(h.PrintLineWidth[c]);
      o.Double(h.PointRadius[c]);
    }
    for (int t = 30; t <= 62; ++t) lineType(t);
    for (const NamedLineType& type : h.LineTypeNames) {
      text(type.Name);
      dword(type.SegmentCount);
      for (int s = 1; s <= 10; ++s) o.Double(type.Segments[s]);
    }
  }
  for (int k = 1; k <= 10; ++k) {
    o.Double(h.TextKinds[k].Width);
    o.Double(h.TextKinds[k].Height);
    o.Double(h.TextKinds[k].Spacing);
    dword(h.TextKinds[k].Colour);
  }
  o.Double(h.CurrentTextWidth);
  o.Double(h.CurrentTextHeight);
  o.Double(h.CurrentTextSpacing);
  dword(h.CurrentTextColour);
  dword(h.CurrentTextKind);
  o.Double(h.TextArrange1);
  o.Double(h.TextArrange2);
  dword(h.TextArrange3);
  for (double v : h.TextBaseHorizontal) o.Double(v);
  for (double v : h.TextBaseVertical) o.Double(v);
}

void DrawingWriter::BeginList(uint32_t count) {
  out_.Count(count);
  ++mapIndex_;
}

void DrawingWriter::WriteReference(uint32_t index) {
  if (index < 0x7FFF) {
    out_.Word(static_cast<uint16_t>(0x8000 | index));
  } else {
    out_.Word(0x7FFF);
    out_.Dword(0x80000000u | index);
  }
}

void DrawingWriter::WriteClassTag(const std::string& className) {
  auto found = classIndex_.find(className);
  if (found != classIndex_.end()) {
    WriteReference(found->second);
    return;
  }
  out_.Word(0xFFFF);
  out_.Word(className == "CDataList" ? 0 : 700);  // schema, not read back
  out_.Word(static_cast<uint16_t>(className.size()));
  out_.Bytes(className);
  classIndex_[className] = mapIndex_++;
}

void DrawingWriter::WriteBase(const EntityBase& base) {
  out_.Dword(static_cast<uint32_t>(base.Group));
  out_.Byte(base.PenStyle);
  out_.Word(static_cast<uint16_t>(base.PenColour));
  out_.Word(static_cast<uint16_t>(base.PenWidth));
  out_.Word(static_cast<uint16_t>(base.Layer));
  out_.Word(static_cast<uint16_t>(base.LayerGroup));
  out_.Word(static_cast<uint16_t>(base.Flags));
}

void DrawingWriter::WriteLineBody(const LineEntity& line) {
  WriteBase(line.Base);
  for (double v : {line.StartX, line.StartY, line.EndX, line.EndY}) out_.Double(v);
}

void DrawingWriter::WritePointBody(const PointEntity& point) {
  WriteBase(point.Base);
  out_.Double(point.X);
  out_.Double(point.Y);
  out_.Dword(static_cast<uint32_t>(point.Temporary));
  if (point.Base.PenStyle == 100) {
    out_.Dword(static_cast<uint32_t>(point.Code));
    out_.Double(point.Rotation);
    out_.Double(point.Scale);
  }
}

void DrawingWriter::WriteTextBody(const TextEntity& text) {
  WriteBase(text.Base);
  for (double v : {text.StartX, text.StartY, text.EndX, text.EndY}) out_.Double(v);
  out_.Dword(static_cast<uint32_t>(text.TextKind));
  for (double v : {text.Width, text.Height, text.Spacing, text.Angle}) out_.Double(v);
  out_.CString(text.FontName, strings_);
  out_.CString(text.Text, strings_);
}

void DrawingWriter::WriteEntity(const LineEntity& line) {
  WriteClassTag("CDataSen");
  WriteLineBody(line);
  ++mapIndex_;
}

void DrawingWriter::WriteEntity(const ArcEntity& arc) {
  WriteClassTag("CDataEnko");
  WriteBase(arc.Base);
  for (double v : {arc.CentreX, arc.CentreY, arc.Radius, arc.StartAngle, arc.ArcAngle,
                   arc.TiltAngle, arc.Flatness})
    out_.Double(v);
  out_.Dword(static_cast<uint32_t>(arc.FullCircle));
  ++mapIndex_;
}

void DrawingWriter::WriteEntity(const PointEntity& point) {
  WriteClassTag("CDataTen");
  WritePointBody(point);
  ++mapIndex_;
}

void DrawingWriter::WriteEntity(const TextEntity& text) {
  WriteClassTag("CDataMoji");
  WriteTextBody(text);
  ++mapIndex_;
}

void DrawingWriter::WriteEntity(const SolidEntity& solid) {
  WriteClassTag("CDataSolid");
  WriteBase(solid.Base);
  for (double v : solid.Corners) out_.Double(v);
  if (solid.Base.PenColour == 10) out_.Dword(static_cast<uint32_t>(solid.Colour));
  ++mapIndex_;
}

void DrawingWriter::WriteEntity(const DimensionEntity& dimension, int32_t version) {
  WriteClassTag("CDataSunpou");
  WriteBase(dimension.Base);
  WriteLineBody(dimension.Line);
  WriteTextBody(dimension.Label);
  if (version >= 420) {
    out_.Word(static_cast<uint16_t>(dimension.SxfMode));
    WriteLineBody(dimension.AuxiliaryLine1);
    WriteLineBody(dimension.AuxiliaryLine2);
    for (const PointEntity& point : dimension.Points) WritePointBody(point);
  }
  ++mapIndex_;
}

void DrawingWriter::WriteEntity(const BlockInsertEntity& insert) {
  WriteClassTag("CDataBlock");
  WriteBase(insert.Base);
  for (double v : {insert.X, insert.Y, insert.ScaleX, insert.ScaleY, insert.Rotation})
    out_.Double(v);
  out_.Dword(static_cast<uint32_t>(insert.Number));
  ++mapIndex_;
}

void DrawingWriter::WriteEntityList(const EntityLists& lists, int32_t version) {
  BeginList(static_cast<uint32_t>(lists.EntityOrder.size() - 1));
  for (std::size_t i = 1; i < lists.EntityOrder.size(); ++i) {
    const EntityOrderItem& item = lists.EntityOrder[i];
    const auto at = static_cast<std::size_t>(item.Index);
    switch (item.Kind) {
      case KindLine: WriteEntity(lists.Lines.at(at)); break;
      case KindArc: WriteEntity(lists.Arcs.at(at)); break;
      case KindPoint: WriteEntity(lists.Points.at(at)); break;
      case KindText: WriteEntity(lists.Texts.at(at)); break;
      case KindSolid: WriteEntity(lists.Solids.at(at)); break;
      case KindDimension: WriteEntity(lists.Dimensions.at(at), version); break;
      case KindBlockInsert: WriteEntity(lists.BlockInserts.at(at)); break;
      default: throw std::invalid_argument("EntityOrder names no entity kind");
    }
  }
}

void DrawingWriter::WriteBlockDefinitions(const std::vector<BlockDefinition>& definitions,
                                          int32_t version) {
  const auto count = static_cast<uint32_t>(definitions.empty() ? 0 : definitions.size() - 1);
  out_.Count(count);
  for (std::size_t i = 1; i < definitions.size(); ++i) {
    const BlockDefinition& definition = definitions[i];
    WriteClassTag("CDataList");
    WriteBase(definition.Base);
    out_.Dword(static_cast<uint32_t>(definition.Number));
    out_.Dword(static_cast<uint32_t>(definition.Referenced));
    out_.Dword(static_cast<uint32_t>(definition.TimeStamp));
    out_.CString(definition.Name, strings_);
    WriteEntityList(definition.Data, version);  // its start accounts for the definition
  }
}

void DrawingWriter::WriteImages(const std::vector<EmbeddedImage>& images) {
  out_.Dword(static_cast<uint32_t>(images.empty() ? 0 : images.size() - 1));
  for (std::size_t i = 1; i < images.size(); ++i) {
    const EmbeddedImage& image = images[i];
    out_.CString(image.Name, strings_);
    const std::string_view contents(reinterpret_cast<const char*>(image.Bytes.data()),
                                    image.Bytes.size());
    const bool compressed = image.Name.size() >= 3 && image.Name.ends_with(u".gz");
    const std::string stored = compressed ? Gzip(contents) : std::string(contents);
    out_.Dword(static_cast<uint32_t>(stored.size()));
    out_.Bytes(stored);
  }
}

// ---- Records and whole drawings ------------------------------------------------------

namespace {

template <typename Record>
void Append(std::vector<Record>& items, std::vector<EntityOrderItem>& order, EntityKind kind,
            const Record& record) {
  items.push_back(record);
  order.push_back({static_cast<int16_t>(kind), static_cast<int32_t>(items.size() - 1)});
}

}  // namespace

void AddEntity(EntityLists& l, const LineEntity& e) { Append(l.Lines, l.EntityOrder, KindLine, e); }
void AddEntity(EntityLists& l, const ArcEntity& e) { Append(l.Arcs, l.EntityOrder, KindArc, e); }
void AddEntity(EntityLists& l, const PointEntity& e) { Append(l.Points, l.EntityOrder, KindPoint, e); }
void AddEntity(EntityLists& l, const TextEntity& e) { Append(l.Texts, l.EntityOrder, KindText, e); }
void AddEntity(EntityLists& l, const SolidEntity& e) { Append(l.Solids, l.EntityOrder, KindSolid, e); }
void AddEntity(EntityLists& l, const DimensionEntity& e) {
  Append(l.Dimensions, l.EntityOrder, KindDimension, e);
}
void AddEntity(EntityLists& l, const BlockInsertEntity& e) {
  Append(l.BlockInserts, l.EntityOrder, KindBlockInsert, e);
}

TextEntity MakeText(std::u16string text) {
  TextEntity entity;
  entity.Base.PenColour = 2;
  entity.Base.PenWidth = 1;
  entity.StartX = 10.0;
  entity.StartY = 20.0;
  entity.EndX = 10.0 + 3.5 * static_cast<double>(text.size());
  entity.EndY = 20.0;
  entity.TextKind = 3;
  entity.Width = 3.5;
  entity.Height = 3.5;
  entity.FontName = u"ＭＳ ゴシック";
  entity.Text = std::move(text);
  return entity;
}

JwwDrawing ToDrawing(const DrawingRecipe& recipe) {
  JwwDrawing drawing;
  ClearDrawing(drawing);
  JwwHeader& header = drawing.Header;
  header.Version = recipe.version;
  header.Memo = recipe.memo;
  header.DrawingSize = recipe.drawingSize;
  header.DrawingFlags[10] = recipe.printLineWidthBase;
  header.LayerGroupNames = recipe.layerGroupNames;
  header.LayerNames = recipe.layerNames;

  for (int32_t i = 0; i < recipe.lines; ++i) {
    LineEntity line;
    line.Base.PenColour = 1;
    line.Base.PenWidth = 1;
    line.StartX = i;
    line.EndX = i + 100.0;
    line.EndY = 50.0;
    AddEntity(drawing.Data, line);
  }
  for (const std::u16string& text : recipe.texts) AddEntity(drawing.Data, MakeText(text));

  for (std::size_t b = 0; b < recipe.blocks.size(); ++b) {
    const BlockRecipe& block = recipe.blocks[b];
    BlockDefinition definition;
    definition.Number = block.number != 0 ? block.number : static_cast<int32_t>(b + 1);
    definition.Name = block.name;
    for (const std::u16string& text : block.texts) AddEntity(definition.Data, MakeText(text));
    const int32_t number = definition.Number;
    drawing.Data.BlockDefinitions.push_back(std::move(definition));
    // The number index, as a read fills it (for the numbers a sound drawing can have).
    auto& index = drawing.Data.BlockIndexByNumber;
    if (number >= 0 && number <= 0xFFFF) {
      if (static_cast<std::size_t>(number) >= index.size()) index.resize(number + 1, 0);
      index[number] = static_cast<int32_t>(drawing.Data.BlockDefinitions.size() - 1);
    }
  }
  for (const ImageRecipe& image : recipe.images) {
    EmbeddedImage embedded;
    embedded.Name = image.name;
    embedded.Bytes.assign(image.contents.begin(), image.contents.end());
    drawing.Data.Images.push_back(std::move(embedded));
  }
  return drawing;
}

std::string WriteDrawing(const JwwDrawing& drawing, StringForm strings) {
  DrawingWriter writer(strings);
  const int32_t version = drawing.Header.Version;
  writer.WriteHeader(drawing.Header);
  writer.WriteEntityList(drawing.Data, version);
  writer.WriteBlockDefinitions(drawing.Data.BlockDefinitions, version);
  if (version >= 700) writer.WriteImages(drawing.Data.Images);
  return writer.bytes();
}

std::string WriteDrawing(const DrawingRecipe& recipe) {
  return WriteDrawing(ToDrawing(recipe), recipe.strings);
}

bool WriteBytesFile(const std::string& path, std::string_view bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) return false;
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file);
}

std::optional<std::string> DrawingFolderArgument(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argc > 0 ? argv[0] : "program");
    return std::nullopt;
  }
  std::error_code error;
  std::filesystem::create_directories(argv[1], error);
  return std::string(argv[1]);
}

bool WriteDrawingFile(const std::string& path, const DrawingRecipe& recipe) {
  return WriteBytesFile(path, WriteDrawing(recipe));
}

std::string Gzip(std::string_view data) {
  z_stream stream{};
  if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8,
                   Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2 failed");
  std::string out(deflateBound(&stream, static_cast<uLong>(data.size())) + 32, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  if (result != Z_STREAM_END) throw std::runtime_error("deflate failed");
  return out;
}

}  // namespace dorvan::testing
