// Process entry: picks the kind of run, keeps one instance per session, and
// brings the first instance up and down in a fixed order.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include "app/app.h"
#include "app/cmdline.h"
#include "app/diagnostic.h"
#include "app/first_view.h"
#include "app/messages.h"
#include "app/remote.h"
#include "app/tray.h"
#include "gui/theme.h"
#include "storage/scoped_win.h"

namespace {

constexpr DWORD kCommonControlClasses = ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES;
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // this start could not run

int runFirstInstance(HINSTANCE instance, const StartRequest& request, ScopedHandle mutex) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  INITCOMMONCONTROLSEX icc = {sizeof icc, kCommonControlClasses};
  InitCommonControlsEx(&icc);
  int exitCode = kExitOk;
  {
    App app;
    app.prepare();
    if (HWND trayWindow = createTrayWindow(instance, &app)) {
      app.start(trayWindow);
      showFirstView(app, request);
      runMessageLoop();
    } else {
      // Without its window no later start, --running or --quit can reach
      // this instance: it must not go on holding the mutex.
      exitCode = kExitFailed;
    }
    // The controller's threads may post to the window until they are joined,
    // so they stop before COM and the window class go away.
    app.stop();
    releaseTrayController();
    gui::shutdownTheme();
    CoUninitialize();
    if (mutex.valid()) {
      ReleaseMutex(mutex);
      mutex.reset();
    }
  }
  return exitCode;
}

int runOrdinary(HINSTANCE instance, const Args& args) {
  const StartRequest request = readStartRequest(args);
  ScopedHandle mutex(CreateMutexW(nullptr, TRUE, kInstanceMutexName));
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    switch (forwardToRunningInstance(request, mutex)) {
      case Forwarding::Taken:
        return kExitOk;
      case Forwarding::GaveUp:
        return kExitFailed;
      case Forwarding::InstanceLeft:
        break;  // this start owns the mutex now
    }
  }
  return runFirstInstance(instance, request, std::move(mutex));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  const Args args = splitCommandLine(GetCommandLineW());
  switch (selectRunMode(args)) {
    case RunMode::Diagnostic:
      return runDiagnostic(args);
    case RunMode::Running:
      return runRunningQuery();
    case RunMode::Quit:
      return runQuit();
    case RunMode::EndSession:
      return runEndSession();
    case RunMode::Ordinary:
      break;
  }
  return runOrdinary(instance, args);
}
