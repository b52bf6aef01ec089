// Paths as byte strings: the text that shows them and the bytes found again behind a name a
// toolkit showed with replacement characters.
#include "files/path_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "reader/unicode_text.h"
#include "tests/support/temp_folder.h"

namespace dorvan {
namespace {

using testing::TempFolder;

const std::string kShiftJisName = "\x90\x7D\x96\xCA.jww";  // 図面.jww in Shift-JIS
const std::string kNeitherName = "x\x81 y.jww";             // a lead byte before a space

TEST(PathDisplayText, EachNameUtf8ElseShiftJisElseReplacement) {
  const struct {
    std::string path;
    std::u16string shown;
  } cases[] = {
      {"/d/plan.jww", u"/d/plan.jww"},
      {"/図面/平面.jww", u"/図面/平面.jww"},
      // A Shift-JIS name inside a UTF-8 folder: each name is decoded on its own.
      {"/ホーム/" + kShiftJisName, u"/ホーム/図面.jww"},
      {"/d/" + kNeitherName, u"/d/x\uFFFD y.jww"},
      {"/d/a\x81", u"/d/a\uFFFD"},  // a lead byte without its second byte
      {"", u""},
      {"/", u"/"},
  };
  for (const auto& c : cases) EXPECT_EQ(PathDisplayText(c.path), c.shown) << c.path;
}

TEST(IsValidUtf8, RejectsOverlongAndSurrogateForms) {
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_TRUE(IsValidUtf8("図面.jww"));
  EXPECT_FALSE(IsValidUtf8(kShiftJisName));
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));      // overlong "/"
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));  // a surrogate
}

TEST(PathsShownAs, FindsTheBytesBehindAReplacedName) {
  TempFolder root;
  const std::string sjis = root.Write("\x83\x74\x83\x48/" + kShiftJisName);  // フォ/図面.jww
  const std::string neither = root.Write(kNeitherName);
  const std::string twin = root.Write("x\x82 y.jww");  // shown like kNeitherName
  const std::string plain = root.Write("平面.jww");
  // The decoder of a toolkit that knows only UTF-8.
  const NameDecoder lossy = [](std::string_view name) { return Utf8ToUtf16(name); };
  auto shownAs = [&](const std::string& path) { return PathsShownAs(Utf8ToUtf16(path), lossy); };

  EXPECT_EQ(shownAs(sjis), std::vector<std::string>{sjis});
  EXPECT_EQ(shownAs(plain), std::vector<std::string>{plain});
  std::vector<std::string> twins = shownAs(neither);
  std::sort(twins.begin(), twins.end());
  EXPECT_EQ(twins, (std::vector<std::string>{neither, twin}));
  EXPECT_TRUE(shownAs(root / "missing.jww").empty());
  EXPECT_TRUE(PathsShownAs(u"relative.jww", lossy).empty());
  EXPECT_EQ(PathsShownAs(u"/", lossy), std::vector<std::string>{"/"});
}

}  // namespace
}  // namespace dorvan
