#include <gtest/gtest.h>

#include <string>

#include "base/paths.h"
#include "gui/surface.h"
#include "tests/gui/gui_test_util.h"
#include "tests/support/test_support.h"

using namespace gui;

namespace {

constexpr wchar_t kChildFlag[] = L"CAIRN_GUI_DPI_CHILD";
constexpr wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
constexpr DWORD kHighDpi = 144;
constexpr long kNotHighDpi = 77;  // the child saw another system DPI
// The child runs on a desktop of its own that is large enough for the window.
constexpr wchar_t kDesktopArg[] = L"/desktop=CairnDpiTest,2000x1400";
// A laptop's screen at 125 %: too small for the main window at 120 DPI.
constexpr DWORD kLaptopDpi = 120;
constexpr wchar_t kLaptopDesktopArg[] = L"/desktop=CairnDpiLaptop,1366x768";
constexpr wchar_t kLaptopFlag[] = L"CAIRN_GUI_DPI_LAPTOP";

class PlainSurface : public Surface {
 protected:
  void layout() override {}
  void paint(HDC, const RECT&) override {}
};

// Sets the user's DPI for programs started meanwhile; restores it after.
class ScopedLogPixels {
 public:
  explicit ScopedLogPixels(DWORD dpi) {
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                        nullptr, &key_, nullptr) != ERROR_SUCCESS) {
      key_ = nullptr;
      return;
    }
    DWORD size = sizeof old_;
    had_ = RegQueryValueExW(key_, L"LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&old_),
                            &size) == ERROR_SUCCESS;
    RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                   sizeof dpi);
  }
  ~ScopedLogPixels() {
    if (!key_) return;
    if (had_) {
      RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old_),
                     sizeof old_);
    } else {
      RegDeleteValueW(key_, L"LogPixels");
    }
    RegCloseKey(key_);
  }
  bool ok() const { return key_ != nullptr; }

 private:
  HKEY key_ = nullptr;
  DWORD old_ = 0;
  bool had_ = false;
};

// The child's failures as text. It runs on a desktop of its own, where its
// output reaches no one, so it hands them to the parent in its result file.
class ScopedFailureText {
 public:
  ScopedFailureText() : listener_(new Listener) { listeners().Append(listener_); }
  ~ScopedFailureText() { delete listeners().Release(listener_); }
  ScopedFailureText(const ScopedFailureText&) = delete;
  ScopedFailureText& operator=(const ScopedFailureText&) = delete;
  const std::string& text() const { return listener_->text; }

 private:
  struct Listener : testing::EmptyTestEventListener {
    void OnTestPartResult(const testing::TestPartResult& result) override {
      if (!result.failed()) return;
      text += std::string(result.file_name() ? result.file_name() : "?") + ":" +
              std::to_string(result.line_number()) + ": " + result.message() + "\n";
    }
    std::string text;
  };
  static testing::TestEventListeners& listeners() {
    return testing::UnitTest::GetInstance()->listeners();
  }
  Listener* listener_;
};

// On the laptop's screen the main window is laid out smaller, and all of it,
// frame and all, lies inside the work area.
void runOnLaptop() {
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  if (windowDpi(nullptr) != kLaptopDpi) {
    writeFileText(envVar(L"CAIRN_GUI_DPI_RESULT"), std::to_string(kNotHighDpi));
    ExitProcess(0);
  }
  guitest::ScopedTheme theme;
  PlainSurface surface;
  ASSERT_TRUE(surface.create(guitest::surfaceClass(), L"main", 900, 640, nullptr));
  EXPECT_LT(surface.dpi(), kLaptopDpi);
  EXPECT_GE(surface.dpi(), kMinLayoutDpi);
  MONITORINFO info = {};
  info.cbSize = sizeof info;
  GetMonitorInfoW(MonitorFromWindow(surface.hwnd(), MONITOR_DEFAULTTONEAREST), &info);
  RECT w, inside;
  GetWindowRect(surface.hwnd(), &w);
  IntersectRect(&inside, &w, &info.rcWork);
  EXPECT_TRUE(EqualRect(&inside, &w)) << "window " << w.left << "," << w.top << "-" << w.right
                                       << "," << w.bottom << " leaves the work area";
  RECT client;
  GetClientRect(surface.hwnd(), &client);
  EXPECT_EQ(client.right, surface.scale(900));
  EXPECT_EQ(client.bottom, surface.scale(640));
  DestroyWindow(surface.hwnd());
}

