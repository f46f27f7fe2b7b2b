#include "app/tray.h"

#include <shellapi.h>

#include <algorithm>
#include <memory>

#include "app/app.h"
#include "app/crash.h"
#include "app/messages.h"
#include "app/router.h"
#include "app/shell_notify.h"
#include "app/switches.h"
#include "app/window_host.h"
#include "base/text.h"
#include "gui/scoped_gdi.h"
#include "gui/theme.h"
#include "i18n/i18n.h"
#include "storage/log.h"
#include "ui/game_check.h"
#include "ui/mainwnd.h"
#include "ui/setup.h"

namespace {

constexpr UINT kIconId = 1;
constexpr size_t kTipChars = 127;
constexpr size_t kBalloonTitleChars = 63;
constexpr size_t kBalloonTextChars = 255;

App* controller = nullptr;
std::unique_ptr<ControllerHost> windowHost;  // of the controller, while there is one
HINSTANCE trayInstance = nullptr;  // of the window class
HWND trayWindow = nullptr;
UINT taskbarCreatedMessage = 0;
NOTIFYICONDATAW trayIconData;
// Loaded once and released with the window: the shell copies what it is
// given, so re-adding the icon or another balloon needs no new handle.
gui::ScopedIcon smallIcon;
gui::ScopedIcon largeIcon;
BYTE balloonKind = kBalloonPlain;
std::string lastAnnouncedVersion;
// Reads the configured folder's state when no window has read it yet.
ui::GameCheck trayCheck;

std::string controllerLanguage() { return controller ? controller->language() : std::string(); }

// Copies at most limit characters into a fixed buffer, always terminated.
template <size_t N>
void copyCut(wchar_t (&target)[N], const std::wstring& text, size_t limit) {
  const size_t n = std::min({text.size(), limit, N - 1});
  text.copy(target, n);
  target[n] = 0;
}

HICON iconOnce(gui::ScopedIcon& icon, int sizeMetric) {
  if (!icon.valid()) icon.reset(gui::appIcon(GetSystemMetrics(sizeMetric)));
  return icon.get();
}

void releaseIcons() {
  smallIcon.reset();
  largeIcon.reset();
}

void addTrayIcon() {
  trayIconData = {};
  trayIconData.cbSize = sizeof trayIconData;
  trayIconData.hWnd = trayWindow;
  trayIconData.uID = kIconId;
  trayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
  trayIconData.uCallbackMessage = WM_APP_TRAY;
  trayIconData.hIcon = iconOnce(smallIcon, SM_CXSMICON);
  copyCut(trayIconData.szTip, trayStatusText(), kTipChars);
  trayIconData.uVersion = NOTIFYICON_VERSION_4;
  ui::shellNotify(NIM_ADD, trayIconData, ui::kShellTimeoutMs);
  ui::shellNotify(NIM_SETVERSION, trayIconData, ui::kShellTimeoutMs);
}

void updateTrayTip() {
  trayIconData.uFlags = NIF_TIP | NIF_SHOWTIP;
  copyCut(trayIconData.szTip, trayStatusText(), kTipChars);
  ui::shellNotify(NIM_MODIFY, trayIconData, ui::kShellTimeoutMs);
}

// The tooltip shows the last known state of the folder at once (unless that
// is of a folder no longer configured), and the folder is read again on a
// worker, the main window's when it is open (it reads the folder anyway):
// an answer that changes what the tooltip says updates it.
void onStateChanged() {
  if (!controller || controller->gameStateKnown()) updateTrayTip();
  if (controller && !mainWindowHandle()) {
    trayCheck.start(trayWindow, WM_APP_GAME, controller->gameFolder());  // not while one runs
  }
}

void onGameState() {
  GameState state;
  if (!trayCheck.take(state) || !controller) return;
  if (state.folder != controller->gameFolder()) {
    onStateChanged();  // the folder changed again while it was read
    return;
  }
  if (controller->noteGameState(state)) updateTrayTip();
}

void showContextMenu() {
  const ScopedMenu menu = buildTrayMenu();
  if (!menu) return;
  POINT at;
  GetCursorPos(&at);
  // The menu closes properly only when its owner is in the foreground, and
  // the null message lets it notice a click elsewhere.
  SetForegroundWindow(trayWindow);
  TrackPopupMenu(menu, TPM_BOTTOMALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, trayWindow, nullptr);
  PostMessageW(trayWindow, WM_NULL, 0, 0);
}

void onTrayEvent(UINT event) {
  switch (event) {
    case WM_CONTEXTMENU:
      showContextMenu();
      break;
    case WM_LBUTTONDOWN:
      // A click's press comes well before its release: the window it opens
      // finds GDI+ and its pictures ready.
      gui::preparePictures();
      break;
    case WM_LBUTTONUP:
    case NIN_SELECT:
    case NIN_KEYSELECT:
      openFromTray();
      break;
    case NIN_BALLOONUSERCLICK:
      if (balloonKind == kBalloonInstalls) {
        installFromTray();
      } else {
        openFromTray();
      }
      balloonKind = kBalloonPlain;
      break;
    case NIN_BALLOONHIDE:
    case NIN_BALLOONTIMEOUT:
      balloonKind = kBalloonPlain;
      break;
    default:
      break;
  }
}

// Each ready version is announced once per process.
void onUpdate(UpdateNews news) {
  const std::string version = controller ? controller->readyUpdateVersion() : std::string();
  if (news == UpdateNews::Ready && !version.empty() && version != lastAnnouncedVersion) {
    lastAnnouncedVersion = version;
    showBalloon(trFormat("upd.ready.title", "version", toWide(version)), tr("upd.ready.text"),
                kBalloonInstalls);
  } else if (news == UpdateNews::Failed) {
    showBalloonKeys("upd.failed.title", "upd.failed.text");
  }
  updateTrayTip();
  refreshMainWindow();
}

// The menu's Quit or --quit: Windows does not start the program again. The
// end of a session keeps it registered, so that it comes back after a
// restart for updates.
void quitByRequest() {
  withdrawRestart();
  DestroyWindow(trayWindow);
}

void onCommand(WPARAM wParam) {
  switch (LOWORD(wParam)) {
    case ID_QUIT:
      quitByRequest();
      break;
    case ID_INSTALL:
      installFromTray();
      break;
    case ID_OPEN:
      openMainUnlessSetup(ui::mainwnd::kKeepTab);
      break;
    default:
      break;
  }
}

LRESULT onEndSession(HWND window, WPARAM sessionEnds) {
  if (!sessionEnds) return 0;
  logLine("Windows session ends");
  // The process may be ended any moment after this returns: stop now.
  if (controller) controller->stop();
  DestroyWindow(window);
  return 0;
}

void onDestroy() {
  PostQuitMessage(0);
  closeMainWindow();
  closeSetup();
  ui::shellNotify(NIM_DELETE, trayIconData, ui::kShellDeleteTimeoutMs);
  trayWindow = nullptr;
  releaseIcons();
}

LRESULT CALLBACK trayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (taskbarCreatedMessage != 0 && message == taskbarCreatedMessage) {
    addTrayIcon();  // Explorer restarted: the icon is gone
    return 0;
  }
  if (isStartRequest(message)) return onStartRequest(message, wParam);
  switch (message) {
    case WM_APP_TRAY:
      onTrayEvent(LOWORD(lParam));
      return 0;
    case WM_APP_STATE:
      // A Config.lua or addon that went missing or could not be written is
      // placed again, on the addon's worker.
      if (controller) controller->keepAddon();
      refreshMainWindow();
      onStateChanged();
      refreshSetup();
      return 0;
    case WM_APP_UPDATE:
      onUpdate(updateNewsOf(wParam));
      return 0;
    case WM_TIMER:
      if (wParam == kUpdateTimerId && controller) controller->onUpdateTimer();
      return 0;
    case WM_APP_CHECKED:
      if (controller) controller->onUpdateCheckDone();
      return 0;
    case WM_APP_GAME:
      onGameState();
      return 0;
    case WM_APP_PLACE:
      if (controller) controller->placeAddonForLaterRun(reinterpret_cast<HWND>(lParam));
      return 0;
    case WM_COMMAND:
      onCommand(wParam);
      return 0;
    case WM_CLOSE:  // --quit, or the installer asking before it replaces the program
      quitByRequest();
      return 0;
    case WM_ENDSESSION:
      return onEndSession(window, wParam);
    case WM_DESTROY:
      onDestroy();
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

ScopedMenu buildTrayMenu() {
  ScopedMenu menu(CreatePopupMenu());
  if (!menu) return menu;
  AppendMenuW(menu, MF_STRING | MF_GRAYED, ID_STATUS, trayStatusText().c_str());
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  const std::string ready = controller ? controller->readyUpdateVersion() : std::string();
  if (!ready.empty()) {
    AppendMenuW(menu, MF_STRING, ID_INSTALL,
                trFormat("upd.menu", "version", toWide(ready)).c_str());
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  }
  AppendMenuW(menu, MF_STRING, ID_OPEN, tr("tray.open").c_str());
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, ID_QUIT, tr("tray.quit").c_str());
  SetMenuDefaultItem(menu, ID_OPEN, FALSE);
  return menu;
}

HWND createTrayWindow(HINSTANCE instance, App* app) {
  controller = app;
  windowHost = app ? std::make_unique<ControllerHost>(*app) : nullptr;
  trayInstance = instance;
  setLanguageSource(controllerLanguage);
  // The theme itself waits for the first window: only its icon is needed now.
  gui::setThemeInstance(instance);
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = trayProc;
  wc.hInstance = instance;
  wc.hIcon = iconOnce(largeIcon, SM_CXICON);
  // The notification icon's own picture, given here so that the class does
  // not derive a small icon of its own from the resource.
  wc.hIconSm = iconOnce(smallIcon, SM_CXSMICON);
  wc.lpszClassName = kTrayWindowClass;
  RegisterClassExW(&wc);
  // A top-level window, never shown, rather than a message-only one: only
  // top-level windows receive the shell's "TaskbarCreated" broadcast.
  trayWindow = CreateWindowExW(0, kTrayWindowClass, L"Cairn", 0, 0, 0, 0, 0, nullptr, nullptr,
                               instance, nullptr);
  if (!trayWindow) {
    logLine(sformat("the notification-area window could not be created (%lu)", GetLastError()));
    return nullptr;
  }
  taskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");
  addTrayIcon();
  return trayWindow;
}

void releaseTrayController() {
  setLanguageSource(nullptr);
  controller = nullptr;
  windowHost.reset();
  // The class names the icons released with its window: a later window
  // registers it again with new ones. Without a window they are released here.
  if (trayInstance) UnregisterClassW(kTrayWindowClass, trayInstance);
  trayInstance = nullptr;
  releaseIcons();
  trayCheck = ui::GameCheck();  // a check still running ends on its own
}

App* trayController() { return controller; }

ui::WindowHost* trayWindowHost() { return windowHost.get(); }

HWND trayWindowHandle() { return trayWindow; }

std::wstring trayStatusText() {
  const AppStatus status = controller ? controller->status() : AppStatus::NoGameFolder;
  return tr(statusKey(status, {"tray.ready", "tray.nowow", "tray.noaddon", "tray.addonblocked"}));
}

void noteGameState(const GameState& state) {
  if (controller && controller->noteGameState(state) && trayWindow) updateTrayTip();
}

void showBalloon(const std::wstring& title, const std::wstring& text, int kind) {
  if (!trayWindow) return;
  NOTIFYICONDATAW balloon = trayIconData;
  balloon.uFlags = NIF_INFO;
  copyCut(balloon.szInfoTitle, title, kBalloonTitleChars);
  copyCut(balloon.szInfo, text, kBalloonTextChars);
  balloon.dwInfoFlags = NIIF_USER | NIIF_LARGE_ICON;
  balloon.hBalloonIcon = iconOnce(largeIcon, SM_CXICON);
  balloonKind = static_cast<BYTE>(kind);
  ui::shellNotify(NIM_MODIFY, balloon, ui::kShellTimeoutMs);
}

void showBalloonKeys(const char* titleKey, const char* textKey) {
  showBalloon(tr(titleKey), tr(textKey), kBalloonPlain);
}
