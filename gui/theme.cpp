#include "gui/theme.h"

#include <commctrl.h>
#include <objbase.h>
#include <shlwapi.h>

#include "app/delay_load.h"
#include "gui/gdiplus_util.h"
#include "gui/paint.h"
#include "gui/surface.h"
#include "storage/scoped_win.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace gui {
namespace {

constexpr int kIconId = 1;
constexpr int kMaxFaceChars = 31;  // LOGFONT face name limit without the NUL

constexpr DWORD kCommonControlClasses = ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES;

// The DLLs only windows use stay a little after the last window closes, so
// that a window opened again soon does not wait for them to load.
constexpr UINT kLibraryGraceMs = 5000;

struct ThemeState {
  HINSTANCE instance = nullptr;
  int holds = 0;  // initTheme and each surface with a window
  bool classesRegistered = false;
  bool comStarted = false;
  bool controlsStarted = false;
  UINT_PTR libraryTimer = 0;  // releaseWindowLibraries is due
  ULONG_PTR gdiplusToken = 0;
  HBITMAP leather = nullptr;  // tiles; null when the picture is missing
  GpBitmap* parchment = nullptr;
  HBITMAP parchmentTile = nullptr;  // the same texels, for plain GDI
  GpBitmap* emblem = nullptr;
  HBRUSH field = nullptr;
  std::map<int, GpBitmap*> emblemCache;
  // Decodes the leather, the parchment and the emblem while the window is
  // being made; joined before anything reads them.
  HANDLE decoder = nullptr;
  HANDLE leatherDecoded = nullptr;  // set by the decoder once the leather is done
};

ThemeState& theme() {
  static ThemeState state;
  return state;
}

// A PNG among the raw-data resources, decoded; null when missing or broken.
GpBitmap* loadPngResource(HINSTANCE instance, const wchar_t* name) {
  HRSRC found = FindResourceW(instance, name, MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  if (!found) return nullptr;
  DWORD size = SizeofResource(instance, found);
  HGLOBAL loaded = LoadResource(instance, found);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes || size == 0) return nullptr;
  IStream* stream = SHCreateMemStream(static_cast<const BYTE*>(bytes), size);
  if (!stream) return nullptr;
  GpBitmap* image = nullptr;
  GpStatus status = GdipCreateBitmapFromStream(stream, &image);
  stream->Release();
  if (status != Ok) {
    if (image) GdipDisposeImage(image);
    return nullptr;
  }
  return image;
}

void registerWindowClass(HINSTANCE instance, const wchar_t* name) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = surfaceWindowProc;
  wc.hInstance = instance;
  wc.hIcon = appIcon(GetSystemMetrics(SM_CXICON));
  wc.hIconSm = appIcon(GetSystemMetrics(SM_CXSMICON));
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = name;
  if (!RegisterClassExW(&wc)) {
    // Already registered (by an earlier theme) or refused: the icons are not kept.
    if (wc.hIcon) DestroyIcon(wc.hIcon);
    if (wc.hIconSm) DestroyIcon(wc.hIconSm);
  }
}

// An opaque picture as a tile in the windows' own 24-bit format, written by
// GDI+ straight into the DIB section: no copy through GDI, whose temporaries
// of a whole tile (and a pattern brush's copies) Wine takes from the C
// library's heap, which then keeps that much more memory for good.
HBITMAP tileOf(GpBitmap* image) {
  UINT width = 0, height = 0;
  if (!image || GdipGetImageWidth(image, &width) != Ok || GdipGetImageHeight(image, &height) != Ok ||
      width == 0 || height == 0) {
    return nullptr;
  }
  void* bits = nullptr;
  ScopedGdiObject tile(createTopDownDib(nullptr, static_cast<int>(width),
                                        static_cast<int>(height), 24, &bits));
  if (!tile.valid() || !bits) return nullptr;
  BitmapData data = {};
  data.Width = width;
  data.Height = height;
  data.Stride = static_cast<INT>((width * 3 + 3) & ~3u);  // DIB rows end on a DWORD
  data.PixelFormat = PixelFormat24bppRGB;
  data.Scan0 = bits;
  const GpRect whole(0, 0, static_cast<INT>(width), static_cast<INT>(height));
  if (GdipBitmapLockBits(image, &whole, ImageLockModeRead | ImageLockModeUserInputBuf,
                         PixelFormat24bppRGB, &data) != Ok) {
    return nullptr;
  }
  GdipBitmapUnlockBits(image, &data);
  return static_cast<HBITMAP>(tile.release());
}

