#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "storage/files.h"
#include "storage/log.h"
#include "tests/support/test_support.h"

namespace {

const std::regex kStampedLine(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d  .*)");

class LogTest : public ::testing::Test {
 protected:
  TempDir dir;
  ScopedEnv env{L"CAIRN_DATA_DIR", dir.path()};
  std::wstring log = dir.file(L"cairn.log");
  std::wstring previous = dir.file(L"cairn.log.1");
};

TEST_F(LogTest, FirstLineCreatesTheFileWithStampAndCrLf) {
  EXPECT_EQ(logPath(), log);
  logLineW(L"game folder: D:\\Gry\\\u0141\u00f3d\u017a");
  const std::string text = readFileText(log);
  ASSERT_GE(text.size(), 21u);
  EXPECT_TRUE(std::regex_match(text.substr(0, text.size() - 2), kStampedLine)) << text;
  EXPECT_EQ(text.substr(19), "  game folder: D:\\Gry\\\xc5\x81\xc3\xb3\x64\xc5\xba\r\n");
}

TEST_F(LogTest, MessagesAreWrittenAsTheyAre) {
  logLine("first\r\nsecond");
  logLine("");
  const std::string text = readFileText(log);
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(\d{4}-.{14}  first\r)")));
  EXPECT_EQ(lines[1], "second\r");
  EXPECT_EQ(lines[2].size(), 19u + 2u + 1u);  // stamp, two spaces, CR
  EXPECT_EQ(lines[2].substr(19), "  \r");
}

TEST_F(LogTest, RotatesOnlyPastOneMebibyte) {
  ASSERT_TRUE(writeWholeFile(log, std::string(1048576, 'a')));
  ASSERT_TRUE(writeWholeFile(previous, "older generation"));
  logLine("at the limit");
  EXPECT_EQ(readFileText(previous), "older generation");
  const std::string grown = readFileText(log);
  EXPECT_GT(grown.size(), 1048576u);  // may pass the limit by one line

  logLine("past the limit");
  EXPECT_EQ(readFileText(previous), grown);
  const std::string fresh = readFileText(log);
  EXPECT_EQ(fresh.substr(19), "  past the limit\r\n");
}

// Lines that could not be written are counted, and the first line that can
// be says how many went.
TEST_F(LogTest, UnwritableDataFolderLosesTheLinesAndTheNextLineCountsThem) {
  ASSERT_TRUE(writeWholeFile(dir.file(L"blocker"), "a file where a folder should be"));
  {
    ScopedEnv blocked(L"CAIRN_DATA_DIR", dir.file(L"blocker\\data"));
    logLine("nowhere to go");
    logLine("nor here");
    EXPECT_FALSE(fileExists(dir.file(L"blocker\\data\\cairn.log")));
  }
  logLine("back");
  logLine("and on");
  EXPECT_EQ(logMessages(readFileText(log)),
            (std::vector<std::string>{"2 log line(s) could not be written before this one", "back",
                                      "and on"}));
}

TEST_F(LogTest, ThreadsNeverInterleave) {
  constexpr int kThreads = 4;
  constexpr int kLinesEach = 150;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      const std::string body(200, static_cast<char>('a' + t));
      for (int i = 0; i < kLinesEach; ++i) logLine(body);
    });
  }
  for (std::thread& t : threads) t.join();
  std::istringstream in(readFileText(log));
  int count = 0;
  for (std::string l; std::getline(in, l); ++count) {
    ASSERT_EQ(l.size(), 19u + 2u + 200u + 1u) << "line " << count;
    EXPECT_EQ(l.find_first_not_of(l[21], 21), l.size() - 1) << "line " << count;
  }
  EXPECT_EQ(count, kThreads * kLinesEach);
}

}  // namespace
