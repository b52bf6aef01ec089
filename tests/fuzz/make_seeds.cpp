// Writes the seed drawings of the fuzz targets into the folder given as the argument: small
// drawings of every version and string form, with blocks, every entity kind and images.
#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/support/drawing_writer.h"

using namespace dorvan;
using namespace dorvan::testing;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  int written = 0;
  for (int32_t version : {351, 420, 600, 700}) {
    for (StringForm form : {StringForm::ShiftJis, StringForm::Utf16}) {
      DrawingRecipe recipe;
      recipe.version = version;
      recipe.strings = form;
      recipe.memo = u"メモ";
      recipe.lines = 2;
      recipe.texts = {u"図面番号", u"ｶﾅ"};
      recipe.layerNames[0][1] = u"レイヤ";
      recipe.blocks = {{u"SHEET@@SfigorgFlag@@4", {u"枠"}, 4}, {u"b", {}, 1}};
      recipe.images = {{u"a.bmp.gz", "BMimage"}, {u"b.jpg", "JFIF"}};
      JwwDrawing drawing = ToDrawing(recipe);
      PointEntity point;
      point.Base.PenStyle = 100;
      AddEntity(drawing.Data, point);
      SolidEntity solid;
      solid.Base.PenColour = 10;
      AddEntity(drawing.Data, solid);
      ArcEntity arc;
      AddEntity(drawing.Data, arc);
      DimensionEntity dimension;
      dimension.Label = MakeText(u"1,820");
      AddEntity(drawing.Data, dimension);
      BlockInsertEntity insert;
      insert.Number = 4;
      AddEntity(drawing.Data, insert);
      const std::string name = folder + "/seed-" + std::to_string(version) +
                               (form == StringForm::Utf16 ? "-utf16" : "-sjis") + ".jww";
      if (!WriteBytesFile(name, WriteDrawing(drawing, form))) return 1;
      ++written;
    }
  }
  std::printf("%d seed drawings written to %s\n", written, folder.c_str());
  return 0;
}
