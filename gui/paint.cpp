#include "gui/paint.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "gui/palette.h"
#include "storage/scoped_win.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace gui {
namespace {

constexpr float kSquareRadius = 0.5f;  // at or below this a corner is square
constexpr float kCornerStub = 0.01f;   // square corners keep a tiny segment each
constexpr int kNumberColumnDip = 26;
constexpr int kNumberedGapDip = 4;

float scaleOf(UINT dpi) { return static_cast<float>(dpi) / 96.0f; }

struct Inset {
  float x, y, w, h;
};

// One-pixel outlines fall on pixel centres.
Inset insetRect(const RECT& rc) {
  return {static_cast<float>(rc.left) + 0.5f, static_cast<float>(rc.top) + 0.5f,
          static_cast<float>(rc.right - rc.left - 1), static_cast<float>(rc.bottom - rc.top - 1)};
}

Argb withAlpha(Argb colour, unsigned alpha) { return (colour & 0x00FFFFFFu) | (alpha << 24); }

void drawCheckMark(GpGraphics* g, float cx, float cy, float s, Argb colour) {
  const PointF points[] = {PointF(cx - 4.2f * s, cy + 0.2f * s),
                           PointF(cx - 1.2f * s, cy + 3.2f * s),
                           PointF(cx + 4.4f * s, cy - 3.4f * s)};
  drawRoundLines(g, colour, 2 * s, points, 3);
}

void fillEllipseWithCentre(GpGraphics* g, float cx, float cy, float r, Argb centre, Argb surround,
                           const PointF* focus) {
  PathOwner path;
  if (GdipCreatePath(FillModeAlternate, path.out()) != Ok) return;
  GdipAddPathEllipse(path, cx - r, cy - r, 2 * r, 2 * r);
  PathBrushOwner brush;
  if (GdipCreatePathGradientFromPath(path, brush.out()) != Ok) return;
  GdipSetPathGradientCenterColor(brush, centre);
  ARGB surroundColour = surround;
  INT count = 1;
  GdipSetPathGradientSurroundColorsWithCount(brush, &surroundColour, &count);
  if (focus) GdipSetPathGradientCenterPoint(brush, focus);
  GdipFillPath(g, brush, path);
}

// A gradient band across `area` that changes only along one axis, over
// from..to on that axis (vertical: y, else x), pixel coordinates.
struct Band {
  RECT area;
  float from, to;
  bool vertical;
};

constexpr int kStripThickness = 3;  // the middle line is clear of anti-aliased edges
constexpr int kStripMiddle = 1;

// A premultiplied pixel over a 24-bit one, the sum AlphaBlend makes for a
// source with alpha: dst = src + dst * (255 - alpha) / 255, rounded.
struct Over {
  uint8_t blue[256], green[256], red[256];
  explicit Over(uint32_t pixel) {
    const uint32_t keep = 255 - (pixel >> 24);
    for (uint32_t d = 0; d < 256; ++d) {
      const uint32_t kept = (d * keep + 127) / 255;
      blue[d] = static_cast<uint8_t>((pixel & 0xFF) + kept);
      green[d] = static_cast<uint8_t>((pixel >> 8 & 0xFF) + kept);
      red[d] = static_cast<uint8_t>((pixel >> 16 & 0xFF) + kept);
    }
  }
  void onto(uint8_t* bgr) const {
    bgr[0] = blue[bgr[0]];
    bgr[1] = green[bgr[1]];
    bgr[2] = red[bgr[2]];
  }
};

// GDI+ paints a few lines of the band into a premultiplied picture, and the
// middle one is laid over the band: the same pixels as filling the whole
// band with GDI+ (Wine's GDI+ computes a gradient pixel by pixel) or as an
// AlphaBlend of that line repeated, for a fraction of the cost.
bool blendBand(HDC dc, GpBrush* brush, const Band& band) {
  const LONG areaFrom = band.vertical ? band.area.top : band.area.left;
  const LONG areaTo = band.vertical ? band.area.bottom : band.area.right;
  const LONG first = std::max(areaFrom, static_cast<LONG>(std::floor(band.from)));
  const LONG last = std::min(areaTo, static_cast<LONG>(std::ceil(band.to)));
  const int length = last - first;
  if (length <= 0) return true;
  const int across = band.vertical ? band.area.right - band.area.left
                                   : band.area.bottom - band.area.top;
  if (across <= 0) return true;
  const int width = band.vertical ? kStripThickness : length;
  const int height = band.vertical ? length : kStripThickness;
  void* bits = nullptr;  // top-down, as GDI+ writes it
  ScopedGdiObject picture(createTopDownDib(dc, width, height, 32, &bits));
  if (!picture.valid() || !bits) return false;
  {
    // The first kStripThickness lines across: the middle one clear of the
    // fill's anti-aliased edges.
    ImageOwner strip;
    if (GdipCreateBitmapFromScan0(band.vertical ? kStripThickness : width,
                                  band.vertical ? height : kStripThickness, width * 4,
                                  PixelFormat32bppPARGB, static_cast<BYTE*>(bits),
                                  strip.out()) != Ok) {
      return false;
    }
    Canvas g(strip);
    const float shiftAcross = static_cast<float>(kStripMiddle) -
                              static_cast<float>(band.vertical ? band.area.left : band.area.top);
    const float shiftAlong = -static_cast<float>(first);
    GdipTranslateWorldTransform(g, band.vertical ? shiftAcross : shiftAlong,
                                band.vertical ? shiftAlong : shiftAcross, MatrixOrderPrepend);
    const float acrossFrom = static_cast<float>(band.vertical ? band.area.left : band.area.top) -
                             static_cast<float>(kStripMiddle + 1);
    const float acrossSize = static_cast<float>(kStripThickness + 2);
    if (band.vertical) {
      fillRectWith(g, brush, acrossFrom, band.from, acrossSize, band.to - band.from);
    } else {
      fillRectWith(g, brush, band.from, acrossFrom, band.to - band.from, acrossSize);
    }
  }
  GdiFlush();
  const auto* pixels = static_cast<const uint32_t*>(bits);
  std::vector<uint32_t> line(static_cast<size_t>(length));
  for (int i = 0; i < length; ++i) {
    line[i] = band.vertical ? pixels[static_cast<size_t>(i) * width + kStripMiddle]
                            : pixels[static_cast<size_t>(kStripMiddle) * width + i];
  }
  const RECT rect = band.vertical ? RECT{band.area.left, first, band.area.right, last}
                                  : RECT{first, band.area.top, last, band.area.bottom};
  return layLineOn(dc, rect, line.data(), first, band.vertical);
}

void fillBand(HDC dc, GpBrush* brush, const Band& band) {
  if (!brush || blendBand(dc, brush, band)) return;
  Canvas g(dc);
  const RECT& a = band.area;
  if (band.vertical) {
    fillRectWith(g, brush, static_cast<float>(a.left), band.from,
                 static_cast<float>(a.right - a.left), band.to - band.from);
  } else {
    fillRectWith(g, brush, band.from, static_cast<float>(a.top), band.to - band.from,
                 static_cast<float>(a.bottom - a.top));
  }
}

// How far a panel's outlines and rounded corners reach inside its edge, and
// how far its outlines and shadows spill outside it.
constexpr float kPanelReachDip = 8;
constexpr float kPanelSpillDip = 4;
// The frame's rules lie within this of the window's edge; each corner's
// ornaments (arms, curl, diamond) within these of the corner, outwards and
// inwards.
constexpr float kFrameRuleReachDip = 11;
constexpr float kOrnamentOutwardDip = 8;
constexpr float kOrnamentInwardDip = 30;
// The parchment's darkened rim lies within this of its edge.
constexpr float kParchmentRimReachDip = 11;

int scaleUp(float dip, float s) { return static_cast<int>(std::ceil(dip * s)) + 1; }

RECT panelEdgeArea(const RECT& rc, float s) {
  RECT area = rc;
  const int spill = scaleUp(kPanelSpillDip, s);
  InflateRect(&area, spill, spill);
  return area;
}

int panelEdgeDepth(float s) { return scaleUp(kPanelSpillDip, s) + scaleUp(kPanelReachDip, s); }

// False when what `dc` draws on is no DIB section.
bool selectedDibSection(HDC dc, DIBSECTION& section) {
  HGDIOBJ current = GetCurrentObject(dc, OBJ_BITMAP);
  return current && GetObjectW(current, sizeof section, &section) == sizeof section;
}

// A bitmap for a strip of `dc` of the same kind as the one selected into it:
// GDI+ blends into 32-bit DIB sections itself and draws through GDI
// otherwise, and the strip must come out as the whole would.
HBITMAP makeStripBitmap(HDC dc, int width, int height) {
  DIBSECTION section = {};
  if (selectedDibSection(dc, section) && section.dsBmih.biBitCount >= 24 &&
      section.dsBmih.biCompression == BI_RGB) {
    BITMAPINFO info = {};
    info.bmiHeader = section.dsBmih;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = section.dsBmih.biHeight < 0 ? -height : height;
    info.bmiHeader.biSizeImage = 0;
    void* bits = nullptr;
    return CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  }
  return CreateCompatibleBitmap(dc, width, height);
}

bool isNumberedItem(const std::wstring& line, size_t& numberEnd) {
  if (line.empty() || !iswdigit(line[0])) return false;
  for (size_t dot = 1; dot <= 2 && dot < line.size(); ++dot) {
    if (line[dot] == L'.') {
      if (dot + 1 < line.size() && line[dot + 1] == L' ') {
        numberEnd = dot + 1;
        return true;
      }
      return false;
    }
    if (!iswdigit(line[dot])) return false;
  }
  return false;
}

std::wstring trimSpaces(const std::wstring& text) {
  size_t first = text.find_first_not_of(L" \t");
  if (first == std::wstring::npos) return std::wstring();
  size_t last = text.find_last_not_of(L" \t");
  return text.substr(first, last - first + 1);
}

}  // namespace

