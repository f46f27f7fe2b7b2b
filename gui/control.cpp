#include "gui/control.h"

#include <algorithm>

#include "gui/paint.h"
#include "gui/palette.h"
#include "gui/scoped_gdi.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace gui {
namespace {

constexpr int kMeasureWidth = 1000;  // wide enough that titles never wrap
constexpr UINT kCaptionFlags = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS;
constexpr UINT kLeftLineFlags = DT_LEFT | DT_VCENTER | DT_SINGLELINE;

// The control's rectangle with one-pixel outlines on pixel centres.
struct Shape {
  float x, y, w, h, yb, xr;
};

Shape shapeOf(const RECT& rc) {
  Shape r;
  r.x = static_cast<float>(rc.left) + 0.5f;
  r.y = static_cast<float>(rc.top) + 0.5f;
  r.w = static_cast<float>(rc.right - rc.left - 1);
  r.h = static_cast<float>(rc.bottom - rc.top - 1);
  r.yb = r.y + r.h;
  r.xr = r.x + r.w;
  return r;
}

int truncScaled(float value) { return static_cast<int>(value); }

void fillVertical(GpGraphics* g, GpPath* path, float top, float bottom, look::Gradient colours) {
  LineBrushOwner brush(makeVerticalBrush(top, bottom, colours.from, colours.to));
  fillPathWith(g, path, brush);
}

void strokeVertical(GpGraphics* g, GpPath* path, float top, float bottom, look::Gradient colours,
                    float width) {
  LineBrushOwner brush(makeVerticalBrush(top, bottom, colours.from, colours.to));
  strokePathWith(g, path, brush, width);
}

void drawLine(GpGraphics* g, Argb colour, float width, float x1, float y1, float x2, float y2) {
  PenOwner pen;
  if (GdipCreatePen1(colour, width, UnitPixel, pen.out()) == Ok)
    GdipDrawLine(g, pen, x1, y1, x2, y2);
}

int measureBlock(HDC dc, HFONT font, const std::wstring& text) {
  ScopedSelect selected(dc, font);
  RECT box = {0, 0, kMeasureWidth, 0};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box,
            DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  return box.bottom - box.top;
}

RECT moved(const RECT& rc, int dx, int dy) {
  return {rc.left + dx, rc.top + dy, rc.right + dx, rc.bottom + dy};
}

void paintButton(HDC dc, const Control& c, const FontSet& fonts, float s) {
  const bool primary = c.kind == ControlKind::PrimaryButton;
  const bool hot = c.enabled && c.hover;
  const Shape r = shapeOf(c.rect);
  look::Gradient body = primary ? look::kPrimaryButton : look::kButton;
  if (!c.enabled) {
    body = primary ? look::kPrimaryButtonDisabled : look::kButtonDisabled;
  } else if (hot) {
    body = primary ? look::kPrimaryButtonHot : look::kButtonHot;
  }
  if (c.enabled && c.pressed) std::swap(body.from, body.to);  // a press turns the light upside down
  {
    Canvas g(dc);
    if (hot && !c.pressed) {
      drawGlow(g, r.x, r.y, r.w, r.h, 5 * s, primary ? look::kPrimaryButtonGlow : look::kHoverGlow, 4 * s);
    }
    PathOwner shape(makeRoundedPath(r.x, r.y, r.w, r.h, 5 * s, kCornersAll));
    fillVertical(g, shape, r.y, r.yb, body);
    drawLine(g, c.enabled ? look::kButtonSheen : look::kButtonSheenDisabled, s, r.x + 5 * s, r.y + 1.5f * s, r.xr - 5 * s,
             r.y + 1.5f * s);
    strokeVertical(g, shape, r.y, r.yb, c.enabled ? look::kButtonRim : look::kButtonRimDisabled,
                   primary ? 1.8f * s : 1.3f * s);
  }
  const RECT caption = moved(c.rect, 0, c.pressed ? truncScaled(s) : 0);
  drawLabel(dc, fonts[kFontCaption], kColorShadow, moved(caption, 0, truncScaled(s + 0.5f)), c.text,
            kCaptionFlags);
  COLORREF colour = hot ? kColorGoldHighlight : kColorGold;
  if (primary) colour = kColorPrimaryCaption;
  if (!c.enabled) colour = kColorDisabled;
  drawLabel(dc, fonts[kFontCaption], colour, caption, c.text, kCaptionFlags);
}

void paintTab(HDC dc, const Control& c, const FontSet& fonts, float s) {
  const bool selected = c.checked;
  const Shape r = shapeOf(c.rect);
  const float drop = selected ? 0 : 4 * s;  // an unselected tab is shorter
  const float top = r.y + drop;
  const float height = r.h - drop + 2 * s;
  {
    Canvas g(dc);
    PathOwner shape(
        makeRoundedPath(r.x, top, r.w, height, 6 * s, kCornerTopLeft | kCornerTopRight));
    if (selected) {
      fillVertical(g, shape, top, top + height, look::kTabSelected);
      strokeVertical(g, shape, top, top + height, look::kTabSelectedRim, 1.4f * s);
      LineBrushOwner light(makeFadeBrush(r.x, r.xr, r.y, look::kTabLight.from, look::kTabLight.to));
      PenOwner pen;
      if (light && GdipCreatePen2(light, 2 * s, UnitPixel, pen.out()) == Ok) {
        GdipDrawLine(g, pen, r.x + 8 * s, r.y + 2.5f * s, r.xr - 8 * s, r.y + 2.5f * s);
      }
    } else {
      fillVertical(g, shape, top, top + height,
                   {c.hover ? look::kTabTopHot : look::kTabTop, look::kTabBottom});
      strokeVertical(g, shape, top, top + height, look::kTabRim, s);
    }
  }
  if (selected) {
    drawLabel(dc, fonts[kFontTabSelected], kColorGoldHighlight, c.rect, c.text, kCaptionFlags);
  } else {
    RECT caption = c.rect;
    caption.top += truncScaled(4 * s);
    drawLabel(dc, fonts[kFontCaption], c.hover ? kColorGold : kColorMutedGold, caption, c.text,
              kCaptionFlags);
  }
}

void paintCheckBox(HDC dc, const Control& c, const FontSet& fonts, float s) {
  const int side = truncScaled(20 * s);
  const int boxTop = c.rect.top + (c.rect.bottom - c.rect.top - side) / 2;
  const float x = static_cast<float>(c.rect.left) + 0.5f;
  const float y = static_cast<float>(boxTop) + 0.5f;
  const float L = static_cast<float>(side - 1);
  {
    Canvas g(dc);
    if (c.hover) drawGlow(g, x, y, L, L, 3 * s, look::kHoverGlow, 3 * s);
    PathOwner box(makeRoundedPath(x, y, L, L, 3 * s, kCornersAll));
    fillPath(g, box, look::kWellFill);
    strokePath(g, box, (c.checked || c.hover) ? look::kCheckBoxLitOutline : look::kCheckBoxOutline, 1.3f * s);
    if (c.checked) {
      const float cx = x + L / 2, cy = y + L / 2;
      const PointF mark[] = {PointF(cx - 5 * s, cy + 0.2f * s),
                             PointF(cx - 1.5f * s, cy + 3.8f * s),
                             PointF(cx + 5.2f * s, cy - 4.2f * s)};
      drawRoundLines(g, look::kFrostMark, 2.4f * s, mark, 3);
    }
  }
  RECT label = c.rect;
  label.left += side + truncScaled(10 * s);
  drawLabel(dc, fonts[kFontBody], c.hover ? kColorGoldHighlight : kColorLightText, label, c.text,
            kLeftLineFlags);
}

// An option card's orb and its texts' room beside it, in DIPs from the
// card's sides: the orb's glow ends 2 DIPs before the texts.
constexpr float kCardOrbX = 20, kCardTextLeft = 38, kCardTextRight = 8;

void paintOptionCard(HDC dc, const Control& c, const FontSet& fonts, float s, UINT dpi) {
  const Shape r = shapeOf(c.rect);
  {
    Canvas g(dc);
    if (c.checked) drawGlow(g, r.x, r.y, r.w, r.h, 6 * s, look::kCardGlow, 5 * s);
    PathOwner shape(makeRoundedPath(r.x, r.y, r.w, r.h, 6 * s, kCornersAll));
    if (c.checked) {
      fillVertical(g, shape, r.y, r.yb, look::kCardChosen);
      strokePath(g, shape, look::kChosenOutline, 1.6f * s);
    } else if (c.hover) {
      fillVertical(g, shape, r.y, r.yb, look::kCardHot);
      strokePath(g, shape, look::kCardHotOutline, 1.1f * s);
    } else {
      fillVertical(g, shape, r.y, r.yb, look::kCard);
      strokePath(g, shape, look::kCardOutline, 1.1f * s);
    }
  }
  const int middle = (c.rect.top + c.rect.bottom) / 2;
  paintStatusOrb(dc, c.rect.left + truncScaled(kCardOrbX * s), middle, dpi,
                 c.checked ? OrbState::Active : OrbState::Neutral);
  const int left = c.rect.left + truncScaled(kCardTextLeft * s);
  const int right = c.rect.right - truncScaled(kCardTextRight * s);
  const COLORREF titleColour = c.checked ? kColorGoldHighlight : kColorLightText;
  if (c.detail.empty()) {
    drawLabel(dc, fonts[kFontBodyBold], titleColour, {left, c.rect.top, right, c.rect.bottom},
              c.text, kLeftLineFlags | DT_END_ELLIPSIS);
    return;
  }
  const int gap = truncScaled(2 * s);
  const int titleHeight = measureBlock(dc, fonts[kFontBodyBold], c.text);
  const int detailHeight = measureBlock(dc, fonts[kFontSmall], c.detail);
  const int top = (c.rect.top + c.rect.bottom - titleHeight - detailHeight - gap) / 2;
  drawLabel(dc, fonts[kFontBodyBold], titleColour, {left, top, right, top + titleHeight}, c.text,
            DT_SINGLELINE | DT_END_ELLIPSIS);
  const int detailTop = top + titleHeight + gap;
  drawLabel(dc, fonts[kFontSmall], c.checked ? kColorSelectedDetail : kColorGreyBeige,
            {left, detailTop, right, detailTop + detailHeight}, c.detail,
            DT_SINGLELINE | DT_END_ELLIPSIS);
}

int segmentCorners(UINT position) {
  switch (position) {
    case kSegmentAlone:
      return kCornersAll;
    case kSegmentFirst:
      return kCornerTopLeft | kCornerBottomLeft;
    case kSegmentLast:
      return kCornerTopRight | kCornerBottomRight;
    default:
      return 0;
  }
}

void paintSegment(HDC dc, const Control& c, const FontSet& fonts, float s) {
  const Shape r = shapeOf(c.rect);
  {
    Canvas g(dc);
    PathOwner shape(makeRoundedPath(r.x, r.y, r.w, r.h, 5 * s, segmentCorners(c.segmentPosition)));
    if (c.checked) {
      fillVertical(g, shape, r.y, r.yb, look::kSegmentChosen);
      strokePath(g, shape, look::kChosenOutline, 1.5f * s);
      drawLine(g, look::kFrostMark, 2 * s, r.x + 10 * s, r.yb - 3 * s, r.xr - 10 * s, r.yb - 3 * s);
    } else {
      fillVertical(g, shape, r.y, r.yb,
                   {c.hover ? look::kSegmentTopHot : look::kSegmentTop, look::kSegmentBottom});
      strokePath(g, shape, look::kSegmentOutline, s);
    }
  }
  COLORREF colour = c.checked ? kColorGoldHighlight : (c.hover ? kColorGold : kColorGreyBeige);
  drawLabel(dc, fonts[kFontCaption], colour, c.rect, c.text, kCaptionFlags);
}

void paintLink(HDC dc, const Control& c, const FontSet& fonts, float s) {
  const COLORREF colour = c.hover ? kColorLinkHover : kColorLink;
  drawLabel(dc, fonts[kFontBody], colour, c.rect, c.text, kLeftLineFlags);
  if (!c.hover) return;
  const int n = std::max(1, truncScaled(s));
  const int textHeight = measureBlock(dc, fonts[kFontBody], L"Ag");
  const int y = (c.rect.top + c.rect.bottom + textHeight) / 2 - n;
  const int width = measureTextWidth(dc, fonts[kFontBody], c.text);
  ScopedGdiObject pen(CreatePen(PS_SOLID, n, colour));
  if (!pen.valid()) return;
  ScopedSelect selected(dc, pen);
  MoveToEx(dc, c.rect.left, y, nullptr);
  LineTo(dc, c.rect.left + width, y);
}

// How far the focus ring stands off the control (inside a tab, whose foot
// merges with the panel), its corner radius and its width, in DIPs.
constexpr float kFocusOffset = 3.0f, kFocusTabInset = 4.0f, kFocusRadius = 6.0f;
constexpr float kFocusWidth = 1.5f;

}  // namespace

