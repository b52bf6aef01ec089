// The renderer on drawings built in a few lines: where ink lands, what is left out, how a
// whole drawing is framed.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QXmlStreamReader>
#include <cmath>
#include <filesystem>

#include "reader/jww_reader.h"
#include "render/drawing_painter.h"
#include "render/drawing_walk.h"
#include "render/framing.h"
#include "render/pen_style.h"
#include "render/picture_export.h"
#include "render/text_layout.h"
#include "tests/support/drawing_writer.h"
#include "tests/support/real_drawings.h"
#include "tests/support/temp_folder.h"

namespace dorvan::render {
namespace {

using testing::AddEntity;

LineEntity MakeLine(double x1, double y1, double x2, double y2, int16_t layerGroup = 0, int16_t layer = 0) {
  LineEntity line;
  line.Base.PenStyle = 1;
  line.Base.PenColour = 2;
  line.Base.LayerGroup = layerGroup;
  line.Base.Layer = layer;
  line.StartX = x1;
  line.StartY = y1;
  line.EndX = x2;
  line.EndY = y2;
  return line;
}

JwwDrawing EmptyDrawing() { return testing::ToDrawing({}); }

// Adds a block definition numbered `number` whose entities `fill` adds.
template <typename Fill>
void AddBlock(JwwDrawing& drawing, int32_t number, Fill fill) {
  BlockDefinition block;
  block.Number = number;
  fill(block.Data);
  drawing.Data.BlockDefinitions.push_back(std::move(block));
  auto& index = drawing.Data.BlockIndexByNumber;
  if (static_cast<std::size_t>(number) >= index.size()) index.resize(number + 1, 0);
  index[number] = static_cast<int32_t>(drawing.Data.BlockDefinitions.size() - 1);
}

BlockInsertEntity MakeInsert(int32_t number, double x, double y, double scale = 1, double rotation = 0) {
  BlockInsertEntity insert;
  insert.Number = number;
  insert.X = x;
  insert.Y = y;
  insert.ScaleX = insert.ScaleY = scale;
  insert.Rotation = rotation;
  return insert;
}

bool Inked(const QImage& image, int x, int y) { return image.pixelColor(x, y) != QColor(Qt::white); }

int InkCount(const QImage& image) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) count += Inked(image, x, y) ? 1 : 0;
  return count;
}

void ExpectRect(const std::optional<QRectF>& box, double left, double bottom, double right, double top) {
  ASSERT_TRUE(box.has_value());
  EXPECT_NEAR(box->left(), left, 1e-9);
  EXPECT_NEAR(box->top(), bottom, 1e-9);  // y up: the rectangle's top is the smallest y
  EXPECT_NEAR(box->right(), right, 1e-9);
  EXPECT_NEAR(box->bottom(), top, 1e-9);
}

// Sheet (0,0)-(100,50) framed with 2 mm margins into 104 x 54 pixels: one pixel a
// millimetre, a sheet y of 50 at row 2, of 0 at row 52.
TEST(Renderer, HorizontalLineLandsOnItsPixelRow) {
  JwwDrawing drawing = EmptyDrawing();
  AddEntity(drawing.Data, MakeLine(0, 0, 0, 50));  // with the next one, frames the sheet
  AddEntity(drawing.Data, MakeLine(0, 20, 100, 20));
  const QImage picture = RenderPicture(drawing, 104);
  ASSERT_EQ(picture.size(), QSize(104, 54));
  // Row 52 - 20 = 32; antialiasing may spread the line over the rows beside it.
  EXPECT_TRUE(Inked(picture, 80, 32) || Inked(picture, 80, 31));
  for (int y = 0; y < picture.height(); ++y) {
    if (y < 30 || y > 33) {
      EXPECT_FALSE(Inked(picture, 80, y)) << "row " << y;
    }
  }
}

