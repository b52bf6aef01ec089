// Writes the sample drawings of samples/ (the first run and the screenshot use them):
// small drawings with Japanese texts, a memo, named layers and a block, in three versions.
//
//   dorvan_make_samples SAMPLES_FOLDER
#include <cstdio>
#include <string>

#include "tests/support/drawing_writer.h"

using dorvan::testing::BlockRecipe;
using dorvan::testing::DrawingRecipe;

namespace {

DrawingRecipe Plan() {
  DrawingRecipe recipe;
  recipe.version = 600;
  recipe.memo = u"１階平面図　縮尺1/100";
  recipe.drawingSize = 2;  // A2
  recipe.printLineWidthBase = 10;
  recipe.lines = 12;
  recipe.layerGroupNames[0] = u"平面";
  recipe.layerNames[0][0] = u"通り芯";
  recipe.layerNames[0][1] = u"壁";
  recipe.layerNames[0][2] = u"建具";
  recipe.texts = {u"１階平面図", u"図面番号 A-101", u"縮尺 1:100", u"玄関", u"居間・食堂", u"和室"};
  recipe.blocks.push_back(BlockRecipe{u"窓W1", {u"W1", u"アルミサッシ"}});
  return recipe;
}

DrawingRecipe Section() {
  DrawingRecipe recipe;
  recipe.version = 420;
  recipe.memo = u"A-A断面図";
  recipe.drawingSize = 3;  // A3
  recipe.printLineWidthBase = 20;
  recipe.lines = 8;
  recipe.layerGroupNames[0] = u"断面";
  recipe.layerNames[0][0] = u"躯体";
  recipe.texts = {u"A-A断面図", u"図面番号 A-201", u"最高高さ GL+7,500"};
  return recipe;
}

DrawingRecipe Detail() {
  DrawingRecipe recipe;
  recipe.version = 700;
  recipe.memo = u"階段詳細";
  recipe.drawingSize = 3;
  recipe.lines = 20;
  recipe.layerGroupNames[0] = u"詳細";
  recipe.layerNames[0][0] = u"手摺";
  recipe.texts = {u"階段詳細図", u"図面番号 A-501", u"ＳＵＳ手摺 φ34"};
  recipe.blocks.push_back(BlockRecipe{u"手摺金物", {u"ブラケット"}});
  return recipe;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s SAMPLES_FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  const struct {
    const char* name;
    DrawingRecipe recipe;
  } samples[] = {{"plan.jww", Plan()}, {"section.jww", Section()}, {"stair_detail.jww", Detail()}};
  for (const auto& sample : samples) {
    const std::string path = folder + "/" + sample.name;
    if (!dorvan::testing::WriteDrawingFile(path, sample.recipe)) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
