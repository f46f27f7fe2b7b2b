#include "gui/paint.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "gui/palette.h"
#include "gui/scoped_gdi.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace gui {
namespace {

constexpr float kSquareRadius = 0.5f;  // at or below this a corner is square
constexpr float kCornerStub = 0.01f;   // square corners keep a tiny segment each

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

}  // namespace

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
    ImageOwner scaled;
    if (GdipCreateBitmapFromScan0(side, side, 0, PixelFormat32bppPARGB, nullptr, scaled.out()) !=
        Ok) {
      return;
    }
    {
      Canvas g(scaled);
      GdipDrawImageRectI(g, emblem, 0, 0, side, side);
    }
    found = cache.emplace(side, std::move(scaled)).first;
  }
  Canvas g(dc);
  GdipDrawImageI(g, found->second, rc.left + (width - side) / 2, rc.top + (height - side) / 2);
}

}  // namespace

void paintEmblem(HDC dc, const RECT& rc) { drawEmblem(dc, rc, SharedPictures()); }

void paintStatusOrb(HDC dc, int cx, int cy, UINT dpi, OrbState state) {
  const float s = scaleOf(dpi);
  const float R = 9 * s;
  const float x = static_cast<float>(cx), y = static_cast<float>(cy);
  Canvas g(dc);
  switch (state) {
    case OrbState::Ok:
    case OrbState::Active: {
      for (int n = 3; n >= 1; --n) {
        const float rr = R + 2.2f * static_cast<float>(n) * s;
        const unsigned alpha = 0x1A + static_cast<unsigned>(3 - n) * 0x0E;
        fillEllipse(g, withAlpha(look::kOrbGlow, alpha), x - rr, y - rr, 2 * rr, 2 * rr);
      }
      const PointF focus(x - 0.25f * R, y - 0.3f * R);
      fillEllipseWithCentre(g, x, y, R, look::kOrbOk.from, look::kOrbOk.to, &focus);
      if (state == OrbState::Ok) drawCheckMark(g, x, y, s, look::kOrbOkMark);
      break;
    }
    case OrbState::Warning: {
      fillEllipseWithCentre(g, x, y, R, look::kOrbWarning.from, look::kOrbWarning.to, nullptr);
      const PointF stroke[] = {PointF(x, y - 4.6f * s), PointF(x, y + s)};
      drawRoundLines(g, look::kOrbWarningMark, 2.2f * s, stroke, 2);
      fillEllipse(g, look::kOrbWarningMark, x - 1.4f * s, y + 2.8f * s, 2.8f * s, 2.8f * s);
      break;
    }
    case OrbState::Done: {
      LineBrushOwner fill(makeVerticalBrush(y - R, y + R, look::kOrbDone.from, look::kOrbDone.to));
      if (fill) GdipFillEllipse(g, fill, x - R, y - R, 2 * R, 2 * R);
      drawCheckMark(g, x, y, s, look::kOrbDoneMark);
      break;
    }
    case OrbState::Neutral:
    case OrbState::Pending: {
      fillEllipse(g, look::kOrbNeutralFill, x - R, y - R, 2 * R, 2 * R);
      PenOwner ring;
      if (GdipCreatePen1(look::kOrbNeutralRing, 1.4f * s, UnitPixel, ring.out()) == Ok) {
        const float d = 2 * R - 1.4f * s;
        GdipDrawEllipse(g, ring, x - d / 2, y - d / 2, d, d);
      }
      break;
    }
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

}  // namespace gui
