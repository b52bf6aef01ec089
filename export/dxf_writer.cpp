#include "export/dxf_writer.h"

#include <dxflib/dl_dxf.h>
#include <dxflib/dl_writer_ascii.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <vector>

#include "files/file_mode.h"
#include "reader/shift_jis.h"

namespace dorvan::dxf {
namespace {

// Stored values beyond this are damage, not geometry (the renderer leaves them out too).
constexpr double kAbsurdCoordinate = 1e9;
// A bit of a line-type pattern on paper, in millimetres per unit of its pitch.
constexpr double kPatternBitMillimetres = 0.25;

bool Sound(double value) { return std::isfinite(value) && std::fabs(value) <= kAbsurdCoordinate; }

// Groups and values as text, into a file of our own: dxflib's writer gives no word of a
// failed write, and its numbers are not always the shortest exact form. Between
// BeginCapture and EndCapture the groups are kept instead, so that the objects section can
// be completed with the owner handles dxflib leaves out.
class FileWriter final : public DL_WriterA {
 public:
  FileWriter(std::FILE* file) : DL_WriterA("/dev/null", DL_Codes::AC1015), file_(file) {}

  void dxfReal(int code, double value) const override {
    char text[400];
    auto [end, status] = std::to_chars(text, text + sizeof text - 3, std::isfinite(value) ? value : 0.0,
                                       std::chars_format::fixed);
    if (status != std::errc()) end = std::to_chars(text, text + sizeof text - 3, 0.0).ptr;
    if (std::find(text, end, '.') == end) {
      *end++ = '.';
      *end++ = '0';
    }
    Put(code, std::string(text, end));
  }
  void dxfInt(int code, int value) const override { Put(code, std::to_string(value)); }
  void dxfHex(int code, int value) const override {
    char text[16];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(value));
    Put(code, text);
  }
  void dxfString(int code, const char* value) const override { Put(code, value); }
  void dxfString(int code, const std::string& value) const override { Put(code, value); }

  void BeginCapture() { capturing_ = true; }
  std::vector<std::pair<int, std::string>> EndCapture() {
    capturing_ = false;
    return std::move(captured_);
  }
  void Put(int code, const std::string& value) const {
    if (capturing_) {
      captured_.emplace_back(code, value);
      return;
    }
    std::fprintf(file_, "%3d\n%s\n", code, value.c_str());
  }

