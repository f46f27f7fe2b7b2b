// Small owners and helpers over the GDI+ flat API, shared by the painters.
// Every object is released when its owner goes out of scope, on every path.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cstdint>

namespace gui {

using Argb = uint32_t;

template <typename T, typename Base, Gdiplus::GpStatus(WINGDIPAPI* Release)(Base*)>
class GpOwned {
 public:
  GpOwned() = default;
  explicit GpOwned(T* p) : p_(p) {}
  ~GpOwned() { reset(); }
  GpOwned(const GpOwned&) = delete;
  GpOwned& operator=(const GpOwned&) = delete;
  GpOwned(GpOwned&& other) noexcept : p_(other.release()) {}
  GpOwned& operator=(GpOwned&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  // Releases what is held; the slot for an API that writes the object.
  T** out() {
    reset();
    return &p_;
  }
  T* get() const { return p_; }
  T* release() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }
  void reset(T* p = nullptr) {
    if (p_) Release(p_);
    p_ = p;
  }
  operator T*() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

using GraphicsOwner =
    GpOwned<Gdiplus::GpGraphics, Gdiplus::GpGraphics, Gdiplus::DllExports::GdipDeleteGraphics>;
using PathOwner = GpOwned<Gdiplus::GpPath, Gdiplus::GpPath, Gdiplus::DllExports::GdipDeletePath>;
using PenOwner = GpOwned<Gdiplus::GpPen, Gdiplus::GpPen, Gdiplus::DllExports::GdipDeletePen>;
using SolidOwner =
    GpOwned<Gdiplus::GpSolidFill, Gdiplus::GpBrush, Gdiplus::DllExports::GdipDeleteBrush>;
using LineBrushOwner =
    GpOwned<Gdiplus::GpLineGradient, Gdiplus::GpBrush, Gdiplus::DllExports::GdipDeleteBrush>;
using PathBrushOwner =
    GpOwned<Gdiplus::GpPathGradient, Gdiplus::GpBrush, Gdiplus::DllExports::GdipDeleteBrush>;
using TextureOwner =
    GpOwned<Gdiplus::GpTexture, Gdiplus::GpBrush, Gdiplus::DllExports::GdipDeleteBrush>;
using ImageOwner =
    GpOwned<Gdiplus::GpBitmap, Gdiplus::GpImage, Gdiplus::DllExports::GdipDisposeImage>;

// A graphics object on a DC (or an image) with the drawing quality every
// painter uses: anti-aliased, half pixel offset, high-quality bicubic.
class Canvas {
 public:
  explicit Canvas(HDC dc);
  explicit Canvas(Gdiplus::GpImage* image);
  Gdiplus::GpGraphics* graphics() const { return g_; }
  operator Gdiplus::GpGraphics*() const { return g_; }

 private:
  void prepare();
  GraphicsOwner g_;
};

// Shape helpers; a failed step draws nothing.
void fillPath(Gdiplus::GpGraphics* g, Gdiplus::GpPath* path, Argb colour);
void fillPathWith(Gdiplus::GpGraphics* g, Gdiplus::GpPath* path, Gdiplus::GpBrush* brush);
void strokePath(Gdiplus::GpGraphics* g, Gdiplus::GpPath* path, Argb colour, float width);
void strokePathWith(Gdiplus::GpGraphics* g, Gdiplus::GpPath* path, Gdiplus::GpBrush* brush,
                    float width);
void fillRectWith(Gdiplus::GpGraphics* g, Gdiplus::GpBrush* brush, float x, float y, float w,
                  float h);
void fillEllipse(Gdiplus::GpGraphics* g, Argb colour, float x, float y, float w, float h);
// A rounded pen for check marks and strokes with round caps and joins.
void drawRoundLines(Gdiplus::GpGraphics* g, Argb colour, float width, const Gdiplus::PointF* points,
                    int count);
// A two-colour linear gradient brush from p1 to p2, wrap mode tile-flip-XY.
Gdiplus::GpLineGradient* makeLineBrush(float x1, float y1, float x2, float y2, Argb from, Argb to);
// Vertical gradient from y (first colour) to yb (second colour).
Gdiplus::GpLineGradient* makeVerticalBrush(float y, float yb, Argb top, Argb bottom);
// Horizontal gradient over x1..x2 that fades in and out around `middle`.
Gdiplus::GpLineGradient* makeFadeBrush(float x1, float x2, float y, Argb edge, Argb middle);
// A rounded rectangle as its own path.
Gdiplus::GpPath* makeRoundedPath(float x, float y, float w, float h, float radius, int corners);

}  // namespace gui
