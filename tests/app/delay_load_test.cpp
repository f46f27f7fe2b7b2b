// Delay-loaded system DLLs that cannot be loaded: the stand-ins their
// functions get, and the real program carrying on without each DLL.
#include <gtest/gtest.h>
#include <windows.h>

#include <psapi.h>

#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "app/delay_load.h"
#include "app/messages.h"
#include "gui/theme.h"
#include "storage/files.h"
#include "tests/support/test_support.h"

namespace {

using Fallback = INT_PTR(WINAPI*)();

Fallback fallbackOf(const char* dll) { return reinterpret_cast<Fallback>(delayLoadFallback(dll)); }

constexpr DWORD kTimeoutMs = 30000;

// The lower-case names of the DLLs a process has loaded.
std::vector<std::wstring> loadedDlls(HANDLE process) {
  HMODULE modules[512];
  DWORD bytes = 0;
  std::vector<std::wstring> names;
  if (!EnumProcessModules(process, modules, sizeof modules, &bytes)) return names;
  for (DWORD i = 0; i < bytes / sizeof(HMODULE) && i < 512; ++i) {
    wchar_t name[MAX_PATH] = {};
    if (GetModuleBaseNameW(process, modules[i], name, MAX_PATH)) {
      CharLowerW(name);
      names.push_back(name);
    }
  }
  return names;
}

bool loaded(const std::vector<std::wstring>& dlls, const wchar_t* name) {
  for (const std::wstring& dll : dlls) {
    if (dll == name) return true;
  }
  return false;
}

// Shown, and its first paint has run through: a sent message is answered
// only after it.
HWND waitForPaintedMainWindow() {
  HWND main = nullptr;
  if (!waitFor(
          [&] {
            main = FindWindowW(gui::kMainWindowClass, nullptr);
            return main && IsWindowVisible(main);
          },
          kTimeoutMs)) {
    return nullptr;
  }
  DWORD_PTR ignored = 0;
  return SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, kTimeoutMs, &ignored) ? main
                                                                                    : nullptr;
}

TEST(DelayLoad, EveryDelayLoadedDllFailsTheWayItsFunctionsDo) {
  struct Case {
    const char* dll;
    bool (*failed)(INT_PTR result);
  };
  const Case cases[] = {
      {"winhttp.dll", [](INT_PTR r) { return r == 0 && GetLastError() == ERROR_MOD_NOT_FOUND; }},
      {"comctl32.dll", [](INT_PTR r) { return r == 0 && GetLastError() == ERROR_MOD_NOT_FOUND; }},
      {"bcrypt.dll", [](INT_PTR r) { return static_cast<LONG>(r) < 0; }},  // an NTSTATUS error
      {"ole32.dll", [](INT_PTR r) { return FAILED(static_cast<HRESULT>(r)) && r < 0; }},
      {"oleacc.dll", [](INT_PTR r) { return FAILED(static_cast<HRESULT>(r)) && r < 0; }},
      {"GDIPLUS.DLL", [](INT_PTR r) { return static_cast<int>(r) != 0; }},  // a GpStatus not Ok
  };
  for (const Case& c : cases) {
    const Fallback f = fallbackOf(c.dll);
    ASSERT_NE(f, nullptr) << c.dll;
    SetLastError(0);
    EXPECT_TRUE(c.failed(f())) << c.dll;
  }
  // The build's list (cmake/delay_load.cmake) has no DLL without a stand-in.
  std::istringstream built(CAIRN_DELAY_LOADED_DLLS);
  for (std::string dll; built >> dll;) {
    EXPECT_NE(fallbackOf((dll + ".dll").c_str()), nullptr) << dll;
  }
  EXPECT_EQ(fallbackOf("kernel32.dll"), nullptr);
  EXPECT_EQ(fallbackOf(nullptr), nullptr);
}

// While it lives, Cairnstone.exe (and no other program) finds the DLLs
// unloadable: Wine's per-program DLL overrides, an empty value disabling.
class WithoutDlls {
 public:
  explicit WithoutDlls(std::initializer_list<const wchar_t*> dlls) {
    for (const wchar_t* dll : dlls) key_.setString(dll, L"");
  }

 private:
  ScopedRegistryKey key_{HKEY_CURRENT_USER,
                         L"Software\\Wine\\AppDefaults\\Cairnstone.exe\\DllOverrides"};
};

class DelayLoadRun : public ::testing::Test {
 protected:
  TempDir data;
  ScopedEnv dataEnv{L"CAIRN_DATA_DIR", data.path()};
  ScopedEnv base{L"CAIRN_API_BASE", L"http://127.0.0.1:9"};
  const std::wstring out = data.file(L"out.txt");
  static constexpr char kSetUp[] = R"({"language":"en","wizardDone":true,"lastVersion":"1.3.0"})";
};

TEST_F(DelayLoadRun, WithoutWinHttpTheCheckFindsNoServerAndLogsWhy) {
  WithoutDlls none({L"winhttp"});
  EXPECT_EQ(runToEnd(cairnstoneExe(), {L"--update-check", L"--out", out}), 1);
  EXPECT_EQ(readFileText(out), "NOSERVER");
  const std::vector<std::string> messages = logMessages(readFileText(data.file(L"cairn.log")));
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back(),
            "update check: no answer from the server (status=0 bad server address)");
}

TEST_F(DelayLoadRun, ABackgroundStartLoadsNoneUntilAWindowOpens) {
  ASSERT_TRUE(writeWholeFile(data.file(L"settings.json"), kSetUp));
  Child instance = Child::start(cairnstoneExe(), {L"--background"});
  ASSERT_TRUE(instance.started());
  HWND tray = nullptr;
  ASSERT_TRUE(waitFor([&] { return (tray = FindWindowW(kTrayWindowClass, nullptr)) != nullptr; },
                      kTimeoutMs));
  const std::vector<std::wstring> idle = loadedDlls(instance.handle());
  PostMessageW(tray, WM_APP_OPEN, 0, 0);
  const bool painted = waitForPaintedMainWindow() != nullptr;
  const std::vector<std::wstring> withWindow = loadedDlls(instance.handle());
  EXPECT_EQ(runToEnd(cairnstoneExe(), {L"--quit"}), 0);
  EXPECT_EQ(instance.wait(kTimeoutMs), 0);
  ASSERT_FALSE(idle.empty());
  for (const wchar_t* dll : {L"gdiplus.dll", L"winhttp.dll", L"bcrypt.dll", L"comctl32.dll"}) {
    EXPECT_FALSE(loaded(idle, dll)) << dll;
  }
  EXPECT_TRUE(painted);
  EXPECT_TRUE(loaded(withWindow, L"gdiplus.dll"));
}

TEST_F(DelayLoadRun, WithoutTheDrawingDllsTheWindowStillOpensAndCloses) {
  ASSERT_TRUE(writeWholeFile(data.file(L"settings.json"), kSetUp));
  WithoutDlls none({L"gdiplus", L"comctl32", L"ole32"});
  Child instance = Child::start(cairnstoneExe(), {L"--open"});
  ASSERT_TRUE(instance.started());
  const bool painted = waitForPaintedMainWindow() != nullptr;
  const std::vector<std::wstring> dlls = loadedDlls(instance.handle());
  EXPECT_EQ(runToEnd(cairnstoneExe(), {L"--quit"}), 0);
  EXPECT_EQ(instance.wait(kTimeoutMs), 0);
  EXPECT_TRUE(painted);
  EXPECT_FALSE(loaded(dlls, L"gdiplus.dll"));
}

}  // namespace