 private:
  std::FILE* file_;
  bool capturing_ = false;
  mutable std::vector<std::pair<int, std::string>> captured_;
};

struct Rgb {
  int r, g, b;
};

// The standard palette of colour indexes, made from its rule: 1 to 9 fixed, 10 to 249 24
// hues in 10 shades (even: full colour, odd: half saturated; value 1, .65, .5, .3, .15),
// 250 to 255 greys.
const std::array<Rgb, 256>& AciPalette() {
  static const std::array<Rgb, 256> palette = [] {
    std::array<Rgb, 256> p{};
    const Rgb fixed[10] = {{0, 0, 0},     {255, 0, 0},     {255, 255, 0},   {0, 255, 0},     {0, 255, 255},
                           {0, 0, 255},   {255, 0, 255},   {255, 255, 255}, {128, 128, 128}, {192, 192, 192}};
    for (int i = 0; i < 10; ++i) p[static_cast<std::size_t>(i)] = fixed[i];
    const double values[5] = {1.0, 0.65, 0.5, 0.3, 0.15};
    for (int i = 10; i < 250; ++i) {
      const double hue = (i / 10 - 1) * 15.0, value = values[(i % 10) / 2];
      const double saturation = i % 2 == 0 ? 1.0 : 0.5;
      const double h = hue / 60.0, c = value * saturation, x = c * (1 - std::fabs(std::fmod(h, 2.0) - 1));
      double r = 0, g = 0, b = 0;
      if (h < 1) r = c, g = x;
      else if (h < 2) r = x, g = c;
      else if (h < 3) g = c, b = x;
      else if (h < 4) g = x, b = c;
      else if (h < 5) r = x, b = c;
      else r = c, b = x;
      const double m = value - c;
      p[static_cast<std::size_t>(i)] = {static_cast<int>(std::lround((r + m) * 255)),
                                        static_cast<int>(std::lround((g + m) * 255)),
                                        static_cast<int>(std::lround((b + m) * 255))};
    }
    const int greys[6] = {51, 80, 105, 130, 190, 255};
    for (int i = 0; i < 6; ++i) p[static_cast<std::size_t>(250 + i)] = {greys[i], greys[i], greys[i]};
    return p;
  }();
  return palette;
}

// A colour as the header stores it (0x00BBGGRR) as 0xRRGGBB.
uint32_t StoredToRgb(int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  return (bits & 0xFF) << 16 | (bits & 0xFF00) | ((bits >> 16) & 0xFF);
}

double Lightness(uint32_t rgb) {
  return (0.299 * ((rgb >> 16) & 0xFF) + 0.587 * ((rgb >> 8) & 0xFF) + 0.114 * (rgb & 0xFF)) / 255.0;
}

// The pen's colour as the pictures show it on white: the screen colour, or the print colour
// where that is too light, or black.
uint32_t PenRgb(const JwwHeader& header, int number) {
  if (!((number >= 1 && number <= 9) || (number >= 100 && number <= 356))) return 0;
  const auto slot = static_cast<std::size_t>(number);
  const uint32_t screen = StoredToRgb(header.ScreenColour[slot]);
  if (Lightness(screen) <= 0.8) return screen;
  const uint32_t print = StoredToRgb(header.PrintColour[slot]);
  return Lightness(print) <= 0.8 ? print : 0;
}

// Dash and gap lengths in paper millimetres (gaps negative) of line type `type`, from the
// header's bit patterns; empty for a solid line.
std::vector<double> PatternRuns(const JwwHeader& header, int type) {
  if (type < 2 || type >= static_cast<int>(header.LinePattern.size())) return {};
  const auto slot = static_cast<std::size_t>(type);
  const int bitCount = header.LineUnitDots[slot];
  if (bitCount < 2 || bitCount > 32) return {};
  const auto pattern = static_cast<uint32_t>(header.LinePattern[slot]);
  int pitch = header.LinePrintPitch[slot];
  if (pitch < 1 || pitch > 16) pitch = header.LinePitch[slot] >= 1 && header.LinePitch[slot] <= 16 ? header.LinePitch[slot] : 1;
  const auto bit = [&](int b) { return ((pattern >> (bitCount - 1 - ((b % bitCount + bitCount) % bitCount))) & 1U) != 0; };
  int first = -1;
  for (int b = 0; b < bitCount && first < 0; ++b)
    if (bit(b) && !bit(b - 1)) first = b;
  if (first < 0) return {};
  std::vector<double> runs;
  bool inDash = true;
  int run = 0;
  const double unit = pitch * kPatternBitMillimetres;
  for (int k = 0; k < bitCount; ++k) {
    if (bit(first + k) != inDash) {
      runs.push_back(inDash ? run * unit : -run * unit);
      inDash = !inDash;
      run = 0;
    }
    ++run;
  }
  runs.push_back(inDash ? run * unit : -run * unit);
  return runs;
}

bool IsForbiddenInName(char16_t c) {
  return c < 0x20 || std::u16string_view(u"<>/\\\":;?*|=`,").find(c) != std::u16string_view::npos;
}

std::u16string CleanName(std::u16string_view name) {
  std::u16string clean(name);
  for (char16_t& c : clean)
    if (IsForbiddenInName(c)) c = u'_';
  return clean;
}

bool IsHalfWidth(char16_t c) { return c < 0x80 || (c >= 0xFF61 && c <= 0xFF9F); }

// The text's length along its baseline as the drawing program lays it out, and the length
// its characters take in a square font at its height: their ratio is the width factor.
double LaidOutLength(const TextEntity& text) {
  double length = 0, lastSpacing = 0;
  for (std::size_t i = 0; i < text.Text.size(); ++i) {
    if (text.Text[i] >= 0xDC00 && text.Text[i] < 0xE000 && i > 0) continue;
    const double share = IsHalfWidth(text.Text[i]) ? 0.5 : 1.0;
    lastSpacing = text.Spacing * share;
    length += text.Width * share + lastSpacing;
  }
  return length - lastSpacing;
}

double NaturalLength(const TextEntity& text) {
  double length = 0;
  for (std::size_t i = 0; i < text.Text.size(); ++i) {
    if (text.Text[i] >= 0xDC00 && text.Text[i] < 0xE000 && i > 0) continue;
    length += text.Height * (IsHalfWidth(text.Text[i]) ? 0.5 : 1.0);
  }
  return length;
}

bool IsStoredSetting(const TextEntity& text) {
  return !text.Text.empty() && text.StartX == text.EndX && text.StartY == text.EndY;
}

bool IsMincho(const std::u16string& fontName) {
  return fontName.find(u"明朝") != std::u16string::npos || fontName.find(u"Mincho") != std::u16string::npos ||
         fontName.find(u"MINCHO") != std::u16string::npos;
}

std::string Utf16ToSjisName(std::u16string_view name) { return DxfText(CleanName(name)); }

constexpr double kDegrees = 180.0 / M_PI;

class Exporter {
 public:
  Exporter(const JwwDrawing& drawing, const DxfOptions& options) : drawing_(drawing), header_(drawing.Header), options_(options) {}