TEST(Renderer, HiddenLayerAndLayerGroupLeaveNoInk) {
  JwwDrawing drawing = EmptyDrawing();
  AddEntity(drawing.Data, MakeLine(0, 0, 0, 50));
  AddEntity(drawing.Data, MakeLine(0, 0, 100, 0));
  AddEntity(drawing.Data, MakeLine(0, 40, 100, 40, 1, 0));  // group 1, row 12
  AddEntity(drawing.Data, MakeLine(0, 25, 100, 25, 0, 3));  // layer 3 of group 0, row 27
  const QImage shown = RenderPicture(drawing, 104);
  EXPECT_TRUE(Inked(shown, 52, 12) || Inked(shown, 52, 11));
  EXPECT_TRUE(Inked(shown, 52, 27) || Inked(shown, 52, 26));

  drawing.Header.Groups[1].State = 0;
  drawing.Header.Groups[0].LayerState[3] = 0;
  const QImage hidden = RenderPicture(drawing, 104);
  ASSERT_EQ(hidden.size(), shown.size());
  for (int y = 0; y < 50; ++y) EXPECT_FALSE(Inked(hidden, 52, y)) << "row " << y;
}

TEST(Renderer, BlockInsertIsPlacedByItsTransformAndShownByItsLayer) {
  JwwDrawing drawing = EmptyDrawing();
  AddBlock(drawing, 4, [](EntityLists& lists) { AddEntity(lists, MakeLine(0, 0, 10, 0, 5, 5)); });
  // Rotated a quarter turn and doubled: (0,0)-(10,0) becomes (50,50)-(50,70).
  AddEntity(drawing.Data, MakeInsert(4, 50, 50, 2, M_PI / 2));
  drawing.Header.Groups[5].State = 0;  // the definition's own layer does not hide it
  const std::optional<QRectF> box = DrawnExtents(drawing);
  ASSERT_TRUE(box.has_value());
  EXPECT_NEAR(box->left(), 50, 1e-9);
  EXPECT_NEAR(box->right(), 50, 1e-9);
  EXPECT_NEAR(box->top(), 50, 1e-9);
  EXPECT_NEAR(box->bottom(), 70, 1e-9);
  EXPECT_GT(InkCount(RenderPicture(drawing, 100)), 50);  // a block as thin as a line is drawn

  drawing.Data.BlockInserts[1].Base.LayerGroup = 5;  // the insert's layer does
  EXPECT_FALSE(DrawnExtents(drawing).has_value());
}

TEST(Renderer, ArcExtentsComeFromTheSweep) {
  struct Case {
    double start, sweep, tilt, flatness;
    double left, bottom, right, top;
  } cases[] = {
      {0, M_PI / 2, 0, 1, 0, 0, 10, 10},                // first quadrant only
      {M_PI / 4, M_PI / 2, 0, 1, -10 * M_SQRT1_2, 10 * M_SQRT1_2, 10 * M_SQRT1_2, 10},  // across the top
      {0, 2 * M_PI, M_PI / 2, 0.5, -5, -10, 5, 10},     // an ellipse stood upright by its tilt
      {-M_PI / 2, M_PI, 0, 1, 0, -10, 10, 10},          // a right half from a negative start
  };
  for (const Case& c : cases) {
    JwwDrawing drawing = EmptyDrawing();
    ArcEntity arc;
    arc.Base.PenColour = 2;
    arc.Radius = 10;
    arc.StartAngle = c.start;
    arc.ArcAngle = c.sweep;
    arc.TiltAngle = c.tilt;
    arc.Flatness = c.flatness;
    AddEntity(drawing.Data, arc);
    SCOPED_TRACE(c.start);
    ExpectRect(DrawnExtents(drawing), c.left, c.bottom, c.right, c.top);
  }
}

// Counts the lines a walk hands out.
class LineCounter final : public ShapeSink {
 public:
  void Line(const EntityBase&, QPointF, QPointF) override { ++lines; }
  void Arc(const EntityBase&, const ArcShape&) override {}
  void Point(const EntityBase&, QPointF, int32_t) override {}
  void Solid(const EntityBase&, const QPointF (&)[4], int32_t) override {}
  void Text(const EntityBase&, const PlacedText&) override {}
  int lines = 0;
};

