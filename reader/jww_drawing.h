// The in-memory record of one JWW drawing: header, entities, block definitions and
// embedded images. Every array is indexed from 0 and never uses element 0: an empty
// array holds element 0 only, and the items are elements 1 to n. Records compare equal
// field by field.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace dorvan {

// Texts read from a drawing are Unicode, held as UTF-16.
using Text = std::u16string;

// The kinds of entity, numbered as the class tag table numbers them; 0 names no entity.
enum EntityKind : int16_t {
  KindNone = 0,
  KindLine = 1,       // CDataSen
  KindArc = 2,        // CDataEnko
  KindPoint = 3,      // CDataTen
  KindText = 4,       // CDataMoji
  KindSolid = 5,      // CDataSolid
  KindDimension = 6,  // CDataSunpou
  KindBlockInsert = 7 // CDataBlock
};

// The fields every entity record begins with (15 bytes in the file).
struct EntityBase {
  int32_t Group = 0;
  uint8_t PenStyle = 0;   // 100 marks a point with a code
  int16_t PenColour = 0;  // 10 marks a solid with its own RGB colour
  int16_t PenWidth = 0;
  int16_t Layer = 0;
  int16_t LayerGroup = 0;
  int16_t Flags = 0;
  bool operator==(const EntityBase&) const = default;
};

struct LineEntity {
  EntityBase Base;
  double StartX = 0, StartY = 0, EndX = 0, EndY = 0;
  bool operator==(const LineEntity&) const = default;
};

struct ArcEntity {
  EntityBase Base;
  double CentreX = 0, CentreY = 0, Radius = 0, StartAngle = 0, ArcAngle = 0, TiltAngle = 0,
         Flatness = 0;
  int32_t FullCircle = 0;
  bool operator==(const ArcEntity&) const = default;
};

struct PointEntity {
  EntityBase Base;
  double X = 0, Y = 0;
  int32_t Temporary = 0;
  // Present in the file only when Base.PenStyle is 100.
  int32_t Code = 0;
  double Rotation = 0, Scale = 0;
  bool operator==(const PointEntity&) const = default;
};

struct TextEntity {
  EntityBase Base;
  double StartX = 0, StartY = 0, EndX = 0, EndY = 0;
  int32_t TextKind = 0;
  double Width = 0, Height = 0, Spacing = 0, Angle = 0;
  std::u16string FontName;  // spelled out: the member below is named Text
  std::u16string Text;
  bool operator==(const TextEntity&) const = default;
};

struct SolidEntity {
  EntityBase Base;
  std::array<double, 8> Corners{};  // x1, y1, x2, y2, x3, y3, x4, y4
  int32_t Colour = 0;               // present only when Base.PenColour is 10
  bool operator==(const SolidEntity&) const = default;
};

struct DimensionEntity {
  EntityBase Base;
  LineEntity Line;
  TextEntity Label;
  // Present only from version 420 on.
  int16_t SxfMode = 0;
  LineEntity AuxiliaryLine1, AuxiliaryLine2;
  std::array<PointEntity, 4> Points{};
  bool operator==(const DimensionEntity&) const = default;
};

struct BlockInsertEntity {
  EntityBase Base;
  double X = 0, Y = 0, ScaleX = 0, ScaleY = 0, Rotation = 0;
  int32_t Number = 0;  // the block number of the definition it inserts
  bool operator==(const BlockInsertEntity&) const = default;
};

struct EntityOrderItem {
  int16_t Kind = KindNone;
  int32_t Index = 0;  // index into the kind's array
  bool operator==(const EntityOrderItem&) const = default;
};

// One list of entities: the seven arrays and the file order of the objects.
struct EntityLists {
  std::vector<LineEntity> Lines{1};
  std::vector<ArcEntity> Arcs{1};
  std::vector<PointEntity> Points{1};
  std::vector<TextEntity> Texts{1};
  std::vector<SolidEntity> Solids{1};
  std::vector<DimensionEntity> Dimensions{1};
  std::vector<BlockInsertEntity> BlockInserts{1};
  std::vector<EntityOrderItem> EntityOrder{1};
  bool operator==(const EntityLists&) const = default;
};

struct BlockDefinition {
  EntityBase Base;
  int32_t Number = 0;
  int32_t Referenced = 0;
  int32_t TimeStamp = 0;
  Text Name;
  EntityLists Data;  // the block's own entities
  bool operator==(const BlockDefinition&) const = default;
};

struct EmbeddedImage {
  Text Name;                   // as stored, including an ending such as ".gz"
  std::vector<uint8_t> Bytes;  // unpacked contents for a ".gz" name, else as stored
  bool operator==(const EmbeddedImage&) const = default;
};