  int64_t EntityCount() const {
    int64_t count = Count(drawing_.Data);
    for (std::size_t b = 1; b < drawing_.Data.BlockDefinitions.size(); ++b) count += Count(drawing_.Data.BlockDefinitions[b].Data);
    return count;
  }

  bool Write(std::FILE* file) {
    Prepare();
    FileWriter dw(file);
    DL_Dxf dxf;
    WriteHeader(dw);
    WriteTables(dw, dxf);
    WriteBlocks(dw, dxf);
    if (cancelled_) return false;
    dw.sectionEntities();
    WriteList(dw, dxf, drawing_.Data, true);
    dw.sectionEnd();
    if (cancelled_) return false;
    WriteObjects(dw, dxf);
    dw.dxfEOF();
    return true;
  }

  bool Cancelled() const { return cancelled_; }

 private:
  static int64_t Count(const EntityLists& lists) {
    return static_cast<int64_t>(lists.EntityOrder.size()) + 3 * static_cast<int64_t>(lists.Dimensions.size());
  }

  double GroupScale(int group) const {
    if (options_.units == DxfUnits::Sheet || group < 0 || group >= 16) return 1.0;
    const double scale = header_.Groups[static_cast<std::size_t>(group)].Scale;
    return std::isfinite(scale) && scale > 0 && scale <= 1e6 ? scale : 1.0;
  }

  bool LayerOn(int group, int layer) const {
    if (options_.visibility) return (*options_.visibility)[static_cast<std::size_t>(group)][static_cast<std::size_t>(layer)];
    const LayerGroupSettings& settings = header_.Groups[static_cast<std::size_t>(group)];
    return settings.State != 0 && settings.LayerState[static_cast<std::size_t>(layer)] != 0;
  }

  // Block names, line types and fonts in use, the layers top-level entities lie on, and the
  // inserts inside blocks that would make a block contain itself.
  void Prepare() {
    const auto& blocks = drawing_.Data.BlockDefinitions;
    std::set<std::string> taken;
    blockNames_.assign(blocks.size(), std::string());
    for (std::size_t b = 1; b < blocks.size(); ++b) {
      std::string name = blocks[b].Name.empty() ? "" : Utf16ToSjisName(blocks[b].Name);
      if (name.empty() || name[0] == '*') name = "JWW_BLOCK_" + std::to_string(blocks[b].Number) + name;
      std::string unique = name;
      for (int k = 2; !taken.insert(unique).second; ++k) unique = name + "~" + std::to_string(k);
      blockNames_[b] = unique;
    }
    NoteList(drawing_.Data, true);
    for (std::size_t b = 1; b < blocks.size(); ++b) NoteList(blocks[b].Data, false);
    // Depth-first over the blocks: an insert leading back to a block still open is a cycle.
    std::vector<int> state(blocks.size(), 0);  // 0 unseen, 1 open, 2 done
    for (std::size_t b = 1; b < blocks.size(); ++b) Visit(static_cast<int32_t>(b), state);
  }

  void Visit(int32_t start, std::vector<int>& state) {
    if (state[static_cast<std::size_t>(start)] != 0) return;
    // An explicit stack: a chain of nested blocks as long as the drawing allows must not
    // exhaust the thread's stack.
    std::vector<std::pair<int32_t, std::size_t>> stack{{start, 1}};
    state[static_cast<std::size_t>(start)] = 1;
    while (!stack.empty()) {
      auto& [block, next] = stack.back();
      const EntityLists& lists = drawing_.Data.BlockDefinitions[static_cast<std::size_t>(block)].Data;
      if (next >= lists.BlockInserts.size()) {
        state[static_cast<std::size_t>(block)] = 2;
        stack.pop_back();
        continue;
      }
      const BlockInsertEntity& insert = lists.BlockInserts[next++];
      const int32_t target = BlockIndex(insert.Number);
      if (target <= 0) continue;
      if (state[static_cast<std::size_t>(target)] == 1) {
        cyclic_.insert(&insert);
      } else if (state[static_cast<std::size_t>(target)] == 0) {
        state[static_cast<std::size_t>(target)] = 1;
        stack.emplace_back(target, 1);
      }
    }
  }

  int32_t BlockIndex(int32_t number) const {
    const auto& index = drawing_.Data.BlockIndexByNumber;
    if (number < 0 || static_cast<std::size_t>(number) >= index.size()) return 0;
    const int32_t found = index[static_cast<std::size_t>(number)];
    return found > 0 && static_cast<std::size_t>(found) < drawing_.Data.BlockDefinitions.size() ? found : 0;
  }

