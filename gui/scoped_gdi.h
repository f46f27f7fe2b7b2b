// Owners for what a paint makes and selects: a bitmap or brush, an object selected
// into a DC for a scope, and a window's DC.
#pragma once

#include <windows.h>

#include "base/scoped_handle.h"

// The screen's DC from GetDC(nullptr), for measuring text outside a paint.
struct ScreenDcTraits {
  static HDC invalid() { return nullptr; }
  static bool valid(HDC h) { return h != nullptr; }
  static void close(HDC h) { ReleaseDC(nullptr, h); }
};
using ScopedScreenDc = ScopedHandleOf<HDC, ScreenDcTraits>;

// A GDI pen, brush or font made for one paint; the caller deselects it first.
struct GdiObjectTraits {
  static HGDIOBJ invalid() { return nullptr; }
  static bool valid(HGDIOBJ h) { return h != nullptr; }
  static void close(HGDIOBJ h) { DeleteObject(h); }
};
using ScopedGdiObject = ScopedHandleOf<HGDIOBJ, GdiObjectTraits>;

// A memory DC from CreateCompatibleDC; the caller deselects what it selected.
struct MemoryDcTraits {
  static HDC invalid() { return nullptr; }
  static bool valid(HDC h) { return h != nullptr; }
  static void close(HDC h) { DeleteDC(h); }
};
using ScopedMemoryDc = ScopedHandleOf<HDC, MemoryDcTraits>;

namespace gui {

// GDI objects of one kind (bitmap, brush, font), deleted with DeleteObject.
template <typename H>
struct TypedGdiTraits {
  static H invalid() { return nullptr; }
  static bool valid(H h) { return h != nullptr; }
  static void close(H h) { DeleteObject(h); }
};
// A bitmap is deleted only once no DC holds it: a ScopedSelect of it ends first.
using ScopedBitmap = ScopedHandleOf<HBITMAP, TypedGdiTraits<HBITMAP>>;
using ScopedBrush = ScopedHandleOf<HBRUSH, TypedGdiTraits<HBRUSH>>;
// A font is deleted only once no DC and no window uses it.
using ScopedFont = ScopedHandleOf<HFONT, TypedGdiTraits<HFONT>>;

struct IconTraits {
  static HICON invalid() { return nullptr; }
  static bool valid(HICON h) { return h != nullptr; }
  static void close(HICON h) { DestroyIcon(h); }
};
using ScopedIcon = ScopedHandleOf<HICON, IconTraits>;

// `object` selected into `dc` until the end of the scope, when the DC gets
// back what it held before.
class ScopedSelect {
 public:
  ScopedSelect(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~ScopedSelect() {
    if (old_) SelectObject(dc_, old_);
  }
  ScopedSelect(const ScopedSelect&) = delete;
  ScopedSelect& operator=(const ScopedSelect&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// A window's DC from GetDC, given back to that window at the end of the scope.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDc() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  operator HDC() const { return dc_; }
  bool valid() const { return dc_ != nullptr; }

 private:
  HWND window_;
  HDC dc_;
};

}  // namespace gui
