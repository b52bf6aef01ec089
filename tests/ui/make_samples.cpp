// Writes the sample drawings of samples/ (the first run and the screenshot use them):
// small drawings with Japanese texts, a memo, named layers and a block, in three versions.
//
//   dorvan_make_samples SAMPLES_FOLDER
#include <cstdio>
#include <string>

#include "tests/support/drawing_writer.h"

using dorvan::testing::BlockSpec;
using dorvan::testing::DrawingSpec;

namespace {

DrawingSpec Plan() {
  DrawingSpec spec;
  spec.version = 600;
  spec.memo = u"１階平面図　縮尺1/100";
  spec.drawingSize = 2;  // A2
  spec.printLineWidthBase = 10;
  spec.lines = 12;
  spec.layerGroupNames[0] = u"平面";
  spec.layerNames[0][0] = u"通り芯";
  spec.layerNames[0][1] = u"壁";
  spec.layerNames[0][2] = u"建具";
  spec.texts = {u"１階平面図", u"図面番号 A-101", u"縮尺 1:100", u"玄関", u"居間・食堂", u"和室"};
  spec.blocks.push_back(BlockSpec{u"窓W1", {u"W1", u"アルミサッシ"}});
  return spec;
}

DrawingSpec Section() {
  DrawingSpec spec;
  spec.version = 420;
  spec.memo = u"A-A断面図";
  spec.drawingSize = 3;  // A3
  spec.printLineWidthBase = 20;
  spec.lines = 8;
  spec.layerGroupNames[0] = u"断面";
  spec.layerNames[0][0] = u"躯体";
  spec.texts = {u"A-A断面図", u"図面番号 A-201", u"最高高さ GL+7,500"};
  return spec;
}

DrawingSpec Detail() {
  DrawingSpec spec;
  spec.version = 700;
  spec.memo = u"階段詳細";
  spec.drawingSize = 3;
  spec.lines = 20;
  spec.layerGroupNames[0] = u"詳細";
  spec.layerNames[0][0] = u"手摺";
  spec.texts = {u"階段詳細図", u"図面番号 A-501", u"ＳＵＳ手摺 φ34"};
  spec.blocks.push_back(BlockSpec{u"手摺金物", {u"ブラケット"}});
  return spec;
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
    DrawingSpec spec;
  } samples[] = {{"plan.jww", Plan()}, {"section.jww", Section()}, {"stair_detail.jww", Detail()}};
  for (const auto& sample : samples) {
    const std::string path = folder + "/" + sample.name;
    if (!dorvan::testing::WriteDrawingFile(path, sample.spec)) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