  void NoteList(const EntityLists& lists, bool topLevel) {
    const auto notePen = [&](const EntityBase& base) { NoteLineType(base.PenStyle); };
    const auto noteLayer = [&](const EntityBase& base) {
      if (topLevel && base.LayerGroup >= 0 && base.LayerGroup < 16 && base.Layer >= 0 && base.Layer < 16)
        layersUsed_.insert({base.LayerGroup, base.Layer});
    };
    for (std::size_t i = 1; i < lists.EntityOrder.size(); ++i) {
      const EntityOrderItem& item = lists.EntityOrder[i];
      const auto at = [&](const auto& items) -> decltype(&items[0]) {
        return item.Index > 0 && static_cast<std::size_t>(item.Index) < items.size() ? &items[static_cast<std::size_t>(item.Index)] : nullptr;
      };
      const EntityBase* base = nullptr;
      switch (item.Kind) {
        case KindLine: if (auto* e = at(lists.Lines)) base = &e->Base, notePen(e->Base); break;
        case KindArc: if (auto* e = at(lists.Arcs)) base = &e->Base, notePen(e->Base); break;
        case KindPoint: if (auto* e = at(lists.Points)) base = &e->Base; break;
        case KindText: if (auto* e = at(lists.Texts)) base = &e->Base, fonts_.insert(e->FontName); break;
        case KindSolid: if (auto* e = at(lists.Solids)) base = &e->Base; break;
        case KindDimension:
          if (auto* e = at(lists.Dimensions)) {
            base = &e->Base;
            notePen(e->Line.Base);
            notePen(e->AuxiliaryLine1.Base);
            notePen(e->AuxiliaryLine2.Base);
            fonts_.insert(e->Label.FontName);
          }
          break;
        case KindBlockInsert: if (auto* e = at(lists.BlockInserts)) base = &e->Base; break;
        default: break;
      }
      if (base != nullptr) noteLayer(*base);
    }
  }

  void NoteLineType(int type) {
    if (lineTypes_.count(type) != 0) return;
    std::vector<double> runs = PatternRuns(header_, type);
    lineTypes_[type] = runs.empty() ? std::string("CONTINUOUS") : "JWW_LINE_" + std::to_string(type);
    if (!runs.empty()) patterns_[type] = std::move(runs);
  }

  std::string StyleName(const std::u16string& fontName) const {
    const std::string name = Utf16ToSjisName(fontName);
    return name.empty() ? std::string("Standard") : name;
  }

  void WriteHeader(FileWriter& dw) {
    dw.dxfString(999, "dorvan");
    dw.sectionHeader();
    dw.dxfString(9, "$ACADVER");
    dw.dxfString(1, "AC1015");
    // More than any handle this file uses: each entity, table entry and block takes one.
    int64_t handles = 0x400 + 2 * EntityCount() + 4 * static_cast<int64_t>(drawing_.Data.BlockDefinitions.size()) +
                      static_cast<int64_t>(layersUsed_.size() + patterns_.size() + fonts_.size());
    dw.dxfString(9, "$HANDSEED");
    char seed[32];
    std::snprintf(seed, sizeof seed, "%llX", static_cast<unsigned long long>(handles));
    dw.dxfString(5, seed);
    dw.dxfString(9, "$DWGCODEPAGE");
    dw.dxfString(3, "ANSI_932");
    dw.dxfString(9, "$INSUNITS");
    dw.dxfInt(70, 4);
    dw.dxfString(9, "$MEASUREMENT");
    dw.dxfInt(70, 1);
    dw.dxfString(9, "$LTSCALE");
    dw.dxfReal(40, 1.0);
    dw.sectionEnd();
  }

