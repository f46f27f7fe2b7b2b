// One small owner per Windows handle kind. Each closes its handle exactly
// once, converts to the raw handle for API calls, and moves but never copies.
// put() hands an API that returns a handle through a pointer the owner's own
// slot, so no raw handle lives in between.
#pragma once

#include <windows.h>

#include <utility>

template <typename H, typename Traits>
class ScopedHandleOf {
 public:
  ScopedHandleOf() = default;
  explicit ScopedHandleOf(H h) : h_(h) {}
  ~ScopedHandleOf() { reset(); }
  ScopedHandleOf(ScopedHandleOf&& o) noexcept : h_(o.release()) {}
  ScopedHandleOf& operator=(ScopedHandleOf&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  ScopedHandleOf(const ScopedHandleOf&) = delete;
  ScopedHandleOf& operator=(const ScopedHandleOf&) = delete;

  operator H() const { return h_; }
  H get() const { return h_; }
  bool valid() const { return Traits::valid(h_); }
  H release() { return std::exchange(h_, Traits::invalid()); }
  void reset(H h = Traits::invalid()) {
    if (Traits::valid(h_)) Traits::close(h_);
    h_ = h;
  }
  // Closes what is held and returns where the next handle is to be written.
  H* put() {
    reset();
    return &h_;
  }

 private:
  H h_ = Traits::invalid();
};

// Kernel handles. Some APIs fail with NULL, files with INVALID_HANDLE_VALUE;
// both count as "no handle".
struct KernelHandleTraits {
  static HANDLE invalid() { return nullptr; }
  static bool valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) { CloseHandle(h); }
};
using ScopedHandle = ScopedHandleOf<HANDLE, KernelHandleTraits>;

struct FindHandleTraits {
  static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
  static bool valid(HANDLE h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void close(HANDLE h) { FindClose(h); }
};
using ScopedFind = ScopedHandleOf<HANDLE, FindHandleTraits>;

struct LocalMemTraits {
  static HLOCAL invalid() { return nullptr; }
  static bool valid(HLOCAL h) { return h != nullptr; }
  static void close(HLOCAL h) { LocalFree(h); }
};
using ScopedLocal = ScopedHandleOf<HLOCAL, LocalMemTraits>;

struct WindowTraits {
  static HWND invalid() { return nullptr; }
  static bool valid(HWND h) { return h != nullptr; }
  static void close(HWND h) { DestroyWindow(h); }
};
using ScopedWindow = ScopedHandleOf<HWND, WindowTraits>;

struct MenuTraits {
  static HMENU invalid() { return nullptr; }
  static bool valid(HMENU h) { return h != nullptr; }
  static void close(HMENU h) { DestroyMenu(h); }
};
using ScopedMenu = ScopedHandleOf<HMENU, MenuTraits>;

struct RegKeyTraits {
  static HKEY invalid() { return nullptr; }
  static bool valid(HKEY h) { return h != nullptr; }
  static void close(HKEY h) { RegCloseKey(h); }
};
using ScopedRegKey = ScopedHandleOf<HKEY, RegKeyTraits>;