void decodeLeather(ThemeState& t) {
  if (t.leather) return;
  ImageOwner leather(loadPngResource(t.instance, L"LEATHER"));
  t.leather = tileOf(leather);
}

void decodeParchmentAndEmblem(ThemeState& t) {
  if (!t.parchment) t.parchment = loadPngResource(t.instance, L"PARCHMENT");
  if (!t.parchmentTile) t.parchmentTile = tileOf(t.parchment);
  if (!t.emblem) t.emblem = loadPngResource(t.instance, L"EMBLEM");
}

// The leather first: a window's backdrop starts with it.
DWORD WINAPI decoderThread(void* state) {
  ThemeState& t = *static_cast<ThemeState*>(state);
  decodeLeather(t);
  SetEvent(t.leatherDecoded);
  decodeParchmentAndEmblem(t);
  return 0;
}

// GDI+ here, the pictures on a thread of their own (here when there is none).
void startPictures(ThemeState& t) {
  if (!t.gdiplusToken) {
    GdiplusStartupInput input;  // version 1, no debug callback, background thread kept
    if (GdiplusStartup(&t.gdiplusToken, &input, nullptr) != Ok) t.gdiplusToken = 0;
  }
  if (!t.field) t.field = CreateSolidBrush(kColorField);
  if (t.decoder || (t.leather && t.parchment && t.emblem)) return;
  t.leatherDecoded = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (t.leatherDecoded) t.decoder = CreateThread(nullptr, 0, decoderThread, &t, 0, nullptr);
  if (t.decoder) return;
  if (t.leatherDecoded) CloseHandle(t.leatherDecoded);
  t.leatherDecoded = nullptr;
  decodeLeather(t);
  decodeParchmentAndEmblem(t);
}

// A window's backdrop may be painted on a thread of its own: either thread
// may be the first to need the pictures.
SRWLOCK decoderLock = SRWLOCK_INIT;

void awaitLeather(ThemeState& t) {
  AcquireSRWLockExclusive(&decoderLock);
  if (t.decoder) WaitForSingleObject(t.leatherDecoded, INFINITE);
  ReleaseSRWLockExclusive(&decoderLock);
}

void awaitPictures(ThemeState& t) {
  AcquireSRWLockExclusive(&decoderLock);
  if (t.decoder) {
    WaitForSingleObject(t.decoder, INFINITE);
    CloseHandle(t.decoder);
    CloseHandle(t.leatherDecoded);
    t.decoder = nullptr;
    t.leatherDecoded = nullptr;
  }
  ReleaseSRWLockExclusive(&decoderLock);
}

void registerWindowClasses(ThemeState& t) {
  if (t.classesRegistered) return;
  registerWindowClass(t.instance, kMainWindowClass);
  registerWindowClass(t.instance, kSetupWindowClass);
  t.classesRegistered = true;
}

void releasePictures(ThemeState& t) {
  awaitPictures(t);
  for (auto& entry : t.emblemCache) {
    if (entry.second) GdipDisposeImage(entry.second);
  }
  t.emblemCache.clear();
  if (t.emblem) GdipDisposeImage(t.emblem);
  if (t.parchment) GdipDisposeImage(t.parchment);
  if (t.parchmentTile) DeleteObject(t.parchmentTile);
  t.parchmentTile = nullptr;
  t.emblem = nullptr;
  t.parchment = nullptr;
  if (t.leather) DeleteObject(t.leather);
  if (t.field) DeleteObject(t.field);
  t.leather = nullptr;
  t.field = nullptr;
  if (t.gdiplusToken) GdiplusShutdown(t.gdiplusToken);
  t.gdiplusToken = 0;
}

int CALLBACK foundFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;  // the first family is enough
}

HFONT createFont(int sizeDip, int weight, bool italic, const wchar_t* face, DWORD pitchFamily,
                 UINT dpi) {
  return CreateFontW(-MulDiv(sizeDip, static_cast<int>(dpi), 96), 0, 0, 0, weight,
                     italic ? TRUE : FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_TT_PRECIS,
                     CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, pitchFamily, face);
}

// A thread timer: it runs from the message loop, where no frame of the
// DLLs it unloads can be on the stack.
void CALLBACK onLibraryGraceOver(HWND, UINT, UINT_PTR, DWORD) { releaseWindowLibraries(); }

void cancelLibraryRelease(ThemeState& t) {
  if (t.libraryTimer) KillTimer(nullptr, t.libraryTimer);
  t.libraryTimer = 0;
}

}  // namespace

void setThemeInstance(HINSTANCE instance) { theme().instance = instance; }