  void WriteTables(FileWriter& dw, DL_Dxf& dxf) {
    dw.sectionTables();
    dxf.writeVPort(dw);

    dw.tableLinetypes(static_cast<int>(3 + patterns_.size()));
    dxf.writeLinetype(dw, DL_LinetypeData("BYBLOCK", "", 0, 0, 0.0));
    dxf.writeLinetype(dw, DL_LinetypeData("BYLAYER", "", 0, 0, 0.0));
    dxf.writeLinetype(dw, DL_LinetypeData("CONTINUOUS", "Solid line", 0, 0, 0.0));
    for (auto& [type, runs] : patterns_) {
      double length = 0;
      for (double run : runs) length += std::fabs(run);
      const std::size_t named = static_cast<std::size_t>(type);
      std::string description = "JWW line type " + std::to_string(type);
      if (named < header_.LineTypeNames.size() && !header_.LineTypeNames[named].Name.empty())
        description = DxfText(header_.LineTypeNames[named].Name);
      dxf.writeLinetype(dw, DL_LinetypeData(lineTypes_[type], description, 0, static_cast<int>(runs.size()), length,
                                            runs.data()));
    }
    dw.tableEnd();

    dw.tableLayers(static_cast<int>(1 + layersUsed_.size()));
    dxf.writeLayer(dw, DL_LayerData("0", 0), DL_Attributes("", 7, -3, "CONTINUOUS", 1.0));
    for (const auto& [group, layer] : layersUsed_) {
      layerNames_[{group, layer}] = DxfText(DxfLayerName(header_, group, layer));
      dxf.writeLayer(dw, DL_LayerData(layerNames_[{group, layer}], 0, !LayerOn(group, layer)),
                     DL_Attributes("", 7, -3, "CONTINUOUS", 1.0));
    }
    dw.tableEnd();

    // One style per font the drawing names, with a Japanese font file of the same kind:
    // dxflib writes the file only as the TrueType family and leaves the font file empty.
    std::set<std::string> styles{"Standard"};
    std::vector<std::pair<std::string, bool>> styleFonts{{"Standard", false}};
    for (const std::u16string& font : fonts_)
      if (styles.insert(StyleName(font)).second) styleFonts.emplace_back(StyleName(font), IsMincho(font));
    dw.tableStyle(static_cast<int>(styleFonts.size()));
    for (const auto& [name, mincho] : styleFonts) {
      dw.dxfString(0, "STYLE");
      dw.handle();
      dw.dxfString(100, "AcDbSymbolTableRecord");
      dw.dxfString(100, "AcDbTextStyleTableRecord");
      dw.dxfString(2, name);
      dw.dxfInt(70, 0);
      dw.dxfReal(40, 0.0);
      dw.dxfReal(41, 1.0);
      dw.dxfReal(50, 0.0);
      dw.dxfInt(71, 0);
      dw.dxfReal(42, 2.5);
      dw.dxfString(3, mincho ? "ipam.ttf" : "ipag.ttf");
      dw.dxfString(4, "");
      dw.dxfString(1001, "ACAD");
      dw.dxfString(1000, name == "Standard" ? std::string("IPAGothic") : name);
      dw.dxfInt(1071, 0);
    }
    dw.tableEnd();

    dxf.writeView(dw);
    dxf.writeUcs(dw);
    dw.tableAppid(1);
    dxf.writeAppid(dw, "ACAD");
    dw.tableEnd();
    dxf.writeDimStyle(dw, 2.5, 0.625, 0.625, 0.625, 2.5);
    dxf.writeBlockRecord(dw);
    for (std::size_t b = 1; b < blockNames_.size(); ++b) dxf.writeBlockRecord(dw, blockNames_[b]);
    dw.tableEnd();
    dw.sectionEnd();
  }

  void WriteBlocks(FileWriter& dw, DL_Dxf& dxf) {
    dw.sectionBlocks();
    for (const char* space : {"*Model_Space", "*Paper_Space", "*Paper_Space0"}) {
      dxf.writeBlock(dw, DL_BlockData(space, 0, 0.0, 0.0, 0.0));
      dxf.writeEndBlock(dw, space);
    }
    for (std::size_t b = 1; b < blockNames_.size() && !cancelled_; ++b) {
      dxf.writeBlock(dw, DL_BlockData(blockNames_[b], 0, 0.0, 0.0, 0.0));
      WriteList(dw, dxf, drawing_.Data.BlockDefinitions[b].Data, false);
      dxf.writeEndBlock(dw, blockNames_[b]);
    }
    dw.sectionEnd();
  }

  // The owner of each object: dxflib writes the objects without them.
  void WriteObjects(FileWriter& dw, DL_Dxf& dxf) {
    dw.BeginCapture();
    dxf.writeObjects(dw);
    const std::vector<std::pair<int, std::string>> groups = dw.EndCapture();
    std::map<std::string, std::string> owners;
    std::string current;
    for (const auto& [code, value] : groups) {
      if (code == 5) current = value;
      if (code == 350 || code == 360) owners.emplace(value, current);
    }
    for (const auto& [code, value] : groups) {
      dw.Put(code, value);
      if (code == 5) {
        const auto owner = owners.find(value);
        dw.Put(330, owner == owners.end() ? std::string("0") : owner->second);
      }
    }
    dxf.writeObjectsEnd(dw);
  }

  struct Pen {
    std::string layer;
    std::string lineType;
    double lineTypeScale = 1;
    int colour = 7;
    int trueColour = -1;
  };

  Pen PenOf(const EntityBase& layerBase, const EntityBase& own, bool topLevel, bool lineType, int32_t ownRgb = -1) const {
    Pen pen;
    pen.layer = "0";
    if (topLevel) {
      const auto found = layerNames_.find({layerBase.LayerGroup, layerBase.Layer});
      if (found != layerNames_.end()) pen.layer = found->second;
      pen.lineTypeScale = GroupScale(layerBase.LayerGroup);
    }
    pen.lineType = "CONTINUOUS";
    if (lineType) {
      const auto found = lineTypes_.find(own.PenStyle);
      if (found != lineTypes_.end()) pen.lineType = found->second;
    }
    const uint32_t rgb = ownRgb >= 0 ? static_cast<uint32_t>(ownRgb) : PenRgb(header_, own.PenColour);
    // Black stays index 7, which a CAD program shows white on its dark background.
    if (rgb != 0 && rgb != 0xFFFFFF) {
      pen.colour = NearestAci(rgb);
      pen.trueColour = static_cast<int>(rgb);
    }
    return pen;
  }