void paintFocusMark(HDC dc, const Control& c, UINT dpi) {
  if (!c.visible) return;
  const float s = static_cast<float>(dpi) / 96.0f;
  Shape r = shapeOf(c.rect);
  if (c.kind == ControlKind::Tab) {
    const float inset = kFocusTabInset * s;
    const float top = c.checked ? inset : inset + 4 * s;  // an unselected tab is shorter
    r = {r.x + inset, r.y + top, r.w - 2 * inset, r.h - top - inset / 2, 0, 0};
  } else {
    const float out = kFocusOffset * s;
    r = {r.x - out, r.y - out, r.w + 2 * out, r.h + 2 * out, 0, 0};
  }
  Canvas g(dc);
  PathOwner ring(makeRoundedPath(r.x, r.y, r.w, r.h, kFocusRadius * s, kCornersAll));
  PenOwner pen;
  if (!ring || GdipCreatePen1(look::kFocusRing, std::max(1.0f, kFocusWidth * s), UnitPixel,
                              pen.out()) != Ok)
    return;
  GdipSetPenDashStyle(pen, DashStyleDash);
  GdipDrawPath(g, pen, ring);
}

void paintControl(HDC dc, const Control& control, const FontSet& fonts, UINT dpi) {
  if (!control.visible) return;
  const float s = static_cast<float>(dpi) / 96.0f;
  switch (control.kind) {
    case ControlKind::Button:
    case ControlKind::PrimaryButton:
      paintButton(dc, control, fonts, s);
      break;
    case ControlKind::Tab:
      paintTab(dc, control, fonts, s);
      break;
    case ControlKind::CheckBox:
      paintCheckBox(dc, control, fonts, s);
      break;
    case ControlKind::OptionCard:
      paintOptionCard(dc, control, fonts, s, dpi);
      break;
    case ControlKind::Segment:
      paintSegment(dc, control, fonts, s);
      break;
    case ControlKind::Link:
      paintLink(dc, control, fonts, s);
      break;
  }
}

}  // namespace gui
