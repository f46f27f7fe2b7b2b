#include "app/remote.h"

#include <windows.h>

#include "app/messages.h"

namespace {

constexpr int kFindWindowTries = 50;
constexpr DWORD kFindWindowPauseMs = 100;
constexpr UINT kQueryEndSessionTimeoutMs = 5000;
constexpr UINT kEndSessionTimeoutMs = 15000;

HWND findRunningInstance() { return FindWindowW(kTrayWindowClass, nullptr); }

}  // namespace

int runRunningQuery() { return findRunningInstance() ? 0 : 1; }

int runQuit() {
  if (HWND window = findRunningInstance()) PostMessageW(window, WM_CLOSE, 0, 0);
  return 0;
}

int runEndSession() {
  HWND window = findRunningInstance();
  if (!window) return 1;
  DWORD_PTR answer = 0;
  // Only a window that answered the query gets the end itself; a hung one
  // fails the first call and is left alone.
  if (SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG,
                          kQueryEndSessionTimeoutMs, &answer)) {
    SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG,
                        kEndSessionTimeoutMs, &answer);
  }
  return 0;
}

int forwardToRunningInstance(const StartRequest& request) {
  // The first instance creates its window only after its preparation, so a
  // start during that time has to wait for it.
  for (int attempt = 0; attempt < kFindWindowTries; ++attempt) {
    if (HWND window = findRunningInstance()) {
      AllowSetForegroundWindow(ASFW_ANY);
      ForwardedMessage m;
      if (forwardedMessageFor(request, m)) PostMessageW(window, m.message, m.wParam, 0);
      return 0;
    }
    Sleep(kFindWindowPauseMs);
  }
  return 0;
}