void startShellSupport() {
  ThemeState& t = theme();
  if (!t.comStarted) t.comStarted = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  if (!t.controlsStarted) {
    INITCOMMONCONTROLSEX icc = {sizeof icc, kCommonControlClasses};
    t.controlsStarted = InitCommonControlsEx(&icc) != FALSE;
  }
}

void holdTheme() {
  ThemeState& t = theme();
  cancelLibraryRelease(t);
  ++t.holds;
  startPictures(t);  // first: the decoding overlaps the rest
  startShellSupport();
  registerWindowClasses(t);
}

void preparePictures() { startPictures(theme()); }

void releaseTheme() {
  ThemeState& t = theme();
  if (t.holds > 0 && --t.holds == 0) {
    releasePictures(t);
    t.libraryTimer = SetTimer(nullptr, 0, kLibraryGraceMs, onLibraryGraceOver);
  }
}

void releaseWindowLibraries() {
  ThemeState& t = theme();
  cancelLibraryRelease(t);
  // Not while a window holds the theme or GDI+ runs for one about to open
  // (its pictures may be decoding on their own thread).
  if (t.holds > 0 || t.gdiplusToken || t.decoder) return;
  // GDI+ is shut down and its pictures are gone; no window of a common
  // control is left (tooltips and subclassed fields went with theirs).
  unloadDelayLoaded("gdiplus.dll");
  if (unloadDelayLoaded("comctl32.dll")) t.controlsStarted = false;
}

void initTheme(HINSTANCE instance) {
  setThemeInstance(instance);
  holdTheme();
}

void shutdownTheme() {
  ThemeState& t = theme();
  cancelLibraryRelease(t);
  t.holds = 0;
  releasePictures(t);
  if (t.comStarted) CoUninitialize();
  t.comStarted = false;
}

void buildFontSet(FontSet& fontSet, UINT dpi) {
  struct FaceChoice {
    int size;
    int weight;
    bool italic;
  };
  static const FaceChoice kSerif[] = {
      {42, FW_BOLD, false},   {25, FW_BOLD, false}, {17, FW_BOLD, false},
      {16, FW_NORMAL, false}, {16, FW_BOLD, false}, {14, FW_NORMAL, false},
      {14, FW_NORMAL, true},  {16, FW_BOLD, false}, {32, FW_BOLD, false}};
  constexpr int kMonoSize = 15;
  deleteFontSet(fontSet);
  const std::wstring& face = serifFace();
  for (int i = 0; i < kFontMono; ++i) {
    fontSet.fonts[i] = createFont(kSerif[i].size, kSerif[i].weight, kSerif[i].italic, face.c_str(),
                                  VARIABLE_PITCH | FF_ROMAN, dpi);
  }
  fontSet.fonts[kFontMono] =
      createFont(kMonoSize, FW_NORMAL, false, L"Consolas", FIXED_PITCH | FF_MODERN, dpi);
}

void deleteFontSet(FontSet& fontSet) {
  for (HFONT& font : fontSet.fonts) {
    if (font) DeleteObject(font);
    font = nullptr;
  }
}

HICON appIcon(int sizePx) {
  return static_cast<HICON>(LoadImageW(theme().instance, MAKEINTRESOURCEW(kIconId), IMAGE_ICON,
                                       sizePx, sizePx, LR_DEFAULTCOLOR));
}

HINSTANCE themeInstance() { return theme().instance; }
HBITMAP leatherTile() {
  awaitLeather(theme());
  return theme().leather;
}
HBRUSH fieldBrush() { return theme().field; }
GpBitmap* parchmentImage() {
  awaitPictures(theme());
  return theme().parchment;
}

HBITMAP parchmentTile() {
  awaitPictures(theme());
  return theme().parchmentTile;
}

GpBitmap* emblemImage() {
  awaitPictures(theme());
  return theme().emblem;
}
std::map<int, GpBitmap*>& emblemCache() { return theme().emblemCache; }

bool fontFamilyInstalled(const wchar_t* face) {
  LOGFONTW query = {};
  query.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(query.lfFaceName, face, kMaxFaceChars + 1);
  bool found = false;
  ScopedScreenDc screen(GetDC(nullptr));
  EnumFontFamiliesExW(screen, &query, foundFamily, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

std::wstring chooseSerifFace(const std::function<bool(const wchar_t*)>& installed) {
  static const wchar_t* const kCandidates[] = {L"Palatino Linotype", L"Georgia", L"Cambria",
                                               L"Book Antiqua"};
  for (const wchar_t* face : kCandidates) {
    if (installed(face)) return face;
  }
  return L"Times New Roman";
}

const std::wstring& serifFace() {
  static const std::wstring face = chooseSerifFace(fontFamilyInstalled);
  return face;
}

}  // namespace gui