  static DL_Attributes Attributes(const Pen& pen) {
    DL_Attributes attributes(pen.layer, pen.colour, pen.trueColour, -1, pen.lineType);
    attributes.setLinetypeScale(pen.lineTypeScale);
    return attributes;
  }

  bool KeepGoing() {
    if (cancelled_) return false;
    if ((++written_ & 1023) == 0 && options_.cancel != nullptr && options_.cancel->load(std::memory_order_relaxed))
      cancelled_ = true;
    return !cancelled_;
  }

  void WriteList(FileWriter& dw, DL_Dxf& dxf, const EntityLists& lists, bool topLevel) {
    for (std::size_t i = 1; i < lists.EntityOrder.size(); ++i) {
      if (!KeepGoing()) return;
      const EntityOrderItem& item = lists.EntityOrder[i];
      const auto at = [&](const auto& items) -> decltype(&items[0]) {
        return item.Index > 0 && static_cast<std::size_t>(item.Index) < items.size() ? &items[static_cast<std::size_t>(item.Index)] : nullptr;
      };
      // Every entity is written; a hidden layer is a layer turned off.
      const auto shown = [](const EntityBase&) { return true; };
      switch (item.Kind) {
        case KindLine:
          if (auto* e = at(lists.Lines); e && shown(e->Base)) Line(dw, dxf, *e, e->Base, topLevel);
          break;
        case KindArc:
          if (auto* e = at(lists.Arcs); e && shown(e->Base)) Arc(dw, dxf, *e, topLevel);
          break;
        case KindPoint:
          if (auto* e = at(lists.Points); e && shown(e->Base)) Point(dw, dxf, *e, topLevel);
          break;
        case KindText:
          if (auto* e = at(lists.Texts); e && shown(e->Base)) Text(dw, dxf, *e, e->Base, topLevel);
          break;
        case KindSolid:
          if (auto* e = at(lists.Solids); e && shown(e->Base)) Solid(dw, dxf, *e, topLevel);
          break;
        case KindDimension:
          if (auto* e = at(lists.Dimensions); e && shown(e->Base)) {
            Line(dw, dxf, e->Line, e->Base, topLevel);
            for (const LineEntity* extension : {&e->AuxiliaryLine1, &e->AuxiliaryLine2})
              if (extension->StartX != extension->EndX || extension->StartY != extension->EndY)
                Line(dw, dxf, *extension, e->Base, topLevel);
            Text(dw, dxf, e->Label, e->Base, topLevel);
          }
          break;
        case KindBlockInsert:
          if (auto* e = at(lists.BlockInserts); e && shown(e->Base)) Insert(dw, dxf, *e, topLevel);
          break;
        default: break;
      }
    }
  }

  double Scale(const EntityBase& base, bool topLevel) const { return topLevel ? GroupScale(base.LayerGroup) : 1.0; }

  void Line(FileWriter& dw, DL_Dxf& dxf, const LineEntity& line, const EntityBase& layerBase, bool topLevel) {
    if (!Sound(line.StartX) || !Sound(line.StartY) || !Sound(line.EndX) || !Sound(line.EndY)) return;
    const double s = Scale(layerBase, topLevel);
    dxf.writeLine(dw, DL_LineData(line.StartX * s, line.StartY * s, 0, line.EndX * s, line.EndY * s, 0),
                  Attributes(PenOf(layerBase, line.Base, topLevel, true)));
  }

