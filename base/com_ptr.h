// Owners for what COM hands out: an interface pointer (released once) and a
// block from the task allocator (freed once).
#pragma once

#include <objbase.h>

#include <utility>

#include "base/scoped_handle.h"

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes over a reference the caller holds.
  explicit ComPtr(T* adopted) : p_(adopted) {}
  ~ComPtr() { reset(); }
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& o) noexcept {
    if (this != &o) {
      reset();
      p_ = std::exchange(o.p_, nullptr);
    }
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  T* operator->() const { return p_; }
  T* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For a call that hands one out: the one held before is released first.
  T** put() {
    reset();
    return &p_;
  }
  // The same for calls that hand one out as void** (QueryInterface and kin).
  void** putVoid() { return reinterpret_cast<void**>(put()); }
  void reset() {
    if (p_) std::exchange(p_, nullptr)->Release();
  }

 private:
  T* p_ = nullptr;
};

template <typename T>
struct CoTaskMemTraits {
  static T* invalid() { return nullptr; }
  static bool valid(T* p) { return p != nullptr; }
  static void close(T* p) { CoTaskMemFree(p); }
};
template <typename T>
using ScopedCoTaskMem = ScopedHandleOf<T*, CoTaskMemTraits<T>>;
