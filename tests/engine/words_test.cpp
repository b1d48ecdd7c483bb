// Every word the program says of a download: one table of failures, the states of the list and
// of the display.
#include "words.h"

#include <gtest/gtest.h>

#include "dlcore.h"

using namespace records;

// Every failure code of the engine's contract has its words in both languages and its advice;
// dlget's words get the server, host and folder; other codes are said by their number.
TEST(FailureWords, OneRowForEveryCodeOfTheContract) {
  for (int code = DL_FAIL_NETWORK; code <= DL_FAIL_PAGE; ++code) {
    const FailureWords* f = FindFailure(code);
    ASSERT_NE(f, nullptr) << code;
    EXPECT_TRUE(*f->chinese && *f->english && *f->advice) << code;
    EXPECT_EQ(FailureText(code), std::string("下载失败：") + f->chinese);
  }
  EXPECT_EQ(FindFailure(404), nullptr);
  EXPECT_EQ(FailureText(404), "下载失败：服务器返回 404");
  EXPECT_EQ(FailureText(2001), "下载失败：错误代码 2001");
  EXPECT_EQ(FailureAdvice(503), "服务器暂时出错，请稍后再试。");
  EXPECT_EQ(FailureAdvice(403), "");
  EXPECT_TRUE(UnreachableServer(DL_FAIL_RESOLVE) && UnreachableServer(DL_FAIL_TIMEOUT));
  EXPECT_FALSE(UnreachableServer(DL_FAIL_DISK_FULL) || UnreachableServer(404));
  EXPECT_EQ(EnglishFailure(DL_FAIL_REFUSED, "[::1]:81", "::1", "/d"), "connection refused by [::1]:81");
  EXPECT_EQ(EnglishFailure(DL_FAIL_RESOLVE, "h:80", "h", "/d"), "cannot resolve host h");
  EXPECT_EQ(EnglishFailure(DL_FAIL_FOLDER, "h:80", "h", "/d/{server}"),
            "the save folder cannot be written: /d/{server}")
      << "a folder's own text is not filled in";
  EXPECT_EQ(EnglishFailure(503, "h:80", "h", "/d"), "the server answered HTTP 503");
}

TEST(StateWords, EveryStateAndVerdictHasItsWord) {
  const ListState states[] = {ListState::kWaiting, ListState::kRunning, ListState::kPaused, ListState::kCompleted,
                              ListState::kFailed};
  const char* const words[] = {"等待", "下载中", "已暂停", "完成", "失败"};
  for (size_t i = 0; i < std::size(states); ++i) EXPECT_STREQ(StateWord(states[i]), words[i]);
  EXPECT_STREQ(VerdictWord(CheckVerdict::kNone), "");
  EXPECT_EQ(CheckFailedWords(3), "校验失败：3 块损坏");
  for (int stat = DL_STATE_CANCELLED; stat <= DL_STATE_STOPPING; ++stat) EXPECT_NE(StateText(stat), nullptr) << stat;
  EXPECT_EQ(StateText(0), nullptr);
  EXPECT_EQ(StateText(7), nullptr);
  EXPECT_FALSE(AnotherServerMayHelp(DL_FAIL_DISK_FULL) || AnotherServerMayHelp(DL_FAIL_BAD_NAME));
  EXPECT_TRUE(AnotherServerMayHelp(404) && AnotherServerMayHelp(DL_FAIL_REFUSED) &&
              AnotherServerMayHelp(DL_FAIL_FOREIGN));
}
