// Baseline for the start-up benchmarks: the least a program can do to be
// found the way Cairnstone is found, a hidden window and a message loop; with
// --open, or on a left click as the notification icon reports it, also one
// empty window of the main window's class and size, shown.
#include <windows.h>

#include "app/messages.h"
#include "ui/mainwnd.h"

namespace {

HINSTANCE instance = nullptr;

void openEmptyWindow() {
  if (FindWindowW(ui::mainwnd::kWindowClass, nullptr)) return;
  HWND main = CreateWindowExW(0, ui::mainwnd::kWindowClass, L"Cairnstone", WS_OVERLAPPEDWINDOW,
                              CW_USEDEFAULT, CW_USEDEFAULT, 900, 640, nullptr, nullptr, instance,
                              nullptr);
  ShowWindow(main, SW_SHOW);
  UpdateWindow(main);
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  if (message == WM_APP_TRAY && LOWORD(lParam) == WM_LBUTTONUP) {
    openEmptyWindow();
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE self, HINSTANCE, PWSTR commandLine, int) {
  instance = self;
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = windowProc;
  wc.hInstance = instance;
  wc.lpszClassName = kTrayWindowClass;
  RegisterClassExW(&wc);
  CreateWindowExW(0, kTrayWindowClass, L"Cairn", 0, 0, 0, 0, 0, nullptr, nullptr, instance,
                  nullptr);
  wc.lpfnWndProc = DefWindowProcW;
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = ui::mainwnd::kWindowClass;
  RegisterClassExW(&wc);
  if (wcsstr(commandLine, L"--open")) openEmptyWindow();
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  return 0;
}
