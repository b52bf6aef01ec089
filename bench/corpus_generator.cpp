// dorvan_corpus: writes the deterministic drawing corpus of the search benchmark.
//
// A tree of projects, each with discipline folders a few levels deep, holding drawings of
// versions 351 to 700 (most in Shift-JIS, some in the UTF-16 string form newer files use)
// with a realistic mix of lines, arcs, points, solids, dimensions, block inserts and
// Japanese texts, block definitions with texts (a title block in most drawings), memos and
// layer names. A chosen search text (the needle) is planted in known drawings: in a text,
// in a block's text, in a variant spelling that only normalisation finds, in the memo (once
// across a CR LF break), and as decoys where neither the data nor the memo range looks (a
// dimension label, a layer name, a block name). The expected counts are printed and kept in
// the info file beside the tree, which also marks a finished corpus for reuse.
//
//   dorvan_corpus --out DIR [--seed N] [--megabytes M] [--drawings N] [--needle TEXT] [--verify]
//   dorvan_corpus --revision
//
// writes DIR/tree/... and DIR/info.txt (KEY=VALUE lines); M is in MiB. The same arguments
// and revision give the same bytes. --verify reads every drawing back with the reader and
// checks it. --revision prints the generator's revision, so a script can tell whether a
// corpus it finds was written by this generator.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "reader/jww_reader.h"
#include "reader/shift_jis.h"
#include "reader/unicode_text.h"
#include "tests/support/drawing_writer.h"

namespace {

using dorvan::JwwDrawing;
using dorvan::testing::StringForm;

constexpr int kGeneratorRevision = 2;  // bump when the corpus for the same arguments changes
constexpr int kProjects = 20;

// ---- Deterministic random numbers (integer arithmetic only, the same on every platform) --

class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {  // splitmix64
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }
  int32_t Between(int32_t low, int32_t high) { return low + static_cast<int32_t>(Below(high - low + 1)); }
  // True with probability perMille / 1000.
  bool PerMille(uint32_t perMille) { return Below(1000) < perMille; }
  double Coordinate(double extent) { return static_cast<double>(Below(static_cast<uint32_t>(extent * 4))) / 4.0; }
  template <typename T>
  const T& Pick(const std::vector<T>& items) { return items[Below(static_cast<uint32_t>(items.size()))]; }

 private:
  uint64_t state_;
};

// ---- Words ------------------------------------------------------------------------------

const std::vector<std::u16string> kRooms = {
    u"事務室", u"会議室", u"応接室", u"廊下", u"階段", u"ホール", u"便所", u"湯沸室", u"倉庫",
    u"機械室", u"電気室", u"ＥＶ", u"ＰＳ", u"ＤＳ", u"玄関", u"風除室", u"更衣室", u"休憩室",
    u"受付", u"書庫", u"駐車場", u"駐輪場", u"浴室", u"洗面所", u"台所", u"居間", u"寝室",
    u"和室", u"洋室", u"納戸", u"バルコニー", u"ポーチ", u"多目的便所", u"中央監視室"};
const std::vector<std::u16string> kNotes = {
    u"※寸法は芯々寸法とする", u"※詳細は別途協議", u"仕上げ：ビニルクロス貼", u"床：フローリング t=12",
    u"天井：PB t=9.5 EP塗装", u"W900×H2100", u"FL+2,400", u"CH=2,500", u"S=1:100", u"1階平面図",
    u"2階平面図", u"立面図", u"断面図", u"配置図", u"ｺﾝｾﾝﾄ", u"ｽｲｯﾁ", u"ﾀﾞｸﾄ φ150", u"照明器具 LED 40W",
    u"換気扇", u"給水管 HIVP 20A", u"排水管 VP 75A", u"鉄筋 D13@200", u"基礎梁 FG1",
    u"柱 C1 600×600", u"GL±0", u"外壁：ALC t=100 吹付タイル", u"防火戸（特定防火設備）",
    u"有効開口 W=850", u"手摺 H=1,100", u"点検口 450角", u"→ 詳細図 A-501 参照", u"C:\\CAD\\部品\\便器",
    u"ｴｱｺﾝ室外機", u"消火栓", u"非常用照明", u"誘導灯", u"ｱﾝｶｰﾎﾞﾙﾄ M16", u"既存撤去",
    u"Ｘ通り", u"Ｙ通り", u"屋根：ガルバリウム鋼板 t=0.4", u"延焼ラインの範囲"};
const std::vector<std::u16string> kGrid = {u"X1", u"X2", u"X3", u"X4", u"X5", u"Y1", u"Y2", u"Y3", u"Y4", u"①", u"②", u"③"};
const std::vector<std::u16string> kDimensions = {u"910", u"1,820", u"2,730", u"3,640", u"455", u"4,550", u"6,000",
                                                 u"7,200", u"1,365", u"600", u"150", u"2,275"};
