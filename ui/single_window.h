// The one open window of a kind (the main window, the wizard): opening
// again reuses it, and the window deletes itself when it is destroyed.
#pragma once

#include <windows.h>

#include <memory>

#include "storage/log.h"

namespace ui {

// Window: a surface with open() (false when no window could be made),
// update() and hwnd(), whose onDestroyed calls forget(this) and deletes it.
template <class Window>
class SingleWindow {
 public:
  Window* get() const { return open_; }
  HWND handle() const { return open_ ? open_->hwnd() : nullptr; }
  // The window is still the open one (a shell call or a picker pumps
  // messages, and the window may be gone when it returns).
  bool isOpen(const Window* window) const { return window && open_ == window; }

  // Hands the open window to `reopen`; else opens the window `make` makes.
  // A window that cannot be made is logged with `failure`.
  template <class Reopen, class Make>
  void show(Reopen reopen, Make make, const char* failure) {
    if (open_) {
      reopen(*open_);
      return;
    }
    std::unique_ptr<Window> made(make());
    open_ = made.get();
    if (made->open()) {
      made.release();  // its window owns it from now on
      return;
    }
    open_ = nullptr;
    logLine(failure);
  }
  void refresh() const {
    if (open_) open_->update();
  }
  void close() const {
    if (open_) DestroyWindow(open_->hwnd());
  }
  void forget(const Window* window) {
    if (open_ == window) open_ = nullptr;
  }

 private:
  Window* open_ = nullptr;
};

}  // namespace ui
