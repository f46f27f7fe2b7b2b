#include "gui/theme.h"

#include <shlwapi.h>

#include "gui/surface.h"
#include "storage/scoped_win.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace gui {
namespace {

constexpr int kIconId = 1;
constexpr int kMaxFaceChars = 31;  // LOGFONT face name limit without the NUL

struct ThemeState {
  HINSTANCE instance = nullptr;
  ULONG_PTR gdiplusToken = 0;
  HBITMAP leather = nullptr;
  HBRUSH background = nullptr;
  GpBitmap* parchment = nullptr;
  GpBitmap* emblem = nullptr;
  HBRUSH field = nullptr;
  std::map<int, GpBitmap*> emblemCache;
};

ThemeState& theme() {
  static ThemeState state;
  return state;
}

HBITMAP loadBitmapResource(HINSTANCE instance, const wchar_t* name) {
  return static_cast<HBITMAP>(LoadImageW(instance, name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

GpBitmap* loadParchment(HINSTANCE instance) {
  HBITMAP bitmap = loadBitmapResource(instance, L"PARCHMENT");
  if (!bitmap) return nullptr;
  GpBitmap* image = nullptr;
  if (GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &image) != Ok) image = nullptr;
  DeleteObject(bitmap);
  return image;
}

GpBitmap* loadEmblem(HINSTANCE instance) {
  HRSRC found = FindResourceW(instance, L"EMBLEM", MAKEINTRESOURCEW(10) /* RT_RCDATA */);
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
    // Already registered (a second initTheme) or refused: the icons are not kept.
    if (wc.hIcon) DestroyIcon(wc.hIcon);
    if (wc.hIconSm) DestroyIcon(wc.hIconSm);
  }
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

}  // namespace

void initTheme(HINSTANCE instance) {
  ThemeState& t = theme();
  t.instance = instance;
  if (!t.gdiplusToken) {
    GdiplusStartupInput input;  // version 1, no debug callback, background thread kept
    if (GdiplusStartup(&t.gdiplusToken, &input, nullptr) != Ok) t.gdiplusToken = 0;
  }
  if (!t.background) {
    t.leather = loadBitmapResource(instance, L"LEATHER");
    if (t.leather) t.background = CreatePatternBrush(t.leather);
    if (!t.background) t.background = CreateSolidBrush(kColorWindowFallback);
  }
  if (!t.parchment) t.parchment = loadParchment(instance);
  if (!t.emblem) t.emblem = loadEmblem(instance);
  if (!t.field) t.field = CreateSolidBrush(kColorField);
  registerWindowClass(instance, kMainWindowClass);
  registerWindowClass(instance, kSetupWindowClass);
}

void shutdownTheme() {
  ThemeState& t = theme();
  for (auto& entry : t.emblemCache) {
    if (entry.second) GdipDisposeImage(entry.second);
  }
  t.emblemCache.clear();
  if (t.emblem) GdipDisposeImage(t.emblem);
  if (t.parchment) GdipDisposeImage(t.parchment);
  t.emblem = nullptr;
  t.parchment = nullptr;
  if (t.background) DeleteObject(t.background);
  if (t.leather) DeleteObject(t.leather);
  if (t.field) DeleteObject(t.field);
  t.background = nullptr;
  t.leather = nullptr;
  t.field = nullptr;
  if (t.gdiplusToken) GdiplusShutdown(t.gdiplusToken);
  t.gdiplusToken = 0;
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
HBRUSH backgroundBrush() { return theme().background; }
HBRUSH fieldBrush() { return theme().field; }
GpBitmap* parchmentImage() { return theme().parchment; }
GpBitmap* emblemImage() { return theme().emblem; }
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