// Copied out band by band into a 24-bit picture of our own, blended there
// with a table per line value and copied back: no blit converts or
// stretches anything large, and no band-sized source is made.
bool layLineOn(HDC dc, const RECT& rect, const uint32_t* line, LONG first, bool vertical) {
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  const int rows = std::min(height, rowsPerBand(width));
  void* bits = nullptr;
  ScopedGdiObject picture(createTopDownDib(dc, width, rows, 24, &bits));
  ScopedMemoryDc work(CreateCompatibleDC(dc));
  if (!picture.valid() || !bits || !work.valid()) return false;
  HGDIOBJ old = SelectObject(work, picture);
  const size_t stride = dibRowBytes(width, 24);
  std::vector<Over> columns;  // a horizontal band's colour changes along the row
  if (!vertical) {
    columns.reserve(static_cast<size_t>(width));
    for (int x = 0; x < width; ++x) columns.emplace_back(line[rect.left + x - first]);
  }
  for (LONG top = rect.top; top < rect.bottom; top += rows) {
    const int count = std::min<LONG>(rows, rect.bottom - top);
    BitBlt(work, 0, 0, width, count, dc, rect.left, top, SRCCOPY);
    GdiFlush();
    for (int y = 0; y < count; ++y) {
      uint8_t* pixel = static_cast<uint8_t*>(bits) + static_cast<size_t>(y) * stride;
      if (vertical) {
        const Over over(line[top + y - first]);
        for (int x = 0; x < width; ++x, pixel += 3) over.onto(pixel);
      } else {
        for (const Over& over : columns) {
          over.onto(pixel);
          pixel += 3;
        }
      }
    }
    BitBlt(dc, rect.left, top, width, count, work, 0, 0, SRCCOPY);
  }
  SelectObject(work, old);
  return true;
}