const std::vector<std::u16string> kFonts = {u"ＭＳ ゴシック", u"ＭＳ 明朝", u"ＭＳ Ｐゴシック"};
const std::vector<std::u16string> kProjectNames = {
    u"港南三丁目計画", u"駅前再開発Ａ街区", u"市民体育館改修", u"山田邸新築", u"第二庁舎", u"倉庫増築",
    u"保育園新築", u"中央病院改修", u"社員寮", u"工場Ｂ棟", u"集合住宅東棟", u"小学校耐震補強", u"図書館",
    u"物流センター", u"老人ホーム", u"店舗改装", u"事務所ビル", u"賃貸マンション", u"研究所", u"駐車場棟"};
const std::vector<std::u16string> kSheetTitles = {
    u"1階平面図", u"2階平面図", u"3階平面図", u"屋根伏図", u"配置図", u"立面図", u"断面図", u"矩計図",
    u"建具表", u"仕上表", u"基礎伏図", u"軸組図", u"電灯設備図", u"給排水設備図", u"空調設備図", u"外構図"};
const std::vector<std::u16string> kLayerGroups = {u"平面図", u"立面図", u"断面図", u"詳細図", u"配置図", u"構造", u"設備", u"外構"};
const std::vector<std::u16string> kLayers = {u"通り芯", u"壁", u"建具", u"寸法", u"文字", u"家具", u"設備", u"仕上",
                                             u"補助線", u"ハッチ", u"図枠", u"柱", u"梁", u"階段", u"衛生器具", u"外構"};
const std::vector<std::u16string> kBlocks = {u"片開き戸 W800", u"両開き戸 W1600", u"引違い窓 W1690", u"便器", u"洗面台",
                                             u"流し台", u"柱 C1", u"事務机", u"椅子", u"ＥＶ", u"階段", u"方位記号",
                                             u"車", u"植栽", u"ユニットバス"};

struct Discipline {
  const char* folder;  // relative to the project, a few levels deep
  const char* prefix;  // sheet number prefix
};
const std::vector<Discipline> kDisciplines = {
    {"", "A-0"},
    {"01_意匠", "A-1"},
    {"01_意匠/平面図", "A-2"},
    {"01_意匠/立面・断面", "A-3"},
    {"01_意匠/詳細図", "A-5"},
    {"02_構造", "S-1"},
    {"02_構造/伏図", "S-2"},
    {"03_設備/電気", "E-1"},
    {"03_設備/機械", "M-1"},
    {"04_外構", "L-1"},
    {"99_旧版/2019-04/01_意匠", "A-1"},
    {"99_旧版/2019-04/02_構造", "S-1"},
    {"99_旧版/2020-01/01_意匠/平面図", "A-2"},
};

// ---- Byte sizes, to aim each drawing at a size without writing it twice -------------------

std::size_t StringBytes(std::u16string_view text, StringForm form) {
  if (form == StringForm::Utf16) return 3 + (text.size() < 0xFF ? 1 : 3) + 2 * text.size();
  std::size_t bytes = 0;
  for (char16_t c : text) bytes += (c < 0x80 || (c >= 0xFF61 && c <= 0xFF9F)) ? 1 : 2;
  return bytes + (bytes < 0xFF ? 1 : 3);
}

constexpr std::size_t kTagBytes = 2, kBaseBytes = 15;
constexpr std::size_t kLineBytes = kTagBytes + kBaseBytes + 32;
constexpr std::size_t kArcBytes = kTagBytes + kBaseBytes + 56 + 4;
constexpr std::size_t kPointBytes = kTagBytes + kBaseBytes + 20;
constexpr std::size_t kSolidBytes = kTagBytes + kBaseBytes + 64;
constexpr std::size_t kInsertBytes = kTagBytes + kBaseBytes + 44;

std::size_t TextBodyBytes(const dorvan::TextEntity& text, StringForm form) {
  return kBaseBytes + 32 + 4 + 32 + StringBytes(text.FontName, form) + StringBytes(text.Text, form);
}

// ---- Where the needle goes ----------------------------------------------------------------

struct Plants {
  bool text = false;         // a top-level text holds it
  bool blockText = false;    // the title block's text holds it
  bool variant = false;      // a top-level text holds a spelling only normalisation equates
  bool memo = false;         // the memo holds it
  bool memoAcrossBreak = false;  // the memo holds it broken by CR LF
  bool decoyDimension = false;   // a dimension label holds it (no text entity of the data range)
  bool decoyLayer = false;       // a layer name holds it
  bool decoyBlockName = false;   // a block definition's name holds it
  bool InDataRange() const { return text || blockText || variant; }
  bool InMemoRange() const { return memo || memoAcrossBreak; }
};

