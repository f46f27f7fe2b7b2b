// End to end: starts the real Cairnstone.exe and watches what it does.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/messages.h"
#include "base/scoped_handle.h"
#include "base/text.h"
#include "storage/files.h"
#include "tests/support/test_support.h"

namespace {

constexpr DWORD kStartTimeoutMs = 30000;

HWND runningInstance() { return FindWindowW(kTrayWindowClass, nullptr); }

constexpr char kSetupDone[] = R"({"language":"en","wizardDone":true,"lastVersion":"1.3.0"})";

int topLevelWindows(const wchar_t* className) {
  int n = 0;
  for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, className, nullptr)) != nullptr;) ++n;
  return n;
}

// The instance in `child` shows a window of that class with its folder field
// in view (the Settings tab, or the wizard's World of Warcraft page).
bool showsFolderField(const Child& child, const wchar_t* className) {
  HWND tray = FindWindowW(kTrayWindowClass, nullptr);
  HWND shown = FindWindowW(className, nullptr);
  DWORD trayPid = 0, shownPid = 0;
  GetWindowThreadProcessId(tray, &trayPid);
  GetWindowThreadProcessId(shown, &shownPid);
  HWND field = shown ? FindWindowExW(shown, nullptr, L"Edit", nullptr) : nullptr;
  return tray && trayPid == GetProcessId(child.handle()) && shownPid == trayPid &&
         IsWindowVisible(shown) && field && IsWindowVisible(field);
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

  // Runs the program with args to its end: empty when it ended with 0, else
  // what went wrong. A run that could not start and one that did not end
  // are different failures (runToEnd gives -1 for both).
  std::string runCairnExplained(const std::vector<std::wstring>& args) {
    Child run = Child::start(cairnstoneExe(), args);
    if (!run.started()) return "it could not be started (" + std::to_string(run.startError()) + ")";
    const long code = run.wait(kStartTimeoutMs);
    if (code == -1) {
      run.kill();
      return "it still ran after " + std::to_string(kStartTimeoutMs) + " ms";
    }
    return code == 0 ? std::string() : "it ended with " + std::to_string(code);
  }

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

// Plays the running instance on a thread of its own: it owns the mutex, may
// show a "CairnTrayWnd" window that answers what a later start sends (taking
// it or, as an instance about to close does, declining it) and records it;
// at its end it releases the mutex or, as a crash does, abandons it.
class FakeInstance {
 public:
  enum class End { Release, Abandon };
  FakeInstance() : thread_([this] { run(); }) {
    waitFor([this] { return started_.load(); }, kStartTimeoutMs);
  }
  ~FakeInstance() { end(End::Release); }
  bool ownsMutex() const { return owns_; }
  void showWindow(bool takes = true) {
    takes_ = takes;
    wantWindow_ = true;
    waitFor([] { return runningInstance() != nullptr; }, kStartTimeoutMs);
  }
  void end(End how) {
    if (!thread_.joinable()) return;
    end_ = how;
    leave_ = true;
    thread_.join();
  }
  // What later starts sent so far (WM_NULL and application messages).
  std::vector<std::pair<UINT, WPARAM>> requests() {
    std::lock_guard<std::mutex> hold(lock_);
    return std::exchange(requests_, {});
  }

 private:
  void run() {
    ScopedHandle mutex(CreateMutexW(nullptr, TRUE, kInstanceMutexName));
    owns_ = mutex.valid() && GetLastError() != ERROR_ALREADY_EXISTS;
    started_ = true;
    FakeWindow window(kTrayWindowClass);
    while (!leave_) {
      if (wantWindow_ && !window.get()) {
        // Whichever procedure the class has in this process, this one answers.
        window.create();
        SetWindowLongPtrW(window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetWindowLongPtrW(window.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&answer));
      }
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    window.destroy();
    if (owns_ && end_ == End::Release) ReleaseMutex(mutex);
  }  // a mutex still owned when the thread ends is abandoned
  static LRESULT CALLBACK answer(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<FakeInstance*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message != WM_NULL && (message < WM_APP || message > 0xBFFF)) {
      return DefWindowProcW(window, message, wParam, lParam);
    }
    std::lock_guard<std::mutex> hold(self->lock_);
    self->requests_.push_back({message, wParam});
    return self->takes_ ? kRequestTaken : kRequestDeclined;
  }

  std::atomic<bool> started_{false}, owns_{false}, wantWindow_{false}, takes_{true}, leave_{false};
  std::atomic<End> end_{End::Release};
  std::mutex lock_;
  std::vector<std::pair<UINT, WPARAM>> requests_;
  std::thread thread_;
};

using Requests = std::vector<std::pair<UINT, WPARAM>>;

TEST_F(StartupTest, SecondStartSendsExactlyOneRequest) {
  const std::pair<std::vector<std::wstring>, Requests> cases[] = {
      {{L"--settings", L"--tab", L"3"}, {{WM_APP_OPEN, 2}}},
      {{L"--open", L"--tab", L"3"}, {{WM_APP_OPEN, 4}}},
      {{L"--tab", L"3"}, {{WM_APP_OPEN, 0}}},
      {{L"--open", L"--tab"}, {{WM_APP_OPEN, 1}}},
      {{L"--setup", L"--step", L"2"}, {{WM_APP_SETUP, 2}}},
      {{L"--setup", L"--install-update"}, {{WM_APP_INSTALL, 0}}},
      {{L"--background"}, {{WM_NULL, 0}}},  // asks only whether the instance stays
      {{}, {{WM_APP_OPEN, 0}}},
      {{L"--Running"}, {{WM_APP_OPEN, 0}}},  // switches are case-sensitive
      {{L"--Background", L"--Settings"}, {{WM_APP_OPEN, 0}}},
  };
  FakeInstance fake;
  ASSERT_TRUE(fake.ownsMutex());
  fake.showWindow();
  for (const auto& [args, expected] : cases) {
    std::wstring shown;
    for (const std::wstring& a : args) shown += a + L" ";
    SCOPED_TRACE(toUtf8(shown));
    ASSERT_EQ(runCairn(args), 0);
    EXPECT_EQ(fake.requests(), expected);
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
  fake.showWindow();
  EXPECT_EQ(second.wait(kStartTimeoutMs), 0);
  EXPECT_EQ(fake.requests(), (Requests{{WM_APP_OPEN, 2}}));
}

// An instance that is leaving (no window, or one that declines) releases or
// abandons the mutex in the end; the start then runs in its place with its
// own request. One that never leaves is given up on, and the start says so.
TEST_F(StartupTest, SecondStartRunsInPlaceOfAnInstanceThatLeaves) {
  struct Case {
    const char* what;
    bool window;
    FakeInstance::End end;
    std::vector<std::wstring> args;
    Requests declined;
    const wchar_t* shows;  // the class of the window the start then shows
  };
  const Case cases[] = {
      {"no window, released",
       false,
       FakeInstance::End::Release,
       {L"--settings"},
       {},
       L"CairnMainWnd"},
      {"no window, abandoned",
       false,
       FakeInstance::End::Abandon,
       {L"--settings"},
       {},
       L"CairnMainWnd"},
      {"a window that declines",
       true,
       FakeInstance::End::Release,
       {L"--settings"},
       {{WM_APP_OPEN, 2}},
       L"CairnMainWnd"},
      {"a background start, declined",
       true,
       FakeInstance::End::Release,
       {L"--background"},
       {{WM_NULL, 0}},
       kTrayWindowClass},
  };
  ASSERT_TRUE(writeFileText(data_.file(L"settings.json"), kSetupDone));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeInstance fake;
    ASSERT_TRUE(fake.ownsMutex());
    if (c.window) fake.showWindow(false);
    Child second = Child::start(cairnstoneExe(), c.args);
    ASSERT_TRUE(second.started());
    Sleep(700);
    EXPECT_EQ(second.wait(0), -1);  // waits for the instance to go
    fake.end(c.end);
    EXPECT_EQ(fake.requests(), c.declined);  // asked once, not again
    ASSERT_TRUE(waitFor([&] { return FindWindowW(c.shows, nullptr) != nullptr; }, kStartTimeoutMs));
    EXPECT_EQ(runCairn({L"--quit"}), 0);
    EXPECT_EQ(second.wait(kStartTimeoutMs), 0);
  }
  EXPECT_EQ(countOf(log(), "  Cairn 1.3.0 started\r\n"), 4);
}

// Quit and start at once, as an installer or a user does: whatever the
// timing, one instance runs in the end and shows what the start asked for.
TEST_F(StartupTest, QuitThenStartAtOnceAlwaysEndsWithOneInstanceShowingTheRequest) {
  ASSERT_TRUE(writeFileText(data_.file(L"settings.json"), kSetupDone));
  startInstance();
  for (int round = 0; round < 50; ++round) {
    SCOPED_TRACE(round);
    const bool settings = round % 2 == 0;
    const std::vector<std::wstring> args =
        settings ? std::vector<std::wstring>{L"--settings"}
                 : std::vector<std::wstring>{L"--setup", L"--step", L"2"};
    ASSERT_EQ(runCairnExplained({L"--quit"}), "");
    Child next = Child::start(cairnstoneExe(), args);
    ASSERT_TRUE(next.started());
    ASSERT_EQ(instance_.wait(kStartTimeoutMs), 0);
    instance_ = std::move(next);
    const wchar_t* shown = settings ? L"CairnMainWnd" : L"CairnSetupWnd";
    ASSERT_TRUE(waitFor([&] { return showsFolderField(instance_, shown); }, kStartTimeoutMs));
    EXPECT_EQ(topLevelWindows(kTrayWindowClass), 1);
  }
}

TEST_F(StartupTest, SecondStartGivesUpOnAnInstanceThatNeverLeaves) {
  FakeInstance fake;
  ASSERT_TRUE(fake.ownsMutex());
  EXPECT_EQ(runCairn({L"--open"}), 1);  // after about ten seconds
  EXPECT_EQ(runningInstance(), nullptr);
  EXPECT_FALSE(fileExists(data_.file(L"cairn.log")));
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