// A colour's pixel as GDI+ lays it on a DC, read from a fill over black: the
// blend adds nothing to the premultiplied source there.
bool premultipliedOnDc(HDC dc, Argb colour, uint32_t& pixel) {
  constexpr int kProbe = 3;  // the middle pixel is clear of the fill's edges
  void* bits = nullptr;
  ScopedGdiObject probe(createTopDownDib(dc, kProbe, kProbe, 24, &bits));
  ScopedMemoryDc work(CreateCompatibleDC(dc));
  SolidOwner brush;
  if (!probe.valid() || !bits || !work.valid() || GdipCreateSolidFill(colour, brush.out()) != Ok) {
    return false;
  }
  HGDIOBJ old = SelectObject(work, probe);  // a new DIB section is black
  {
    Canvas g(work);
    fillRectWith(g, brush, -1, -1, kProbe + 2, kProbe + 2);
  }
  GdiFlush();
  SelectObject(work, old);
  const uint8_t* middle = static_cast<const uint8_t*>(bits) + dibRowBytes(kProbe, 24) + 3;
  pixel = (colour & 0xFF000000u) | static_cast<uint32_t>(middle[2]) << 16 |
          static_cast<uint32_t>(middle[1]) << 8 | middle[0];
  return true;
}

// GDI+ lays a see-through fill on a 24-bit picture through AlphaBlend, and
// blends into a 32-bit one by a rule of its own.
bool drawsOn24Bits(HDC dc) {
  DIBSECTION section = {};
  return selectedDibSection(dc, section) && section.dsBmih.biBitCount == 24 &&
         section.dsBmih.biCompression == BI_RGB;
}

bool laySolidOn(HDC dc, const RECT& rect, Argb colour) {
  uint32_t pixel = 0;
  if (!drawsOn24Bits(dc) || !premultipliedOnDc(dc, colour, pixel)) return false;
  const std::vector<uint32_t> line(static_cast<size_t>(rect.bottom - rect.top), pixel);
  return layLineOn(dc, rect, line.data(), rect.top, true);
}

void drawWithin(HDC dc, const RECT& strip, const EdgeDrawing& draw) {
  const int width = strip.right - strip.left, height = strip.bottom - strip.top;
  if (width <= 0 || height <= 0) return;
  ScopedMemoryDc stripDc(CreateCompatibleDC(dc));
  ScopedGdiObject bitmap(stripDc.valid() ? makeStripBitmap(dc, width, height) : nullptr);
  if (!bitmap.valid()) {  // the same pixels through a clip, only slower
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, strip.left, strip.top, strip.right, strip.bottom);
    {
      Canvas g(dc);
      draw(g.graphics());
    }
    RestoreDC(dc, saved);
    return;
  }
  HGDIOBJ old = SelectObject(stripDc, bitmap);
  BitBlt(stripDc, 0, 0, width, height, dc, strip.left, strip.top, SRCCOPY);
  {
    Canvas g(stripDc);
    GdipTranslateWorldTransform(g, static_cast<REAL>(-strip.left), static_cast<REAL>(-strip.top),
                                MatrixOrderPrepend);
    draw(g.graphics());
  }
  BitBlt(dc, strip.left, strip.top, width, height, stripDc, 0, 0, SRCCOPY);
  SelectObject(stripDc, old);
}

HBITMAP createTopDownDib(HDC dc, int width, int height, WORD bitCount, void** bits) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = bitCount;
  info.bmiHeader.biCompression = BI_RGB;
  return CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

size_t dibRowBytes(int width, WORD bitCount) {
  return (static_cast<size_t>(width) * bitCount + 31) / 32 * 4;
}

int rowsPerBand(int width) {
  constexpr int kBandBytes = 96 * 1024;  // with a row's padding, well below 128 KB
  return std::max(1, kBandBytes / (std::max(1, width) * 4));
}

