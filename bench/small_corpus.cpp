// dorvan_small_corpus: writes many small drawings for the index benchmark: a header with a
// memo and layer names, a few dozen lines and a handful of texts (room names, sheet
// numbers, notes), 100 drawings a folder. A three-character search text is planted in
// every 1,000th drawing; the count goes to DIR/info.txt with the bytes written.
//
//   dorvan_small_corpus --out DIR --drawings N --needle TEXT
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include "reader/unicode_text.h"
#include "tests/support/drawing_writer.h"

namespace {

constexpr int kDrawingsPerFolder = 100;
constexpr int kPlantEvery = 1000;

std::u16string Number(int value) { return dorvan::Utf8ToUtf16(std::to_string(value)); }

}  // namespace

int main(int argc, char** argv) {
  std::string out;
  int drawings = 0;
  std::u16string needle;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string_view arg = argv[i];
    if (arg == "--out") out = argv[i + 1];
    else if (arg == "--drawings") drawings = std::atoi(argv[i + 1]);
    else if (arg == "--needle") needle = dorvan::Utf8ToUtf16(argv[i + 1]);
  }
  if (out.empty() || drawings <= 0 || needle.empty()) {
    std::cerr << "usage: dorvan_small_corpus --out DIR --drawings N --needle TEXT\n";
    return 2;
  }
  const std::filesystem::path tree = std::filesystem::path(out) / "tree";
  std::error_code error;
  std::filesystem::remove(std::filesystem::path(out) / "info.txt", error);
  std::filesystem::remove_all(tree, error);
  static const std::u16string kRooms[] = {u"会議室", u"事務室", u"倉庫", u"ﾛﾋﾞｰ", u"更衣室", u"機械室", u"廊下"};
  uint64_t bytes = 0;
  int planted = 0;
  for (int i = 0; i < drawings; ++i) {
    const std::filesystem::path folder = tree / ("f" + std::to_string(i / kDrawingsPerFolder));
    if (i % kDrawingsPerFolder == 0) std::filesystem::create_directories(folder);
    dorvan::testing::DrawingRecipe recipe;
    recipe.version = i % 5 == 0 ? 700 : 600;
    recipe.memo = u"小規模図面 " + Number(i);
    recipe.layerGroupNames[0] = u"平面";
    recipe.layerNames[0][0] = u"壁";
    recipe.layerNames[0][1] = u"建具";
    recipe.lines = 20 + i % 40;
    recipe.texts = {u"図番 S-" + Number(i), kRooms[i % 7] + Number(i % 31), u"縮尺 1/100",
                    u"注記：仕上げは別途" + Number(i % 13)};
    if (i % kPlantEvery == kPlantEvery / 2) {
      recipe.texts.push_back(u"ここに" + needle + u"あり");
      ++planted;
    }
    const std::string drawing = dorvan::testing::WriteDrawing(recipe);
    const std::filesystem::path path = folder / ("drawing-" + std::to_string(i) + ".jww");
    std::ofstream file(path, std::ios::binary);
    file.write(drawing.data(), static_cast<std::streamsize>(drawing.size()));
    if (!file) {
      std::cerr << "dorvan_small_corpus: cannot write " << path << "\n";
      return 1;
    }
    bytes += drawing.size();
  }
  std::ofstream info(std::filesystem::path(out) / "info.txt");
  info << "drawings=" << drawings << "\nbytes=" << bytes << "\nexpected=" << planted
       << "\nneedle=" << dorvan::Utf16ToUtf8(needle) << "\ntree=" << tree.string() << "\n";
  return 0;
}