struct JwwDrawingData : EntityLists {
  std::vector<BlockDefinition> BlockDefinitions{1};
  std::vector<int32_t> BlockIndexByNumber{0};  // block number -> index in BlockDefinitions
  std::vector<EmbeddedImage> Images{1};
  bool operator==(const JwwDrawingData&) const = default;
};

struct LayerGroupSettings {
  int32_t State = 0;
  int32_t WriteLayer = 0;
  double Scale = 1.0;
  int32_t Protection = 0;
  std::array<int32_t, 16> LayerState{};
  std::array<int32_t, 16> LayerProtection{};
  bool operator==(const LayerGroupSettings&) const = default;
};

struct NamedLineType {
  Text Name;
  int32_t SegmentCount = 0;
  std::array<double, 11> Segments{};  // lengths 1 to 10; element 0 unused
  bool operator==(const NamedLineType&) const = default;
};

// Every value of the header, in the widths the file gives them. Fields the system
// never interprets are kept so that reading stays aligned and a copy is complete.
struct JwwHeader {
  std::string Signature = "JwwData.";
  int32_t Version = 600;
  Text Memo;
  int32_t DrawingSize = 1;
  int32_t WriteLayerGroup = 0;
  std::array<LayerGroupSettings, 16> Groups{};
  std::array<int32_t, 14> Reserved1{};
  std::array<int32_t, 5> DimensionSettings{};
  int32_t Reserved2 = 0;
  int32_t MaxLineDrawingWidth = 100;
  double PrintOriginX = 0, PrintOriginY = 0, PrintScale = 1.0;
  int32_t PrintRotation = 0, GridMode = 0;
  double GridMinSpacing = 15.0, GridSpacingX = 5.0, GridSpacingY = 5.0, GridBaseX = 0,
         GridBaseY = 0;
  std::array<std::array<Text, 16>, 16> LayerNames{};  // [group][layer]
  std::array<Text, 16> LayerGroupNames{};
  double ShadowHeight = 1.5, Latitude = 36.0;
  int32_t NineToFifteen = 0;
  double WallShadowHeight = 0.0;
  double SkyMapHeight = 0.0, SkyMapDiameter = 50.0;
  int32_t TwoAndHalfDUnit = 0;
  double ScreenScale = 1.0, ScreenOriginX = 0, ScreenOriginY = 0;
  double RangeScale = 1.0, RangeOriginX = 0, RangeOriginY = 0;
  struct MarkJump {
    double Scale = 1.0, X = 0, Y = 0;
    int32_t LayerGroup = -1;
    bool operator==(const MarkJump&) const = default;
  };
  std::array<MarkJump, 9> MarkJumps{};  // 1 to 8; element 0 unused
  double Further1 = 0, Further2 = 0, Further3 = 0;
  int32_t Further4 = 0;
  double Further5 = 0, Further6 = 0;
  double Further7 = 1.0;
  int32_t Further8 = 1;
  std::array<double, 10> MultiLineSpacings{};
  double MultiLineEndExtension = 0.0;
  // Colour arrays by colour number 0 to 356 (0 to 9 and 100 to 356 used).
  std::array<int32_t, 357> ScreenColour{}, ScreenLineWidth{}, PrintColour{}, PrintLineWidth{};
  std::array<double, 357> PointRadius{};
  std::array<Text, 257> ColourNames{};  // slot k names colour 100 + k
  // Line-type arrays by line type 0 to 62.
  std::array<int32_t, 63> LinePattern{}, LineUnitDots{}, LinePitch{}, LinePrintPitch{};
  std::array<int32_t, 20> RandomScreenAmplitude{}, RandomPrintAmplitude{};
  std::array<int32_t, 16> DrawingFlags{};  // element 10 is the print line-width base
  std::array<double, 9> EyeSettings{};
  int32_t SolidAnyColour = 0, SolidColour = 0;
  std::array<NamedLineType, 33> LineTypeNames{};
  struct TextKindSettings {
    double Width = 0, Height = 0, Spacing = 0;
    int32_t Colour = 0;
    bool operator==(const TextKindSettings&) const = default;
  };
  std::array<TextKindSettings, 11> TextKinds{};  // 1 to 10; element 0 unused
  double CurrentTextWidth = 0, CurrentTextHeight = 0, CurrentTextSpacing = 0;
  int32_t CurrentTextColour = 0, CurrentTextKind = 0;
  double TextArrange1 = 0, TextArrange2 = 0;
  int32_t TextArrange3 = 0;
  std::array<double, 3> TextBaseHorizontal{}, TextBaseVertical{};

  // The eleventh drawing and printing flag: the base value of the print line widths.
  int32_t PrintLineWidthBase() const { return DrawingFlags[10]; }
  bool operator==(const JwwHeader&) const = default;
};

// What one read yields.
struct JwwDrawing {
  std::string FileName;  // the path given to the read
  JwwHeader Header;
  JwwDrawingData Data;
  bool operator==(const JwwDrawing&) const = default;
};

}  // namespace dorvan