void runAsChild() {
  if (!envVar(kLaptopFlag).empty()) {
    runOnLaptop();
    return;
  }
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  if (windowDpi(nullptr) != kHighDpi) {
    writeFileText(envVar(L"CAIRN_GUI_DPI_RESULT"), std::to_string(kNotHighDpi));
    ExitProcess(0);
  }
  guitest::ScopedTheme theme;
  PlainSurface surface;
  ASSERT_TRUE(surface.create(guitest::surfaceClass(), L"main", 900, 640, nullptr));
  EXPECT_EQ(surface.dpi(), kHighDpi);
  RECT client;
  GetClientRect(surface.hwnd(), &client);
  EXPECT_EQ(client.right, 1350);
  EXPECT_EQ(client.bottom, 960);
  MONITORINFO info = {};
  info.cbSize = sizeof info;
  GetMonitorInfoW(MonitorFromWindow(surface.hwnd(), MONITOR_DEFAULTTONEAREST), &info);
  RECT w;
  GetWindowRect(surface.hwnd(), &w);
  if (w.bottom - w.top > info.rcWork.bottom - info.rcWork.top) {
    EXPECT_EQ(w.top, info.rcWork.top);  // too tall: the caption stays on screen
  } else {
    EXPECT_NEAR((w.top + w.bottom) / 2.0, (info.rcWork.top + info.rcWork.bottom) / 2.0, 1.0);
  }
  DestroyWindow(surface.hwnd());
}

// The verdict of a child run on a desktop of its own at `dpi`: 0 when its
// checks passed, and what failed.
struct ChildVerdict {
  long rc = -1;
  std::string failures;
};

// Wine keeps the last virtual desktop's size as the screen's for later
// programs of the same server: a desktop the size the screen had before
// puts it back, so the tests after this one see the screen they expect.
void restoreScreen(const RECT& screen) {
  const std::wstring size = std::to_wstring(screen.right - screen.left) + L"x" +
                            std::to_wstring(screen.bottom - screen.top);
  runToEnd(L"C:\\windows\\explorer.exe",
           {L"/desktop=CairnDpiRestore," + size, exePath(), L"--gtest_filter=NoSuchTest"}, 60000);
}

ChildVerdict runOnDesktop(const wchar_t* desktopArg, DWORD dpi, const wchar_t* filter,
                          const wchar_t* extraFlag) {
  MONITORINFO before = {};
  before.cbSize = sizeof before;
  GetMonitorInfoW(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &before);
  ChildVerdict verdict;
  {
    ScopedLogPixels pixels(dpi);
    EXPECT_TRUE(pixels.ok());
    ScopedEnv child(kChildFlag, L"1");
    ScopedEnv extra(extraFlag ? extraFlag : L"CAIRN_GUI_DPI_NONE", extraFlag ? L"1" : L"");
    TempDir dir;
    const std::wstring result = joinPath(dir.path(), L"result.txt");
    ScopedEnv resultFile(L"CAIRN_GUI_DPI_RESULT", result);
    runToEnd(L"C:\\windows\\explorer.exe", {desktopArg, exePath(), filter}, 60000);
    // The child's verdict on the first line, then what failed.
    const std::string text = readFileText(result);
    const std::size_t end = text.find('\n');
    verdict.rc = text.empty() ? -1 : std::stol(text.substr(0, end));
    if (end != std::string::npos) verdict.failures = text.substr(end + 1);
  }
  restoreScreen(before.rcMonitor);
  return verdict;
}

void expectChildPassed(const ChildVerdict& verdict) {
  if (verdict.rc == kNotHighDpi) {
    GTEST_SKIP() << "the system DPI setting did not reach a new program here";
  }
  EXPECT_EQ(verdict.rc, 0) << (verdict.rc < 0 ? "the child wrote no result"
                                              : "the child's checks failed:\n" + verdict.failures);
}

void reportAsChild() {
  ScopedFailureText failures;
  runAsChild();
  writeFileText(envVar(L"CAIRN_GUI_DPI_RESULT"),
                (::testing::Test::HasFailure() ? "1\n" : "0\n") + failures.text());
}

// The main window's size on a 144 DPI screen, in a program started at that DPI.
TEST(SurfaceDpiTest, MainWindowAt144DpiHasA1350By960ClientArea) {
  if (!envVar(kChildFlag).empty()) return reportAsChild();
  expectChildPassed(runOnDesktop(kDesktopArg, kHighDpi,
                                 L"--gtest_filter=SurfaceDpiTest.MainWindowAt144*", nullptr));
}

// The main window on a 1366 by 768 screen at 125 %, in a program started
// at that DPI: laid out smaller so that all of it is on the screen.
TEST(SurfaceDpiTest, MainWindowOnA1366By768ScreenAt125PercentFitsItsWorkArea) {
  if (!envVar(kChildFlag).empty()) return reportAsChild();
  expectChildPassed(runOnDesktop(kLaptopDesktopArg, kLaptopDpi,
                                 L"--gtest_filter=SurfaceDpiTest.MainWindowOnA1366*", kLaptopFlag));
}

}  // namespace