void fillWithTile(HDC dc, const RECT& area, POINT origin, HBITMAP tile) {
  // Copied from its bits, never selected: a bitmap lives in one DC at a
  // time, and two windows' backdrops may be painted at once.
  DIBSECTION section = {};
  if (!tile || GetObjectW(tile, sizeof section, &section) != sizeof section ||
      !section.dsBm.bmBits || section.dsBm.bmWidth <= 0 || section.dsBm.bmHeight <= 0) {
    return;
  }
  BITMAPINFO info = {};
  info.bmiHeader = section.dsBmih;
  info.bmiHeader.biSizeImage = 0;
  const LONG w = section.dsBm.bmWidth, h = section.dsBm.bmHeight;
  // The first copy's corner at or before the area's, in steps of the tile.
  const auto firstCorner = [](LONG from, LONG start, LONG step) {
    const LONG offset = (from - start) % step;
    return from - (offset < 0 ? offset + step : offset);
  };
  const LONG rows = rowsPerBand(w);
  for (LONG tileTop = firstCorner(area.top, origin.y, h); tileTop < area.bottom; tileTop += h) {
    for (LONG tileLeft = firstCorner(area.left, origin.x, w); tileLeft < area.right;
         tileLeft += w) {
      const LONG left = std::max(area.left, tileLeft), right = std::min(area.right, tileLeft + w);
      const LONG bottom = std::min(area.bottom, tileTop + h);
      for (LONG top = std::max(area.top, tileTop); top < bottom; top += rows) {
        const LONG height = std::min(rows, bottom - top);
        // The rows given as a top-down picture of their own: where a
        // source's rows count from differs between blits.
        info.bmiHeader.biHeight = -height;
        const BYTE* rowsFrom = static_cast<const BYTE*>(section.dsBm.bmBits) +
                               static_cast<size_t>(top - tileTop) * section.dsBm.bmWidthBytes;
        StretchDIBits(dc, left, top, right - left, height, left - tileLeft, 0, right - left, height,
                      rowsFrom, &info, DIB_RGB_COLORS, SRCCOPY);
      }
    }
  }
}

void drawInBands(HDC dc, const RECT& area, const EdgeDrawing& draw) {
  const int rows = rowsPerBand(area.right - area.left);
  for (LONG top = area.top; top < area.bottom; top += rows) {
    drawWithin(dc, {area.left, top, area.right, std::min<LONG>(area.bottom, top + rows)}, draw);
  }
}

void drawAlongEdges(HDC dc, const RECT& area, int depth, const EdgeDrawing& draw) {
  const RECT top = {area.left, area.top, area.right, std::min(area.bottom, area.top + depth)};
  const RECT bottom = {area.left, std::max(top.bottom, area.bottom - depth), area.right,
                       area.bottom};
  const RECT left = {area.left, top.bottom, std::min(area.right, area.left + depth), bottom.top};
  const RECT right = {std::max(left.right, area.right - depth), top.bottom, area.right,
                      bottom.top};
  for (const RECT& strip : {top, bottom, left, right}) drawWithin(dc, strip, draw);
}

void roundedRectPath(GpPath* path, float x, float y, float w, float h, float radius, int corners) {
  if (!path) return;
  if (radius <= kSquareRadius) {
    GdipAddPathRectangle(path, x, y, w, h);
    return;
  }
  const float d = 2 * radius;
  if (corners & kCornerTopLeft) {
    GdipAddPathArc(path, x, y, d, d, 180, 90);
  } else {
    GdipAddPathLine(path, x, y, x + kCornerStub, y);
  }
  if (corners & kCornerTopRight) {
    GdipAddPathArc(path, x + w - d, y, d, d, 270, 90);
  } else {
    GdipAddPathLine(path, x + w - kCornerStub, y, x + w, y);
  }
  if (corners & kCornerBottomRight) {
    GdipAddPathArc(path, x + w - d, y + h - d, d, d, 0, 90);
  } else {
    GdipAddPathLine(path, x + w, y + h - kCornerStub, x + w, y + h);
  }
  if (corners & kCornerBottomLeft) {
    GdipAddPathArc(path, x, y + h - d, d, d, 90, 90);
  } else {
    GdipAddPathLine(path, x + kCornerStub, y + h, x, y + h);
  }
  GdipClosePathFigure(path);
}

void drawGlow(GpGraphics* g, float x, float y, float w, float h, float radius, Argb colour,
              float width) {
  const unsigned alpha = colour >> 24;
  for (int n = 4; n >= 1; --n) {
    const float grow = 0.25f * static_cast<float>(n) * width;
    PathOwner ring(makeRoundedPath(x - grow, y - grow, w + 2 * grow, h + 2 * grow, radius + grow,
                                   kCornersAll));
    strokePath(g, ring, withAlpha(colour, static_cast<unsigned>(5 - n) * alpha / 8), width / 2.5f);
  }
}

void drawDiamond(GpGraphics* g, float cx, float cy, float r, float outlineWidth) {
  PathOwner path;
  if (!g || GdipCreatePath(FillModeAlternate, path.out()) != Ok) return;
  const PointF points[] = {PointF(cx, cy - r), PointF(cx + r, cy), PointF(cx, cy + r),
                           PointF(cx - r, cy)};
  GdipAddPathPolygon(path, points, 4);
  LineBrushOwner fill(makeLineBrush(cx - r, cy - r, cx + r, cy + r, look::kDiamond.from, look::kDiamond.to));
  fillPathWith(g, path, fill);
  strokePath(g, path, look::kDiamondOutline, outlineWidth);
}

