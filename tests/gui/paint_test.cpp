#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "gui/paint.h"
#include "gui/scoped_gdi.h"
#include "tests/gui/gui_test_util.h"

using namespace gui;
using guitest::Bitmap32;
using guitest::colourDistance;

namespace {

constexpr COLORREF kBack = RGB(0, 0, 0);

// Pixels along a row that the painting changed by more than half.
int paintedRun(const Bitmap32& bmp, int y, COLORREF back) {
  int count = 0;
  for (int x = 0; x < bmp.width(); ++x) {
    if (colourDistance(bmp.at(x, y), back) > 100) ++count;
  }
  return count;
}

void fillRounded(HDC dc, float x, float y, float w, float h, float radius, int corners) {
  Canvas g(dc);
  PathOwner path(makeRoundedPath(x, y, w, h, radius, corners));
  fillPath(g, path, 0xFFFFFFFF);
}

class PaintTest : public ::testing::Test {
 protected:
  guitest::ScopedTheme theme;
  FontSet fonts{96};
};

TEST_F(PaintTest, StatusOrbIsEighteenDipsAcross) {
  for (UINT dpi : {96u, 192u}) {
    // Blue is far from every colour of the orb, its check mark included.
    Bitmap32 bmp(100, 100, RGB(0, 0, 255));
    paintStatusOrb(bmp.dc(), 50, 50, dpi, OrbState::Done);
    const int expected = MulDiv(kOrbDiameterDip, static_cast<int>(dpi), 96);
    EXPECT_EQ(paintedRun(bmp, 50, RGB(0, 0, 255)), expected) << "dpi " << dpi;
  }
}

TEST_F(PaintTest, EveryOrbStatePaintsAndUnknownStatesDoNot) {
  for (OrbState state : {OrbState::Ok, OrbState::Warning, OrbState::Neutral, OrbState::Done,
                         OrbState::Active, OrbState::Pending}) {
    Bitmap32 bmp(60, 60, RGB(128, 128, 128));
    paintStatusOrb(bmp.dc(), 30, 30, 96, state);
    EXPECT_FALSE(bmp.unchanged(RGB(128, 128, 128))) << "state " << static_cast<int>(state);
  }
  Bitmap32 bmp(60, 60, kBack);
  paintStatusOrb(bmp.dc(), 30, 30, 96, static_cast<OrbState>(6));
  EXPECT_TRUE(bmp.unchanged(kBack));
}

TEST_F(PaintTest, SmallRadiusAndMissingCornerFlagsGiveSquareCorners) {
  // Square corners fill the corner pixel; a real radius leaves it empty.
  struct Case {
    float radius;
    int corners;
    bool square;
  } cases[] = {{0.5f, kCornersAll, true},
               {0.0f, kCornersAll, true},
               {8.0f, 0, true},
               {8.0f, kCornersAll, false}};
  for (const Case& c : cases) {
    Bitmap32 bmp(60, 40, kBack);
    fillRounded(bmp.dc(), 10, 10, 40, 20, c.radius, c.corners);
    const bool cornerFilled =
        colourDistance(bmp.at(10, 10), kBack) > 200 && colourDistance(bmp.at(49, 29), kBack) > 200;
    EXPECT_EQ(cornerFilled, c.square) << "radius " << c.radius << " corners " << c.corners;
  }
}

TEST_F(PaintTest, CornerFlagsRoundOnlyTheirCorners) {
  Bitmap32 bmp(60, 40, kBack);
  fillRounded(bmp.dc(), 10, 10, 40, 20, 8, kCornerTopLeft | kCornerBottomLeft);
  EXPECT_LT(colourDistance(bmp.at(10, 10), kBack), 60);   // rounded left
  EXPECT_GT(colourDistance(bmp.at(49, 10), kBack), 200);  // square right
  EXPECT_GT(colourDistance(bmp.at(49, 29), kBack), 200);
}

TEST_F(PaintTest, ParchmentPanelWithoutImageIsSolidInside) {
  ASSERT_EQ(SharedPictures().parchment(), nullptr);  // the test program carries no textures
  const COLORREF grey = RGB(128, 128, 128);
  Bitmap32 bmp(200, 120, grey);
  const RECT panel = {10, 10, 190, 110};
  paintParchmentPanel(bmp.dc(), panel, 96);
  EXPECT_EQ(bmp.at(100, 60), RGB(0xEC, 0xDE, 0xBC));
  // The edge is darkened and outlined, and the drop shadow falls outside.
  EXPECT_GT(colourDistance(bmp.at(10, 60), RGB(0xEC, 0xDE, 0xBC)), 40);
  EXPECT_LT(GetRValue(bmp.at(100, 111)), 120);
}

TEST_F(PaintTest, EmblemPaintsNothingWithoutImage) {
  Bitmap32 bmp(64, 64, kBack);
  paintEmblem(bmp.dc(), {0, 0, 64, 64});
  EXPECT_TRUE(bmp.unchanged(kBack));
  EXPECT_TRUE(SharedPictures().emblemCache().empty());
}

TEST_F(PaintTest, PanelsFrameAndOrnamentsStayInsideTheirArea) {
  Bitmap32 bmp(300, 200, RGB(40, 40, 40));
  paintDarkPanel(bmp.dc(), {20, 20, 280, 180}, 96, true);
  EXPECT_NE(bmp.at(150, 100), RGB(40, 40, 40));
  EXPECT_EQ(bmp.at(5, 5), RGB(40, 40, 40));
  Bitmap32 frame(300, 200, kBack);
  paintFrame(frame.dc(), {0, 0, 300, 200}, 96);
  EXPECT_GT(colourDistance(frame.at(150, 4), kBack), 60);  // the gilt rule at 4 DIPs
  EXPECT_EQ(frame.at(150, 100), kBack);
  Bitmap32 rule(200, 20, kBack);
  paintDivider(rule.dc(), 10, 190, 10, 96);
  EXPECT_GT(colourDistance(rule.at(100, 10), kBack), 100);  // the diamond in the middle
  EXPECT_LT(colourDistance(rule.at(11, 10), kBack), 40);    // faded at the ends
}

// Outlines drawn in strips along the edges come out as drawn whole: thin
// see-through, gradient and wide outlines, rounded and square corners,
// ornaments on the corners, at two scales.
TEST_F(PaintTest, DrawingAlongEdgesGivesTheWholeDrawingsPixels) {
  struct Case {
    float scale;
    float radius;
    float width;
    bool gradient;
  };
  const Case cases[] = {{1.0f, 6, 1.2f, false}, {1.5f, 9, 1.2f, true}, {1.0f, 0, 2.2f, true},
                        {2.0f, 12, 1.0f, false}, {1.5f, 0, 4.0f, false}};
  const COLORREF back = RGB(90, 60, 30);
  for (const Case& c : cases) {
    const RECT area = {10, 10, 290, 190};
    const float inset = 3 * c.scale + 0.5f;
    const auto draw = [&](Gdiplus::GpGraphics* g) {
      PathOwner path(makeRoundedPath(10 + inset, 10 + inset, 280 - 2 * inset, 180 - 2 * inset,
                                     c.radius, kCornersAll));
      if (c.gradient) {
        LineBrushOwner brush(makeLineBrush(10, 10, 290, 190, 0xC0F6D68C, 0x70805C28));
        strokePathWith(g, path, brush, c.width);
      } else {
        strokePath(g, path, 0x60000000, c.width);
      }
      drawDiamond(g, 10 + inset + 7 * c.scale, 10 + inset + 7 * c.scale, 6.5f * c.scale, c.scale);
    };
    Bitmap32 whole(300, 200, back), strips(300, 200, back);
    {
      Canvas g(whole.dc());
      draw(g);
    }
    drawAlongEdges(strips.dc(), area, static_cast<int>(16 * c.scale), draw);
    int worst = 0;
    for (int y = 0; y < 200; ++y) {
      for (int x = 0; x < 300; ++x) {
        const COLORREF a = whole.at(x, y), b = strips.at(x, y);
        worst = std::max({worst, std::abs(GetRValue(a) - GetRValue(b)),
                          std::abs(GetGValue(a) - GetGValue(b)),
                          std::abs(GetBValue(a) - GetBValue(b))});
      }
    }
    EXPECT_FALSE(whole.unchanged(back)) << "scale " << c.scale;
    EXPECT_LE(worst, 1) << "scale " << c.scale << " radius " << c.radius;
  }
}

// A see-through fill drawn band by band comes out as drawn whole, in
// bands narrower than the area's height and in one band.
TEST_F(PaintTest, DrawingInBandsGivesTheWholeDrawingsPixels) {
  const COLORREF back = RGB(90, 60, 30);
  const int widths[] = {1200, 200};
  for (int width : widths) {
    const int height = rowsPerBand(width) * 5 / 2;
    const RECT area = {0, 0, width, height};
    const auto draw = [&](Gdiplus::GpGraphics* g) {
      PathOwner path(makeRoundedPath(2.5f, 3.5f, static_cast<float>(width - 6),
                                     static_cast<float>(height - 7), 6, kCornersAll));
      fillPath(g, path, 0xAF100D0B);
    };
    Bitmap32 whole(width, height, back), bands(width, height, back);
    {
      Canvas g(whole.dc());
      draw(g);
    }
    drawInBands(bands.dc(), area, draw);
    int differing = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) differing += whole.at(x, y) != bands.at(x, y);
    }
    EXPECT_FALSE(whole.unchanged(back)) << width;
    EXPECT_EQ(differing, 0) << width;
  }
}

