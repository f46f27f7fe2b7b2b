// Helpers of the toolkit tests: an off-screen 32-bit bitmap to paint into
// and read back, a theme that lives for one test, and counts of the
// process's live GDI objects and threads.
#pragma once

#include <windows.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "base/scoped_handle.h"
#include "gui/theme.h"

namespace guitest {

// A window class of the toolkit's tests, registered on first use (after
// setThemeInstance, whose module the windows belong to).
constexpr wchar_t kTestClass[] = L"CairnTestSurface";
constexpr wchar_t kOtherTestClass[] = L"CairnOtherTestSurface";
inline const wchar_t* surfaceClass(const wchar_t* name = kTestClass) {
  gui::registerSurfaceClass(name);
  return name;
}

class Bitmap32 {
 public:
  Bitmap32(int width, int height, COLORREF fill) : width_(width), height_(height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<uint32_t*>(bits);
    dc_ = CreateCompatibleDC(nullptr);
    old_ = SelectObject(dc_, bitmap_);
    clear(fill);
  }
  ~Bitmap32() {
    SelectObject(dc_, old_);
    DeleteDC(dc_);
    DeleteObject(bitmap_);
  }
  Bitmap32(const Bitmap32&) = delete;
  Bitmap32& operator=(const Bitmap32&) = delete;

  void clear(COLORREF fill) {
    GdiFlush();
    const uint32_t pixel = (GetRValue(fill) << 16) | (GetGValue(fill) << 8) | GetBValue(fill);
    for (int i = 0; i < width_ * height_; ++i) bits_[i] = pixel;
  }
  HDC dc() const { return dc_; }
  // The pixel as RGB(r, g, b).
  COLORREF at(int x, int y) const {
    GdiFlush();
    const uint32_t p = bits_[y * width_ + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
  }
  bool sameAs(const Bitmap32& other) const {
    GdiFlush();
    for (int i = 0; i < width_ * height_; ++i) {
      if ((bits_[i] & 0xFFFFFF) != (other.bits_[i] & 0xFFFFFF)) return false;
    }
    return true;
  }
  bool unchanged(COLORREF fill) const {
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) {
        if (at(x, y) != fill) return false;
      }
    }
    return true;
  }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  int width_, height_;
  HBITMAP bitmap_ = nullptr;
  uint32_t* bits_ = nullptr;
  HDC dc_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

// Largest channel difference between two colours.
inline int colourDistance(COLORREF a, COLORREF b) {
  int d = std::abs(GetRValue(a) - GetRValue(b));
  d = std::max(d, std::abs(GetGValue(a) - GetGValue(b)));
  return std::max(d, std::abs(GetBValue(a) - GetBValue(b)));
}

// The live GDI objects of this process. GetGuiResources reads 0 under Wine,
// so this walks the GDI handle table that Windows and Wine both map into the
// process (the PEB's GdiSharedHandleTable) and asks GetObjectType about each
// used entry, so that only objects that really exist are counted. 0 when
// there is no table.
inline int liveGdiObjects() {
  struct HandleEntry {  // one entry of the table, as both lay it out
    UINT64 object;
    USHORT processId;
    USHORT count;
    USHORT unique;
    UCHAR type;
    UCHAR flags;
    UINT64 user;
  };
  static_assert(sizeof(HandleEntry) == 24, "GDI handle table entries are 24 bytes");
  constexpr size_t kPebGdiTableOffset = 0xF8;  // 64-bit PEB
  constexpr unsigned kMaxHandles = 0x10000;
  using QueryFn = NTSTATUS(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
  const auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
  PROCESS_BASIC_INFORMATION basic = {};
  if (!query ||
      query(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0) {
    return 0;
  }
  const auto* peb = reinterpret_cast<const BYTE*>(basic.PebBaseAddress);
  const auto* table = *reinterpret_cast<const HandleEntry* const*>(peb + kPebGdiTableOffset);
  if (!table) return 0;
  const USHORT self = static_cast<USHORT>(GetCurrentProcessId());
  int live = 0;
  for (unsigned i = 0; i < kMaxHandles; ++i) {
    const HandleEntry& e = table[i];
    if (e.type == 0 || (e.processId != 0 && e.processId != self)) continue;
    const auto handle = reinterpret_cast<HGDIOBJ>(static_cast<ULONG_PTR>(i | (e.unique << 16)));
    if (GetObjectType(handle) != 0) ++live;
  }
  return live;
}

// The theme of the test program itself, which carries no picture resources.
class ScopedTheme {
 public:
  explicit ScopedTheme(HINSTANCE instance = GetModuleHandleW(nullptr)) { gui::initTheme(instance); }
  ~ScopedTheme() { gui::shutdownTheme(); }
  ScopedTheme(const ScopedTheme&) = delete;
  ScopedTheme& operator=(const ScopedTheme&) = delete;
};

// The threads of this process that have not ended.
inline int liveThreads() {
  ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot.valid()) return -1;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  }
  return count;
}

}  // namespace guitest
