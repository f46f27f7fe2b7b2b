// The toolkit demo: shows every control in every state.
//   CairnGuiDemo.exe                      opens the window
//   CairnGuiDemo.exe --shot FILE [DPI]    paints it off-screen at DPI and saves a PNG
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <cwchar>
#include <string>

#include "gui/theme.h"
#include "tools/gui_demo/demo_window.h"

namespace {

int saveShot(const std::wstring& path, UINT dpi) {
  demo::DemoWindow window;
  if (!window.open()) return 2;
  window.switchDpi(dpi);
  const gui::ScopedBitmap bitmap = window.renderBitmap();
  const bool saved = bitmap.valid() && demo::savePng(bitmap, path);
  DestroyWindow(window.hwnd());
  return saved ? 0 : 1;
}

int showWindow() {
  auto* window = new demo::DemoWindow;  // lives until the message loop ends
  window->quitOnClose = true;
  if (!window->open()) {
    delete window;
    return 2;
  }
  ShowWindow(window->hwnd(), SW_SHOWNORMAL);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
      SendMessageW(window->hwnd(), WM_COMMAND, IDCANCEL, 0);
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  delete window;
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  gui::initTheme(GetModuleHandleW(nullptr));
  int rc;
  if (argc >= 3 && std::wcscmp(argv[1], L"--shot") == 0) {
    const UINT dpi = argc >= 4 ? static_cast<UINT>(std::wcstoul(argv[3], nullptr, 10)) : 96;
    rc = saveShot(argv[2], dpi >= 48 && dpi <= 480 ? dpi : 96);
  } else {
    rc = showWindow();
  }
  gui::shutdownTheme();
  CoUninitialize();
  return rc;
}