// A line laid over part of a varied picture gives the pixels AlphaBlend
// gives for the same line repeated across that part, along either axis.
TEST_F(PaintTest, ALineLaidOverABandIsWhatAlphaBlendLaysOn) {
  constexpr int kWidth = 70, kHeight = 50;
  const RECT rect = {5, 4, 65, 46};
  for (bool vertical : {true, false}) {
    const LONG first = vertical ? rect.top : rect.left;
    const int length = vertical ? rect.bottom - rect.top : rect.right - rect.left;
    const int across = vertical ? rect.right - rect.left : rect.bottom - rect.top;
    std::vector<uint32_t> line(static_cast<size_t>(length));
    for (int i = 0; i < length; ++i) {
      const uint32_t alpha = static_cast<uint32_t>(i * 53 + 7) % 256;  // premultiplied: no
      line[i] = alpha << 24 | (alpha * 3 / 4) << 16 | (alpha / 2) << 8 | alpha / 5;  // channel above it
    }
    Bitmap32 laid(kWidth, kHeight, 0), blended(kWidth, kHeight, 0);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const COLORREF varied = RGB(x * 7 % 256, y * 11 % 256, x * y % 256);
        SetPixelV(laid.dc(), x, y, varied);
        SetPixelV(blended.dc(), x, y, varied);
      }
    }
    void* bits = nullptr;
    const int width = vertical ? across : length, height = vertical ? length : across;
    ScopedGdiObject repeated(createTopDownDib(nullptr, width, height, 32, &bits));
    ASSERT_NE(bits, nullptr);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        static_cast<uint32_t*>(bits)[y * width + x] = line[vertical ? y : x];
      }
    }
    ScopedMemoryDc source(CreateCompatibleDC(nullptr));
    HGDIOBJ old = SelectObject(source, repeated);
    const BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    GdiAlphaBlend(blended.dc(), rect.left, rect.top, width, height, source, 0, 0, width, height,
                  blend);
    SelectObject(source, old);
    ASSERT_TRUE(layLineOn(laid.dc(), rect, line.data(), first, vertical));
    EXPECT_TRUE(laid.sameAs(blended)) << (vertical ? "vertical" : "horizontal");
    EXPECT_NE(laid.at(30, 20), RGB(30 * 7, 20 * 11, 600 % 256));  // something was laid on
  }
}

