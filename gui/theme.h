// The process-wide theme: GDI+, the leather and parchment textures, the
// emblem, the brushes, the serif face, each window's fonts, the application
// icon and the windows' classes. What only windows need is made when the
// first window opens and released when the last one closes, so that a
// program idle in the notification area holds none of it. Everything runs
// on the GUI thread but the decoding of the pictures, which overlaps the
// making of the first window and is waited for where they are first used.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <functional>
#include <map>
#include <string>

#include "gui/gdiplus_util.h"
#include "gui/scoped_gdi.h"

namespace gui {

// Fonts of one window, by index: 0 title, 1 headings, 2 selected tab,
// 3 body, 4 bold body, 5 small, 6 small italic, 7 captions, 8 command,
// 9 monospaced.
constexpr int kFontCount = 10;
class FontSet {
 public:
  FontSet() = default;  // no fonts
  // The ten at `dpi`.
  explicit FontSet(UINT dpi);
  HFONT operator[](int index) const { return fonts_[index]; }

 private:
  ScopedFont fonts_[kFontCount];
};

enum FontIndex {
  kFontTitle = 0,
  kFontHeading = 1,
  kFontTabSelected = 2,
  kFontBody = 3,
  kFontBodyBold = 4,
  kFontSmall = 5,
  kFontItalic = 6,
  kFontCaption = 7,
  kFontCommand = 8,
  kFontMono = 9,
};

// Palette (GDI colours) shared by the windows.
constexpr COLORREF kColorWindowFallback = RGB(36, 28, 22);
constexpr COLORREF kColorField = RGB(20, 16, 13);
constexpr COLORREF kColorLightText = RGB(238, 229, 210);
constexpr COLORREF kColorGoldHighlight = RGB(255, 228, 160);
constexpr COLORREF kColorGold = RGB(232, 199, 122);
constexpr COLORREF kColorMutedGold = RGB(170, 140, 86);
constexpr COLORREF kColorGreyBeige = RGB(186, 174, 154);
constexpr COLORREF kColorDisabled = RGB(130, 118, 98);
constexpr COLORREF kColorShadow = RGB(10, 6, 3);
constexpr COLORREF kColorPrimaryCaption = RGB(255, 236, 196);
constexpr COLORREF kColorLink = RGB(130, 228, 255);
constexpr COLORREF kColorLinkHover = RGB(190, 242, 255);
constexpr COLORREF kColorSelectedDetail = RGB(200, 236, 246);
constexpr COLORREF kColorDarkText = RGB(50, 33, 17);
constexpr COLORREF kColorDarkTextSecondary = RGB(105, 80, 52);
constexpr COLORREF kColorWarning = RGB(242, 178, 82);
constexpr COLORREF kColorSuccess = RGB(190, 236, 250);
constexpr COLORREF kColorPillReady = RGB(200, 240, 252);
constexpr COLORREF kColorSeparator = RGB(70, 54, 32);
constexpr COLORREF kColorCaptionBar = RGB(24, 19, 15);
constexpr COLORREF kColorCaptionText = RGB(232, 199, 122);
constexpr COLORREF kColorCaptionBorder = RGB(150, 112, 56);

// Remembers the module whose resources (pictures, icon) the theme uses.
void setThemeInstance(HINSTANCE instance);
// COM (apartment-threaded) on the GUI thread, once per process: the shell's
// requests (the folder picker, ShellExecute(Ex)) and the answers to screen
// readers need it; a window that only shows itself does not.
void startCom();
// The common controls, while windows need them: before an EDIT or a tooltip
// is made. Unloaded again with the other window libraries.
void startCommonControls();
// Each window holds the theme while it exists. The first hold starts GDI+
// and the decoding of the pictures on a thread of their own and makes the
// brushes; a few seconds after the last hold was released, GDI+, the
// pictures, the brushes and the DLLs only windows use go again
// (releaseWindowLibraries). Missing resources fall back (solid background,
// plain parchment, no emblem); nothing here fails.
void holdTheme();
void releaseTheme();
// Starts GDI+ and the decoding of the pictures ahead of a window that is
// about to open, so that they are ready when it first paints. Released
// with the theme after that window's hold ends, or after the grace when
// no window comes.
void preparePictures();
// Releases the pictures and brushes, shuts GDI+ down and unloads it, the
// common controls and dwmapi while no window holds the theme; the next window makes
// and loads them again. Runs from a timer on the GUI thread's
// message loop, never from inside a window's own messages.
void releaseWindowLibraries();
// Until GDI+ has started, after a hold or preparePictures. Asking for the
// leather or any other picture waits for it as well. On the GUI thread (the
// one that holds the theme) it also gives GDI+ that thread's message loop for
// its notifications: GDI+ runs no thread of its own, so that none can still
// be in the DLL when it is unloaded.
void awaitGdiplus();
// How the theme starts and ends GDI+; tests put recorders in its place
// (null: GdiplusStartup and GdiplusShutdown again).
struct GdiplusEntry {
  Gdiplus::Status(WINAPI* startup)(ULONG_PTR*, const Gdiplus::GdiplusStartupInput*,
                                   Gdiplus::GdiplusStartupOutput*);
  void(WINAPI* shutdown)(ULONG_PTR);
};
void setGdiplusEntry(const GdiplusEntry* entry);
// setThemeInstance and a hold that lasts until shutdownTheme; GDI+ has
// started when it returns.
void initTheme(HINSTANCE instance);
// Releases everything, COM included; safe when parts never loaded.
void shutdownTheme();

// Icon 1 at sizePx by sizePx; the caller destroys it. Null when missing.
HICON appIcon(int sizePx);
// Registers a window class of surfaces, with the application's icon, unless
// it is registered already; before the first Surface::create with it. True
// when the class is there.
bool registerSurfaceClass(const wchar_t* name);

HINSTANCE themeInstance();
// The leather as a tile for fillWithTile; null when the picture is missing.
HBITMAP leatherTile();
HBRUSH fieldBrush();
// The parchment as a tile for plain GDI (opaque, so the same pixels); may be null.
HBITMAP parchmentTile();

// The GDI+ pictures the windows share: the parchment, the emblem and the
// emblem's copies scaled per size (null when the picture is missing). A
// window's backdrop is painted on a thread of its own while another window
// paints on the GUI thread, and GDI+ refuses an image that is in use on
// another thread: each use holds this lease, and one thread at a time holds
// it. It waits for the decoding first.
class SharedPictures {
 public:
  SharedPictures();
  ~SharedPictures();
  SharedPictures(const SharedPictures&) = delete;
  SharedPictures& operator=(const SharedPictures&) = delete;
  Gdiplus::GpBitmap* parchment() const;
  Gdiplus::GpBitmap* emblem() const;
  std::map<int, ImageOwner>& emblemCache() const;
};

// The serif face for every font but the monospaced one, chosen on first use.
const std::wstring& serifFace();
// The choice itself: the first candidate the machine has, else the last resort.
std::wstring chooseSerifFace(const std::function<bool(const wchar_t*)>& installed);
bool fontFamilyInstalled(const wchar_t* face);

}  // namespace gui