  void Arc(FileWriter& dw, DL_Dxf& dxf, const ArcEntity& arc, bool topLevel) {
    if (!Sound(arc.CentreX) || !Sound(arc.CentreY) || !Sound(arc.Radius) || !Sound(arc.Flatness) ||
        !std::isfinite(arc.StartAngle) || !std::isfinite(arc.ArcAngle) || !std::isfinite(arc.TiltAngle))
      return;
    const double s = Scale(arc.Base, topLevel);
    const bool full = arc.FullCircle != 0 || std::fabs(arc.ArcAngle) >= 2 * M_PI;
    if (!full && arc.ArcAngle == 0) return;  // draws nothing
    const double cx = arc.CentreX * s, cy = arc.CentreY * s, r = std::fabs(arc.Radius) * s;
    // P(t) = c + u cos t + v sin t, u along the tilt, v a quarter turn on, from `start` over `sweep`.
    double tilt = arc.TiltAngle + (arc.Radius < 0 ? M_PI : 0.0);
    double flatness = arc.Flatness, start = arc.StartAngle, sweep = arc.ArcAngle;
    if (full) start = 0, sweep = 2 * M_PI;
    if (sweep < 0) start += sweep, sweep = -sweep;
    if (flatness < 0) {  // v reversed: the same curve with the parameter reversed
      flatness = -flatness;
      start = -(start + sweep);
    }
    const DL_Attributes attributes = Attributes(PenOf(arc.Base, arc.Base, topLevel, true));
    if (r == 0) {  // DXF has no curve of no size (an ellipse without an axis is invalid): a point
      dxf.writePoint(dw, DL_PointData(cx, cy, 0), attributes);
      return;
    }
    if (flatness == 1.0) {
      if (full) {
        dxf.writeCircle(dw, DL_CircleData(cx, cy, 0, r), attributes);
      } else {
        const double from = std::fmod(std::fmod((tilt + start) * kDegrees, 360.0) + 360.0, 360.0);
        dxf.writeArc(dw, DL_ArcData(cx, cy, 0, r, from, std::fmod(from + sweep * kDegrees, 360.0)), attributes);
      }
      return;
    }
    double major = r, ratio = flatness;
    if (flatness > 1) {  // the v axis is the major one: turn the frame a quarter
      major = r * flatness;
      ratio = 1.0 / flatness;
      tilt += M_PI / 2;
      start -= M_PI / 2;
    }
    ratio = std::max(ratio, 1e-6);  // a flat ellipse is a line; DXF wants a ratio above 0
    start = std::fmod(std::fmod(start, 2 * M_PI) + 2 * M_PI, 2 * M_PI);
    const double end = full ? start + 2 * M_PI : start + sweep;
    dxf.writeEllipse(dw, DL_EllipseData(cx, cy, 0, major * std::cos(tilt), major * std::sin(tilt), 0, ratio, start, end),
                     attributes);
  }

  void Point(FileWriter& dw, DL_Dxf& dxf, const PointEntity& point, bool topLevel) {
    if (!Sound(point.X) || !Sound(point.Y)) return;
    const double s = Scale(point.Base, topLevel);
    dxf.writePoint(dw, DL_PointData(point.X * s, point.Y * s, 0), Attributes(PenOf(point.Base, point.Base, topLevel, false)));
  }

  void Text(FileWriter& dw, DL_Dxf& dxf, const TextEntity& text, const EntityBase& layerBase, bool topLevel) {
    if (text.Text.empty() || IsStoredSetting(text)) return;
    if (!Sound(text.StartX) || !Sound(text.StartY) || !Sound(text.Width) || !Sound(text.Height) ||
        !Sound(text.Spacing) || !std::isfinite(text.Angle))
      return;
    const double s = Scale(layerBase, topLevel);
    const double natural = NaturalLength(text), laidOut = LaidOutLength(text);
    double factor = natural > 0 && laidOut > 0 ? laidOut / natural : 1.0;
    factor = std::clamp(factor, 0.01, 100.0);
    DL_TextData data(text.StartX * s, text.StartY * s, 0, 0, 0, 0, text.Height * s, factor, 0, 0, 0, DxfText(text.Text),
                     StyleName(text.FontName), std::remainder(text.Angle, 360.0) / kDegrees);
    dxf.writeText(dw, data, Attributes(PenOf(layerBase, text.Base, topLevel, false)));
  }

  void Solid(FileWriter& dw, DL_Dxf& dxf, const SolidEntity& solid, bool topLevel) {
    for (double value : solid.Corners)
      if (!Sound(value)) return;
    const double s = Scale(solid.Base, topLevel);
    const auto& c = solid.Corners;
    // DXF takes the corners crosswise: the third is the one opposite the second.
    DL_SolidData data(c[0] * s, c[1] * s, 0, c[2] * s, c[3] * s, 0, c[6] * s, c[7] * s, 0, c[4] * s, c[5] * s, 0, 0);
    const int32_t own = solid.Base.PenColour == 10 ? static_cast<int32_t>(StoredToRgb(solid.Colour)) : -1;
    dxf.writeSolid(dw, data, Attributes(PenOf(solid.Base, solid.Base, topLevel, false, own)));
  }