// On the windows' 24-bit buffers a see-through colour laid on by our own
// blend gives the pixels of GDI+'s fill, over every value of each channel.
TEST_F(PaintTest, ASolidColourLaidOnIsWhatGdiplusFillsOn24Bits) {
  constexpr int kWidth = 256, kHeight = 3;
  const RECT all = {0, 0, kWidth, kHeight};
  for (Argb colour : {0xDE100D0Bu, 0xAF100D0Bu, 0x40FFC080u}) {
    void* laidBits = nullptr;
    void* filledBits = nullptr;
    ScopedGdiObject laid(createTopDownDib(nullptr, kWidth, kHeight, 24, &laidBits));
    ScopedGdiObject filled(createTopDownDib(nullptr, kWidth, kHeight, 24, &filledBits));
    ASSERT_TRUE(laidBits && filledBits);
    const size_t size = dibRowBytes(kWidth, 24) * kHeight;
    auto* pixels = static_cast<uint8_t*>(laidBits);
    for (size_t i = 0; i < size; ++i) {
      pixels[i] = static_cast<uint8_t>(i % 3 == 1 ? 255 - i / 3 % kWidth : i * 7 / 3);  // all values
    }
    std::copy(pixels, pixels + size, static_cast<uint8_t*>(filledBits));
    const std::vector<uint8_t> before(pixels, pixels + size);
    ScopedMemoryDc dc(CreateCompatibleDC(nullptr));
    HGDIOBJ old = SelectObject(dc, laid);
    EXPECT_TRUE(laySolidOn(dc, all, colour));
    SelectObject(dc, filled);
    {
      Canvas g(dc);
      SolidOwner brush;
      ASSERT_EQ(Gdiplus::DllExports::GdipCreateSolidFill(colour, brush.out()), Gdiplus::Ok);
      fillRectWith(g, brush, -1, -1, kWidth + 2, kHeight + 2);
    }
    GdiFlush();
    SelectObject(dc, old);
    const auto* fill = static_cast<const uint8_t*>(filledBits);
    EXPECT_TRUE(std::equal(pixels, pixels + size, fill)) << std::hex << colour;
    EXPECT_FALSE(std::equal(pixels, pixels + size, before.begin())) << "something was laid on";
  }
  Bitmap32 other(4, 4, 0);  // GDI+ blends into 32 bits by its own rule: not ours to imitate
  EXPECT_FALSE(laySolidOn(other.dc(), {0, 0, 4, 4}, 0x80FFFFFF));
}

