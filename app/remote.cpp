#include "app/remote.h"

#include <windows.h>

#include "app/messages.h"

namespace {

// How long a later start waits for the instance's window or its end, and
// how long for an answer (the instance answers before it does the work).
constexpr ULONGLONG kInstanceWaitMs = 10000;
constexpr DWORD kInstancePollMs = 100;
constexpr UINT kRequestTimeoutMs = 5000;
constexpr UINT kQueryEndSessionTimeoutMs = 5000;
constexpr UINT kEndSessionTimeoutMs = 15000;

HWND findRunningInstance() { return FindWindowW(kTrayWindowClass, nullptr); }

bool requestTaken(HWND window, const StartRequest& request) {
  const ForwardedMessage m = forwardedMessageFor(request);
  AllowSetForegroundWindow(ASFW_ANY);  // the instance may bring its window to the front
  DWORD_PTR answer = kRequestDeclined;
  return SendMessageTimeoutW(window, m.message, m.wParam, 0, SMTO_ABORTIFHUNG, kRequestTimeoutMs,
                             &answer) != 0 &&
         answer == kRequestTaken;
}

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

Forwarding forwardToRunningInstance(const StartRequest& request, HANDLE mutex) {
  const ULONGLONG deadline = GetTickCount64() + kInstanceWaitMs;
  HWND asked = nullptr;
  for (;;) {
    // Each window is asked once: an instance that declined is leaving, and
    // one that did not answer in time may still act on the request.
    HWND window = findRunningInstance();
    if (window && window != asked) {
      asked = window;
      if (requestTaken(window, request)) return Forwarding::Taken;
    }
    // The instance is still preparing (no window yet) or leaving; its end
    // releases the mutex, a crash abandons it.
    const DWORD waited = WaitForSingleObject(mutex, kInstancePollMs);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return Forwarding::InstanceLeft;
    if (GetTickCount64() >= deadline) return Forwarding::GaveUp;
  }
}
