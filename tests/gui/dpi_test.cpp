#include <gtest/gtest.h>

#include <string>

#include "gui/surface.h"
#include "storage/files.h"
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

void runAsChild() {
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  if (windowDpi(nullptr) != kHighDpi) {
    writeFileText(envVar(L"CAIRN_GUI_DPI_RESULT"), std::to_string(kNotHighDpi));
    ExitProcess(0);
  }
  guitest::ScopedTheme theme;
  PlainSurface surface;
  ASSERT_TRUE(surface.create(kMainWindowClass, L"main", 900, 640, nullptr));
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

// The main window's size on a 144 DPI screen, in a program started at that DPI.
TEST(SurfaceDpiTest, MainWindowAt144DpiHasA1350By960ClientArea) {
  if (!envVar(kChildFlag).empty()) {
    runAsChild();
    writeFileText(envVar(L"CAIRN_GUI_DPI_RESULT"), HasFailure() ? "1" : "0");
    return;
  }
  long rc;
  {
    ScopedLogPixels dpi(kHighDpi);
    ASSERT_TRUE(dpi.ok());
    ScopedEnv child(kChildFlag, L"1");
    TempDir dir;
    const std::wstring result = joinPath(dir.path(), L"result.txt");
    ScopedEnv resultFile(L"CAIRN_GUI_DPI_RESULT", result);
    runToEnd(L"C:\\windows\\explorer.exe",
             {kDesktopArg, exePath(), L"--gtest_filter=SurfaceDpiTest.*"}, 60000);
    const std::string text = readFileText(result);
    rc = text.empty() ? -1 : std::stol(text);
  }
  if (rc == kNotHighDpi) GTEST_SKIP() << "the system DPI setting did not reach a new program here";
  EXPECT_EQ(rc, 0) << "the child's checks failed";
}

}  // namespace
