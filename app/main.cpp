// Process entry: picks the kind of run, keeps one instance per session, and
// brings the first instance up and down in a fixed order.
#include <windows.h>

#include "app/app.h"
#include "app/cmdline.h"
#include "app/crash.h"
#include "app/message_loop.h"
#include "app/messages.h"
#include "app/remote.h"
#include "app/switches.h"
#include "app/tray.h"
#include "base/scoped_handle.h"
#include "gui/theme.h"

// The default terminate handler prints the exception's demangled type name,
// which a GUI program without a console never shows, and the demangler is a
// good part of the executable: an uncaught exception ends the program as a
// crash does, with its dump.
namespace __gnu_cxx {
void __verbose_terminate_handler() { endWithCrash(); }
}  // namespace __gnu_cxx

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // this start could not run

int runFirstInstance(HINSTANCE instance, const StartRequest& request, ScopedHandle mutex) {
  // The theme waits for the first window, the common controls for its first
  // field and COM for the first shell or screen-reader request, so that a
  // start in the background is quick and stays small.
  int exitCode = kExitOk;
  installCrashHandler();
  reportPreviousCrash();
  {
    App app;
    app.prepare();
    const bool windowFirst = firstViewOpensWindow(app, request);
    if (HWND trayWindow = createTrayWindow(instance, &app)) {
      // The window's pictures decode while the controller starts and the
      // window is made. Not before the icon: their thread loads GDI+ under
      // the loader's lock, which the icon and the first window wait for.
      if (windowFirst) gui::preparePictures();
      app.start(trayWindow);
      registerRestart();  // withdrawn when the user quits
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
    gui::shutdownTheme();  // GDI+ and then COM, if they were ever started
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
  // Before any DLL is loaded by name (the delay-loaded ones, COM's): from
  // System32 only, never from the program's folder or the current one.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  const Args args = splitCommandLine(GetCommandLineW());
  if (const RunSwitch* run = selectRun(args)) return run->run(args);
  return runOrdinary(instance, args);
}