TEST(Renderer, SelfReferringBlocksAreDrawnOnceAndNotFollowedAgain) {
  JwwDrawing drawing = EmptyDrawing();
  AddBlock(drawing, 1, [](EntityLists& lists) {
    AddEntity(lists, MakeLine(0, 0, 1, 0));
    AddEntity(lists, MakeInsert(1, 5, 5));  // itself
    AddEntity(lists, MakeInsert(2, 0, 0));
  });
  AddBlock(drawing, 2, [](EntityLists& lists) {
    AddEntity(lists, MakeLine(0, 0, 0, 1));
    AddEntity(lists, MakeInsert(1, 0, 0));  // back through another
  });
  AddEntity(drawing.Data, MakeInsert(1, 0, 0));
  LineCounter counter;
  EXPECT_TRUE(WalkDrawing(drawing, counter));
  EXPECT_EQ(counter.lines, 2);
}

TEST(Renderer, ExponentialBlockNestingIsBounded) {
  // Block k inserts block k+1 twice, turned so that no bounds shortcut applies: 2^40 lines.
  JwwDrawing drawing = EmptyDrawing();
  constexpr int kLevels = 40;
  for (int k = 1; k <= kLevels; ++k) {
    AddBlock(drawing, k, [k](EntityLists& lists) {
      AddEntity(lists, MakeLine(0, 0, 1, 0));
      if (k < kLevels) {
        AddEntity(lists, MakeInsert(k + 1, 0, 0, 1, 0.3));
        AddEntity(lists, MakeInsert(k + 1, 1, 0, 1, 0.3));
      }
    });
  }
  AddEntity(drawing.Data, MakeInsert(1, 0, 0, 1, 0.3));
  LineCounter counter;
  WalkDrawing(drawing, counter);
  EXPECT_LE(counter.lines, kMaxShapesPerWalk);
  EXPECT_TRUE(DrawnExtents(drawing).has_value());
}

TEST(Renderer, AbsurdCoordinatesAreSkippedAndDoNotMoveTheFraming) {
  JwwDrawing drawing = EmptyDrawing();
  AddEntity(drawing.Data, MakeLine(0, 0, 10, 10));
  AddEntity(drawing.Data, MakeLine(0, 0, 2e9, 0));
  AddEntity(drawing.Data, MakeLine(NAN, 0, 1, 1));
  AddEntity(drawing.Data, MakeLine(0, INFINITY, 1, 1));
  ArcEntity arc;
  arc.Radius = 1e300;
  AddEntity(drawing.Data, arc);
  AddBlock(drawing, 1, [](EntityLists& lists) { AddEntity(lists, MakeLine(0, 0, 1, 0)); });
  AddEntity(drawing.Data, MakeInsert(1, 0, 0, 1e12));  // scaled far beyond the sheet
  TextEntity far = testing::MakeText(u"ABC");
  far.StartX = far.StartY = 1;
  far.Spacing = 1e9;  // a sound spacing, but the text ends 2e9 away
  AddEntity(drawing.Data, far);
  ExpectRect(DrawnExtents(drawing), 0, 0, 10, 10);
}

TEST(Renderer, ArcWithAHugeStartAngleIsFramedLikeItsAngleWithinOneTurn) {
  ArcShape shape{QPointF(0, 0), QPointF(10, 0), QPointF(0, 10), 1e18, 1};
  const QRectF huge = ArcExtents(shape);
  shape.start = std::remainder(1e18, 2 * M_PI);
  EXPECT_LE(huge.width(), 20);
  JwwDrawing drawing = EmptyDrawing();
  ArcEntity arc;
  arc.Radius = 10;
  arc.Flatness = 1;
  arc.StartAngle = 1e18;
  arc.ArcAngle = 1;
  AddEntity(drawing.Data, arc);
  const QRectF within = ArcExtents(shape);
  ExpectRect(DrawnExtents(drawing), within.left(), within.top(), within.right(), within.bottom());
}

// Counts the characters of the texts a walk hands out.
class CharacterCounter final : public ShapeSink {
 public:
  void Line(const EntityBase&, QPointF, QPointF) override {}
  void Arc(const EntityBase&, const ArcShape&) override {}
  void Point(const EntityBase&, QPointF, int32_t) override {}
  void Solid(const EntityBase&, const QPointF (&)[4], int32_t) override {}
  void Text(const EntityBase&, const PlacedText& placed) override {
    characters += static_cast<int64_t>(placed.text->Text.size());
  }
  int64_t characters = 0;
};

