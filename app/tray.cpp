#include "app/tray.h"

#include "app/app.h"
#include "app/messages.h"
#include "i18n/i18n.h"
#include "storage/log.h"

namespace {

App* controller = nullptr;
HWND trayWindow = nullptr;

// Texts follow the user's language from the moment the window exists.
std::string controllerLanguage() { return controller ? controller->language() : std::string(); }

LRESULT onEndSession(HWND window, WPARAM sessionEnds) {
  if (!sessionEnds) return 0;
  logLine("Windows session ends");
  // The process may be killed any moment after this returns: stop now.
  if (controller) controller->stop();
  DestroyWindow(window);
  return 0;
}

LRESULT onDestroy() {
  PostQuitMessage(0);
  trayWindow = nullptr;
  return 0;
}

LRESULT CALLBACK trayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_ENDSESSION:
      return onEndSession(window, wParam);
    case WM_DESTROY:
      return onDestroy();
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

HWND createTrayWindow(HINSTANCE instance, App* app) {
  controller = app;
  setLanguageSource(controllerLanguage);
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = trayProc;
  wc.hInstance = instance;
  wc.lpszClassName = kTrayWindowClass;
  RegisterClassExW(&wc);
  // A top-level window, never shown, rather than a message-only one: only
  // top-level windows receive the shell's broadcasts.
  trayWindow = CreateWindowExW(0, kTrayWindowClass, L"Cairn", 0, 0, 0, 0, 0, nullptr, nullptr,
                               instance, nullptr);
  return trayWindow;
}

void releaseTrayController() {
  setLanguageSource(nullptr);
  controller = nullptr;
}
