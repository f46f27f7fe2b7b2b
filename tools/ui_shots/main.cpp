// Pictures of the main window and the setup wizard for the documentation,
// and of the focus mark on a button, a card and a tab.
//   CairnUiShots.exe OUTFOLDER GAMEROOT LANGUAGE DPI [SCREEN WORKAREA]
// Makes a WoW Forever folder under GAMEROOT (the addon, no Questie) and one
// without the addon, then saves main-*.png (one with the tests' signed release ready to install) and setup-*.png in LANGUAGE at DPI into OUTFOLDER. The
// data folder is CAIRN_DATA_DIR, which the caller points at a scratch folder.
// With SCREEN and WORKAREA (each WIDTHxHEIGHT), only the Settings tab and the
// wizard's language page, as they fit that work area of a monitor at DPI:
// main-settings-LANGUAGE-SCREEN-PERCENT.png and setup-2-language-....png.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <cwchar>
#include <string>

#include "app/app.h"
#include "app/shell_notify.h"
#include "app/tray.h"
#include "base/text.h"
#include "game/held_path.h"
#include "gui/theme.h"
#include "gui/surface.h"
#include "storage/files.h"
#include "tests/support/links.h"
#include "tests/ui/ui_test_util.h"
#include "tests/update/fixtures.h"
#include "tools/gui_demo/demo_window.h"
#include "ui/mainwnd.h"
#include "ui/setup.h"

using uitest::pump;
using uitest::switchDpi;

