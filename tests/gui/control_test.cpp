#include <gtest/gtest.h>

#include "gui/control.h"
#include "gui/paint.h"
#include "tests/gui/gui_test_util.h"

using namespace gui;
using guitest::Bitmap32;
using guitest::colourDistance;

namespace {

constexpr COLORREF kBack = RGB(0, 0, 0);

class ControlPainterTest : public ::testing::Test {
 protected:
  guitest::ScopedTheme theme;
  FontSet fonts{96};

  Control make(ControlKind kind, RECT rect, const wchar_t* text = L"Save") {
    Control c;
    c.kind = kind;
    c.rect = rect;
    c.text = text;
    return c;
  }
  void paint(Bitmap32& bmp, const Control& c, UINT dpi = 96) {
    paintControl(bmp.dc(), c, fonts, dpi);
  }
};

// First row, from the top, that holds a bright caption pixel inside `area`.
int firstBrightRow(const Bitmap32& bmp, RECT area) {
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) {
      if (GetRValue(bmp.at(x, y)) > 170) return y;
    }
  }
  return -1;
}

int firstPaintedRow(const Bitmap32& bmp, int x) {
  for (int y = 0; y < bmp.height(); ++y) {
    if (colourDistance(bmp.at(x, y), kBack) > 20) return y;
  }
  return -1;
}

TEST_F(ControlPainterTest, DisabledPrimaryButtonNeverLightsUp) {
  Control c = make(ControlKind::PrimaryButton, {20, 20, 140, 56});
  c.enabled = false;
  Bitmap32 calm(160, 80, kBack), hovered(160, 80, kBack);
  paint(calm, c);
  c.hover = true;
  paint(hovered, c);
  EXPECT_TRUE(calm.sameAs(hovered));
  EXPECT_EQ(calm.at(10, 38), kBack);  // no glow around it
  // An enabled one does light up, glow included.
  c.enabled = true;
  Bitmap32 hot(160, 80, kBack);
  paint(hot, c);
  EXPECT_FALSE(hot.sameAs(hovered));
  EXPECT_NE(hot.at(16, 38), kBack);
}

TEST_F(ControlPainterTest, PressedCaptionMovesDownOnePixelAt96Dpi) {
  for (ControlKind kind : {ControlKind::Button, ControlKind::PrimaryButton}) {
    Control c = make(kind, {10, 10, 150, 50}, L"HHHH");
    Bitmap32 up(160, 60, kBack), down(160, 60, kBack);
    paint(up, c);
    c.pressed = true;
    paint(down, c);
    const RECT inside = {20, 14, 140, 46};  // clear of the outline and highlight
    const int upRow = firstBrightRow(up, inside);
    ASSERT_GT(upRow, 0) << "kind " << static_cast<int>(kind);
    EXPECT_EQ(firstBrightRow(down, inside), upRow + 1) << "kind " << static_cast<int>(kind);
  }
}

TEST_F(ControlPainterTest, UnknownKindsAndInvisibleControlsPaintNothing) {
  for (int kind : {7, 8, -1, 1000}) {
    Bitmap32 bmp(120, 60, kBack);
    paint(bmp, make(static_cast<ControlKind>(kind), {0, 0, 120, 60}));
    EXPECT_TRUE(bmp.unchanged(kBack)) << "kind " << kind;
  }
  Control hidden = make(ControlKind::Button, {0, 0, 120, 60});
  hidden.visible = false;
  Bitmap32 bmp(120, 60, kBack);
  paint(bmp, hidden);
  EXPECT_TRUE(bmp.unchanged(kBack));
}

