// Drives Cairnstone-Setup's pages for tools/setup_screenshots.sh:
//   setup_page rect    print the setup window's screen rectangle (x y width height)
//   setup_page next    press its default button (Next, Install, Uninstall, Finish)
// It waits up to ten seconds for a visible top-level window whose title holds
// "Cairnstone" ("Cairnstone Setup", "Installation von Cairnstone"); exit code
// 1 when there is none.
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

HWND found = nullptr;

BOOL CALLBACK findSetup(HWND window, LPARAM) {
  wchar_t title[128] = {};
  GetWindowTextW(window, title, 128);
  if (IsWindowVisible(window) && wcsstr(title, L"Cairnstone") != nullptr) {
    found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  for (int tries = 0; tries < 100 && !found; ++tries) {
    EnumWindows(findSetup, 0);
    if (!found) Sleep(100);
  }
  if (!found) return 1;
  if (wcscmp(argv[1], L"rect") == 0) {
    RECT r{};
    GetWindowRect(found, &r);
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
  } else {
    SetForegroundWindow(found);
    SendMessageW(found, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(found, IDOK)));
  }
  return 0;
}
