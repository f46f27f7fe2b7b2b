// Owners for what a paint makes and selects: a bitmap or brush, an object selected
// into a DC for a scope, and a window's DC.
#pragma once

#include <windows.h>

#include "base/scoped_handle.h"

// The screen's DC from GetDC(nullptr), for measuring text outside a paint.
inline void releaseScreenDc(HDC h) { ReleaseDC(nullptr, h); }
using ScopedScreenDc = ScopedHandleOf<HDC, NullHandleTraits<HDC, releaseScreenDc>>;

// A GDI pen, brush or font made for one paint; the caller deselects it first.
using ScopedGdiObject = ScopedHandleOf<HGDIOBJ, NullHandleTraits<HGDIOBJ, DeleteObject>>;

// A memory DC from CreateCompatibleDC; the caller deselects what it selected.
using ScopedMemoryDc = ScopedHandleOf<HDC, NullHandleTraits<HDC, DeleteDC>>;

namespace gui {

// GDI objects of one kind (bitmap, brush, font), deleted with DeleteObject.
template <typename H>
using TypedGdiTraits = NullHandleTraits<H, DeleteObject>;
// A bitmap is deleted only once no DC holds it: a ScopedSelect of it ends first.
using ScopedBitmap = ScopedHandleOf<HBITMAP, TypedGdiTraits<HBITMAP>>;
using ScopedBrush = ScopedHandleOf<HBRUSH, TypedGdiTraits<HBRUSH>>;
// A font is deleted only once no DC and no window uses it.
using ScopedFont = ScopedHandleOf<HFONT, TypedGdiTraits<HFONT>>;

using ScopedIcon = ScopedHandleOf<HICON, NullHandleTraits<HICON, DestroyIcon>>;

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