TEST_F(ControlPainterTest, SegmentRowRoundsOnlyItsOuterCorners) {
  // A square corner puts its outline into the 2x2 corner block; a round one
  // leaves it empty but for faint anti-aliasing.
  auto cornerPainted = [&](UINT position, int x, int y) {
    Control c = make(ControlKind::Segment, {0, 0, 60, 32}, L"");
    c.segmentPosition = position;
    Bitmap32 bmp(60, 32, kBack);
    paint(bmp, c);
    const int x0 = x == 0 ? 0 : x - 1, y0 = y == 0 ? 0 : y - 1;
    for (int dy = 0; dy < 2; ++dy) {
      for (int dx = 0; dx < 2; ++dx) {
        if (colourDistance(bmp.at(x0 + dx, y0 + dy), kBack) > 40) return true;
      }
    }
    return false;
  };
  // The top corners; the bottom ones mirror them.
  EXPECT_FALSE(cornerPainted(kSegmentFirst, 0, 0));
  EXPECT_TRUE(cornerPainted(kSegmentFirst, 59, 0));
  EXPECT_TRUE(cornerPainted(kSegmentMiddle, 0, 0));
  EXPECT_TRUE(cornerPainted(kSegmentMiddle, 59, 0));
  EXPECT_TRUE(cornerPainted(kSegmentLast, 0, 0));
  EXPECT_FALSE(cornerPainted(kSegmentLast, 59, 0));
  EXPECT_FALSE(cornerPainted(kSegmentAlone, 0, 0));
  EXPECT_FALSE(cornerPainted(kSegmentAlone, 59, 0));
  EXPECT_TRUE(cornerPainted(9, 0, 0));  // out-of-range positions are square
}

TEST_F(ControlPainterTest, UnselectedTabIsFourDipsShorter) {
  for (UINT dpi : {96u, 192u}) {
    Control c = make(ControlKind::Tab, {10, 10, 130, 50}, L"");
    Bitmap32 selected(140, 70, kBack), plain(140, 70, kBack);
    c.checked = true;
    paint(selected, c, dpi);
    c.checked = false;
    paint(plain, c, dpi);
    // Edges of different pen widths may land a pixel apart once rasterised.
    EXPECT_NEAR(firstPaintedRow(plain, 70) - firstPaintedRow(selected, 70),
                MulDiv(4, static_cast<int>(dpi), 96), dpi == 96 ? 0 : 1)
        << "dpi " << dpi;
  }
}

TEST_F(ControlPainterTest, EveryKindShowsItsStates) {
  // Each state flag that matters for a kind changes its picture.
  struct Case {
    ControlKind kind;
    bool Control::*flag;
  } cases[] = {{ControlKind::Button, &Control::hover},
               {ControlKind::Button, &Control::pressed},
               {ControlKind::Tab, &Control::checked},
               {ControlKind::Tab, &Control::hover},
               {ControlKind::CheckBox, &Control::checked},
               {ControlKind::CheckBox, &Control::hover},
               {ControlKind::OptionCard, &Control::checked},
               {ControlKind::OptionCard, &Control::hover},
               {ControlKind::Segment, &Control::checked},
               {ControlKind::Segment, &Control::hover},
               {ControlKind::Link, &Control::hover},
               {ControlKind::PrimaryButton, &Control::enabled}};
  for (const Case& k : cases) {
    Control c = make(k.kind, {10, 10, 230, 60}, L"Caption");
    c.detail = L"detail";
    Bitmap32 off(240, 70, kBack), on(240, 70, kBack);
    paint(off, c);
    c.*k.flag = !(c.*k.flag);
    paint(on, c);
    EXPECT_FALSE(off.sameAs(on)) << "kind " << static_cast<int>(k.kind);
  }
}

TEST_F(ControlPainterTest, OptionCardWithoutDetailCentresItsTitle) {
  Control c = make(ControlKind::OptionCard, {0, 0, 300, 80}, L"HHHH");
  Bitmap32 bmp(300, 80, kBack);
  paint(bmp, c);
  int top = -1, bottom = -1;
  for (int y = 0; y < 80; ++y) {
    for (int x = 60; x < 200; ++x) {
      if (GetRValue(bmp.at(x, y)) > 170) {
        if (top < 0) top = y;
        bottom = y;
      }
    }
  }
  ASSERT_GE(top, 0);
  EXPECT_LE(std::abs((top + bottom) - 80), 4);  // centred within a couple of pixels
}

}  // namespace
