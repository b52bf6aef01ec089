// Writes the drawings that once made the renderer hang or run out of memory, for
// bench/render_bench.sh: each small on disk, each a worst case of one kind of work.
//
//   dorvan_hostile_drawings FOLDER
#include <cmath>
#include <cstdio>
#include <string>

#include "tests/support/drawing_writer.h"

using namespace dorvan;
using namespace dorvan::testing;

namespace {

void AddBlock(JwwDrawing& drawing, int32_t number, const EntityLists& data) {
  BlockDefinition block;
  block.Number = number;
  block.Name = u"b" + std::u16string(1, static_cast<char16_t>(u'0' + number % 10));
  block.Data = data;
  drawing.Data.BlockDefinitions.push_back(std::move(block));
  auto& index = drawing.Data.BlockIndexByNumber;
  if (static_cast<std::size_t>(number) >= index.size()) index.resize(static_cast<std::size_t>(number) + 1, 0);
  index[static_cast<std::size_t>(number)] = static_cast<int32_t>(drawing.Data.BlockDefinitions.size() - 1);
}

BlockInsertEntity Insert(int32_t number, double x, double y, double rotation = 0) {
  BlockInsertEntity insert;
  insert.Base.PenColour = 2;
  insert.Number = number;
  insert.X = x;
  insert.Y = y;
  insert.ScaleX = insert.ScaleY = 1;
  insert.Rotation = rotation;
  return insert;
}

// A text of `count` characters whose glyphs stay large enough to be drawn in a thumbnail.
TextEntity LongText(std::size_t count) {
  TextEntity text = MakeText(std::u16string(count, u'W'));
  text.StartX = text.StartY = 0;
  text.Width = 0.02;
  text.Height = 3;
  text.EndX = text.Width * 0.5 * static_cast<double>(count);
  text.EndY = 0;
  return text;
}

LineEntity Line(double x1, double y1, double x2, double y2) {
  LineEntity line;
  line.Base.PenStyle = 1;
  line.Base.PenColour = 2;
  line.StartX = x1;
  line.StartY = y1;
  line.EndX = x2;
  line.EndY = y2;
  return line;
}

// An arc whose start angle no sum of turns can move.
JwwDrawing HugeArcAngle() {
  JwwDrawing drawing = ToDrawing({});
  ArcEntity arc;
  arc.Base.PenColour = 2;
  arc.Radius = 10;
  arc.Flatness = 1;
  arc.StartAngle = 1e18;
  arc.ArcAngle = 1;
  AddEntity(drawing.Data, arc);
  return drawing;
}

// One block holding a 16,000-character text, inserted 1,000 times.
JwwDrawing LongTextInserted() {
  JwwDrawing drawing = ToDrawing({});
  EntityLists block;
  AddEntity(block, LongText(16000));
  AddBlock(drawing, 1, block);
  for (int k = 0; k < 1000; ++k) AddEntity(drawing.Data, Insert(1, 0, -0.01 * k));
  return drawing;
}

// `levels` blocks, each inserting the next `fanOut` times (the last holds `leaf`), turned by
// `rotation` so that no box shortcut applies.
JwwDrawing Nested(int levels, int fanOut, const EntityLists& leaf, double rotation, double step) {
  JwwDrawing drawing = ToDrawing({});
  for (int level = 1; level <= levels; ++level) {
    EntityLists data;
    if (level == levels) {
      data = leaf;
    } else {
      AddEntity(data, Line(0, 0, 1, 0));
      for (int k = 0; k < fanOut; ++k) AddEntity(data, Insert(level + 1, step * k, 0, rotation));
    }
    AddBlock(drawing, level, data);
  }
  AddEntity(drawing.Data, Insert(1, 0, 0, rotation));
  return drawing;
}

// A text whose end lies 1e12 away: its spacing is 1e9.
JwwDrawing FarTextEnd() {
  JwwDrawing drawing = ToDrawing({});
  AddEntity(drawing.Data, Line(0, 0, 100, 100));
  TextEntity text = MakeText(u"ABC");
  text.Spacing = 1e9;
  AddEntity(drawing.Data, text);
  return drawing;
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<std::string> folderArgument = DrawingFolderArgument(argc, argv);
  if (!folderArgument) return 2;
  const std::string& folder = *folderArgument;
  EntityLists textLeaf;
  AddEntity(textLeaf, LongText(200));
  EntityLists lineLeaf;
  AddEntity(lineLeaf, Line(0, 0, 1, 1));
  AddEntity(lineLeaf, MakeText(u"図面"));
  EntityLists solidLeaf;
  SolidEntity solid;
  solid.Base.PenColour = 3;
  solid.Corners = {0, 0, 1, 0, 1, 1, 0, 1};
  AddEntity(solidLeaf, solid);
  EntityLists arcLeaf;
  ArcEntity arc;
  arc.Base.PenColour = 4;
  arc.Radius = 0.6;
  arc.Flatness = 1;
  arc.FullCircle = 1;
  arc.ArcAngle = 2 * M_PI;
  AddEntity(arcLeaf, arc);
  const struct {
    const char* name;
    JwwDrawing drawing;
  } drawings[] = {
      {"huge-arc-angle.jww", HugeArcAngle()},
      {"long-text-1000-inserts.jww", LongTextInserted()},
      {"nested-texts-4x30.jww", Nested(4, 30, textLeaf, 0, 0.001)},
      {"nested-32x10.jww", Nested(32, 10, lineLeaf, 0.3, 0.5)},
      {"rotated-nested-12x3.jww", Nested(12, 3, lineLeaf, 0.3, 2)},
      {"rotated-nested-solids-13x3.jww", Nested(13, 3, solidLeaf, 0.3, 2)},
      {"rotated-nested-circles-13x3.jww", Nested(13, 3, arcLeaf, 0.3, 2)},
      {"far-text-end.jww", FarTextEnd()},
  };
  for (const auto& [name, drawing] : drawings) {
    if (!WriteBytesFile(folder + "/" + name, WriteDrawing(drawing))) {
      std::fprintf(stderr, "cannot write %s/%s\n", folder.c_str(), name);
      return 1;
    }
  }
  std::printf("%zu drawings written to %s\n", std::size(drawings), folder.c_str());
  return 0;
}
