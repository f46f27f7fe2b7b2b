// Delay-loaded system DLLs that cannot be loaded: the stand-ins their
// functions get, and the real program carrying on without each DLL.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>
#include <dwmapi.h>
#include <objidl.h>
#include <gdiplus.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "app/messages.h"
#include "base/delay_load.h"
#include "base/paths.h"
#include "ui/mainwnd.h"
#include "ui/setup.h"
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
            main = FindWindowW(ui::mainwnd::kWindowClass, nullptr);
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
      {"dwmapi.dll", [](INT_PTR r) { return FAILED(static_cast<HRESULT>(r)) && r < 0; }},
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

// This test program's own DLL overrides. Wine looks for a program's key only
// at its start, so a child run of a test (below) reads them while it runs.
constexpr const wchar_t* kOwnOverrides =
    L"Software\\Wine\\AppDefaults\\app_tests.exe\\DllOverrides";

struct UnloadCase {
  const char* dll;
  const wchar_t* module;
  bool (*call)();
};

// Unloads the DLL and follows its next calls: loaded again; failing as
// without it when it cannot be loaded by then; loaded after all once it can.
// Nothing else in this program loads these DLLs, so an unload takes them out
// of the process. Empty when every step held, else the first that did not.
std::string unloadAndCallAgain(const UnloadCase& c) {
  const std::string dll = c.dll;
  if (!c.call() || !GetModuleHandleW(c.module)) return dll + ": not loaded by its call";
  if (!unloadDelayLoaded(c.dll) || GetModuleHandleW(c.module)) return dll + ": not unloaded";
  if (unloadDelayLoaded(c.dll)) return dll + ": unloaded twice";
  RegSetKeyValueW(HKEY_CURRENT_USER, kOwnOverrides, c.module, REG_SZ, L"", sizeof(wchar_t));
  const bool failedWithout = !c.call() && !GetModuleHandleW(c.module);
  const bool standInsGone = unloadDelayLoaded(c.dll);
  RegDeleteKeyValueW(HKEY_CURRENT_USER, kOwnOverrides, c.module);
  if (!failedWithout) return dll + ": did not fail while it could not be loaded";
  if (!standInsGone) return dll + ": its stand-ins were not let go of";
  if (!c.call() || !GetModuleHandleW(c.module)) return dll + ": not loaded again";
  return "";
}

TEST(DelayLoad, AnUnloadedDllLoadsAgainAtItsNextCall) {
  const UnloadCase cases[] = {
      {"gdiplus.dll", L"gdiplus",
       [] {
         Gdiplus::GdiplusStartupInput input;
         ULONG_PTR token = 0;
         if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return false;
         Gdiplus::GdiplusShutdown(token);
         return true;
       }},
      {"comctl32.dll", L"comctl32",
       [] {
         INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_STANDARD_CLASSES};
         return InitCommonControlsEx(&icc) != FALSE;
       }},
      {"dwmapi.dll", L"dwmapi",
       [] {
         BOOL composed = FALSE;
         return SUCCEEDED(DwmIsCompositionEnabled(&composed));
       }},
  };
  // The key is there before the child starts (which runs this again: the key
  // it looks at must stay the same one) and goes after it even when the child
  // crashes; a killed run's values go first.
  ScopedRegistryKey overrides(HKEY_CURRENT_USER, kOwnOverrides);
  for (const UnloadCase& c : cases) RegDeleteKeyValueW(HKEY_CURRENT_USER, kOwnOverrides, c.module);
  auto inChild = [&] {
    for (const UnloadCase& c : cases) {
      const std::string wrong = unloadAndCallAgain(c);
      if (!wrong.empty()) {
        fprintf(stderr, "%s\n", wrong.c_str());
        std::exit(1);
      }
    }
    std::exit(unloadDelayLoaded("kernel32.dll") || unloadDelayLoaded(nullptr) ? 2 : 0);
  };
  EXPECT_EXIT(inChild(), ::testing::ExitedWithCode(0), "");
}

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

