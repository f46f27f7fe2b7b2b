#include "gui/theme.h"

#include <commctrl.h>
#include <objbase.h>

#include <cstring>

#include "base/delay_load.h"
#include "base/scoped_handle.h"
#include "base/thread.h"
#include "gui/gdiplus_util.h"
#include "gui/paint.h"
#include "gui/png.h"
#include "gui/scoped_gdi.h"
#include "gui/surface.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace gui {
namespace {

constexpr int kIconId = 1;
constexpr int kMaxFaceChars = 31;  // LOGFONT face name limit without the NUL

constexpr DWORD kCommonControlClasses = ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES;

// The DLLs only windows use, GDI+ and the decoded pictures stay a little
// after the last window closes, so that a window opened again soon does not
// wait for them.
constexpr UINT kLibraryGraceMs = 5000;

struct ThemeState {
  HINSTANCE instance = nullptr;
  int holds = 0;  // initTheme and each surface with a window
  // One pair for every surface class, kept as long as the classes name them.
  ScopedIcon icon;
  ScopedIcon smallIcon;
  bool comStarted = false;
  bool controlsStarted = false;
  UINT_PTR libraryTimer = 0;  // releaseWindowLibraries is due
  ULONG_PTR gdiplusToken = 0;
  // GDI+ runs without a thread of its own: the thread with the message loop
  // takes its notifications between the hook and the unhook, so nothing of
  // GDI+ runs once it is shut down, and its DLL can go.
  DWORD guiThread = 0;
  GdiplusStartupOutput notifications;
  ULONG_PTR hookToken = 0;
  bool hooked = false;
  ScopedBitmap leather;  // tiles; none when the picture is missing
  ImageOwner parchment;
  ScopedBitmap parchmentTile;  // the same texels, for plain GDI
  ImageOwner emblem;
  ScopedBrush field;
  std::map<int, ImageOwner> emblemCache;
  // Decodes the leather, the parchment and the emblem while the window is
  // being made; joined before anything reads them.
  JoinableThread decoder;
  ScopedHandle leatherDecoded;  // set by the decoder once the leather is done
};

ThemeState& theme() {
  static ThemeState state;
  return state;
}

// A PNG among the raw-data resources, and its size.
struct Picture {
  const std::uint8_t* bytes = nullptr;
  size_t length = 0;
  png::Size size;
};

// False when it is missing or not a picture that png::decode reads.
bool findPicture(HINSTANCE instance, const wchar_t* name, Picture& picture) {
  HRSRC found = FindResourceW(instance, name, MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
  picture.bytes = loaded ? static_cast<const std::uint8_t*>(LockResource(loaded)) : nullptr;
  picture.length = found ? SizeofResource(instance, found) : 0;
  return picture.bytes && png::readSize(picture.bytes, picture.length, picture.size);
}

bool registerWindowClass(HINSTANCE instance, const wchar_t* name, HICON icon, HICON smallIcon) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = surfaceWindowProc;
  wc.hInstance = instance;
  wc.hIcon = icon;
  wc.hIconSm = smallIcon;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = name;
  return RegisterClassExW(&wc) != 0;
}

// An opaque picture as a tile in the windows' own 24-bit format.
HBITMAP tileOf(const Picture& picture) {
  void* bits = nullptr;
  const int width = picture.size.width;
  ScopedGdiObject tile(createTopDownDib(nullptr, width, picture.size.height, 24, &bits));
  if (!tile.valid() || !bits) return nullptr;
  const size_t stride = dibRowBytes(width, 24);
  const auto row = [&](int y, const std::uint8_t* bgra) {
    std::uint8_t* to = static_cast<std::uint8_t*>(bits) + static_cast<size_t>(y) * stride;
    for (int x = 0; x < width; ++x, bgra += 4, to += 3) std::memcpy(to, bgra, 3);
  };
  if (!png::decode(picture.bytes, picture.length, row)) return nullptr;
  return static_cast<HBITMAP>(tile.release());
}

// Decoded straight into GDI+'s own pixels.
ImageOwner bitmapOf(const Picture& picture) {
  const int width = picture.size.width, height = picture.size.height;
  ImageOwner bitmap;
  if (GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, bitmap.out()) !=
      Ok) {
    return ImageOwner();
  }
  BitmapData data = {};
  const GpRect whole(0, 0, width, height);
  if (GdipBitmapLockBits(bitmap, &whole, ImageLockModeWrite, PixelFormat32bppARGB, &data) != Ok) {
    return ImageOwner();
  }
  const auto row = [&](int y, const std::uint8_t* bgra) {
    std::memcpy(static_cast<std::uint8_t*>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride,
                bgra, static_cast<size_t>(width) * 4);
  };
  const bool decoded = png::decode(picture.bytes, picture.length, row);
  GdipBitmapUnlockBits(bitmap, &data);
  return decoded ? std::move(bitmap) : ImageOwner();
}