namespace {

// The pictures need no icon in the notification area.
BOOL WINAPI noShell(DWORD, PNOTIFYICONDATAW) { return TRUE; }

// The whole client area as painted, with the EDIT children printed in.
bool saveWindow(gui::Surface* surface, const std::wstring& path) {
  RECT client;
  GetClientRect(surface->hwnd(), &client);
  const gui::ScopedBitmap bitmap = demo::renderSurface(*surface, client);
  return bitmap.valid() && demo::savePng(bitmap, path);
}

void store(App& app, const std::string& language, const std::wstring& folder) {
  Settings settings = app.snapshot();
  settings.language = language;
  settings.foreverDir = folder;
  settings.wizardDone = true;
  app.applySettings(settings);
  // The addon's worker answers before the picture is taken.
  const ULONGLONG end = GetTickCount64() + 10000;
  while (app.addonWorking() && GetTickCount64() < end) Sleep(10);
  pump();
}

// Another account's link where the addon goes, as the windows then show it.
FileOwner otherAccount(HANDLE) { return {OwnerKind::OtherAccount, L"PC\\Guest"}; }

// The game folder's state arrives from a worker; the picture waits for it.
template <typename Window>
bool settle(const Window* window) {
  constexpr DWORD kSettleMs = 10000;
  const ULONGLONG end = GetTickCount64() + kSettleMs;
  for (pump(); window->checking(); pump()) {
    if (GetTickCount64() > end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
  return true;
}

// Focus for a keyboard user's picture: kMouseUser none, kPageFocus the
// page's own first focus, else that control; a first key shows the mark.
constexpr int kMouseUser = -1, kPageFocus = 0;

void pressFirstKey(gui::Surface* surface, int focus) {
  if (focus == kMouseUser) return;
  if (focus != kPageFocus) surface->focusItem(focus);
  surface->handleKey(VK_HOME);  // moves nothing here, shows the focus
  pump();
}

int shootMain(const std::wstring& out, int tab, UINT dpi, int focus = kMouseUser) {
  openMainWindow(uitest::host(), ui::mainwnd::tabFromNumber(tab));
  pump();
  ui::mainwnd::MainWindow* window = ui::mainwnd::mainWindow();
  if (!window || !settle(window)) return 1;
  switchDpi(window, dpi, 900, 640);
  pump();
  pressFirstKey(window, focus);
  const bool saved = saveWindow(window, out);
  closeMainWindow();
  pump();
  return saved ? 0 : 1;
}

int shootSetup(const std::wstring& out, int page, UINT dpi, int focus = kMouseUser) {
  openSetup(uitest::host(), page);
  pump();
  ui::setup::Setup* wizard = ui::setup::setupWindow();
  if (!wizard || !settle(wizard)) return 1;
  switchDpi(wizard, dpi, 780, 560);
  pump();
  pressFirstKey(wizard, focus);
  const bool saved = saveWindow(wizard, out);
  closeSetup();
  pump();
  return saved ? 0 : 1;
}

// The DPI a window of `dip` is laid out at on a monitor of `dpi` whose work
// area is `work` (the windows fit themselves so; the test screen is larger).
UINT fittedDpi(SIZE dip, UINT dpi, SIZE work) {
  const RECT area = {0, 0, work.cx, work.cy};
  return gui::fitWindow(dip, dpi, gui::windowFrame(dpi), GetSystemMetrics(SM_CXVSCROLL), area)
      .layoutDpi;
}

int shootAll(const std::wstring& out, const std::wstring& gameRoot, const std::string& language,
             UINT dpi, const std::wstring& screen, SIZE work) {
  const std::wstring forever = gameRoot + L"\\World of Warcraft\\_forever_";
  makeDirs(forever + L"\\Interface\\AddOns\\Cairn");
  writeWholeFile(forever + L"\\Interface\\AddOns\\Cairn\\Cairn.toc", "## Title: Cairn\n");
  ui::setShellNotifyFunction(noShell);
  App app;
  app.prepare();
  HWND tray = createTrayWindow(GetModuleHandleW(nullptr), &app);
  app.start(tray);
  const std::wstring suffix = L"-" + toWide(language) + L"-" + std::to_wstring(dpi) + L".png";
  const std::wstring base = out + L"\\";
  int failures = 0;
  store(app, language, forever);
  if (!screen.empty()) {
    const std::wstring fitted = L"-" + toWide(language) + L"-" + screen + L"-" +
                                std::to_wstring(MulDiv(100, static_cast<int>(dpi), 96)) + L".png";
    failures += shootMain(base + L"main-settings" + fitted, 1, fittedDpi({900, 640}, dpi, work));
    failures +=
        shootSetup(base + L"setup-2-language" + fitted, 1, fittedDpi({780, 560}, dpi, work));
    app.stop();
    if (tray) DestroyWindow(tray);
    pump();
    releaseTrayController();
    return failures == 0 ? 0 : 1;
  }
  failures += shootMain(base + L"main-status" + suffix, 0, dpi);
  failures += shootMain(base + L"main-settings" + suffix, 1, dpi);
  store(app, language, L"");
  failures += shootMain(base + L"main-status-nofolder" + suffix, 0, dpi);
  // The wizard finished with no game folder: its Done page says so.
  failures += shootSetup(base + L"setup-4-done-nofolder" + suffix, 3, dpi);
  // A game folder that lacks the addon.
  const std::wstring bare = gameRoot + L"\\Bare\\World of Warcraft\\_forever_";
  makeDirs(bare + L"\\Interface\\AddOns");
  store(app, language, bare);
  failures += shootMain(base + L"main-status-noaddon" + suffix, 0, dpi);
  // The addon could not be placed: a link another account made, and the
  // wizard's Done page then.
  const std::wstring planted = gameRoot + L"\\Shared\\World of Warcraft\\_forever_";
  makeDirs(planted + L"\\Interface\\AddOns");
  makeDirs(gameRoot + L"\\Elsewhere");
  makeLink(planted + L"\\Interface\\AddOns\\Cairn", gameRoot + L"\\Elsewhere", true);
  setOwnerReader(otherAccount);
  store(app, language, planted);
  failures += shootMain(base + L"main-status-addonlink" + suffix, 0, dpi);
  failures += shootSetup(base + L"setup-4-done-addonlink" + suffix, 3, dpi);
  setOwnerReader(nullptr);
  removeLinkItself(planted + L"\\Interface\\AddOns\\Cairn");
  store(app, language, forever);
  {
    // A signed release from a local service, downloaded and verified.
    fixtures::Service service;
    if (app.checkForUpdate().text() != "READY 1.4.0") ++failures;
    failures += shootMain(base + L"main-update" + suffix, 0, dpi);
  }
  const wchar_t* pages[] = {L"setup-1-welcome", L"setup-2-language", L"setup-3-wow",
                            L"setup-4-done"};
  for (int page = 0; page < 4; ++page) {
    failures += shootSetup(base + pages[page] + suffix, page, dpi);
  }
  // The focus mark as a keyboard user sees it: on a button, a card and a tab.
  failures += shootSetup(base + L"focus-button" + suffix, 0, dpi, kPageFocus);
  failures += shootSetup(base + L"focus-card" + suffix, 1, dpi, kPageFocus);
  failures += shootMain(base + L"focus-tab" + suffix, 0, dpi, ui::mainwnd::kStatusTabId);
  app.stop();
  if (tray) DestroyWindow(tray);
  pump();
  releaseTrayController();
  return failures == 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 5) return 2;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  // As a mouse user sees the windows on Windows (Wine shows keyboard cues
  // always): no focus mark until a key is pressed. For this session only.
  SystemParametersInfoW(SPI_SETKEYBOARDCUES, 0, nullptr, 0);
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  const UINT dpi = static_cast<UINT>(std::wcstoul(argv[4], nullptr, 10));
  std::wstring screen;
  SIZE work = {};
  if (argc >= 7) {
    screen = argv[5];
    wchar_t* rest = nullptr;
    work.cx = static_cast<LONG>(std::wcstol(argv[6], &rest, 10));
    work.cy = rest && *rest == L'x' ? static_cast<LONG>(std::wcstol(rest + 1, nullptr, 10)) : 0;
  }
  const int rc = shootAll(argv[1], argv[2], toUtf8(argv[3]), dpi >= 48 && dpi <= 480 ? dpi : 96,
                          screen, work);
  gui::shutdownTheme();
  CoUninitialize();
  return rc;
}