TEST_F(PaintTest, TilesLieAsAPatternBrushWithTheSameOrigin) {
  // A 7x5 tile whose every pixel differs, so any shift shows.
  Bitmap32 tile(7, 5, 0);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 7; ++x) SetPixel(tile.dc(), x, y, RGB(30 * x, 40 * y, 99));
  }
  GdiFlush();
  const HBITMAP tileBitmap = static_cast<HBITMAP>(GetCurrentObject(tile.dc(), OBJ_BITMAP));
  ScopedGdiObject pattern(CreatePatternBrush(tileBitmap));
  struct Case {
    RECT area;
    POINT origin;
  };
  const Case cases[] = {
      {{0, 0, 60, 40}, {0, 0}},       // whole tiles and a cut edge
      {{3, 2, 19, 33}, {0, 0}},       // starts inside a tile
      {{10, 9, 51, 38}, {12, 11}},    // origin after the area's corner
      {{5, 4, 6, 5}, {-20, -9}},      // one pixel
      {{0, 0, 200, 90}, {3, 1}},      // more rows than a band of a narrow tile
  };
  const COLORREF back = RGB(1, 2, 3);
  for (const Case& c : cases) {
    Bitmap32 tiled(200, 90, back), brushed(200, 90, back);
    fillWithTile(tiled.dc(), c.area, c.origin, tileBitmap);
    SetBrushOrgEx(brushed.dc(), c.origin.x, c.origin.y, nullptr);
    FillRect(brushed.dc(), &c.area, static_cast<HBRUSH>(pattern.get()));
    int differing = 0;
    for (int y = 0; y < 90; ++y) {
      for (int x = 0; x < 200; ++x) differing += tiled.at(x, y) != brushed.at(x, y);
    }
    EXPECT_FALSE(tiled.unchanged(back)) << c.area.left << "," << c.area.top;
    EXPECT_EQ(differing, 0) << c.area.left << "," << c.area.top;
  }
}

TEST_F(PaintTest, RichTextOfEmptyTextIsHalfALine) {
  Bitmap32 bmp(300, 200, kBack);
  const int line = measureWrappedHeight(bmp.dc(), fonts[kFontBody], 280, L"A");
  ASSERT_GT(line, 0);
  const RECT box = {10, 10, 290, 190};
  EXPECT_EQ(drawRichText(bmp.dc(), fonts, RGB(255, 255, 255), RGB(255, 0, 0), box, L"", 96, false),
            line / 2);
  EXPECT_EQ(measureWrappedHeight(bmp.dc(), fonts[kFontBody], 280, L""), line);
}

TEST_F(PaintTest, RichTextLaysOutNumberedItemsAndParagraphs) {
  Bitmap32 bmp(400, 300, kBack);
  const RECT box = {0, 0, 400, 300};
  const int line = measureWrappedHeight(bmp.dc(), fonts[kFontBody], 400, L"A");
  const std::wstring text = L"Intro\n\n1. One\n2. Two\n12. Twelve\n1.5 is not an item";
  const int measured =
      drawRichText(bmp.dc(), fonts, RGB(255, 255, 255), RGB(255, 0, 0), box, text, 96, false);
  EXPECT_TRUE(bmp.unchanged(kBack));  // measuring draws nothing
  // Five text lines, one half-line gap, two gaps of 4 DIPs between items.
  EXPECT_EQ(measured, 5 * line + line / 2 + 2 * 4);
  const int drawn =
      drawRichText(bmp.dc(), fonts, RGB(255, 255, 255), RGB(255, 0, 0), box, text, 96, true);
  EXPECT_EQ(drawn, measured);
  // The numbers are drawn in the number colour in the left column.
  bool red = false;
  for (int y = line + line / 2; y < 2 * line + line / 2 && !red; ++y) {
    for (int x = 0; x < 26; ++x)
      red = red || (GetRValue(bmp.at(x, y)) > 150 && GetGValue(bmp.at(x, y)) < 80);
  }
  EXPECT_TRUE(red);
}

TEST_F(PaintTest, LabelsNeverTreatAmpersandAsPrefix) {
  Bitmap32 bmp(200, 40, kBack);
  HDC dc = bmp.dc();
  EXPECT_GT(measureTextWidth(dc, fonts[kFontBody], L"A&&B"),
            measureTextWidth(dc, fonts[kFontBody], L"A&B"));
  drawLabel(dc, fonts[kFontBody], RGB(255, 255, 255), {0, 0, 200, 40}, L"&", DT_SINGLELINE);
  EXPECT_FALSE(bmp.unchanged(kBack));  // a lone ampersand is drawn, not swallowed
}

}  // namespace
