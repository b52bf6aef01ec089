// dorvan-render's arguments, and the built program run on drawings written by the test writer.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/render/render_options.h"
#include "tests/support/drawing_writer.h"
#include "tests/support/temp_folder.h"

namespace dorvan {
namespace {

TEST(RenderOptions, AcceptsSizeAndTwoNamesAndRefusesTheRest) {
  struct Case {
    std::vector<std::string> arguments;
    bool accepted;
    int size;
  } cases[] = {
      {{"a.jww", "a.png"}, true, 1024},
      {{"-s", "256", "a.jww", "a.png"}, true, 256},
      {{"a.jww", "--size", "64", "a.png"}, true, 64},
      {{"--", "-a.jww", "a.png"}, true, 1024},
      {{"--sheet", "a.jww", "a.dxf"}, true, 1024},
      {{"-s", "0", "a.jww", "a.png"}, false, 0},
      {{"-s", "12x", "a.jww", "a.png"}, false, 0},
      {{"-s", "99999", "a.jww", "a.png"}, false, 0},
      {{"a.jww", "a.png", "-s"}, false, 0},
      {{"-x", "a.jww", "a.png"}, false, 0},
      {{"a.jww"}, false, 0},
      {{"a.jww", "b.png", "c.png"}, false, 0},
  };
  for (const Case& c : cases) {
    const cli::RenderOptions options = cli::ParseRenderOptions(c.arguments);
    SCOPED_TRACE(c.arguments.front());
    EXPECT_EQ(options.error.empty(), c.accepted) << options.error;
    if (c.accepted) {
      EXPECT_EQ(options.longerSide, c.size);
    }
  }
}

#ifdef DORVAN_RENDER_PROGRAM
int RunRender(const std::string& arguments) {
  const int status = std::system((std::string(DORVAN_RENDER_PROGRAM) + " " + arguments + " 2>/dev/null").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Head(const std::string& path, std::size_t bytes) {
  std::ifstream in(path, std::ios::binary);
  std::string head(bytes, '\0');
  in.read(head.data(), static_cast<std::streamsize>(bytes));
  head.resize(static_cast<std::size_t>(in.gcount()));
  return head;
}

class RenderProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::DrawingRecipe recipe;
    recipe.lines = 3;
    recipe.texts = {u"図面番号"};
    ASSERT_TRUE(testing::WriteDrawingFile(folder / "plan.jww", recipe));
    ASSERT_TRUE(testing::WriteBytesFile(folder / "broken.jww", "JwwData. but nothing more"));
  }
  // The files of the folder other than the two drawings.
  std::vector<std::string> Written() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
      const std::string name = entry.path().filename().string();
      if (name != "plan.jww" && name != "broken.jww") names.push_back(name);
    }
    return names;
  }
  testing::TempFolder folder;
};

TEST_F(RenderProgram, WritesAllThreeFormats) {
  struct Case {
    const char* name;
    std::string signature;
  } cases[] = {{"plan.png", "\x89PNG"},
               {"plan.SVG", "<?xml"},
               {"plan.pdf", "%PDF"},
               {"plan.DXF", "999\ndorvan\n  0\nSECTION"},
               {"\x90\x7d\x96\xca.png", "\x89PNG"}};  // a Shift-JIS name, not UTF-8
  for (const Case& c : cases) {
    EXPECT_EQ(RunRender("-s 128 " + folder / "plan.jww" + " '" + folder / c.name + "'"), 0) << c.name;
    EXPECT_EQ(Head(folder / c.name, c.signature.size()), c.signature) << c.name;
  }
  EXPECT_EQ(Written().size(), 5u);  // and no temporary files beside them
}

// An SVG declares the drawing's size in millimetres, as the PDF does, not its pixels.
TEST_F(RenderProgram, SvgDeclaresTheSheetSizeWhateverItsPixels) {
  std::vector<std::string> declared;
  for (const char* size : {"128", "2048"}) {
    const std::string svg = folder / (std::string("plan-") + size + ".svg");
    ASSERT_EQ(RunRender(std::string("-s ") + size + " " + folder / "plan.jww" + " " + svg), 0);
    const std::string head = Head(svg, 2048);
    const std::size_t at = head.find(" width=\"");
    ASSERT_NE(at, std::string::npos);
    declared.push_back(head.substr(at, head.find("mm\"", head.find("height=", at)) - at));
  }
  EXPECT_EQ(declared[0], declared[1]);
}

TEST_F(RenderProgram, FailureLeavesNoFile) {
  struct Case {
    std::string arguments;
    int exitStatus;
  } cases[] = {
      {folder / "broken.jww" + " " + folder / "out.png", 1},
      {folder / "missing.jww" + " " + folder / "out.png", 1},
      {folder / "plan.jww" + " " + folder / "no-such-folder/out.png", 1},
      {folder / "plan.jww" + " " + folder / "out.bmp", 2},
      {"-s -4 " + folder / "plan.jww" + " " + folder / "out.png", 2},
  };
  for (const Case& c : cases) EXPECT_EQ(RunRender(c.arguments), c.exitStatus) << c.arguments;
  EXPECT_TRUE(Written().empty());
}
#endif

}  // namespace
}  // namespace dorvan
