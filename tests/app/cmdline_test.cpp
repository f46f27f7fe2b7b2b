#include <gtest/gtest.h>

#include "app/cmdline.h"
#include "app/messages.h"
#include "app/switches.h"

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

// The first run given wins; none means an ordinary start.
TEST(CommandLine, RunSelectionOrder) {
  struct Case {
    Args a;
    const wchar_t* run;  // null: an ordinary start
  } cases[] = {
      {args({}), nullptr},
      {args({L"--quit", L"--running"}), L"--running"},
      {args({L"--endsession", L"--quit"}), L"--quit"},
      {args({L"--endsession"}), L"--endsession"},
      {args({L"--running", L"--verify-release", L"x"}), L"--verify-release"},
      {args({L"--verify-release", L"--update-check", L"--jsontest"}), L"--jsontest"},
      {args({L"--verify-release", L"f", L"--update-check"}), L"--update-check"},
      {args({L"--Running", L"--open"}), nullptr},
  };
  for (const Case& c : cases) {
    const RunSwitch* run = selectRun(c.a);
    EXPECT_EQ(run ? std::wstring(run->name) : L"", c.run ? c.run : L"") << c.a.size();
  }
}

// What a later start sends, for each mix of switches: --install-update
// before --setup before --settings before --open; --tab only with --open.
TEST(CommandLine, ForwardedMessage) {
  struct Case {
    Args a;
    UINT message;
    WPARAM wParam;
  } cases[] = {
      {args({L"--settings", L"--tab", L"3"}), WM_APP_OPEN, 2},
      {args({L"--open", L"--tab", L"3"}), WM_APP_OPEN, 4},
      {args({L"--open", L"--tab"}), WM_APP_OPEN, 1},  // a missing value reads as 0
      {args({L"--tab", L"3"}), WM_APP_OPEN, 0},
      {args({L"--open"}), WM_APP_OPEN, 0},
      {args({}), WM_APP_OPEN, 0},
      {args({L"--setup", L"--install-update"}), WM_APP_INSTALL, 0},
      {args({L"--setup", L"--step", L"2", L"--open"}), WM_APP_SETUP, 2},
      {args({L"--setup", L"--step"}), WM_APP_SETUP, 0},
      {args({L"--setup"}), WM_APP_SETUP, 0},
      {args({L"--step", L"2"}), WM_APP_OPEN, 0},
      {args({L"--background", L"--open"}), WM_APP_OPEN, 0},
      {args({L"--background", L"--settings"}), WM_APP_OPEN, 2},
      {args({L"--background"}), WM_NULL, 0},  // asks only whether the instance stays
      {args({L"--Open"}), WM_APP_OPEN, 0},
  };
  for (const Case& c : cases) {
    const ForwardedMessage m = forwardedMessageFor(readStartRequest(c.a));
    EXPECT_EQ(m.message, c.message) << c.a.back().c_str();
    EXPECT_EQ(m.wParam, c.wParam) << c.a.back().c_str();
  }
  for (UINT message : {UINT{WM_NULL}, WM_APP_OPEN, WM_APP_SETUP, WM_APP_INSTALL}) {
    EXPECT_TRUE(isStartRequest(message)) << message;
  }
  for (UINT message : {WM_APP_TRAY, WM_APP_STATE, WM_APP_UPDATE, WM_APP_CHECKED, WM_APP_GAME}) {
    EXPECT_FALSE(isStartRequest(message)) << message;
  }
}

}  // namespace