  void Insert(FileWriter& dw, DL_Dxf& dxf, const BlockInsertEntity& insert, bool topLevel) {
    const int32_t block = BlockIndex(insert.Number);
    if (block <= 0 || cyclic_.count(&insert) != 0) return;
    if (!Sound(insert.X) || !Sound(insert.Y) || !Sound(insert.ScaleX) || !Sound(insert.ScaleY) ||
        !std::isfinite(insert.Rotation))
      return;
    const double s = Scale(insert.Base, topLevel);
    DL_InsertData data(blockNames_[static_cast<std::size_t>(block)], insert.X * s, insert.Y * s, 0, insert.ScaleX * s,
                       insert.ScaleY * s, 1.0, std::remainder(insert.Rotation * kDegrees, 360.0), 1, 1, 0, 0);
    dxf.writeInsert(dw, data, Attributes(PenOf(insert.Base, insert.Base, topLevel, false)));
  }

  const JwwDrawing& drawing_;
  const JwwHeader& header_;
  const DxfOptions& options_;
  std::vector<std::string> blockNames_;
  std::set<std::pair<int, int>> layersUsed_;
  std::map<std::pair<int, int>, std::string> layerNames_;
  std::map<int, std::string> lineTypes_;
  std::map<int, std::vector<double>> patterns_;
  std::set<std::u16string> fonts_;
  std::set<const BlockInsertEntity*> cyclic_;
  int64_t written_ = 0;
  bool cancelled_ = false;
};

}  // namespace

std::u16string DxfLayerName(const JwwHeader& header, int group, int layer) {
  constexpr char16_t kHex[] = u"0123456789ABCDEF";
  std::u16string name{kHex[group & 15], u'-', kHex[layer & 15]};
  if (group >= 0 && group < 16 && layer >= 0 && layer < 16) {
    const Text& own = header.LayerNames[static_cast<std::size_t>(group)][static_cast<std::size_t>(layer)];
    if (!own.empty()) name += u" " + CleanName(own);
  }
  return name;
}

std::string DxfText(std::u16string_view text) {
  const auto plain = [](char16_t c) { return c >= 0x20 && c != 0x7F && !(c >= 0xD800 && c < 0xE000); };
  const auto startsEscape = [&](std::size_t i) {
    return text[i] == u'\\' && i + 2 < text.size() && (text[i + 1] == u'U' || text[i + 1] == u'u' ||
                                                       text[i + 1] == u'M' || text[i + 1] == u'm') &&
           text[i + 2] == u'+';
  };
  bool simple = true;
  for (std::size_t i = 0; i < text.size() && simple; ++i) simple = plain(text[i]) && !startsEscape(i);
  if (simple)
    if (std::optional<std::string> encoded = sjis::Encode(text)) return *encoded;
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::optional<std::string> encoded;
    if (plain(text[i]) && !startsEscape(i)) encoded = sjis::Encode(text.substr(i, 1));
    if (encoded) {
      out += *encoded;
    } else {
      char escape[16];
      std::snprintf(escape, sizeof escape, "\\U+%04X", static_cast<unsigned>(text[i]));
      out += escape;
    }
  }
  return out;
}

int NearestAci(uint32_t rgb) {
  const int r = static_cast<int>((rgb >> 16) & 0xFF), g = static_cast<int>((rgb >> 8) & 0xFF), b = static_cast<int>(rgb & 0xFF);
  int best = 1;
  long bestDistance = -1;
  const auto& palette = AciPalette();
  for (int i = 1; i < 256; ++i) {
    if (i == 7) continue;
    const Rgb& p = palette[static_cast<std::size_t>(i)];
    const long distance = long(p.r - r) * (p.r - r) + long(p.g - g) * (p.g - g) + long(p.b - b) * (p.b - b);
    if (bestDistance < 0 || distance < bestDistance) best = i, bestDistance = distance;
  }
  return best;
}

DxfOutcome WriteDxf(const JwwDrawing& drawing, const std::string& path, const DxfOptions& options) {
  Exporter exporter(drawing, options);
  if (exporter.EntityCount() > kMaxDxfEntities) return DxfOutcome::TooLarge;
  std::string temporary = path + ".XXXXXX";
  std::vector<char> name(temporary.begin(), temporary.end());
  name.push_back('\0');
  const int descriptor = mkstemp(name.data());
  if (descriptor < 0) return DxfOutcome::CannotWrite;
  temporary.assign(name.data());
  fchmod(descriptor, 0666 & ~CurrentUmask());
  std::FILE* file = fdopen(descriptor, "w");
  if (file == nullptr) {
    close(descriptor);
    unlink(temporary.c_str());
    return DxfOutcome::CannotWrite;
  }
  const bool finished = exporter.Write(file);
  const bool written = std::ferror(file) == 0 && std::fflush(file) == 0;
  const bool closed = std::fclose(file) == 0;
  if (finished && written && closed && std::rename(temporary.c_str(), path.c_str()) == 0) return DxfOutcome::Written;
  unlink(temporary.c_str());
  return exporter.Cancelled() ? DxfOutcome::Cancelled : DxfOutcome::CannotWrite;
}

}  // namespace dorvan::dxf