void decodeLeather(ThemeState& t) {
  Picture picture;
  if (!t.leather.valid() && findPicture(t.instance, L"LEATHER", picture)) {
    t.leather.reset(tileOf(picture));
  }
}

// The parchment's GDI+ bitmap shares the tile's pixels; it is disposed of first.
void decodeParchmentAndEmblem(ThemeState& t) {
  Picture picture;
  if (!t.parchmentTile.valid() && findPicture(t.instance, L"PARCHMENT", picture)) {
    t.parchmentTile.reset(tileOf(picture));
  }
  DIBSECTION tile = {};
  if (!t.parchment && t.parchmentTile.valid() &&
      GetObjectW(t.parchmentTile, sizeof tile, &tile) == sizeof tile) {
    GdipCreateBitmapFromScan0(tile.dsBm.bmWidth, tile.dsBm.bmHeight, tile.dsBm.bmWidthBytes,
                              PixelFormat24bppRGB, static_cast<BYTE*>(tile.dsBm.bmBits),
                              t.parchment.out());
  }
  if (!t.emblem && findPicture(t.instance, L"EMBLEM", picture)) t.emblem = bitmapOf(picture);
}

constexpr GdiplusEntry kRealGdiplus = {GdiplusStartup, GdiplusShutdown};
const GdiplusEntry* gdiplus = &kRealGdiplus;

void startGdiplus(ThemeState& t) {
  GdiplusStartupInput input(nullptr, TRUE);  // version 1, no debug callback, no thread of its own
  t.notifications = {};
  if (gdiplus->startup(&t.gdiplusToken, &input, &t.notifications) != Ok) t.gdiplusToken = 0;
}

// On the GUI thread, once GDI+ has started.
void hookGdiplus(ThemeState& t) {
  if (GetCurrentThreadId() != t.guiThread || t.hooked || !t.gdiplusToken ||
      !t.notifications.NotificationHook) {
    return;
  }
  t.hooked = t.notifications.NotificationHook(&t.hookToken) == Ok;
}

// The unhook on the thread that hooked, then the end; the DLL may go after it.
void stopGdiplus(ThemeState& t) {
  if (t.hooked && GetCurrentThreadId() == t.guiThread) {
    t.notifications.NotificationUnhook(t.hookToken);
  }
  t.hooked = false;
  t.hookToken = 0;
  if (t.gdiplusToken) gdiplus->shutdown(t.gdiplusToken);
  t.gdiplusToken = 0;
}

// GDI+, then the leather: whoever waits for the leather paints with both.
void decodeInBackground(ThemeState& t) {
  if (!t.gdiplusToken) startGdiplus(t);
  decodeLeather(t);
  SetEvent(t.leatherDecoded);
  decodeParchmentAndEmblem(t);
}

// A window's backdrop may be painted on a thread of its own: either thread
// may be the first to need the pictures, and to join the decoding thread.
SRWLOCK decoderLock = SRWLOCK_INIT;

// Held by every use of the shared GDI+ pictures (SharedPictures), and while
// they are disposed of.
SRWLOCK pictureLock = SRWLOCK_INIT;

// Under decoderLock; false when no thread could be made.
bool startDecoder(ThemeState& t) {
  t.leatherDecoded.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (t.leatherDecoded.valid()) {
    if (t.decoder.start([&t] { decodeInBackground(t); })) return true;
  }
  t.leatherDecoded.reset();
  return false;
}

// GDI+ and the pictures on a thread of their own (here when there is none).
// What that thread writes is read only once it has been joined, and a
// backdrop's thread may join it meanwhile: hence the lock.
void startPictures(ThemeState& t) {
  t.guiThread = GetCurrentThreadId();
  if (!t.field.valid()) t.field.reset(CreateSolidBrush(kColorField));
  AcquireSRWLockExclusive(&decoderLock);
  const bool ready =
      t.decoder.joinable() || (t.gdiplusToken && t.leather.valid() && t.parchment && t.emblem);
  const bool threaded = ready || startDecoder(t);
  ReleaseSRWLockExclusive(&decoderLock);
  if (threaded) return;
  if (!t.gdiplusToken) startGdiplus(t);
  decodeLeather(t);
  decodeParchmentAndEmblem(t);
}

void awaitLeather(ThemeState& t) {
  AcquireSRWLockExclusive(&decoderLock);
  if (t.decoder.joinable()) WaitForSingleObject(t.leatherDecoded, INFINITE);
  ReleaseSRWLockExclusive(&decoderLock);
}

void awaitPictures(ThemeState& t) {
  AcquireSRWLockExclusive(&decoderLock);
  if (t.decoder.joinable()) {
    t.decoder.join();
    t.leatherDecoded.reset();
  }
  ReleaseSRWLockExclusive(&decoderLock);
}

