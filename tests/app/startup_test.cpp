// End to end: starts the real Cairnstone.exe and watches what it does.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/messages.h"
#include "storage/files.h"
#include "storage/scoped_win.h"
#include "tests/support/test_support.h"

namespace {

constexpr DWORD kStartTimeoutMs = 30000;

HWND runningInstance() { return FindWindowW(kTrayWindowClass, nullptr); }

int countOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(runningInstance(), nullptr) << "an instance is still running"; }

  void TearDown() override {
    if (instance_.started() && instance_.wait(0) == -1) {
      runCairn({L"--quit"});
      if (instance_.wait(kStartTimeoutMs) == -1) instance_.kill();
    }
  }

  long runCairn(const std::vector<std::wstring>& args) { return runToEnd(cairnstoneExe(), args); }

  // Starts a first instance and waits until its window can be found.
  void startInstance() {
    instance_ = Child::start(cairnstoneExe(), {L"--background"});
    ASSERT_TRUE(instance_.started());
    ASSERT_TRUE(waitFor([] { return runningInstance() != nullptr; }, kStartTimeoutMs));
  }

  std::string log() { return readFileText(data_.file(L"cairn.log")); }

  TempDir data_;
  ScopedEnv env_{L"CAIRN_DATA_DIR", data_.path()};
  Child instance_;
};

TEST_F(StartupTest, RunningAndQuit) {
  EXPECT_EQ(runCairn({L"--running"}), 1);
  EXPECT_EQ(runCairn({L"--quit"}), 0);  // nothing to quit is fine
  startInstance();
  EXPECT_EQ(runCairn({L"--running"}), 0);
  EXPECT_EQ(runCairn({L"--quit"}), 0);
  EXPECT_EQ(instance_.wait(kStartTimeoutMs), 0);
  EXPECT_EQ(runCairn({L"--running"}), 1);
  const std::string text = log();
  EXPECT_EQ(countOf(text, "  Cairn 1.3.0 started\r\n"), 1) << text;
  EXPECT_EQ(countOf(text, "  Cairn stopped\r\n"), 1) << text;
  EXPECT_LT(text.find("started"), text.find("stopped"));
}

TEST_F(StartupTest, EndSessionStopsOnceAndEnds) {
  EXPECT_EQ(runCairn({L"--endsession"}), 1);
  startInstance();
  // A session that goes on changes nothing.
  DWORD_PTR answer = 0;
  ASSERT_TRUE(SendMessageTimeoutW(runningInstance(), WM_ENDSESSION, FALSE, 0, SMTO_ABORTIFHUNG,
                                  5000, &answer));
  EXPECT_EQ(runCairn({L"--running"}), 0);
  EXPECT_EQ(runCairn({L"--endsession"}), 0);
  EXPECT_EQ(instance_.wait(kStartTimeoutMs), 0);
  const std::string text = log();
  EXPECT_EQ(countOf(text, "  Windows session ends\r\n"), 1) << text;
  EXPECT_EQ(countOf(text, "  Cairn stopped\r\n"), 1) << text;
  EXPECT_LT(text.find("session ends"), text.find("stopped"));
}

TEST_F(StartupTest, SecondRealStartForwardsAndEnds) {
  startInstance();
  EXPECT_EQ(runCairn({L"--background"}), 0);
  EXPECT_EQ(runCairn({}), 0);
  EXPECT_EQ(instance_.wait(0), -1);  // still running, and only one window
  EXPECT_EQ(countOf(log(), "started"), 1);
}

// Plays the running instance: owns the mutex and a "CairnTrayWnd" window,
// and records the messages a later start posts to it.
class FakeInstance {
 public:
  FakeInstance() : mutex_(CreateMutexW(nullptr, TRUE, kInstanceMutexName)) {}
  ~FakeInstance() {
    window_.destroy();
    if (mutex_.valid()) ReleaseMutex(mutex_);
  }
  bool ownsMutex() const { return mutex_.valid(); }
  void createWindow() { window_.create(); }
  // Every application message waiting for the window, in order.
  std::vector<MSG> posted() { return window_.posted(WM_APP, 0xBFFF); }

 private:
  ScopedHandle mutex_;
  FakeWindow window_{kTrayWindowClass};
};

struct ForwardCase {
  std::vector<std::wstring> args;
  std::vector<std::pair<UINT, WPARAM>> expected;
};