// Block k inserts block k+1 `fanOut` times, turned so that no bounds shortcut applies; the
// last holds `leaf`.
JwwDrawing NestedDrawing(int levels, int fanOut, const TextEntity& leaf) {
  JwwDrawing drawing = EmptyDrawing();
  for (int k = 1; k <= levels; ++k) {
    AddBlock(drawing, k, [&](EntityLists& lists) {
      AddEntity(lists, MakeLine(0, 0, 1, 0));
      if (k == levels) AddEntity(lists, leaf);
      for (int i = 0; k < levels && i < fanOut; ++i) AddEntity(lists, MakeInsert(k + 1, 0.5 * i, 0, 1, 0.3));
    });
  }
  AddEntity(drawing.Data, MakeInsert(1, 0, 0, 1, 0.3));
  return drawing;
}

// 1,000 inserts of a 16,000-character text: 16 million characters.
JwwDrawing LongTextInserted() { return NestedDrawing(2, 1000, testing::MakeText(std::u16string(16000, u'W'))); }

TEST(Renderer, TextCharactersCountAgainstTheWalksBudget) {
  CharacterCounter counter;
  WalkDrawing(LongTextInserted(), counter);
  EXPECT_LE(counter.characters, kMaxShapesPerWalk);
}

TEST(Renderer, ADrawingBeyondTheBudgetGivesAPartialPngAndNoVectorFile) {
  const JwwDrawing drawing = LongTextInserted();
  QImage picture(64, 64, QImage::Format_RGB32);
  picture.fill(Qt::white);
  QPainter painter(&picture);
  EXPECT_EQ(PaintDrawing(painter, drawing, FitFrame(PictureFrame(drawing), QRectF(0, 0, 64, 64))), PaintEnd::CutShort);
  painter.end();
  EXPECT_GT(InkCount(picture), 0);
  const testing::TempFolder folder;
  const struct {
    const char* name;
    PictureFormat format;
    ExportOutcome outcome;
  } cases[] = {{"a.png", PictureFormat::Png, ExportOutcome::Written},
               {"a.svg", PictureFormat::Svg, ExportOutcome::TooLarge},
               {"a.pdf", PictureFormat::Pdf, ExportOutcome::TooLarge}};
  for (const auto& c : cases) {
    EXPECT_EQ(ExportPicture(drawing, folder / c.name, c.format, 256), c.outcome) << c.name;
    EXPECT_EQ(std::filesystem::exists(folder / c.name), c.outcome == ExportOutcome::Written) << c.name;
  }
}

TEST(Renderer, SvgIsWellFormedWhateverTheFileNameAndTexts) {
  JwwDrawing drawing = EmptyDrawing();
  drawing.FileName = "/drawings/平面図&立面図<1>.jww";
  AddEntity(drawing.Data, MakeLine(0, 0, 100, 50));
  TextEntity text = testing::MakeText(u"A\x01" u"B\x1b" + std::u16string(1, char16_t(0xD800)) + u"C");
  text.Width = text.Height = 10;
  AddEntity(drawing.Data, text);
  const QByteArray svg = PictureBytes(drawing, PictureFormat::Svg, 256);
  ASSERT_FALSE(svg.isEmpty());
  QXmlStreamReader xml(svg);
  QString title;
  while (!xml.atEnd()) {
    if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QStringLiteral("title"))
      title = xml.readElementText();
  }
  EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  EXPECT_EQ(title, QStringLiteral("平面図&立面図<1>.jww"));
}

TEST(Renderer, NothingDrawnGivesABlankPictureOfTheSheet) {
  JwwDrawing drawing = EmptyDrawing();
  drawing.Header.DrawingSize = 4;  // A4
  TextEntity setting = testing::MakeText(u"Printer_Orientation = 0");
  setting.StartX = setting.EndX = 0;
  setting.StartY = setting.EndY = -1000;  // as the drawing program stores its settings
  AddEntity(drawing.Data, setting);
  const QImage picture = RenderPicture(drawing, 297);
  EXPECT_EQ(picture.size(), QSize(297, 210));
  EXPECT_EQ(InkCount(picture), 0);
}

