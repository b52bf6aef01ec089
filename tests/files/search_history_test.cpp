// The search history: its ten-item rules and the settings file that keeps it.
#include "files/search_history.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace dorvan {
namespace {

using testing::TempFolder;
using History = std::vector<std::u16string>;

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

History Numbered(int count) {
  History items;
  for (int i = 0; i < count; ++i) items.push_back(u"t" + std::u16string(1, static_cast<char16_t>(u'a' + i)));
  return items;
}

TEST(AddData, MovesAnExistingTextToTheTop) {
  History items = Numbered(8);  // ta .. th
  EXPECT_EQ(Add_Data(items, u"tf"), 0);
  EXPECT_EQ(items, (History{u"tf", u"ta", u"tb", u"tc", u"td", u"te", u"tg", u"th"}));
  Add_Data(items, u"TF");  // case-sensitive: another item
  EXPECT_EQ(items.size(), 9u);
  EXPECT_EQ(items[0], u"TF");
}

TEST(AddData, EmptyTextChangesNothing) {
  History items = Numbered(3);
  EXPECT_EQ(Add_Data(items, u""), -1);
  EXPECT_EQ(items, Numbered(3));
}

TEST(AddData, OnlyTheFirstTenAreExaminedAndTheIndexMovesOn) {
  History items = Numbered(12);  // items 10 and 11 lie beyond the examined ten
  items[11] = u"x";
  Add_Data(items, u"x");
  EXPECT_EQ(items.size(), 13u);
  EXPECT_EQ(items[0], u"x");
  EXPECT_EQ(items[12], u"x");

  // Two equal neighbours: the second moves up into the freed position and is not examined.
  History twins{u"a", u"a", u"b"};
  Add_Data(twins, u"a");
  EXPECT_EQ(twins, (History{u"a", u"a", u"b"}));
}

TEST(SettingsFile, MissingFileGivesAnEmptyHistory) {
  TempFolder folder;
  History items;
  EXPECT_FALSE(Load_data(items, folder / "dorvan.dat"));
  EXPECT_TRUE(items.empty());
}

TEST(SettingsFile, ReadsAtMostTenLinesInFileOrder) {
  TempFolder folder;
  std::string content;
  for (int i = 1; i <= 15; ++i) content += "line" + std::to_string(i) + "\r\n";
  History items;
  EXPECT_TRUE(Load_data(items, folder.Write("dorvan.dat", content)));
  ASSERT_EQ(items.size(), 10u);
  EXPECT_EQ(items.front(), u"line1");
  EXPECT_EQ(items.back(), u"line10");
}

TEST(SettingsFile, LineEndsBlankLinesAndAMissingLastEnd) {
  TempFolder folder;
  History items;
  Load_data(items, folder.Write("dorvan.dat", "a\r\n\r\nb\nc\rd"));
  EXPECT_EQ(items, (History{u"a", u"", u"b", u"c", u"d"}));
  items.clear();
  Load_data(items, folder.Write("empty.dat", ""));
  EXPECT_TRUE(items.empty());
}

TEST(SettingsFile, WritesTenLinesInShiftJis) {
  TempFolder folder;
  const std::string file = folder / "dorvan.dat";
  History items = Numbered(12);
  items[0] = u"図面";
  ASSERT_TRUE(Save_data(items, file));
  const std::string bytes = ReadBytes(file);
  EXPECT_TRUE(bytes.starts_with("\x90\x7D\x96\xCA\r\ntb\r\n"));  // 図面 in Shift-JIS
  EXPECT_TRUE(bytes.ends_with("tj\r\n"));
  History loaded;
  Load_data(loaded, file);
  EXPECT_EQ(loaded, History(items.begin(), items.begin() + 10));

  ASSERT_TRUE(Save_data({}, file));
  EXPECT_EQ(ReadBytes(file), "");
}

TEST(SettingsFile, ATextWithoutShiftJisFormMakesTheFileUtf8) {
  TempFolder folder;
  const std::string file = folder / "dorvan.dat";
  const History items{u"図面", u"Ærø 😀", u"abc"};
  ASSERT_TRUE(Save_data(items, file));
  EXPECT_EQ(ReadBytes(file), "\xEF\xBB\xBF図面\r\nÆrø 😀\r\nabc\r\n");
  History loaded;
  Load_data(loaded, file);
  EXPECT_EQ(loaded, items);
}

TEST(SettingsFile, AUtf8FileKeepsTenLinesToo) {
  TempFolder folder;
  const std::string file = folder / "dorvan.dat";
  History items = Numbered(12);
  items[0] = u"😀";
  ASSERT_TRUE(Save_data(items, file));
  EXPECT_EQ(ReadBytes(file), "\xEF\xBB\xBF😀\r\ntb\r\ntc\r\ntd\r\nte\r\ntf\r\ntg\r\nth\r\nti\r\ntj\r\n");
}

TEST(SettingsFile, ReadsAnExistingShiftJisFile) {
  TempFolder folder;
  History items;
  // ｱ (half-width katakana) and ソ (whose second byte is a backslash) as older files hold them.
  Load_data(items, folder.Write("dorvan.dat", "\xB1\r\n\x83\x5C\r\n"));
  EXPECT_EQ(items, (History{u"ｱ", u"ソ"}));
}

TEST(SettingsFile, AFailedSaveLeavesThePreviousFile) {
  if (!testing::PermissionsAreEnforced()) GTEST_SKIP() << "running as root: a read-only folder is writable";
  TempFolder folder;
  const std::string file = folder.Write("dorvan.dat", "old\r\n");
  ASSERT_EQ(chmod(folder.path().c_str(), 0555), 0);
  EXPECT_FALSE(Save_data({u"new"}, file));
  chmod(folder.path().c_str(), 0755);
  EXPECT_EQ(ReadBytes(file), "old\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1)
      << "no temporary file is left behind";
}

TEST(SettingsFile, SaveKeepsPermissionsAndLinks) {
  TempFolder folder;
  const std::string real = folder.Write("real.dat", "old\r\n");
  ASSERT_EQ(chmod(real.c_str(), 0640), 0);
  const std::string link = folder / "dorvan.dat";
  std::filesystem::create_symlink(real, link);
  ASSERT_TRUE(Save_data({u"new"}, link));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadBytes(real), "new\r\n");
  struct stat info;
  ASSERT_EQ(stat(real.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
}

}  // namespace
}  // namespace dorvan