// ---- One drawing --------------------------------------------------------------------------

class DrawingBuilder {
 public:
  DrawingBuilder(Random& random, StringForm form, int32_t version)
      : random_(random), form_(form), version_(version) {}

  std::size_t bytes() const { return bytes_; }

  dorvan::EntityBase Base(int16_t layer, int16_t group) {
    dorvan::EntityBase base;
    base.PenStyle = static_cast<uint8_t>(random_.Between(1, 9));
    base.PenColour = static_cast<int16_t>(random_.Between(1, 9));
    base.PenWidth = static_cast<int16_t>(random_.Below(4));
    base.Layer = layer;
    base.LayerGroup = group;
    return base;
  }

  dorvan::TextEntity Text(std::u16string text, int16_t layer, int16_t group) {
    dorvan::TextEntity entity = dorvan::testing::MakeText(std::move(text));
    entity.Base = Base(layer, group);
    entity.Base.PenStyle = 1;
    entity.StartX = random_.Coordinate(40000);
    entity.StartY = random_.Coordinate(30000);
    entity.EndX = entity.StartX + 350.0 * static_cast<double>(entity.Text.size());
    entity.EndY = entity.StartY;
    entity.FontName = random_.Pick(kFonts);
    entity.Width = entity.Height = static_cast<double>(random_.Between(2, 7));
    return entity;
  }

  std::u16string RandomText() {
    switch (random_.Below(10)) {
      case 0: case 1: case 2: return random_.Pick(kRooms);
      case 3: return random_.Pick(kGrid);
      case 4: return random_.Pick(kDimensions);
      case 5: {
        const int32_t area = random_.Between(300, 9000);
        return random_.Pick(kRooms) + u" " + dorvan::Utf8ToUtf16(std::to_string(area / 100) + "." +
                                                                 std::to_string(area % 100 / 10)) + u"㎡";
      }
      default: return random_.Pick(kNotes);
    }
  }

  void AddLine(dorvan::EntityLists& lists, double extent, int16_t layer, int16_t group) {
    dorvan::LineEntity line;
    line.Base = Base(layer, group);
    line.StartX = random_.Coordinate(extent);
    line.StartY = random_.Coordinate(extent * 0.7);
    const bool horizontal = random_.PerMille(500);
    const double length = random_.Coordinate(extent / 4);
    line.EndX = horizontal ? line.StartX + length : line.StartX;
    line.EndY = horizontal ? line.StartY : line.StartY + length;
    dorvan::testing::AddEntity(lists, line);
    bytes_ += kLineBytes;
  }

  void AddArc(dorvan::EntityLists& lists, double extent, int16_t layer, int16_t group) {
    dorvan::ArcEntity arc;
    arc.Base = Base(layer, group);
    arc.CentreX = random_.Coordinate(extent);
    arc.CentreY = random_.Coordinate(extent * 0.7);
    arc.Radius = static_cast<double>(random_.Between(100, 1800));
    arc.FullCircle = random_.PerMille(300) ? 1 : 0;
    arc.ArcAngle = arc.FullCircle ? 6.283185307179586 : 1.5707963267948966;
    arc.StartAngle = static_cast<double>(random_.Below(4)) * 1.5707963267948966;
    arc.Flatness = 1.0;
    dorvan::testing::AddEntity(lists, arc);
    bytes_ += kArcBytes;
  }

  void AddText(dorvan::EntityLists& lists, std::u16string text, int16_t layer, int16_t group) {
    const dorvan::TextEntity entity = Text(std::move(text), layer, group);
    bytes_ += kTagBytes + TextBodyBytes(entity, form_);
    dorvan::testing::AddEntity(lists, entity);
  }

  void AddPoint(dorvan::EntityLists& lists, double extent, int16_t layer, int16_t group) {
    dorvan::PointEntity point;
    point.Base = Base(layer, group);
    point.Base.PenStyle = 0;
    point.X = random_.Coordinate(extent);
    point.Y = random_.Coordinate(extent * 0.7);
    dorvan::testing::AddEntity(lists, point);
    bytes_ += kPointBytes;
  }

  void AddSolid(dorvan::EntityLists& lists, double extent, int16_t layer, int16_t group) {
    dorvan::SolidEntity solid;
    solid.Base = Base(layer, group);
    const double x = random_.Coordinate(extent), y = random_.Coordinate(extent * 0.7);
    const double w = random_.Coordinate(2000), h = random_.Coordinate(2000);
    solid.Corners = {x, y, x + w, y, x + w, y + h, x, y + h};
    if (random_.PerMille(200)) {
      solid.Base.PenColour = 10;
      solid.Colour = static_cast<int32_t>(random_.Below(0x1000000));
      bytes_ += 4;
    }
    dorvan::testing::AddEntity(lists, solid);
    bytes_ += kSolidBytes;
  }