void paintBackground(HDC dc, const RECT& rc) {
  if (HBITMAP leather = leatherTile()) {
    fillWithTile(dc, rc, {0, 0}, leather);
  } else {
    ScopedGdiObject plain(CreateSolidBrush(kColorWindowFallback));
    FillRect(dc, &rc, static_cast<HBRUSH>(plain.get()));
  }

  const float left = static_cast<float>(rc.left), top = static_cast<float>(rc.top);
  const float right = static_cast<float>(rc.right), bottom = static_cast<float>(rc.bottom);
  const float W = right - left, H = bottom - top;
  {
    LineBrushOwner sheen(makeVerticalBrush(top - 1, top + 0.55f * H + 1, look::kLeatherSheen, look::kClear));
    fillBand(dc, sheen, {rc, top, top + 0.55f * H, true});
  }
  const float band = 0.16f * std::min(W, H);
  LineBrushOwner leftBand(makeLineBrush(left - 1, 0, left + band + 1, 0, look::kLeatherSideShade, look::kClear));
  fillBand(dc, leftBand, {rc, left, left + band, false});
  LineBrushOwner rightBand(makeLineBrush(right + 1, 0, right - band - 1, 0, look::kLeatherSideShade, look::kClear));
  fillBand(dc, rightBand, {rc, right - band, right, false});
  LineBrushOwner bottomBand(makeVerticalBrush(bottom + 1, bottom - band - 1, look::kLeatherBottomShade, look::kClear));
  fillBand(dc, bottomBand, {rc, bottom - band, bottom, true});
  LineBrushOwner topBand(makeVerticalBrush(top - 1, top + 0.6f * band + 1, look::kLeatherTopShade, look::kClear));
  fillBand(dc, topBand, {rc, top, top + 0.6f * band, true});
}

void paintDarkPanel(HDC dc, const RECT& rc, UINT dpi, bool strong) {
  const float s = scaleOf(dpi);
  const Inset r = insetRect(rc);
  const Argb colour = strong ? look::kDarkPanelStrong : look::kDarkPanel;
  PathOwner main(makeRoundedPath(r.x, r.y, r.w, r.h, 6 * s, kCornersAll));
  // Inside the edges the fill is one colour: laid on by our own blend, as
  // GDI+ would. GDI+ fills only the rounded, anti-aliased edges, below the rest.
  RECT inside = rc;
  const int reach = scaleUp(kPanelReachDip, s);
  InflateRect(&inside, -reach, -reach);
  const bool insideLaid = !IsRectEmpty(&inside) && laySolidOn(dc, inside, colour);
  const unsigned shadowAlpha[] = {52, 34, 16};
  PathOwner inner[3];
  for (int i = 1; i <= 3; ++i) {
    const float a = static_cast<float>(i) * s;
    *inner[i - 1].out() = makeRoundedPath(r.x + a, r.y + a, r.w - 2 * a, r.h - 2 * a,
                                          static_cast<float>(6 - i) * s, kCornersAll);
  }
  PathOwner gilt(makeRoundedPath(r.x + 1.5f * s, r.y + 1.5f * s, r.w - 3 * s, r.h - 3 * s, 5 * s,
                                 kCornersAll));
  LineBrushOwner giltBrush(makeVerticalBrush(r.y, r.y + r.h, look::kDarkPanelGilt.from, look::kDarkPanelGilt.to));
  if (!insideLaid) drawInBands(dc, rc, [&](GpGraphics* g) { fillPath(g, main, colour); });
  drawAlongEdges(dc, panelEdgeArea(rc, s), panelEdgeDepth(s), [&](GpGraphics* g) {
    if (insideLaid) fillPath(g, main, colour);
    for (int i = 0; i < 3; ++i) strokePath(g, inner[i], withAlpha(look::kBlack, shadowAlpha[i]), 1.2f * s);
    strokePath(g, main, look::kDarkPanelOutline, s);
    strokePathWith(g, gilt, giltBrush, s);
  });
}

