#include <gtest/gtest.h>

#include "app/cmdline.h"
#include "app/messages.h"

namespace {

Args args(std::initializer_list<const wchar_t*> rest) {
  Args a{L"C:\\Program Files\\Cairnstone\\Cairnstone.exe"};
  for (const wchar_t* r : rest) a.emplace_back(r);
  return a;
}

TEST(CommandLine, SplitsLikeTheShellAndKeepsTheProgram) {
  const Args a = splitCommandLine(L"\"C:\\Program Files\\C.exe\" --tab 3 \"two words\"");
  ASSERT_EQ(a.size(), 4u);
  EXPECT_EQ(a[0], L"C:\\Program Files\\C.exe");
  EXPECT_EQ(a[3], L"two words");
}

TEST(CommandLine, SwitchesMatchExactly) {
  const Args a = args({L"--Open", L"--settings=1", L"--tabx", L"--background"});
  EXPECT_FALSE(commandLineHas(a, L"--open"));
  EXPECT_FALSE(commandLineHas(a, L"--settings"));
  EXPECT_FALSE(commandLineHas(a, L"--tab"));
  EXPECT_FALSE(commandLineHas(a, L"--back"));
  EXPECT_TRUE(commandLineHas(a, L"--background"));
}

TEST(CommandLine, ValuesAndNumbers) {
  EXPECT_EQ(commandLineValue(args({L"--out", L"--tab"}), L"--out"), L"--tab");
  EXPECT_EQ(commandLineValue(args({L"--out"}), L"--out"), L"");
  EXPECT_EQ(commandLineValue(args({L"--out", L"a", L"--out", L"b"}), L"--out"), L"a");
  EXPECT_EQ(commandLineNumber(args({L"--tab", L"12abc"}), L"--tab"), 12);
  EXPECT_EQ(commandLineNumber(args({L"--tab", L"-2"}), L"--tab"), -2);
  EXPECT_EQ(commandLineNumber(args({L"--tab", L"x"}), L"--tab"), 0);
  EXPECT_EQ(commandLineNumber(args({L"--tab"}), L"--tab"), 0);
}

TEST(CommandLine, ModeSelectionOrder) {
  struct Case {
    Args a;
    RunMode mode;
  } cases[] = {
      {args({}), RunMode::Ordinary},
      {args({L"--quit", L"--running"}), RunMode::Running},
      {args({L"--endsession", L"--quit"}), RunMode::Quit},
      {args({L"--endsession"}), RunMode::EndSession},
      {args({L"--running", L"--verify-release", L"x"}), RunMode::Diagnostic},
      {args({L"--Running"}), RunMode::Ordinary},
  };
  for (const Case& c : cases) EXPECT_EQ(selectRunMode(c.a), c.mode);
  EXPECT_EQ(selectDiagnosticJob(args({L"--verify-release", L"--update-check", L"--jsontest"})),
            DiagnosticJob::JsonTest);
  EXPECT_EQ(selectDiagnosticJob(args({L"--verify-release", L"f", L"--update-check"})),
            DiagnosticJob::UpdateCheck);
  EXPECT_EQ(selectDiagnosticJob(args({L"--verify-release", L"f"})), DiagnosticJob::VerifyRelease);
}

TEST(CommandLine, StartRequest) {
  StartRequest r = readStartRequest(args({L"--settings", L"--tab", L"3"}));
  EXPECT_TRUE(r.open);
  EXPECT_EQ(r.tab, 1);
  r = readStartRequest(args({L"--tab", L"3"}));
  EXPECT_FALSE(r.open);
  EXPECT_EQ(r.tab, 3);
  r = readStartRequest(args({L"--open", L"--tab"}));
  EXPECT_EQ(r.tab, 0);  // a missing value reads as 0
  r = readStartRequest(args({L"--open"}));
  EXPECT_EQ(r.tab, -1);
  r = readStartRequest(args({L"--setup", L"--step", L"2"}));
  EXPECT_TRUE(r.setup);
  EXPECT_EQ(r.page, 2);
  EXPECT_EQ(readStartRequest(args({L"--setup"})).page, 0);
}

TEST(CommandLine, ForwardedMessage) {
  struct Case {
    Args a;
    bool posts;
    UINT message;
    WPARAM wParam;
  } cases[] = {
      {args({L"--settings", L"--tab", L"3"}), true, WM_APP_OPEN, 2},
      {args({L"--open", L"--tab", L"3"}), true, WM_APP_OPEN, 4},
      {args({L"--tab", L"3"}), true, WM_APP_OPEN, 0},
      {args({L"--open"}), true, WM_APP_OPEN, 0},
      {args({}), true, WM_APP_OPEN, 0},
      {args({L"--setup", L"--install-update"}), true, WM_APP_INSTALL, 0},
      {args({L"--setup", L"--step", L"2", L"--open"}), true, WM_APP_SETUP, 2},
      {args({L"--background", L"--open"}), true, WM_APP_OPEN, 0},
      {args({L"--background"}), false, 0, 0},
      {args({L"--Open"}), true, WM_APP_OPEN, 0},
  };
  for (const Case& c : cases) {
    ForwardedMessage m;
    const bool posts = forwardedMessageFor(readStartRequest(c.a), m);
    EXPECT_EQ(posts, c.posts) << c.a.back().c_str();
    if (!posts) continue;
    EXPECT_EQ(m.message, c.message);
    EXPECT_EQ(m.wParam, c.wParam);
  }
}

}  // namespace