  void AddDimension(dorvan::EntityLists& lists, double extent, std::u16string label, int16_t layer,
                    int16_t group) {
    dorvan::DimensionEntity dimension;
    dimension.Base = Base(layer, group);
    dimension.Line.Base = dimension.Base;
    dimension.Line.StartX = random_.Coordinate(extent);
    dimension.Line.StartY = random_.Coordinate(extent * 0.7);
    dimension.Line.EndX = dimension.Line.StartX + random_.Coordinate(7200);
    dimension.Line.EndY = dimension.Line.StartY;
    dimension.Label = Text(std::move(label), layer, group);
    std::size_t bytes = kTagBytes + kBaseBytes + (kBaseBytes + 32) + TextBodyBytes(dimension.Label, form_);
    if (version_ >= 420) {
      dimension.AuxiliaryLine1 = dimension.Line;
      dimension.AuxiliaryLine2 = dimension.Line;
      bytes += 2 + 2 * (kBaseBytes + 32) + 4 * (kBaseBytes + 20);
    }
    dorvan::testing::AddEntity(lists, dimension);
    bytes_ += bytes;
  }

  void AddInsert(dorvan::EntityLists& lists, double extent, int32_t blockCount, int16_t layer, int16_t group) {
    dorvan::BlockInsertEntity insert;
    insert.Base = Base(layer, group);
    insert.X = random_.Coordinate(extent);
    insert.Y = random_.Coordinate(extent * 0.7);
    insert.ScaleX = insert.ScaleY = 1.0;
    insert.Rotation = static_cast<double>(random_.Below(4)) * 1.5707963267948966;
    insert.Number = random_.Between(1, blockCount);
    dorvan::testing::AddEntity(lists, insert);
    bytes_ += kInsertBytes;
  }

  // Entities of the drawing's mix until `budget` bytes are used.
  void FillEntities(dorvan::EntityLists& lists, std::size_t budget, int32_t blockCount) {
    const double extent = 42000.0;
    const std::size_t stop = bytes_ + budget;
    while (bytes_ < stop) {
      const auto layer = static_cast<int16_t>(random_.Below(16));
      const auto group = static_cast<int16_t>(random_.Below(100) < 70 ? 0 : random_.Below(4));
      const uint32_t roll = random_.Below(100);
      if (roll < 52) {
        AddLine(lists, extent, layer, group);
      } else if (roll < 62) {
        AddArc(lists, extent, layer, group);
      } else if (roll < 78) {
        AddText(lists, RandomText(), layer, group);
      } else if (roll < 84) {
        AddDimension(lists, extent, random_.Pick(kDimensions), layer, group);
      } else if (roll < 89) {
        AddPoint(lists, extent, layer, group);
      } else if (roll < 93 || blockCount == 0) {
        AddSolid(lists, extent, layer, group);
      } else {
        AddInsert(lists, extent, blockCount, layer, group);
      }
    }
  }

  // The title block: a frame and its label/value pairs. With `needleInBlock` the drawing
  // number row holds the needle instead of a sheet number.
  dorvan::BlockDefinition TitleBlock(const std::u16string& project, const std::u16string& sheet,
                                     const std::u16string& number, const std::u16string* needle) {
    dorvan::BlockDefinition block;
    block.Name = u"図枠";
    bytes_ += kTagBytes + kBaseBytes + 12 + StringBytes(block.Name, form_) + 2;
    for (int i = 0; i < 24; ++i) AddLine(block.Data, 800, 10, 0);
    const std::vector<std::pair<std::u16string, std::u16string>> rows = {
        {u"工事名称", u"（仮称）" + project + u"新築工事"},
        {u"図面名称", sheet},
        {u"縮尺", u"1/100"},
        {u"設計", u"株式会社 山田設計事務所"},
        {u"日付", u"2019.04.15"}};
    for (const auto& [label, value] : rows) {
      AddText(block.Data, label, 10, 0);
      AddText(block.Data, value, 10, 0);
    }
    if (needle != nullptr) {
      AddText(block.Data, *needle, 10, 0);
    } else {
      AddText(block.Data, u"図面番号", 10, 0);
      AddText(block.Data, number, 10, 0);
    }
    return block;
  }