void disposeSharedPictures(ThemeState& t) {
  AcquireSRWLockExclusive(&pictureLock);
  t.emblemCache.clear();
  t.emblem.reset();
  t.parchment.reset();
  ReleaseSRWLockExclusive(&pictureLock);
}

void releasePictures(ThemeState& t) {
  awaitPictures(t);
  disposeSharedPictures(t);
  t.parchmentTile.reset();  // after the parchment, which shares its pixels
  t.leather.reset();
  t.field.reset();
  stopGdiplus(t);
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

void scheduleLibraryRelease(ThemeState& t) {
  t.libraryTimer = SetTimer(nullptr, 0, kLibraryGraceMs, onLibraryGraceOver);
}

void cancelLibraryRelease(ThemeState& t) {
  if (t.libraryTimer) KillTimer(nullptr, t.libraryTimer);
  t.libraryTimer = 0;
}

}  // namespace

void setThemeInstance(HINSTANCE instance) { theme().instance = instance; }

void startCom() {
  ThemeState& t = theme();
  if (!t.comStarted) t.comStarted = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
}

void startCommonControls() {
  ThemeState& t = theme();
  if (t.controlsStarted) return;
  INITCOMMONCONTROLSEX icc = {sizeof icc, kCommonControlClasses};
  t.controlsStarted = InitCommonControlsEx(&icc) != FALSE;
}

void holdTheme() {
  ThemeState& t = theme();
  cancelLibraryRelease(t);
  ++t.holds;
  startPictures(t);  // the decoding overlaps the rest
}

void preparePictures() {
  ThemeState& t = theme();
  cancelLibraryRelease(t);
  startPictures(t);
  // The window about to open holds them; should none come, they go again.
  if (t.holds == 0) scheduleLibraryRelease(t);
}

void releaseTheme() {
  ThemeState& t = theme();
  if (t.holds > 0 && --t.holds == 0) scheduleLibraryRelease(t);
}

void releaseWindowLibraries() {
  ThemeState& t = theme();
  cancelLibraryRelease(t);
  if (t.holds > 0) return;  // a window holds the theme
  releasePictures(t);
  // GDI+ is shut down and its pictures are gone; no window is left, so no
  // common control either (tooltips and subclassed fields went with theirs).
  unloadDelayLoaded("gdiplus.dll");
  unloadDelayLoaded("dwmapi.dll");
  if (unloadDelayLoaded("comctl32.dll")) t.controlsStarted = false;
}

void initTheme(HINSTANCE instance) {
  setThemeInstance(instance);
  holdTheme();
  awaitGdiplus();
}

void awaitGdiplus() {
  ThemeState& t = theme();
  awaitLeather(t);
  hookGdiplus(t);
}

void setGdiplusEntry(const GdiplusEntry* entry) { gdiplus = entry ? entry : &kRealGdiplus; }

void shutdownTheme() {
  ThemeState& t = theme();
  cancelLibraryRelease(t);
  t.holds = 0;
  releasePictures(t);
  if (t.comStarted) CoUninitialize();
  t.comStarted = false;
}

FontSet::FontSet(UINT dpi) {
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
  const std::wstring& face = serifFace();
  for (int i = 0; i < kFontMono; ++i) {
    fonts_[i].reset(createFont(kSerif[i].size, kSerif[i].weight, kSerif[i].italic, face.c_str(),
                               VARIABLE_PITCH | FF_ROMAN, dpi));
  }
  fonts_[kFontMono].reset(
      createFont(kMonoSize, FW_NORMAL, false, L"Consolas", FIXED_PITCH | FF_MODERN, dpi));
}

// Called before the window's create holds the theme: loading the icons
// waits for the loader's lock, which the decoding thread holds while it
// loads GDI+.
bool registerSurfaceClass(const wchar_t* name) {
  ThemeState& t = theme();
  WNDCLASSEXW known = {};
  known.cbSize = sizeof known;
  if (GetClassInfoExW(t.instance, name, &known)) return true;
  if (!t.icon.valid()) t.icon.reset(appIcon(GetSystemMetrics(SM_CXICON)));
  if (!t.smallIcon.valid()) t.smallIcon.reset(appIcon(GetSystemMetrics(SM_CXSMICON)));
  return registerWindowClass(t.instance, name, t.icon.get(), t.smallIcon.get());
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
HBITMAP parchmentTile() {
  awaitPictures(theme());
  return theme().parchmentTile;
}

SharedPictures::SharedPictures() {
  awaitPictures(theme());
  AcquireSRWLockExclusive(&pictureLock);
}
SharedPictures::~SharedPictures() { ReleaseSRWLockExclusive(&pictureLock); }
GpBitmap* SharedPictures::parchment() const { return theme().parchment; }
GpBitmap* SharedPictures::emblem() const { return theme().emblem; }
std::map<int, ImageOwner>& SharedPictures::emblemCache() const { return theme().emblemCache; }

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
