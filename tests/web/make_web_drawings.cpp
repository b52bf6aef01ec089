// Writes the drawings the browser tests search: a plan with a title block (texts apart on
// named layers, a frame of lines on a layer of its own), a section, a drawing whose texts
// are markup and script, one that cannot be read, and a folder of drawings alike for a
// list longer than a window.
//
//   dorvan_make_web_drawings FOLDER
#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/support/drawing_writer.h"

using namespace dorvan;
using namespace dorvan::testing;

namespace {

constexpr int kListDrawings = 40;

void Line(JwwDrawing& drawing, double x0, double y0, double x1, double y1) {
  LineEntity line;
  line.Base.PenColour = 1;
  line.Base.PenWidth = 1;
  line.StartX = x0, line.StartY = y0, line.EndX = x1, line.EndY = y1;
  AddEntity(drawing.Data, line);
}

void Text(JwwDrawing& drawing, std::u16string text, double x, double y, int16_t layer) {
  TextEntity entity = MakeText(std::move(text));
  entity.Base.Layer = layer;
  entity.EndX = x + (entity.EndX - entity.StartX);
  entity.EndY = y;
  entity.StartX = x;
  entity.StartY = y;
  AddEntity(drawing.Data, entity);
}

// A sheet frame of lines on layer 0-0 with a title block in its lower right corner.
JwwDrawing Sheet(const DrawingRecipe& recipe) {
  JwwDrawing drawing = ToDrawing(recipe);
  Line(drawing, 0, 0, 420, 0), Line(drawing, 420, 0, 420, 297), Line(drawing, 420, 297, 0, 297), Line(drawing, 0, 297, 0, 0);
  Line(drawing, 280, 0, 280, 50), Line(drawing, 280, 50, 420, 50);
  return drawing;
}

JwwDrawing Plan() {
  DrawingRecipe recipe;
  recipe.memo = u"１階平面図\n縮尺1/100";
  recipe.drawingSize = 2;
  recipe.layerGroupNames[0] = u"平面";
  recipe.layerNames[0][0] = u"図枠";
  recipe.layerNames[0][1] = u"表題欄";
  recipe.layerNames[0][2] = u"室名";
  JwwDrawing drawing = Sheet(recipe);
  Text(drawing, u"工事名称 さくら邸新築工事", 290, 35, 1);
  Text(drawing, u"図面番号 A-101", 290, 20, 1);
  Text(drawing, u"玄関", 60, 200, 2);
  Text(drawing, u"居間", 200, 120, 2);
  return drawing;
}

JwwDrawing Section() {
  DrawingRecipe recipe;
  recipe.version = 420;
  recipe.memo = u"A-A断面図";
  recipe.drawingSize = 3;
  recipe.layerGroupNames[0] = u"断面";
  recipe.layerNames[0][1] = u"表題欄";
  JwwDrawing drawing = Sheet(recipe);
  Text(drawing, u"工事名称 さくら邸新築工事", 290, 35, 1);
  Text(drawing, u"図面番号 A-201", 290, 20, 1);
  return drawing;
}

// Texts that would run if a page inserted them as markup.
JwwDrawing Markup() {
  DrawingRecipe recipe;
  recipe.memo = u"<b>memo</b><img src=x onerror=\"document.title='memo-ran'\">";
  recipe.layerGroupNames[0] = u"<i>group</i>";
  recipe.layerNames[0][1] = u"<img src=x onerror=\"document.title='layer-ran'\">";
  JwwDrawing drawing = Sheet(recipe);
  Text(drawing, u"さくら邸 <img src=x onerror=\"document.title='text-ran'\">", 40, 250, 1);
  Text(drawing, u"さくら邸 </script><script>document.title='script-ran'</script>", 40, 200, 1);
  return drawing;
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<std::string> folderArgument = DrawingFolderArgument(argc, argv);
  if (!folderArgument) return 2;
  const std::string& folder = *folderArgument;
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(folder) / "現場A", error);
  const struct {
    const char* name;
    JwwDrawing drawing;
  } drawings[] = {{"/現場A/平面図.jww", Plan()}, {"/現場A/断面図.jww", Section()}, {"/markup.jww", Markup()}};
  bool ok = true;
  for (const auto& item : drawings) ok = WriteBytesFile(folder + item.name, WriteDrawing(item.drawing)) && ok;
  // A list longer than a window holds.
  std::filesystem::create_directories(std::filesystem::path(folder) / "一覧", error);
  for (int i = 0; i < kListDrawings; ++i) {
    DrawingRecipe recipe;
    const std::string number = (i < 10 ? "0" : "") + std::to_string(i);
    recipe.texts = {u"一覧図 " + std::u16string(number.begin(), number.end())};
    ok = WriteBytesFile(folder + "/一覧/一覧-" + number + ".jww", WriteDrawing(ToDrawing(recipe))) && ok;
  }
  // A drawing's signature with nothing after it.
  ok = WriteBytesFile(folder + "/現場A/壊れた図面.jww", "JwwData.") && ok;
  if (!ok) std::fprintf(stderr, "cannot write the drawings into %s\n", folder.c_str());
  return ok ? 0 : 1;
}