TEST_F(StartupTest, SecondStartPostsExactlyOneMessage) {
  const ForwardCase cases[] = {
      {{L"--settings", L"--tab", L"3"}, {{WM_APP_OPEN, 2}}},
      {{L"--open", L"--tab", L"3"}, {{WM_APP_OPEN, 4}}},
      {{L"--tab", L"3"}, {{WM_APP_OPEN, 0}}},
      {{L"--open", L"--tab"}, {{WM_APP_OPEN, 1}}},
      {{L"--setup", L"--step", L"2"}, {{WM_APP_SETUP, 2}}},
      {{L"--setup", L"--install-update"}, {{WM_APP_INSTALL, 0}}},
      {{L"--background"}, {}},
      {{}, {{WM_APP_OPEN, 0}}},
      {{L"--Running"}, {{WM_APP_OPEN, 0}}},  // switches are case-sensitive
      {{L"--Background", L"--Settings"}, {{WM_APP_OPEN, 0}}},
  };
  FakeInstance fake;
  ASSERT_TRUE(fake.ownsMutex());
  fake.createWindow();
  for (const ForwardCase& c : cases) {
    std::wstring shown;
    for (const std::wstring& a : c.args) shown += a + L" ";
    SCOPED_TRACE(toUtf8(shown));
    ASSERT_EQ(runCairn(c.args), 0);
    const std::vector<MSG> got = fake.posted();
    ASSERT_EQ(got.size(), c.expected.size());
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].message, c.expected[i].first);
      EXPECT_EQ(got[i].wParam, c.expected[i].second);
      EXPECT_EQ(got[i].lParam, 0);
    }
  }
  EXPECT_FALSE(fileExists(data_.file(L"cairn.log")));  // a second start logs nothing
}

TEST_F(StartupTest, SecondStartWaitsForTheWindow) {
  FakeInstance fake;
  ASSERT_TRUE(fake.ownsMutex());
  Child second = Child::start(cairnstoneExe(), {L"--settings"});
  ASSERT_TRUE(second.started());
  Sleep(700);  // the running instance is still preparing
  EXPECT_EQ(second.wait(0), -1);
  fake.createWindow();
  EXPECT_EQ(second.wait(kStartTimeoutMs), 0);
  const std::vector<MSG> got = fake.posted();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].message, WM_APP_OPEN);
  EXPECT_EQ(got[0].wParam, 2u);
}

TEST_F(StartupTest, SecondStartGivesUpQuietlyWithoutAWindow) {
  FakeInstance fake;
  ASSERT_TRUE(fake.ownsMutex());
  EXPECT_EQ(runCairn({L"--open"}), 0);  // after about five seconds
  EXPECT_EQ(runningInstance(), nullptr);
}

}  // namespace

namespace {

// A crash between writing settings.json.tmp and moving it over settings.json
// must leave the old file whole. The test holds settings.json open so that
// the move keeps failing, and kills the program while it retries.
TEST_F(StartupTest, CrashBeforeTheMoveKeepsTheOldSettings) {
  const std::wstring settings = data_.file(L"settings.json");
  const std::string old = R"({"language":"de","wizardDone":true,"lastVersion":"1.2.9"})";
  ASSERT_TRUE(writeWholeFile(settings, old));
  ScopedHandle holder(CreateFileW(settings.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(holder.valid());
  instance_ = Child::start(cairnstoneExe(), {L"--background"});
  ASSERT_TRUE(instance_.started());
  ASSERT_TRUE(waitFor([&] { return fileExists(settings + L".tmp"); }, kStartTimeoutMs));
  instance_.kill();
  instance_.wait(kStartTimeoutMs);
  holder.reset();
  EXPECT_EQ(readFileText(settings), old);
  EXPECT_EQ(runCairn({L"--running"}), 1);

  // The next start finds the old settings and saves over the leftover.
  startInstance();
  EXPECT_EQ(runCairn({L"--quit"}), 0);
  EXPECT_EQ(instance_.wait(kStartTimeoutMs), 0);
  const std::string now = readFileText(settings);
  EXPECT_NE(now.find(R"("language":"de")"), std::string::npos) << now;
  EXPECT_NE(now.find(R"("lastVersion":"1.3.0")"), std::string::npos) << now;
  EXPECT_FALSE(fileExists(settings + L".tmp"));
  EXPECT_NE(log().find("updated from 1.2.9 to 1.3.0"), std::string::npos);
}

}  // namespace