void paintParchmentPanel(HDC dc, const RECT& rc, UINT dpi) {
  const float s = scaleOf(dpi);
  const Inset r = insetRect(rc);
  PathOwner shadows[3];
  for (int n = 3; n >= 1; --n) {
    const float dx = 0.6f * static_cast<float>(n) * s, dy = 1.2f * static_cast<float>(n) * s;
    *shadows[3 - n].out() = makeRoundedPath(r.x + dx, r.y + dy, r.w, r.h, 5 * s, kCornersAll);
  }
  // Only the shadows' edges show: the opaque parchment covers the rest.
  drawAlongEdges(dc, panelEdgeArea(rc, s), panelEdgeDepth(s), [&](GpGraphics* g) {
    for (const PathOwner& shadow : shadows) fillPath(g, shadow, look::kParchmentShadow);
  });
  PathOwner main(makeRoundedPath(r.x, r.y, r.w, r.h, 5 * s, kCornersAll));
  TextureOwner texture;
  {
    const SharedPictures pictures;  // the texture takes a copy of the picture
    if (pictures.parchment()) GdipCreateTexture(pictures.parchment(), WrapModeTile, texture.out());
  }
  if (texture) {
    GdipTranslateTextureTransform(texture, static_cast<REAL>(rc.left), static_cast<REAL>(rc.top),
                                  MatrixOrderPrepend);
  }
  // Texels fall on pixel centres: the nearest one is the one every filter
  // picks (Wine's GDI+ filters per pixel), and the one the GDI tile lays
  // on from the same origin. GDI+ fills only the rounded, anti-aliased edges
  // and lays on the darkened rim there; the inside is the pattern alone.
  const int edge = scaleUp(kParchmentRimReachDip, s);
  RECT inside = rc;
  InflateRect(&inside, -edge, -edge);
  HBITMAP tile = texture ? parchmentTile() : nullptr;
  const bool patterned = tile && inside.right > inside.left && inside.bottom > inside.top;
  if (patterned) fillWithTile(dc, inside, {rc.left, rc.top}, tile);
  const auto fillAndRim = [&](GpGraphics* g) {
    if (texture) {
      GdipSetInterpolationMode(g, InterpolationModeNearestNeighbor);
      fillPathWith(g, main, texture);
    } else {
      fillPath(g, main, look::kParchmentFallback);
    }
    for (int i = 0; i <= 5; ++i) {
      const float a = (static_cast<float>(i) + 0.5f) * 1.6f * s;
      PathOwner ring(makeRoundedPath(r.x + a, r.y + a, r.w - 2 * a, r.h - 2 * a,
                                     std::max(5 * s - a / 2, 1.0f), kCornersAll));
      strokePath(g, ring, look::kParchmentRim - static_cast<Argb>(i) * look::kParchmentRimFade, 1.8f * s);
    }
  };
  if (patterned) {
    drawAlongEdges(dc, rc, edge, fillAndRim);
  } else {
    drawWithin(dc, rc, fillAndRim);
  }
  Canvas g(dc);
  strokePath(g, main, look::kParchmentOutline, 1.4f * s);
}

void paintFrame(HDC dc, const RECT& client, UINT dpi) {
  const float s = scaleOf(dpi);
  const float m = 4 * s;
  const float fx = static_cast<float>(client.left) + m, fy = static_cast<float>(client.top) + m;
  const float fw = static_cast<float>(client.right - client.left) - 2 * m;
  const float fh = static_cast<float>(client.bottom - client.top) - 2 * m;
  PathOwner frame(makeRoundedPath(fx, fy, fw, fh, 0, kCornersAll));
  LineBrushOwner gilt(makeLineBrush(fx, fy, fx + fw, fy + fh, look::kFrameGilt.from, look::kFrameGilt.to));
  PathOwner inner(
      makeRoundedPath(fx + 5 * s, fy + 5 * s, fw - 10 * s, fh - 10 * s, 0, kCornersAll));

  struct Corner {
    float x, y, dx, dy, start;
  };
  const Corner corners[] = {{fx, fy, 1, 1, 0},
                            {fx + fw, fy, -1, 1, 90},
                            {fx + fw, fy + fh, -1, -1, 180},
                            {fx, fy + fh, 1, -1, 270}};
  PenOwner arm;
  if (gilt && GdipCreatePen2(gilt, 4 * s, UnitPixel, arm.out()) == Ok) {
    GdipSetPenLineCap197819(arm, LineCapRound, LineCapRound, DashCapRound);
  }
  PenOwner curl;
  GdipCreatePen1(look::kFrameCurl, 1.3f * s, UnitPixel, curl.out());
  drawAlongEdges(dc, client, scaleUp(kFrameRuleReachDip, s), [&](GpGraphics* g) {
    strokePath(g, frame, look::kFrameUnderRule, 4 * s);
    strokePathWith(g, frame, gilt, 2.2f * s);
    strokePath(g, inner, look::kFrameInnerRule, s);
  });
  const float outward = kOrnamentOutwardDip * s, inward = kOrnamentInwardDip * s;
  for (const Corner& c : corners) {
    const float x0 = c.dx > 0 ? c.x - outward : c.x - inward;
    const float y0 = c.dy > 0 ? c.y - outward : c.y - inward;
    RECT box = {static_cast<LONG>(std::floor(x0)), static_cast<LONG>(std::floor(y0)),
                static_cast<LONG>(std::ceil(x0 + outward + inward)),
                static_cast<LONG>(std::ceil(y0 + outward + inward))};
    IntersectRect(&box, &box, &client);
    drawWithin(dc, box, [&](GpGraphics* g) {
      if (arm) {
        GdipDrawLine(g, arm, c.x, c.y, c.x + 26 * s * c.dx, c.y);
        GdipDrawLine(g, arm, c.x, c.y, c.x, c.y + 26 * s * c.dy);
      }
      if (curl) {
        GdipDrawArc(g, curl, c.x + 7 * s * c.dx - 6 * s, c.y + 7 * s * c.dy - 6 * s, 12 * s,
                    12 * s, c.start, 270);
      }
      drawDiamond(g, c.x, c.y, 6.5f * s, s);
    });
  }
}

void paintDivider(HDC dc, int x1, int x2, int y, UINT dpi) {
  const float s = scaleOf(dpi);
  const float fx1 = static_cast<float>(x1), fx2 = static_cast<float>(x2),
              fy = static_cast<float>(y);
  Canvas g(dc);
  LineBrushOwner brush(makeFadeBrush(fx1, fx2, fy, look::kDivider.from, look::kDivider.to));
  PenOwner pen;
  if (brush && GdipCreatePen2(brush, 1.3f * s, UnitPixel, pen.out()) == Ok) {
    GdipDrawLine(g, pen, fx1, fy, fx2, fy);
  }
  drawDiamond(g, (fx1 + fx2) / 2, fy, 4.5f * s, s);
}

