#include <gtest/gtest.h>

#include <shlwapi.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/text.h"
#include "gui/paint.h"
#include "gui/png.h"
#include "gui/surface.h"
#include "gui/theme.h"
#include "tests/gui/gui_test_util.h"
#include "tests/support/test_support.h"

using namespace gui;
using guitest::Bitmap32;

namespace {

// The program's own resources, mapped without running it.
class ProgramResources {
 public:
  ProgramResources()
      : module_(LoadLibraryExW(cairnstoneExe().c_str(), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
  ~ProgramResources() {
    if (module_) FreeLibrary(module_);
  }
  HINSTANCE get() const { return module_; }

 private:
  HMODULE module_;
};

SIZE iconSize(HICON icon) {
  ICONINFO info = {};
  if (!GetIconInfo(icon, &info)) return {0, 0};
  BITMAP bm = {};
  GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  return {bm.bmWidth, bm.bmHeight};
}

TEST(ThemeTest, WithoutLeatherTheBackgroundIsSolid) {
  guitest::ScopedTheme theme;  // the test program has no picture resources
  EXPECT_EQ(leatherTile(), nullptr);
  LOGBRUSH brush = {};
  ASSERT_TRUE(GetObjectW(fieldBrush(), sizeof brush, &brush));
  EXPECT_EQ(brush.lbColor, RGB(20, 16, 13));
  {
    const SharedPictures pictures;
    EXPECT_EQ(pictures.parchment(), nullptr);
    EXPECT_EQ(pictures.emblem(), nullptr);
  }
  EXPECT_EQ(appIcon(16), nullptr);
  // Painting still works: the middle of a large background is the plain colour, darkened at most.
  Bitmap32 bmp(400, 400, RGB(255, 0, 255));
  paintBackground(bmp.dc(), {0, 0, 400, 400});
  const COLORREF mid = bmp.at(200, 300);
  EXPECT_LE(guitest::colourDistance(mid, RGB(36, 28, 22)), 6);
}

// Every window registers its own class; all of them show the program's icon,
// one pair loaded once and shared, and a class registered twice is kept.
TEST(ThemeTest, SurfaceClassesShareTheProgramsIconsAndRegisterOnce) {
  ProgramResources program;
  ASSERT_NE(program.get(), nullptr) << "cannot map Cairnstone.exe";
  setThemeInstance(program.get());
  const wchar_t* const names[] = {L"CairnIconProbeA", L"CairnIconProbeB", L"CairnIconProbeA"};
  HICON firstIcon = nullptr, firstSmall = nullptr;
  for (const wchar_t* name : names) {
    SCOPED_TRACE(::testing::Message() << "class " << toUtf8(name));
    ASSERT_TRUE(registerSurfaceClass(name));
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    ASSERT_TRUE(GetClassInfoExW(program.get(), name, &wc));
    EXPECT_EQ(wc.lpfnWndProc, surfaceWindowProc);
    ASSERT_NE(wc.hIcon, nullptr);
    ASSERT_NE(wc.hIconSm, nullptr);
    EXPECT_EQ(iconSize(wc.hIcon).cx, GetSystemMetrics(SM_CXICON));
    if (!firstIcon) {
      firstIcon = wc.hIcon;
      firstSmall = wc.hIconSm;
    }
    EXPECT_EQ(wc.hIcon, firstIcon);
    EXPECT_EQ(wc.hIconSm, firstSmall);
  }
  UnregisterClassW(L"CairnIconProbeA", program.get());
  UnregisterClassW(L"CairnIconProbeB", program.get());
  setThemeInstance(nullptr);
}

// Real pictures exercise every code and filter: ours must match GDI+'s decoder.
TEST(ThemeTest, PicturesDecodeToTheSamePixelsAsGdiplusGives) {
  ProgramResources program;
  ASSERT_NE(program.get(), nullptr) << "cannot map Cairnstone.exe";
  guitest::ScopedTheme theme(program.get());  // GDI+ runs
  for (const wchar_t* name : {L"LEATHER", L"PARCHMENT", L"EMBLEM"}) {
    HRSRC found = FindResourceW(program.get(), name, MAKEINTRESOURCEW(10));
    ASSERT_NE(found, nullptr);
    const auto* bytes =
        static_cast<const std::uint8_t*>(LockResource(LoadResource(program.get(), found)));
    const DWORD size = SizeofResource(program.get(), found);
    png::Size picture;
    ASSERT_TRUE(png::readSize(bytes, size, picture));
    const size_t rowBytes = static_cast<size_t>(picture.width) * 4;
    std::vector<std::uint8_t> ours(rowBytes * picture.height);
    ASSERT_TRUE(png::decode(bytes, size, [&](int y, const std::uint8_t* bgra) {
      std::memcpy(&ours[y * rowBytes], bgra, rowBytes);
    }));
    IStream* stream = SHCreateMemStream(bytes, size);
    ASSERT_NE(stream, nullptr);
    ImageOwner theirs;
    EXPECT_EQ(Gdiplus::DllExports::GdipCreateBitmapFromStream(stream, theirs.out()), Gdiplus::Ok);
    stream->Release();
    Gdiplus::BitmapData data = {};
    const Gdiplus::GpRect whole(0, 0, picture.width, picture.height);
    ASSERT_EQ(Gdiplus::DllExports::GdipBitmapLockBits(theirs, &whole, Gdiplus::ImageLockModeRead,
                                                      PixelFormat32bppARGB, &data),
              Gdiplus::Ok);
    int differing = 0;
    for (int y = 0; y < picture.height; ++y) {
      const auto* row = static_cast<const std::uint8_t*>(data.Scan0) + y * data.Stride;
      differing += std::memcmp(row, &ours[y * rowBytes], rowBytes) != 0;
    }
    Gdiplus::DllExports::GdipBitmapUnlockBits(theirs, &data);
    EXPECT_EQ(differing, 0) << "rows differ in " << static_cast<const void*>(name);
  }
}

TEST(ThemeTest, ShutdownWithoutEmblemOrTwiceIsSafe) {
  gui::initTheme(GetModuleHandleW(nullptr));
  ASSERT_EQ(SharedPictures().emblem(), nullptr);
  gui::shutdownTheme();
  EXPECT_EQ(fieldBrush(), nullptr);
  gui::shutdownTheme();  // nothing left to release
  SUCCEED();
}

TEST(ThemeTest, ProgramResourcesLoadAndEmblemScalesOncePerSize) {
  ProgramResources program;
  ASSERT_NE(program.get(), nullptr) << "cannot map Cairnstone.exe";
  guitest::ScopedTheme theme(program.get());
  DIBSECTION leather = {};
  ASSERT_EQ(GetObjectW(leatherTile(), sizeof leather, &leather), static_cast<int>(sizeof leather));
  EXPECT_EQ(leather.dsBm.bmWidth, 256);
  EXPECT_EQ(leather.dsBm.bmBitsPixel, 24);
  {
    const SharedPictures pictures;
    UINT width = 0, height = 0;
    ASSERT_NE(pictures.parchment(), nullptr);
    Gdiplus::DllExports::GdipGetImageWidth(pictures.parchment(), &width);
    Gdiplus::DllExports::GdipGetImageHeight(pictures.parchment(), &height);
    EXPECT_EQ(width, 256u);
    EXPECT_EQ(height, 256u);
    ASSERT_NE(pictures.emblem(), nullptr);
    Gdiplus::DllExports::GdipGetImageWidth(pictures.emblem(), &width);
    EXPECT_EQ(width, 512u);
  }
  for (int side : {16, 20, 24, 32, 48, 256}) {
    HICON icon = appIcon(side);
    ASSERT_NE(icon, nullptr) << side;
    EXPECT_EQ(iconSize(icon).cx, side);
    DestroyIcon(icon);
  }

  // The emblem: centred square, scaled once per side, transparent corners.
  Bitmap32 bmp(200, 120, RGB(0, 0, 0));
  paintEmblem(bmp.dc(), {0, 0, 200, 120});
  paintEmblem(bmp.dc(), {10, 0, 210, 120});
  EXPECT_EQ(SharedPictures().emblemCache().size(), 1u);
  EXPECT_EQ(SharedPictures().emblemCache().count(120), 1u);
  EXPECT_NE(bmp.at(100, 60), RGB(0, 0, 0));
  EXPECT_EQ(bmp.at(41, 1), RGB(0, 0, 0));
  paintEmblem(bmp.dc(), {0, 0, 64, 64});
  EXPECT_EQ(SharedPictures().emblemCache().size(), 2u);

  // Parchment panels now show the texture instead of the flat colour.
  Bitmap32 panel(200, 200, RGB(0, 0, 0));
  paintParchmentPanel(panel.dc(), {0, 0, 200, 200}, 96);
  std::set<COLORREF> colours;
  for (int x = 40; x < 160; x += 7) colours.insert(panel.at(x, 100));
  EXPECT_GT(colours.size(), 3u);
}

// The pictures that windows share, each painted as a window paints it.
struct SharedPainting {
  const char* name;
  std::function<void(HDC)> paint;
};
constexpr int kPaintingSide = 480;
std::vector<SharedPainting> sharedPaintings() {
  static const RECT area = {0, 0, kPaintingSide, kPaintingSide};
  return {{"parchment", [](HDC dc) { paintParchmentPanel(dc, area, 96); }},
          {"emblem", [](HDC dc) { paintEmblem(dc, area); }}};
}

// A window's backdrop is painted on a thread of its own while another
// window paints on the GUI thread, with the same pictures.
TEST(ThemeTest, TwoThreadsPaintingThePicturesAtOnceGetTheSamePixels) {
  ProgramResources program;
  ASSERT_NE(program.get(), nullptr) << "cannot map Cairnstone.exe";
  guitest::ScopedTheme theme(program.get());
  constexpr int kRounds = 40;
  for (const SharedPainting& painting : sharedPaintings()) {
    SCOPED_TRACE(painting.name);
    Bitmap32 alone(kPaintingSide, kPaintingSide, RGB(0, 0, 0));
    painting.paint(alone.dc());
    std::atomic<int> arrived{0};
    int differing[2] = {};
    auto painter = [&](int me) {
      Bitmap32 mine(kPaintingSide, kPaintingSide, RGB(0, 0, 0));
      for (int round = 0; round < kRounds; ++round) {
        mine.clear(RGB(0, 0, 0));
        // Both start each round together.
        ++arrived;
        while (arrived.load() < 2 * (round + 1)) YieldProcessor();
        painting.paint(mine.dc());
        if (!mine.sameAs(alone)) ++differing[me];
      }
    };
    std::thread other(painter, 1);
    painter(0);
    other.join();
    EXPECT_EQ(differing[0] + differing[1], 0) << "of " << 2 * kRounds << " paintings";
  }
}

// GDI+ refuses an image in use on another thread (Wine does not for every
// call, Windows does): every painter waits for the one lease of the pictures.
TEST(ThemeTest, APainterWaitsWhileAnotherThreadHoldsThePictures) {
  ProgramResources program;
  ASSERT_NE(program.get(), nullptr) << "cannot map Cairnstone.exe";
  guitest::ScopedTheme theme(program.get());
  constexpr DWORD kHeldMs = 300, kTimeoutMs = 30000;
  for (const SharedPainting& painting : sharedPaintings()) {
    SCOPED_TRACE(painting.name);
    Bitmap32 alone(kPaintingSide, kPaintingSide, RGB(0, 0, 0));
    painting.paint(alone.dc());
    Bitmap32 waited(kPaintingSide, kPaintingSide, RGB(0, 0, 0));
    ScopedHandle painted(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread painter;
    {
      const SharedPictures held;
      painter = std::thread([&] {
        painting.paint(waited.dc());
        SetEvent(painted);
      });
      EXPECT_EQ(WaitForSingleObject(painted, kHeldMs), static_cast<DWORD>(WAIT_TIMEOUT));
    }
    EXPECT_EQ(WaitForSingleObject(painted, kTimeoutMs), WAIT_OBJECT_0);
    painter.join();
    EXPECT_TRUE(waited.sameAs(alone));
  }
}

TEST(ThemeTest, SerifFaceFallsBackInOrder) {
  auto has = [](std::set<std::wstring> installed) {
    return [installed](const wchar_t* face) { return installed.count(face) > 0; };
  };
  EXPECT_EQ(chooseSerifFace(has({L"Palatino Linotype", L"Georgia", L"Cambria"})),
            L"Palatino Linotype");
  EXPECT_EQ(chooseSerifFace(has({L"Georgia", L"Cambria", L"Book Antiqua"})), L"Georgia");
  EXPECT_EQ(chooseSerifFace(has({L"Book Antiqua", L"Cambria"})), L"Cambria");
  EXPECT_EQ(chooseSerifFace(has({L"Book Antiqua"})), L"Book Antiqua");
  EXPECT_EQ(chooseSerifFace(has({})), L"Times New Roman");
  EXPECT_EQ(chooseSerifFace(has({L"Times New Roman", L"Arial"})), L"Times New Roman");
  // The real choice is one of them and stays the same.
  const std::wstring face = serifFace();
  EXPECT_FALSE(face.empty());
  EXPECT_EQ(&serifFace(), &serifFace());
  EXPECT_FALSE(fontFamilyInstalled(L"No Such Font Family 1234"));
}

TEST(ThemeTest, FontSetFollowsTheDpiAndOwnsItsFonts) {
  FontSet fonts(96);
  const int sizes[] = {42, 25, 17, 16, 16, 14, 14, 16, 32, 15};
  for (int i = 0; i < kFontCount; ++i) {
    LOGFONTW lf = {};
    ASSERT_TRUE(GetObjectW(fonts[i], sizeof lf, &lf)) << i;
    EXPECT_EQ(lf.lfHeight, -sizes[i]) << i;
    EXPECT_EQ(lf.lfItalic != 0, i == kFontItalic) << i;
    EXPECT_EQ(std::wstring(lf.lfFaceName), i == kFontMono ? L"Consolas" : serifFace()) << i;
  }
  const int objects = guitest::liveGdiObjects();
  fonts = FontSet(192);  // the old ten go
  EXPECT_EQ(guitest::liveGdiObjects(), objects);
  LOGFONTW lf = {};
  GetObjectW(fonts[kFontTitle], sizeof lf, &lf);
  EXPECT_EQ(lf.lfHeight, -84);
  EXPECT_EQ(lf.lfWeight, FW_BOLD);
  {
    const FontSet moved(std::move(fonts));
    EXPECT_EQ(guitest::liveGdiObjects(), objects);  // a move makes and deletes nothing
    for (int i = 0; i < kFontCount; ++i) {
      EXPECT_EQ(fonts[i], nullptr) << i;
      EXPECT_NE(moved[i], nullptr) << i;
    }
  }
  EXPECT_EQ(guitest::liveGdiObjects(), objects - kFontCount);  // the owner took them along
}

// The leak checks count on this: one object more is seen, and one less.
TEST(ThemeTest, GdiObjectCountSeesEachObjectComeAndGo) {
  const int before = guitest::liveGdiObjects();
  ASSERT_GT(before, 0) << "no GDI handle table to count in";
  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  ASSERT_NE(brush, nullptr);
  EXPECT_EQ(guitest::liveGdiObjects(), before + 1);
  DeleteObject(brush);
  EXPECT_EQ(guitest::liveGdiObjects(), before);
}

}  // namespace
