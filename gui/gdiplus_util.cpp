#include "gui/gdiplus_util.h"

#include "gui/paint.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace gui {

Canvas::Canvas(HDC dc) {
  if (GdipCreateFromHDC(dc, g_.out()) == Ok) prepare();
}

Canvas::Canvas(GpImage* image) {
  if (image && GdipGetImageGraphicsContext(image, g_.out()) == Ok) prepare();
}

void Canvas::prepare() {
  GdipSetSmoothingMode(g_, SmoothingModeAntiAlias);
  GdipSetPixelOffsetMode(g_, PixelOffsetModeHalf);
  GdipSetInterpolationMode(g_, InterpolationModeHighQualityBicubic);
}

void fillPath(GpGraphics* g, GpPath* path, Argb colour) {
  SolidOwner brush;
  if (!g || !path || GdipCreateSolidFill(colour, brush.out()) != Ok) return;
  GdipFillPath(g, brush, path);
}

void fillPathWith(GpGraphics* g, GpPath* path, GpBrush* brush) {
  if (g && path && brush) GdipFillPath(g, brush, path);
}

void strokePath(GpGraphics* g, GpPath* path, Argb colour, float width) {
  PenOwner pen;
  if (!g || !path || GdipCreatePen1(colour, width, UnitPixel, pen.out()) != Ok) return;
  GdipDrawPath(g, pen, path);
}

void strokePathWith(GpGraphics* g, GpPath* path, GpBrush* brush, float width) {
  PenOwner pen;
  if (!g || !path || !brush || GdipCreatePen2(brush, width, UnitPixel, pen.out()) != Ok) return;
  GdipDrawPath(g, pen, path);
}

void fillRectWith(GpGraphics* g, GpBrush* brush, float x, float y, float w, float h) {
  if (g && brush && w > 0 && h > 0) GdipFillRectangle(g, brush, x, y, w, h);
}

void fillEllipse(GpGraphics* g, Argb colour, float x, float y, float w, float h) {
  SolidOwner brush;
  if (!g || GdipCreateSolidFill(colour, brush.out()) != Ok) return;
  GdipFillEllipse(g, brush, x, y, w, h);
}

void drawRoundLines(GpGraphics* g, Argb colour, float width, const PointF* points, int count) {
  PenOwner pen;
  if (!g || GdipCreatePen1(colour, width, UnitPixel, pen.out()) != Ok) return;
  GdipSetPenLineCap197819(pen, LineCapRound, LineCapRound, DashCapRound);
  GdipSetPenLineJoin(pen, LineJoinRound);
  GdipDrawLines(g, pen, points, count);
}

GpLineGradient* makeLineBrush(float x1, float y1, float x2, float y2, Argb from, Argb to) {
  PointF p1(x1, y1);
  PointF p2(x2, y2);
  GpLineGradient* brush = nullptr;
  if (GdipCreateLineBrush(&p1, &p2, from, to, WrapModeTileFlipXY, &brush) != Ok) return nullptr;
  return brush;
}

GpLineGradient* makeVerticalBrush(float y, float yb, Argb top, Argb bottom) {
  return makeLineBrush(0, y, 0, yb, top, bottom);
}

GpLineGradient* makeFadeBrush(float x1, float x2, float y, Argb edge, Argb middle) {
  GpLineGradient* brush = makeLineBrush(x1, y, x2, y, edge, edge);
  if (!brush) return nullptr;
  const ARGB colours[] = {edge, middle, edge};
  const REAL positions[] = {0.0f, 0.5f, 1.0f};
  GdipSetLinePresetBlend(brush, colours, positions, 3);
  return brush;
}

GpPath* makeRoundedPath(float x, float y, float w, float h, float radius, int corners) {
  GpPath* path = nullptr;
  if (GdipCreatePath(FillModeAlternate, &path) != Ok) return nullptr;
  roundedRectPath(path, x, y, w, h, radius, corners);
  return path;
}

}  // namespace gui