void paintBullet(HDC dc, int x, int y, UINT dpi) {
  const float s = scaleOf(dpi);
  Canvas g(dc);
  drawDiamond(g, static_cast<float>(x), static_cast<float>(y), 4.5f * s, s);
}

void paintHalo(HDC dc, int cx, int cy, int radius) {
  if (radius <= 0) return;
  Canvas g(dc);
  PathOwner path;
  if (GdipCreatePath(FillModeAlternate, path.out()) != Ok) return;
  const float r = static_cast<float>(radius);
  GdipAddPathEllipse(path, static_cast<float>(cx) - r, static_cast<float>(cy) - r, 2 * r, 2 * r);
  PathBrushOwner brush;
  if (GdipCreatePathGradientFromPath(path, brush.out()) != Ok) return;
  GdipSetPathGradientCenterColor(brush, look::kHalo.from);
  ARGB surround = look::kHalo.to;
  INT count = 1;
  GdipSetPathGradientSurroundColorsWithCount(brush, &surround, &count);
  const REAL factors[] = {0.0f, 0.55f, 1.0f};
  const REAL positions[] = {0.0f, 0.5f, 1.0f};
  GdipSetPathGradientBlend(brush, factors, positions, 3);
  GdipFillPath(g, brush, path);
}

namespace {

void drawEmblem(HDC dc, const RECT& rc, const SharedPictures& pictures) {
  const int width = rc.right - rc.left, height = rc.bottom - rc.top;
  const int side = std::min(width, height);
  GpBitmap* emblem = pictures.emblem();
  if (!emblem || side <= 0) return;
  auto& cache = pictures.emblemCache();
  auto found = cache.find(side);
  if (found == cache.end()) {
    GpBitmap* scaled = nullptr;
    if (GdipCreateBitmapFromScan0(side, side, 0, PixelFormat32bppPARGB, nullptr, &scaled) != Ok) {
      return;
    }
    {
      Canvas g(scaled);
      GdipDrawImageRectI(g, emblem, 0, 0, side, side);
    }
    found = cache.emplace(side, scaled).first;
  }
  Canvas g(dc);
  GdipDrawImageI(g, found->second, rc.left + (width - side) / 2, rc.top + (height - side) / 2);
}

}  // namespace

void paintEmblem(HDC dc, const RECT& rc) { drawEmblem(dc, rc, SharedPictures()); }

void paintStatusOrb(HDC dc, int cx, int cy, UINT dpi, int state) {
  const float s = scaleOf(dpi);
  const float R = 9 * s;
  const float x = static_cast<float>(cx), y = static_cast<float>(cy);
  Canvas g(dc);
  switch (state) {
    case kOrbOk:
    case kOrbActive: {
      for (int n = 3; n >= 1; --n) {
        const float rr = R + 2.2f * static_cast<float>(n) * s;
        const unsigned alpha = 0x1A + static_cast<unsigned>(3 - n) * 0x0E;
        fillEllipse(g, withAlpha(look::kOrbGlow, alpha), x - rr, y - rr, 2 * rr, 2 * rr);
      }
      const PointF focus(x - 0.25f * R, y - 0.3f * R);
      fillEllipseWithCentre(g, x, y, R, look::kOrbOk.from, look::kOrbOk.to, &focus);
      if (state == kOrbOk) drawCheckMark(g, x, y, s, look::kOrbOkMark);
      break;
    }
    case kOrbWarning: {
      fillEllipseWithCentre(g, x, y, R, look::kOrbWarning.from, look::kOrbWarning.to, nullptr);
      const PointF stroke[] = {PointF(x, y - 4.6f * s), PointF(x, y + s)};
      drawRoundLines(g, look::kOrbWarningMark, 2.2f * s, stroke, 2);
      fillEllipse(g, look::kOrbWarningMark, x - 1.4f * s, y + 2.8f * s, 2.8f * s, 2.8f * s);
      break;
    }
    case kOrbDone: {
      LineBrushOwner fill(makeVerticalBrush(y - R, y + R, look::kOrbDone.from, look::kOrbDone.to));
      if (fill) GdipFillEllipse(g, fill, x - R, y - R, 2 * R, 2 * R);
      drawCheckMark(g, x, y, s, look::kOrbDoneMark);
      break;
    }
    case kOrbNeutral:
    case kOrbPending: {
      fillEllipse(g, look::kOrbNeutralFill, x - R, y - R, 2 * R, 2 * R);
      PenOwner ring;
      if (GdipCreatePen1(look::kOrbNeutralRing, 1.4f * s, UnitPixel, ring.out()) == Ok) {
        const float d = 2 * R - 1.4f * s;
        GdipDrawEllipse(g, ring, x - d / 2, y - d / 2, d, d);
      }
      break;
    }
    default:
      break;
  }
}

void paintPill(HDC dc, const RECT& rc, UINT dpi, bool good) {
  const float s = scaleOf(dpi);
  const Inset r = insetRect(rc);
  Canvas g(dc);
  if (good) drawGlow(g, r.x, r.y, r.w, r.h, r.h / 2, look::kPillGlow, 4 * s);
  PathOwner shape(makeRoundedPath(r.x, r.y, r.w, r.h, r.h / 2, kCornersAll));
  fillPath(g, shape, look::kPillFill);
  strokePath(g, shape, good ? look::kPillGoodOutline : look::kPillOutline, 1.2f * s);
}

