// Painting primitives of the leather-and-parchment look. Geometry is in
// device pixels (already scaled by the caller); dpi scales pen widths,
// radii and offsets. Each primitive makes and releases its own GDI+ objects.
// The raster work they stand on (raster.h) and the text (text.h) come with
// them: the windows draw all three.
#pragma once

#include <windows.h>

#include "gui/gdiplus_util.h"
#include "gui/raster.h"
#include "gui/text.h"
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

// The status orb: Ok (a tick, glowing), Active (glowing), Warning (an
// exclamation mark), Done (a gold tick), Neutral and Pending (an empty ring).
enum class OrbState { Ok, Warning, Neutral, Done, Active, Pending };

constexpr int kOrbDiameterDip = 18;

void roundedRectPath(Gdiplus::GpPath* path, float x, float y, float w, float h, float radius,
                     int corners);
void drawGlow(Gdiplus::GpGraphics* g, float x, float y, float w, float h, float radius, Argb colour,
              float width);
void drawDiamond(Gdiplus::GpGraphics* g, float cx, float cy, float r, float outlineWidth);

void paintBackground(HDC dc, const RECT& rc);
void paintDarkPanel(HDC dc, const RECT& rc, UINT dpi, bool strong);
void paintParchmentPanel(HDC dc, const RECT& rc, UINT dpi);
void paintFrame(HDC dc, const RECT& client, UINT dpi);
void paintDivider(HDC dc, int x1, int x2, int y, UINT dpi);
void paintBullet(HDC dc, int x, int y, UINT dpi);
void paintHalo(HDC dc, int cx, int cy, int radius);
// Centred in rc, scaled once per size; from any thread.
void paintEmblem(HDC dc, const RECT& rc);
void paintStatusOrb(HDC dc, int cx, int cy, UINT dpi, OrbState state);
void paintPill(HDC dc, const RECT& rc, UINT dpi, bool good);
void paintFieldFrame(HDC dc, const RECT& rc, UINT dpi, bool focused);

// DIPs to pixels for `dpi`, rounded to nearest.
inline int scaleDip(int value, UINT dpi) { return MulDiv(value, static_cast<int>(dpi), 96); }

}  // namespace gui
