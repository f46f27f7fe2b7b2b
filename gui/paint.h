// Painting primitives of the leather-and-parchment look. Geometry is in
// device pixels (already scaled by the caller); dpi scales pen widths,
// radii and offsets. Each primitive makes and releases its own GDI+ objects.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gui/gdiplus_util.h"
#include "gui/theme.h"

namespace gui {

// Corners of a rounded rectangle, clockwise from the top left.
enum CornerFlags {
  kCornerTopLeft = 1,
  kCornerTopRight = 2,
  kCornerBottomRight = 4,
  kCornerBottomLeft = 8,
  kCornersAll = 15,
};

enum OrbState {
  kOrbOk = 0,
  kOrbWarning = 1,
  kOrbNeutral = 2,
  kOrbDone = 3,
  kOrbActive = 4,
  kOrbPending = 5,
};

constexpr int kOrbDiameterDip = 18;

void roundedRectPath(Gdiplus::GpPath* path, float x, float y, float w, float h, float radius,
                     int corners);
void drawGlow(Gdiplus::GpGraphics* g, float x, float y, float w, float h, float radius, Argb colour,
              float width);
void drawDiamond(Gdiplus::GpGraphics* g, float cx, float cy, float r, float outlineWidth);

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

void paintBackground(HDC dc, const RECT& rc);
void paintDarkPanel(HDC dc, const RECT& rc, UINT dpi, bool strong);
void paintParchmentPanel(HDC dc, const RECT& rc, UINT dpi);
void paintFrame(HDC dc, const RECT& client, UINT dpi);
void paintDivider(HDC dc, int x1, int x2, int y, UINT dpi);
void paintBullet(HDC dc, int x, int y, UINT dpi);
void paintHalo(HDC dc, int cx, int cy, int radius);
// Centred in rc, scaled once per size; from any thread.
void paintEmblem(HDC dc, const RECT& rc);
void paintStatusOrb(HDC dc, int cx, int cy, UINT dpi, int state);
void paintPill(HDC dc, const RECT& rc, UINT dpi, bool good);
void paintFieldFrame(HDC dc, const RECT& rc, UINT dpi, bool focused);

// Text. DT_NOPREFIX is always added: an ampersand is never an accelerator.
void drawLabel(HDC dc, HFONT font, COLORREF colour, const RECT& rc, const std::wstring& text,
               UINT flags);

// One text as drawLabel drew it: its box, font and DrawText flags.
struct DrawnText {
  RECT box;
  HFONT font;
  UINT flags;
  std::wstring text;
};

// While one lives, every drawLabel on this thread is also noted in `into`,
// so that a window can tell which of its texts were not shown whole.
class TextLog {
 public:
  explicit TextLog(std::vector<DrawnText>* into);
  ~TextLog();
  TextLog(const TextLog&) = delete;
  TextLog& operator=(const TextLog&) = delete;

 private:
  std::vector<DrawnText>* previous_;
};

// Whether a drawn text is shown whole: on one line no wider and no taller
// than its box, or wrapped within the box's width and height.
bool textFits(HDC dc, const DrawnText& drawn);
int measureWrappedHeight(HDC dc, HFONT font, int width, const std::wstring& text);
int measureTextWidth(HDC dc, HFONT font, const std::wstring& text);

// Paragraphs and numbered items ("1. text") laid out from the box's top;
// returns the height used. With draw false nothing is painted.
int drawRichText(HDC dc, const FontSet& fonts, COLORREF normal, COLORREF number, const RECT& box,
                 const std::wstring& text, UINT dpi, bool draw);

// DIPs to pixels for `dpi`, rounded to nearest.
inline int scaleDip(int value, UINT dpi) { return MulDiv(value, static_cast<int>(dpi), 96); }

}  // namespace gui