  dorvan::BlockDefinition SymbolBlock(int32_t number) {
    dorvan::BlockDefinition block;
    block.Name = random_.Pick(kBlocks);
    // The drawing program names blocks taken from its symbol library with a marker and a number.
    if (random_.PerMille(300)) block.Name += u"@@SfigorgFlag@@" + dorvan::Utf8ToUtf16(std::to_string(number));
    bytes_ += kTagBytes + kBaseBytes + 12 + StringBytes(block.Name, form_) + 2;
    const int lines = random_.Between(4, 40);
    for (int i = 0; i < lines; ++i) AddLine(block.Data, 2000, 2, 0);
    const int arcs = random_.Between(0, 6);
    for (int i = 0; i < arcs; ++i) AddArc(block.Data, 2000, 2, 0);
    const int texts = random_.Between(0, 2);
    for (int i = 0; i < texts; ++i) AddText(block.Data, RandomText(), 2, 0);
    return block;
  }

 private:
  Random& random_;
  StringForm form_;
  int32_t version_;
  std::size_t bytes_ = 0;
};

// ---- The corpus plan ----------------------------------------------------------------------

struct Options {
  std::string out;
  uint64_t seed = 20240601;
  uint64_t megabytes = 500;
  int drawings = 2200;
  std::u16string needle = u"図面番号ZX-1";
  bool verify = false;
};

struct PlannedDrawing {
  int project = 0;
  std::size_t targetBytes = 0;
};

// Aimed sizes: mostly small and medium sheets, a few large ones and two giants (in the first
// two projects, so the first half of the projects holds both largest drawings and a memory
// comparison of the halves sees the number of drawings alone), scaled so that the corpus
// reaches the wanted size.
std::vector<PlannedDrawing> PlanSizes(const Options& options, Random& random) {
  struct SizeClass {
    uint32_t weight, lowKiB, highKiB;
  };
  const std::vector<SizeClass> classes = {{30, 16, 40}, {35, 40, 120}, {22, 120, 400}, {10, 400, 1200}, {3, 1200, 3000}};
  const std::size_t giantBytes = 8u << 20;
  std::vector<PlannedDrawing> plan(static_cast<std::size_t>(options.drawings));
  std::size_t ordinary = 0;
  for (std::size_t i = 0; i < plan.size(); ++i) {
    plan[i].project = static_cast<int>(i % kProjects);
    uint32_t roll = random.Below(100);
    std::size_t c = 0;
    while (roll >= classes[c].weight) roll -= classes[c++].weight;
    plan[i].targetBytes = static_cast<std::size_t>(random.Between(static_cast<int32_t>(classes[c].lowKiB),
                                                                  static_cast<int32_t>(classes[c].highKiB))) << 10;
    ordinary += plan[i].targetBytes;
  }
  const std::size_t giants[] = {0, 1};
  for (std::size_t g : giants) ordinary -= plan[g].targetBytes;
  const std::size_t wanted = options.megabytes << 20;
  const std::size_t rest = wanted > 2 * giantBytes ? wanted - 2 * giantBytes : wanted / 2;
  for (std::size_t i = 0; i < plan.size(); ++i) {
    plan[i].targetBytes = plan[i].targetBytes * rest / ordinary;
    if (plan[i].targetBytes > giantBytes / 2) plan[i].targetBytes = giantBytes / 2;
  }
  for (std::size_t g : giants) plan[g].targetBytes = giantBytes;
  return plan;
}

// Needle bytes that a Shift-JIS decoder reading the whole file from its start would find:
// the search ripgrep does, character boundaries included (a lead byte swallows the byte
// after it unless that byte is ASCII and not a valid trail byte).
bool ContainsAtCharacterBoundary(std::string_view file, std::string_view needle) {
  std::size_t at = 0;
  while (at < file.size()) {
    if (file.compare(at, needle.size(), needle) == 0) return true;
    const auto lead = static_cast<uint8_t>(file[at]);
    if (dorvan::sjis::IsLeadByte(lead) && at + 1 < file.size()) {
      const auto trail = static_cast<uint8_t>(file[at + 1]);
      const bool validTrail = (trail >= 0x40 && trail <= 0x7E) || (trail >= 0x80 && trail <= 0xFC);
      at += (validTrail || trail >= 0x80) ? 2 : 1;
    } else {
      at += 1;
    }
  }
  return false;
}

std::string FileNameFor(const std::string& prefix, int number, const std::u16string& title, bool upperCase) {
  // "A-112_1階平面図_0412.jww": the sheet number, the title and a running number that keeps
  // names unique.
  char digits[16], serial[16];
  std::snprintf(digits, sizeof digits, "%02d", number % 100);
  std::snprintf(serial, sizeof serial, "%04d", number);
  return prefix + digits + "_" + dorvan::Utf16ToUtf8(title) + "_" + serial + (upperCase ? ".JWW" : ".jww");
}

