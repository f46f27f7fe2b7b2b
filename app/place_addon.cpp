#include "app/place_addon.h"

#include <windows.h>

#include "app/app.h"
#include "app/messages.h"
#include "base/scoped_handle.h"
#include "storage/log.h"

namespace {

// Longer than a copy of the addon takes on a slow disk; the installer waits
// a little longer than this.
constexpr ULONGLONG kAnswerWaitMs = 45000;
constexpr DWORD kPollMs = 100;
constexpr ULONGLONG kInstanceWaitMs = 10000;  // an instance starting or leaving
constexpr wchar_t kReplyClass[] = L"CairnPlaceReply";

int code(PlaceExit exit) { return static_cast<int>(exit); }

// The running instance answers on a message-only window of this run.
int askRunningInstance(HWND instance) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kReplyClass;
  RegisterClassW(&wc);
  const ScopedWindow reply(CreateWindowExW(0, kReplyClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                           nullptr, wc.hInstance, nullptr));
  if (!reply.valid()) return code(PlaceExit::NoAnswer);
  if (!PostMessageW(instance, WM_APP_PLACE, 0, reinterpret_cast<LPARAM>(reply.get()))) {
    return code(PlaceExit::NoAnswer);
  }
  const ULONGLONG deadline = GetTickCount64() + kAnswerWaitMs;
  MSG msg;
  while (GetTickCount64() < deadline) {
    while (PeekMessageW(&msg, reply.get(), 0, 0, PM_REMOVE)) {
      if (msg.message == WM_APP_PLACED) return static_cast<int>(msg.wParam);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, kPollMs, QS_POSTMESSAGE);
  }
  return code(PlaceExit::NoAnswer);
}

}  // namespace

PlaceExit placeExitOf(const AddonReport& report) {
  if (report.folder.empty()) return PlaceExit::NoFolder;
  switch (report.problem) {
    case AddonProblem::None: return PlaceExit::Placed;
    case AddonProblem::NoPayload: return PlaceExit::NoPayload;
    case AddonProblem::LinkRefused: return PlaceExit::LinkRefused;
    case AddonProblem::AccessDenied: return PlaceExit::AccessDenied;
    case AddonProblem::DiskFull: return PlaceExit::DiskFull;
    case AddonProblem::InUse: return PlaceExit::InUse;
    case AddonProblem::Failed: break;
  }
  return PlaceExit::Failed;
}

int runPlaceAddon(const Args&) {
  ScopedHandle mutex(CreateMutexW(nullptr, TRUE, kInstanceMutexName));
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    // An instance runs, or is starting or leaving: it answers once its
    // window is there; once it is gone, this run does the work itself.
    const ULONGLONG deadline = GetTickCount64() + kInstanceWaitMs;
    for (;;) {
      if (HWND instance = FindWindowW(kTrayWindowClass, nullptr)) return askRunningInstance(instance);
      const DWORD waited = WaitForSingleObject(mutex.get(), kPollMs);
      if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) break;
      if (GetTickCount64() >= deadline) return code(PlaceExit::NoAnswer);
    }
  }
  int exit;
  {
    App app;
    exit = code(placeExitOf(app.placeAddonForInstaller()));
  }
  logLine("addon placed for the installer: exit code " + std::to_string(exit));
  ReleaseMutex(mutex.get());
  return exit;
}
