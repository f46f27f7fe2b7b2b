#include "app/message_loop.h"

#include "gui/surface.h"
#include "ui/mainwnd.h"
#include "ui/setup.h"

namespace {

// The message's target window decides: the window itself only for key
// presses, any of its children (the edit fields) always.
HWND keyboardOwner(const MSG& msg) {
  for (HWND w : {mainWindowHandle(), setupWindowHandle()}) {
    if (!w) continue;
    if (msg.hwnd == w) return msg.message == WM_KEYDOWN ? w : nullptr;
    if (IsChild(w, msg.hwnd)) return w;
  }
  return nullptr;
}

}  // namespace

bool preTranslate(MSG& msg) {
  HWND owner = keyboardOwner(msg);
  if (!owner) return false;
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
    SendMessageW(owner, WM_COMMAND, gui::kCancelCommand, 0);
    return true;
  }
  if (msg.hwnd == owner) return false;  // the window's own keys reach it as they are
  return gui::forwardFieldKey(owner, msg);  // Tab and Enter in an edit field
}

void runMessageLoop() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (preTranslate(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}
