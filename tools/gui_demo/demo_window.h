// A window that shows every control kind in every state and every painting
// primitive, so the toolkit's look can be checked at a glance. Used by the
// demo program, the screenshots and the paint benchmark.
#pragma once

#include <windows.h>

#include <string>

#include "gui/scoped_gdi.h"
#include "gui/surface.h"

namespace demo {

constexpr int kWidthDip = 900;
constexpr int kHeightDip = 640;

class DemoWindow : public gui::Surface {
 public:
  // Creates the window (hidden) with all its controls; false when that fails.
  bool open();
  // Re-lays the window out for `dpi`, as a move to such a monitor would.
  void switchDpi(UINT dpi);
  // Paints the whole client area into a new 32-bit bitmap of the client size.
  gui::ScopedBitmap renderBitmap();
  bool quitOnClose = false;

 protected:
  void layout() override;
  void paintBackdrop(HDC dc, const RECT& clientRect) override;
  void paint(HDC dc, const RECT& clientRect) override;
  void onClick(int id) override;
  void onCommand(int id, int code) override;
  void onMouseMove(POINT clientPoint) override;
  void onDestroyed() override;

 private:
  void forceStates();
  RECT dipRect(int x, int y, int w, int h) const;
  void heading(HDC dc, int x, int y, const wchar_t* text);
};

// Paints a window's whole client area (`client`, from the origin), its EDIT
// children printed in, into a new 32-bit bitmap; none on failure.
gui::ScopedBitmap renderSurface(gui::Surface& surface, const RECT& client);

// Saves a bitmap as a PNG file through GDI+; false on failure.
bool savePng(HBITMAP bitmap, const std::wstring& path);

}  // namespace demo