// A DLL planted beside the program under the name of a system DLL it loads
// later (an update check's winhttp) is never loaded: only System32 is
// searched. Wine by itself takes its own builtin DLL first; told to take a
// DLL file first, it looks where Windows looks. (Not for what its own DLLs
// load in turn, which Wine looks for beside the program whatever it was
// told: winhttp's crypt32 and bcrypt are therefore left out.)
TEST_F(DelayLoadRun, ADllBesideTheProgramIsNeverLoaded) {
  ScopedRegistryKey fileFirst(HKEY_CURRENT_USER,
                              L"Software\\Wine\\AppDefaults\\Cairnstone.exe\\DllOverrides");
  ASSERT_TRUE(fileFirst.setString(L"winhttp", L"native,builtin"));
  ASSERT_TRUE(writeWholeFile(data.file(L"settings.json"), kSetUp));
  const std::wstring program = data.file(L"program");
  const std::wstring exe = joinPath(program, L"Cairnstone.exe");
  ASSERT_TRUE(makeDirs(program));
  ASSERT_TRUE(CopyFileW(cairnstoneExe().c_str(), exe.c_str(), FALSE));
  const std::wstring planted = joinPath(binFolder(), L"planted\\planted.dll");
  ASSERT_TRUE(CopyFileW(planted.c_str(), joinPath(program, L"winhttp.dll").c_str(), FALSE));
  const std::wstring mark = data.file(L"planted-loaded");
  ScopedEnv marking(L"CAIRN_TEST_PLANTED_MARK", mark);
  EXPECT_EQ(runToEnd(exe, {L"--update-check", L"--out", out}), 1);
  EXPECT_EQ(readFileText(out), "NOSERVER");
  EXPECT_FALSE(fileExists(mark));
}

// The drawing DLLs come with a press on the icon or the first window and go a
// few seconds after the last one closed (or the press opened none); the next
// window brings them back.
TEST_F(DelayLoadRun, ABackgroundStartLoadsNoneUntilAPressOrAWindowAndLetsThemGoAfter) {
  ASSERT_TRUE(writeWholeFile(data.file(L"settings.json"), kSetUp));
  Child instance = Child::start(cairnstoneExe(), {L"--background"});
  ASSERT_TRUE(instance.started());
  HWND tray = nullptr;
  ASSERT_TRUE(waitFor([&] { return (tray = FindWindowW(kTrayWindowClass, nullptr)) != nullptr; },
                      kTimeoutMs));
  const std::vector<std::wstring> idle = loadedDlls(instance.handle());
  const wchar_t* const drawing[] = {L"gdiplus.dll", L"comctl32.dll"};
  auto drawingLoaded = [&] {
    const std::vector<std::wstring> now = loadedDlls(instance.handle());
    return loaded(now, drawing[0]) || loaded(now, drawing[1]);
  };
  // A press on the icon gets them ready for the window its release opens;
  // when no release comes, they go again.
  PostMessageW(tray, WM_APP_TRAY, 0, MAKELPARAM(WM_LBUTTONDOWN, 0));
  const bool readiedByPress = waitFor(drawingLoaded, kTimeoutMs);
  const bool pressLetGo = readiedByPress && waitFor([&] { return !drawingLoaded(); }, kTimeoutMs);
  const bool noWindowFromPress = FindWindowW(ui::mainwnd::kWindowClass, nullptr) == nullptr;
  PostMessageW(tray, WM_APP_OPEN, 0, 0);
  HWND main = waitForPaintedMainWindow();
  const std::vector<std::wstring> withWindow = loadedDlls(instance.handle());
  const bool loadedWithWindow = drawingLoaded();
  if (main) PostMessageW(main, WM_CLOSE, 0, 0);
  const bool letGo = main && waitFor([&] { return !drawingLoaded(); }, kTimeoutMs);
  PostMessageW(tray, WM_APP_OPEN, 0, 0);
  const bool paintedAgain = waitForPaintedMainWindow() != nullptr;
  const bool loadedAgain = drawingLoaded();
  EXPECT_EQ(runToEnd(cairnstoneExe(), {L"--quit"}), 0);
  EXPECT_EQ(instance.wait(kTimeoutMs), 0);
  ASSERT_FALSE(idle.empty());
  for (const wchar_t* dll : {L"gdiplus.dll", L"winhttp.dll", L"bcrypt.dll", L"comctl32.dll"}) {
    EXPECT_FALSE(loaded(idle, dll)) << dll;
  }
  EXPECT_TRUE(readiedByPress);
  EXPECT_TRUE(pressLetGo);
  EXPECT_TRUE(noWindowFromPress);
  ASSERT_NE(main, nullptr);
  EXPECT_TRUE(loadedWithWindow);
  // The status page has no field and, in English, no cut text: no common control.
  EXPECT_FALSE(loaded(withWindow, L"comctl32.dll"));
  EXPECT_TRUE(letGo);
  EXPECT_TRUE(paintedAgain);
  EXPECT_TRUE(loadedAgain);
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
