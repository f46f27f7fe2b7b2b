// The raster work under the look's primitives: DIB sections, tiles, blits
// kept to bands, and GDI+ drawings confined to strips so that Wine's GDI+
// works through no more than they touch.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

#include "gui/gdiplus_util.h"

namespace gui {

// Wine's GDI+ works through the whole device, or the whole bounding box, for
// every thin, see-through or gradient outline, so an outline around a panel
// costs as much as filling the window. Drawn into strips `depth` pixels deep
// along the edges of `area` (the top and bottom strips hold the corners), the
// same drawing gives the same pixels for the cost of the strips. The drawing
// must not reach deeper inside than `depth`: the inside is not drawn.
using EdgeDrawing = std::function<void(Gdiplus::GpGraphics*)>;
void drawAlongEdges(HDC dc, const RECT& area, int depth, const EdgeDrawing& draw);
// The drawing inside `area` only, for the cost of the area.
void drawWithin(HDC dc, const RECT& area, const EdgeDrawing& draw);

// A top-down DIB section of `bitCount` bits per pixel (RGB, no palette);
// `bits` receives its pixels. Null without memory.
HBITMAP createTopDownDib(HDC dc, int width, int height, WORD bitCount, void** bits);
// The bytes of one of its rows: DIB rows end on a DWORD.
size_t dibRowBytes(int width, WORD bitCount);

// Wine converts or stretches a blit through a temporary as large as its
// target, taken from the C library's heap: one of 128 KB or more is mapped
// on its own, and once freed makes the heaps keep twice its size free for
// good. Blits no larger than a band stay below that: the rows of a 32-bit
// band `width` pixels wide.
int rowsPerBand(int width);
// `line[i]`, premultiplied 32-bit pixels, laid over `rect` at position
// first + i along one axis (y when `vertical`, else x), as AlphaBlend lays a
// source with alpha on; false without memory.
bool layLineOn(HDC dc, const RECT& rect, const uint32_t* line, LONG first, bool vertical);
// `rect` covered with `colour` (not premultiplied) as a GDI+ fill on `dc`
// lays it on; false when `dc` does not draw on a 24-bit DIB section (as the
// windows' buffers are) or without memory.
bool laySolidOn(HDC dc, const RECT& rect, Argb colour);
// `area` covered with copies of `tile` (a top-down DIB section, as
// createTopDownDib makes) laid from `origin` on, as a pattern brush with that
// origin would, in blits no larger than a band.
void fillWithTile(HDC dc, const RECT& area, POINT origin, HBITMAP tile);
// The drawing within bands of `area` in turn: a see-through solid fill is
// laid on as one AlphaBlend stretched over its clip box.
void drawInBands(HDC dc, const RECT& area, const EdgeDrawing& draw);

// A gradient band across `area` that changes only along one axis, over
// from..to on that axis (vertical: y, else x), pixel coordinates.
struct Band {
  RECT area;
  float from, to;
  bool vertical;
};

// `brush` over the band, laid on by our own blend where it can (a line of
// it painted by GDI+, laid over the rest), else filled by GDI+.
void fillBand(HDC dc, Gdiplus::GpBrush* brush, const Band& band);

}  // namespace gui
