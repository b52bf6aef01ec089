#include "search/result_report.h"

#include <gtest/gtest.h>

namespace dorvan {
namespace {

// The blanks spelled out: I is U+3000, a plain " " is U+0020.
#define I "\u3000"

TEST(ResultMessage, NothingFoundInEveryRange) {
  const char* expected[] = {
      "【" I "図面" I " 】は、存在しません。もう一度実行しますか？。",
      "ファイルメモ【" I "図面" I " 】は、存在しません。もう一度実行しますか？。",
      "ファイルバージョン【" I "351" I " 】は、存在しません。もう一度実行しますか？。",
      "図面サイズ【" I "A3" I " 】は、存在しません。もう一度実行しますか？。",
      "レイヤグループ名【" I "図面" I " 】は、存在しません。もう一度実行しますか？。",
      "レイヤ名【" I "図面" I " 】は、存在しません。もう一度実行しますか？。",
      "印刷時における既定線色の線幅の基準値【" I "600" I " 】は、存在しません。もう一度実行しますか？。",
      "ブロック名【" I "図面" I " 】は、存在しません。もう一度実行しますか？。",
  };
  const char* values[] = {"図面", "図面", "351", "A3", "図面", "図面", "600", "図面"};
  for (int range = 0; range < 8; ++range) {
    EXPECT_EQ(BuildResultMessage(range, values[range], 0), expected[range]) << range;
    EXPECT_EQ(ResultCode(range, 0), range);
  }
}

TEST(ResultMessage, FoundInEveryRange) {
  const char* expected[] = {
      "【" I "図面" I " 】の存在するファイルを" I " 3 個" I "見つけました 。",
      "メモ欄" I "【" I "図面" I " 】の存在するファイルを" I " 3 個" I "見つけました 。",
      "ファイルバージョン" I "【" I "351" I " 】のファイルを" I " 3 個" I "見つけました 。",
      "図面サイズ" I "【" I "A3" I " 】のファイルを" I " 3 個" I "見つけました 。",
      "レイヤグループ名" I "【" I "図面" I " 】の存在するファイルを" I " 3 個" I "見つけました 。",
      "レイヤ名" I "【" I "図面" I " 】の存在するファイルを" I " 3 個" I "見つけました 。",
      "印刷時における既定線色の線幅の基準値" I "【" I "600" I " 】のファイルを" I " 3 個" I
      "見つけました 。",
      "ブロック名" I "【" I "図面" I " 】の存在するファイルを" I " 3 個" I "見つけました 。",
  };
  const char* values[] = {"図面", "図面", "351", "A3", "図面", "図面", "600", "図面"};
  for (int range = 0; range < 8; ++range) {
    EXPECT_EQ(BuildResultMessage(range, values[range], 3), expected[range]) << range;
    EXPECT_EQ(ResultCode(range, 3), 10 + range);
  }
  EXPECT_EQ(BuildResultMessage(6, "600", 2),
            "印刷時における既定線色の線幅の基準値" I "【" I "600" I " 】のファイルを" I
            " 2 個" I "見つけました 。");
  EXPECT_NE(BuildResultMessage(0, "x", 12345).find(I " 12345 個"), std::string::npos);
}

TEST(ResultMessage, CancelTextHasOneAsciiBlank) {
  EXPECT_EQ(kCancelMessage, "キャンセルされました 。");
}

TEST(ReportValue, QuotesTheRangesValue) {
  SearchRequest request;
  request.ReportText = u"図面";
  request.VersionText = u"351";
  request.SizeText = u"10m";
  request.RequestedDpi = 600;
  EXPECT_EQ(ReportValue(request, 0), "図面");
  EXPECT_EQ(ReportValue(request, 7), "図面");
  EXPECT_EQ(ReportValue(request, 2), "351");
  EXPECT_EQ(ReportValue(request, 3), "10m");
  EXPECT_EQ(ReportValue(request, 6), "600");
}

TEST(MalformedPatternMessage, QuotesReasonAndPosition) {
  const std::string message = MalformedPatternMessage("missing closing parenthesis", 4);
  EXPECT_EQ(message.rfind("正規表現が正しくありません。", 0), 0u);
  EXPECT_NE(message.find("missing closing parenthesis"), std::string::npos);
  EXPECT_NE(message.find("5"), std::string::npos);
}

}  // namespace
}  // namespace dorvan
