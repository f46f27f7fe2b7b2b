#include "app/router.h"

#include "app/app.h"
#include "app/messages.h"
#include "app/switches.h"
#include "app/tray.h"
#include "base/text.h"
#include "gui/theme.h"
#include "i18n/i18n.h"
#include "ui/common.h"
#include "ui/mainwnd.h"
#include "ui/setup.h"

namespace {

// A quit already waiting behind a request would end this instance right
// after it took the request, and lose it.
bool quitPending() {
  HWND trayWindow = trayWindowHandle();
  MSG next;
  if (PeekMessageW(&next, trayWindow, WM_CLOSE, WM_CLOSE, PM_NOREMOVE)) return true;
  return PeekMessageW(&next, trayWindow, WM_COMMAND, WM_COMMAND, PM_NOREMOVE) &&
         LOWORD(next.wParam) == ID_QUIT;
}

}  // namespace

LRESULT onStartRequest(UINT message, WPARAM wParam) {
  if (quitPending()) return kRequestDeclined;
  // The start may end now: the work can take long (an elevation prompt).
  ReplyMessage(kRequestTaken);
  takeStartRequest(message, wParam);
  return kRequestTaken;
}

void installFromTray() {
  App* controller = trayController();
  if (!controller) return;
  const std::string version = controller->readyUpdateVersion();
  if (version.empty()) return;
  HWND owner = mainWindowHandle() ? mainWindowHandle() : trayWindowHandle();
  gui::startCom();  // ShellExecuteEx may hand the start to shell extensions
  switch (controller->installUpdate(owner)) {
    case InstallResult::Started:
      showBalloon(tr("upd.installing.title"),
                  trFormat("upd.installing.text", "version", toWide(version)), kBalloonPlain);
      break;
    case InstallResult::Failed:
      showBalloonKeys("upd.failed.title", "upd.failed.text");
      break;
    default:
      break;  // declined, or nothing ready after all
  }
  refreshMainWindow();
}

void openFromTray() {
  App* controller = trayController();
  if (!controller) return;
  if (controller->snapshot().wizardDone) {
    openMainUnlessSetup(ui::mainwnd::kKeepTab);
  } else if (HWND setup = setupWindowHandle()) {
    ui::bringToFront(setup);  // an open wizard keeps the user's page
  } else {
    openSetupPage(0);
  }
}

void openSetupPage(int page) {
  if (ui::WindowHost* host = trayWindowHost()) openSetup(*host, page);
}

void openMainUnlessSetup(ui::mainwnd::TabRequest tab) {
  App* controller = trayController();
  ui::WindowHost* host = trayWindowHost();
  if (!controller || !host) return;
  HWND setup = setupWindowHandle();
  if (setup && !controller->snapshot().wizardDone) {
    ui::bringToFront(setup);
    return;
  }
  openMainWindow(*host, tab);
}