TEST(Renderer, TextLengthCountsHalfWidthCharactersAsHalves) {
  // Values of real drawings: start and end point lie this far apart.
  struct Case {
    std::u16string text;
    double width, spacing, length;
  } cases[] = {
      {u"５ｍラインの書き方", 10, 1, 98},
      {u"　敷地線を複線で５ｍ(5000mm)の位置", 10, 1, 186},
      {u"2.800,4.200", 2.5, 0, 13.75},
      {u"ｱｲｳ", 4, 2, 8},
  };
  for (const Case& c : cases) {
    TextEntity text = testing::MakeText(c.text);
    text.Width = c.width;
    text.Spacing = c.spacing;
    EXPECT_DOUBLE_EQ(TextLength(text), c.length);
  }
}

TEST(Renderer, TextsAreFramedByTheirStartAndEndPointsAndDrawn) {
  JwwDrawing drawing = EmptyDrawing();
  TextEntity text = testing::MakeText(u"図面ABC");
  text.StartX = 10;
  text.StartY = 20;
  text.Width = text.Height = 4;
  text.Angle = 90;  // upwards: 2 full and 3 half widths, 14 mm
  AddEntity(drawing.Data, text);
  ExpectRect(DrawnExtents(drawing), 10, 20, 10, 34);
  AddEntity(drawing.Data, MakeLine(0, 20, 0, 34));  // room for the glyphs left of the baseline
  const int withText = InkCount(RenderPicture(drawing, 200));
  drawing.Data.Texts[1].Text.clear();
  EXPECT_GT(withText, InkCount(RenderPicture(drawing, 200)) + 100);
}

TEST(Renderer, GlyphsStretchedFarMoreOneWayThanTheOtherAreDrawnNotCrashedOn) {
  // A turned text of great height and common width: FreeType cannot make its glyphs, and
  // Qt read the bitmap it never made (a crash of the thumbnailer found by the fuzzer).
  JwwDrawing drawing = EmptyDrawing();
  TextEntity text = testing::MakeText(u"7");
  text.Width = 2.5;
  text.Height = 86016;
  text.Angle = -90;
  AddEntity(drawing.Data, text);
  AddEntity(drawing.Data, MakeLine(0, 0, 500, 500));
  EXPECT_GT(InkCount(RenderPicture(drawing, 64)), 0);
}

TEST(Renderer, PenColoursStayVisibleOnWhite) {
  JwwHeader header = EmptyDrawing().Header;
  header.ScreenColour[2] = 0xFFFFFF;  // a dark-background palette's white pen
  header.PrintColour[2] = 0x000000;
  header.ScreenColour[3] = 0x00FFFF;  // yellow on screen and in print
  header.PrintColour[3] = 0x00FFFF;
  header.ScreenColour[6] = 0xFF0000;  // blue
  EXPECT_EQ(PenColourOnWhite(header, 2), QColor(Qt::black));
  EXPECT_EQ(PenColourOnWhite(header, 3), QColor(Qt::black));
  EXPECT_EQ(PenColourOnWhite(header, 6), QColor(0, 0, 255));
  EXPECT_EQ(PenColourOnWhite(header, 102), QColor(255, 0, 0));  // extended "red"
  EXPECT_EQ(PenColourOnWhite(header, 50), QColor(Qt::black));   // no such pen
}

TEST(Renderer, LineTypesFollowTheHeaderPatterns) {
  const JwwHeader header = EmptyDrawing().Header;
  EXPECT_TRUE(DashPattern(header, 1).isEmpty());
  EXPECT_EQ(DashPattern(header, 3), (QList<qreal>{4, 4}));           // 11000011
  EXPECT_EQ(DashPattern(header, 5), (QList<qreal>{2, 2, 10, 2}));   // 1111100110011111: a chain
  EXPECT_TRUE(DashPattern(header, 12).isEmpty());                    // freehand: solid
}

TEST(Renderer, EveryRealDrawingWithGeometryGivesInk) {
  const auto paths = testing::RealDrawingPaths();
  if (paths.empty()) GTEST_SKIP() << "no real drawings";
  for (const std::string& path : paths) {
    JwwReader reader;
    JwwDrawing drawing;
    ASSERT_EQ(reader.ReadWholeDrawing(path, drawing), 0) << path;
    const QImage picture = RenderPicture(drawing, 256);
    EXPECT_EQ(std::max(picture.width(), picture.height()), 256) << path;
    EXPECT_EQ(InkCount(picture) > 0, DrawnExtents(drawing).has_value()) << path;
  }
}

}  // namespace
}  // namespace dorvan::render
