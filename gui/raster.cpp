#include "gui/raster.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "gui/scoped_gdi.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace gui {
namespace {

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

}  // namespace

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
  ScopedSelect selected(work, picture);
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
  {
    ScopedSelect selected(work, probe);  // a new DIB section is black
    {
      Canvas g(work);
      fillRectWith(g, brush, -1, -1, kProbe + 2, kProbe + 2);
    }
    GdiFlush();
  }
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
  ScopedSelect selected(stripDc, bitmap);
  BitBlt(stripDc, 0, 0, width, height, dc, strip.left, strip.top, SRCCOPY);
  {
    Canvas g(stripDc);
    GdipTranslateWorldTransform(g, static_cast<REAL>(-strip.left), static_cast<REAL>(-strip.top),
                                MatrixOrderPrepend);
    draw(g.graphics());
  }
  BitBlt(dc, strip.left, strip.top, width, height, stripDc, 0, 0, SRCCOPY);
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

}  // namespace gui
