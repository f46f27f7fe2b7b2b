// Paint benchmark of the toolkit: one full paint of the demo window into its
// off-screen bitmap, and one repaint of the window as WM_PAINT does it (the
// backdrop cached), at 96 and at 192 DPI, against a plain fill of the same
// bitmap as the baseline measured in the same run. Prints medians and ratios.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "gui/theme.h"
#include "tools/gui_demo/demo_window.h"

namespace {

constexpr int kRuns = 41;
constexpr int kWarmUp = 3;

double medianMs(const std::function<void()>& work) {
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  for (int i = 0; i < kWarmUp; ++i) work();
  std::vector<double> times;
  for (int i = 0; i < kRuns; ++i) {
    QueryPerformanceCounter(&start);
    work();
    GdiFlush();
    QueryPerformanceCounter(&end);
    times.push_back(1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                    static_cast<double>(frequency.QuadPart));
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

bool measure(demo::DemoWindow& window, UINT dpi) {
  window.switchDpi(dpi);
  const RECT client = {0, 0, window.scale(demo::kWidthDip), window.scale(demo::kHeightDip)};
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
  ReleaseDC(nullptr, screen);
  if (!dc || !bitmap) return false;
  HGDIOBJ old = SelectObject(dc, bitmap);
  HBRUSH plain = CreateSolidBrush(RGB(36, 28, 22));
  const double fill = medianMs([&] { FillRect(dc, &client, plain); });
  const double paint = medianMs([&] { window.renderTo(dc, client); });
  // What a hover or a click costs: WM_PAINT with the backdrop already made.
  RedrawWindow(window.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  const double repaint = medianMs(
      [&] { RedrawWindow(window.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW); });
  std::printf("dpi %3u  %4ldx%-4ld  full paint %8.3f ms  repaint %8.3f ms  plain fill %7.3f ms"
              "  ratios %7.1f %7.1f\n",
              dpi, client.right, client.bottom, paint, repaint, fill,
              fill > 0 ? paint / fill : 0.0, fill > 0 ? repaint / fill : 0.0);
  DeleteObject(plain);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return true;
}

}  // namespace

int main() {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  gui::initTheme(GetModuleHandleW(nullptr));
  int rc = 0;
  {
    demo::DemoWindow window;
    if (!window.open()) {
      std::fprintf(stderr, "cannot create the demo window\n");
      rc = 1;
    } else {
      ShowWindow(window.hwnd(), SW_SHOWNOACTIVATE);  // only a shown window gets WM_PAINT
      std::printf("median of %d paints of the %dx%d DIP demo window\n", kRuns, demo::kWidthDip,
                  demo::kHeightDip);
      if (!measure(window, 96) || !measure(window, 192)) rc = 1;
      DestroyWindow(window.hwnd());
    }
  }
  gui::shutdownTheme();
  CoUninitialize();
  return rc;
}