void paintFieldFrame(HDC dc, const RECT& rc, UINT dpi, bool focused) {
  const float s = scaleOf(dpi);
  const Inset r = insetRect(rc);
  Canvas g(dc);
  if (focused) drawGlow(g, r.x, r.y, r.w, r.h, 4 * s, look::kFieldFocusGlow, 4 * s);
  PathOwner shape(makeRoundedPath(r.x, r.y, r.w, r.h, 4 * s, kCornersAll));
  fillPath(g, shape, look::kWellFill);
  const PointF shadow[] = {PointF(r.x + 3 * s, r.y + 2 * s),
                           PointF(r.x + r.w - 3 * s, r.y + 2 * s)};
  PenOwner pen;
  if (GdipCreatePen1(look::kFieldInnerShadow, 2 * s, UnitPixel, pen.out()) == Ok) {
    GdipDrawLine(g, pen, shadow[0].X, shadow[0].Y, shadow[1].X, shadow[1].Y);
  }
  strokePath(g, shape, focused ? look::kFieldFocusedOutline : look::kFieldOutline, focused ? 1.4f * s : 1.1f * s);
}

namespace {
thread_local std::vector<DrawnText>* textLog = nullptr;
}  // namespace

TextLog::TextLog(std::vector<DrawnText>* into) : previous_(textLog) { textLog = into; }

TextLog::~TextLog() { textLog = previous_; }

bool textFits(HDC dc, const DrawnText& drawn) {
  const int width = drawn.box.right - drawn.box.left;
  const int height = drawn.box.bottom - drawn.box.top;
  HGDIOBJ old = SelectObject(dc, drawn.font);
  RECT need = {0, 0, width, 0};
  if (drawn.flags & DT_SINGLELINE) {
    SIZE size = {};
    GetTextExtentPoint32W(dc, drawn.text.c_str(), static_cast<int>(drawn.text.size()), &size);
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    need = {0, 0, size.cx, metrics.tmHeight};
  } else {
    DrawTextW(dc, drawn.text.c_str(), static_cast<int>(drawn.text.size()), &need,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | (drawn.flags & DT_EDITCONTROL));
  }
  SelectObject(dc, old);
  return need.right - need.left <= width && need.bottom - need.top <= height;
}

void drawLabel(HDC dc, HFONT font, COLORREF colour, const RECT& rc, const std::wstring& text,
               UINT flags) {
  if (textLog) textLog->push_back({rc, font, flags, text});
  HGDIOBJ old = SelectObject(dc, font);
  SetTextColor(dc, colour);
  SetBkMode(dc, TRANSPARENT);
  RECT box = rc;
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box, flags | DT_NOPREFIX);
  SelectObject(dc, old);
}

int measureWrappedHeight(HDC dc, HFONT font, int width, const std::wstring& text) {
  HGDIOBJ old = SelectObject(dc, font);
  RECT box = {0, 0, width, 0};
  const std::wstring measured = text.empty() ? std::wstring(L" ") : text;
  DrawTextW(dc, measured.c_str(), static_cast<int>(measured.size()), &box,
            DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  SelectObject(dc, old);
  return box.bottom - box.top;
}

int measureTextWidth(HDC dc, HFONT font, const std::wstring& text) {
  HGDIOBJ old = SelectObject(dc, font);
  SIZE size = {};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  return size.cx;
}

int drawRichText(HDC dc, const FontSet& fonts, COLORREF normal, COLORREF number, const RECT& box,
                 const std::wstring& text, UINT dpi, bool draw) {
  const int width = box.right - box.left;
  const int column = scaleDip(kNumberColumnDip, dpi);
  const int numberedGap = scaleDip(kNumberedGapDip, dpi);
  const int halfLine = measureWrappedHeight(dc, fonts[kFontBody], width, L"A") / 2;
  int y = box.top;
  bool previousNumbered = false;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    std::wstring line = text.substr(start, end - start);
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    size_t numberEnd = 0;
    if (line.empty()) {
      y += halfLine;
      previousNumbered = false;
    } else if (isNumberedItem(line, numberEnd)) {
      if (previousNumbered) y += numberedGap;
      const std::wstring rest = trimSpaces(line.substr(numberEnd));
      const int height = measureWrappedHeight(dc, fonts[kFontBody], width - column, rest);
      if (draw) {
        drawLabel(dc, fonts[kFontBodyBold], number, {box.left, y, box.left + column, y + height},
                  line.substr(0, numberEnd), DT_SINGLELINE);
        drawLabel(dc, fonts[kFontBody], normal, {box.left + column, y, box.right, y + height}, rest,
                  DT_WORDBREAK);
      }
      y += height;
      previousNumbered = true;
    } else {
      const int height = measureWrappedHeight(dc, fonts[kFontBody], width, line);
      if (draw)
        drawLabel(dc, fonts[kFontBody], normal, {box.left, y, box.right, y + height}, line,
                  DT_WORDBREAK);
      y += height;
      previousNumbered = false;
    }
    start = end + 1;
  }
  return y - box.top;
}

}  // namespace gui
