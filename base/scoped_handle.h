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

// Handles that are null when there is none and closed by one call: `Close`
// is that function, or a small wrapper when it takes more than the handle.
template <typename H, auto Close>
struct NullHandleTraits {
  static H invalid() { return nullptr; }
  static bool valid(H h) { return h != nullptr; }
  static void close(H h) { Close(h); }
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

using ScopedLocal = ScopedHandleOf<HLOCAL, NullHandleTraits<HLOCAL, LocalFree>>;

using ScopedWindow = ScopedHandleOf<HWND, NullHandleTraits<HWND, DestroyWindow>>;

using ScopedMenu = ScopedHandleOf<HMENU, NullHandleTraits<HMENU, DestroyMenu>>;

using ScopedRegKey = ScopedHandleOf<HKEY, NullHandleTraits<HKEY, RegCloseKey>>;