struct Totals {
  int drawings = 0, utf16 = 0, withImages = 0;
  uint64_t bytes = 0, largest = 0, secondLargest = 0, halfLargest = 0;
  std::string largestPath, secondLargestPath;
  int data = 0, memo = 0, ripgrep = 0;
  int halfDrawings = 0, halfData = 0, halfMemo = 0;
  int textPlants = 0, blockPlants = 0, variantPlants = 0, memoPlants = 0, memoBreakPlants = 0, decoys = 0;
};

bool WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

int Usage() {
  std::cerr << "usage: dorvan_corpus --out DIR [--seed N] [--megabytes MIB] [--drawings N] [--needle TEXT] [--verify]\n"
               "       dorvan_corpus --revision\n";
  return 2;
}

std::optional<Options> ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--revision") {
      std::cout << kGeneratorRevision << "\n";
      std::exit(0);
    } else if (arg == "--verify") {
      options.verify = true;
    } else if (arg == "--out" && hasValue) {
      options.out = argv[++i];
    } else if (arg == "--seed" && hasValue) {
      options.seed = std::strtoull(argv[++i], nullptr, 10);
    } else if (arg == "--megabytes" && hasValue) {
      options.megabytes = std::strtoull(argv[++i], nullptr, 10);
    } else if (arg == "--drawings" && hasValue) {
      options.drawings = std::atoi(argv[++i]);
    } else if (arg == "--needle" && hasValue) {
      options.needle = dorvan::Utf8ToUtf16(argv[++i]);
    } else {
      return std::nullopt;
    }
  }
  if (options.out.empty() || options.drawings < 2 || options.megabytes == 0) return std::nullopt;
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Options> parsed = ParseOptions(argc, argv);
  if (!parsed) return Usage();
  const Options& options = *parsed;
  const std::optional<std::string> needleBytes = dorvan::sjis::Encode(options.needle);
  if (!needleBytes || options.needle.size() < 2) {
    std::cerr << "dorvan_corpus: the needle needs a Shift-JIS form and at least two characters\n";
    return 2;
  }
  // Spellings only normalisation equates with the needle: lower case and full width.
  std::u16string lowerNeedle = options.needle, wideNeedle = options.needle;
  for (char16_t& c : lowerNeedle)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  for (char16_t& c : wideNeedle)
    if (c > 0x20 && c < 0x7F) c = static_cast<char16_t>(c - 0x20 + 0xFF00);

  const std::filesystem::path root(options.out);
  const std::filesystem::path tree = root / "tree";
  std::error_code error;
  std::filesystem::remove(root / "info.txt", error);
  std::filesystem::remove_all(tree, error);

  Random planRandom(options.seed);
  const std::vector<PlannedDrawing> plan = PlanSizes(options, planRandom);
  std::vector<std::string> projectFolders;
  for (int p = 0; p < kProjects; ++p) {
    char prefix[8];
    std::snprintf(prefix, sizeof prefix, "P%02d_", p + 1);
    projectFolders.push_back(prefix + dorvan::Utf16ToUtf8(kProjectNames[static_cast<std::size_t>(p)]));
  }

  Totals totals;
  dorvan::JwwReader verifier;
  JwwDrawing drawing;
  for (std::size_t i = 0; i < plan.size(); ++i) {
    Random random(options.seed * 1000003u + i);
    const int project = plan[i].project;
    const std::u16string& projectName = kProjectNames[static_cast<std::size_t>(project)];

    // Version and string form: mostly 600, newer 700 (some storing UTF-16), a few old ones.
    const uint32_t roll = random.Below(100);
    const int32_t version = roll < 3 ? 351 : roll < 11 ? 420 : roll < 68 ? 600 : 700;
    const StringForm form = (version == 700 && random.PerMille(450)) ? StringForm::Utf16 : StringForm::ShiftJis;

    Plants plants;
    plants.text = random.PerMille(30);
    plants.blockText = random.PerMille(20);
    plants.variant = random.PerMille(6);
    plants.memo = random.PerMille(25);
    plants.memoAcrossBreak = !plants.memo && random.PerMille(4);
    plants.decoyDimension = random.PerMille(8);
    plants.decoyLayer = random.PerMille(8);
    plants.decoyBlockName = random.PerMille(5);

    const Discipline& discipline = random.Pick(kDisciplines);
    const std::u16string& sheet = random.Pick(kSheetTitles);
    const std::string name = FileNameFor(discipline.prefix, static_cast<int>(i), sheet, random.PerMille(50));
    const std::filesystem::path folder = tree / projectFolders[static_cast<std::size_t>(project)] / discipline.folder;
    const std::filesystem::path path = folder / name;

    dorvan::ClearDrawing(drawing);
    dorvan::JwwHeader& header = drawing.Header;
    header.Version = version;
    header.DrawingSize = random.PerMille(700) ? random.Between(2, 3) : random.Between(0, 4);
    header.DrawingFlags[10] = random.PerMille(600) ? 0 : (random.PerMille(500) ? 10 : 20);
    const int groups = random.Between(1, 6);
    for (int g = 0; g < groups; ++g) {
      header.LayerGroupNames[static_cast<std::size_t>(g)] = random.Pick(kLayerGroups);
      const int layers = random.Between(3, 16);
      for (int l = 0; l < layers; ++l)
        header.LayerNames[static_cast<std::size_t>(g)][static_cast<std::size_t>(l)] = kLayers[static_cast<std::size_t>(l)];
    }
    if (plants.decoyLayer) header.LayerNames[0][15] = options.needle;

    std::u16string memo;
    if (random.PerMille(650) || plants.InMemoRange()) {
      memo = u"（仮称）" + projectName + u" 実施設計 " + sheet;
      // Long memos are broken with CR LF by the drawing program.
      if (random.PerMille(300)) memo += u"\r\n変更履歴：2019.04.15 初版　2019.06.01 第2版（設備変更）";
    }
    if (plants.memo) memo += u" 関連：" + options.needle + u"（構造図と照合）";
    if (plants.memoAcrossBreak) {
      const std::size_t cut = options.needle.size() / 2;
      memo += u" 関連：" + options.needle.substr(0, cut) + u"\r\n" + options.needle.substr(cut);
    }
    header.Memo = memo;

    // The header's own size, measured once for this drawing's version and form.
    DrawingBuilder builder(random, form, version);
    const std::size_t headerBytes = dorvan::testing::WriteDrawing(drawing, form).size();

    // Block definitions: the title block in most drawings, symbols in many.
    auto& blocks = drawing.Data.BlockDefinitions;
    const std::u16string sheetNumber = dorvan::Utf8ToUtf16(std::string(discipline.prefix) + std::to_string(i % 100));
    if (random.PerMille(800) || plants.blockText)
      blocks.push_back(builder.TitleBlock(projectName, sheet, sheetNumber, plants.blockText ? &options.needle : nullptr));
    const int symbols = random.Between(0, 10);
    for (int s = 0; s < symbols; ++s) blocks.push_back(builder.SymbolBlock(static_cast<int32_t>(blocks.size())));
    if (plants.decoyBlockName) {
      dorvan::BlockDefinition named = builder.SymbolBlock(static_cast<int32_t>(blocks.size()));
      named.Name = options.needle;
      blocks.push_back(std::move(named));
    }
    const auto blockCount = static_cast<int32_t>(blocks.size() - 1);
    for (int32_t b = 1; b <= blockCount; ++b) blocks[static_cast<std::size_t>(b)].Number = b;

    // The drawing's own entities up to its aimed size.
    const std::size_t used = headerBytes + builder.bytes();
    const std::size_t target = plan[i].targetBytes;
    builder.FillEntities(drawing.Data, target > used ? target - used : 0, blockCount);
    auto& texts = drawing.Data.Texts;
    if (plants.text || plants.variant) {
      if (texts.size() < 3) builder.AddText(drawing.Data, builder.RandomText(), 4, 0);
      if (texts.size() < 3) builder.AddText(drawing.Data, builder.RandomText(), 4, 0);
      // Anywhere in the file order, so a first match stops the search at any point.
      const std::size_t n = texts.size() - 1;
      if (plants.text) {
        const std::size_t at = 1 + random.Below(static_cast<uint32_t>(n));
        texts[at].Text = random.PerMille(500) ? options.needle : u"参照：" + options.needle + u" 改2";
      }
      if (plants.variant) {
        const std::size_t at = 1 + random.Below(static_cast<uint32_t>(n));
        if (!(plants.text && texts[at].Text.find(options.needle) != std::u16string::npos))
          texts[at].Text = random.PerMille(500) ? lowerNeedle : wideNeedle;
        else
          plants.variant = false;
      }
    }
    if (plants.decoyDimension) builder.AddDimension(drawing.Data, 42000, options.needle, 3, 0);

    // Some newer drawings embed an image (stored gzip-compressed).
    if (version == 700 && random.PerMille(60)) {
      dorvan::EmbeddedImage image;
      image.Name = u"^@BM画像" + dorvan::Utf8ToUtf16(std::to_string(i)) + u".bmp.gz";
      image.Bytes.resize(48 * 1024);
      for (std::size_t b = 0; b < image.Bytes.size(); ++b) image.Bytes[b] = static_cast<uint8_t>((b / 3) % 251 + random.Below(3));
      drawing.Data.Images.push_back(std::move(image));
      ++totals.withImages;
    }

    const std::string bytes = dorvan::testing::WriteDrawing(drawing, form);
    std::filesystem::create_directories(folder, error);
    if (!WriteFile(path, bytes)) {
      std::cerr << "dorvan_corpus: cannot write " << path << "\n";
      return 1;
    }
    if (options.verify) {
      JwwDrawing& read = verifier.CurrentDrawing();
      dorvan::ClearDrawing(read);
      const int32_t result = verifier.ReadWholeDrawingFromBytes(bytes, read);
      bool same = result == 0 && verifier.BytesConsumed() == bytes.size() && read.Data.Texts.size() == texts.size() &&
                  read.Data.BlockDefinitions.size() == blocks.size() && read.Header.Memo == header.Memo;
      for (std::size_t t = 1; same && t < texts.size(); ++t) same = read.Data.Texts[t].Text == texts[t].Text;
      if (!same) {
        std::cerr << "dorvan_corpus: " << path << " does not read back (result " << result << ")\n";
        return 1;
      }
    }

    ++totals.drawings;
    totals.utf16 += form == StringForm::Utf16;
    totals.bytes += bytes.size();
    if (bytes.size() > totals.largest) {
      totals.secondLargest = totals.largest;
      totals.secondLargestPath = totals.largestPath;
      totals.largest = bytes.size();
      totals.largestPath = path.string();
    } else if (bytes.size() > totals.secondLargest) {
      totals.secondLargest = bytes.size();
      totals.secondLargestPath = path.string();
    }
    const bool inHalf = project < kProjects / 2;
    totals.halfDrawings += inHalf;
    if (inHalf && bytes.size() > totals.halfLargest) totals.halfLargest = bytes.size();
    if (plants.InDataRange()) {
      ++totals.data;
      totals.halfData += inHalf;
    }
    if (plants.InMemoRange()) {
      ++totals.memo;
      totals.halfMemo += inHalf;
    }
    totals.ripgrep += ContainsAtCharacterBoundary(bytes, *needleBytes);
    totals.textPlants += plants.text;
    totals.blockPlants += plants.blockText;
    totals.variantPlants += plants.variant;
    totals.memoPlants += plants.memo;
    totals.memoBreakPlants += plants.memoAcrossBreak;
    totals.decoys += plants.decoyDimension + plants.decoyLayer + plants.decoyBlockName;
    if ((i + 1) % 200 == 0) std::cerr << "dorvan_corpus: " << (i + 1) << " / " << plan.size() << " drawings\n";
  }

  std::string halfFolders;
  for (int p = 0; p < kProjects / 2; ++p) halfFolders += (p ? "," : "") + projectFolders[static_cast<std::size_t>(p)];
  std::ostringstream info;
  info << "generator=" << kGeneratorRevision << "\n"
       << "seed=" << options.seed << "\n"
       << "megabytes=" << options.megabytes << "\n"
       << "requested_drawings=" << options.drawings << "\n"
       << "needle=" << dorvan::Utf16ToUtf8(options.needle) << "\n"
       << "tree=" << tree.string() << "\n"
       << "drawings=" << totals.drawings << "\n"
       << "utf16_drawings=" << totals.utf16 << "\n"
       << "drawings_with_images=" << totals.withImages << "\n"
       << "bytes=" << totals.bytes << "\n"
       << "largest_bytes=" << totals.largest << "\n"
       << "largest=" << totals.largestPath << "\n"
       << "two_largest=" << totals.largestPath << "," << totals.secondLargestPath << "\n"
       << "expected_data=" << totals.data << "\n"
       << "expected_memo=" << totals.memo << "\n"
       << "expected_ripgrep=" << totals.ripgrep << "\n"
       << "half_folders=" << halfFolders << "\n"
       << "half_drawings=" << totals.halfDrawings << "\n"
       << "half_largest_bytes=" << totals.halfLargest << "\n"
       << "half_expected_data=" << totals.halfData << "\n"
       << "half_expected_memo=" << totals.halfMemo << "\n"
       << "planted_text=" << totals.textPlants << "\n"
       << "planted_block_text=" << totals.blockPlants << "\n"
       << "planted_variant=" << totals.variantPlants << "\n"
       << "planted_memo=" << totals.memoPlants << "\n"
       << "planted_memo_across_break=" << totals.memoBreakPlants << "\n"
       << "planted_decoys=" << totals.decoys << "\n";
  // Written last and renamed into place: its presence marks a finished corpus.
  const std::filesystem::path infoPath = root / "info.txt";
  if (!WriteFile(root / "info.txt.part", info.str())) return 1;
  std::filesystem::rename(root / "info.txt.part", infoPath, error);
  if (error) return 1;
  std::cout << info.str();
  return 0;
}
