// Helpers of the window tests: a controller in this process with its own
// data folder and the notification-area window the windows talk to, game
// folders made to order, and clicks sent as window messages.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/message_loop.h"
#include "app/tray.h"
#include "gui/surface.h"
#include "storage/files.h"
#include "storage/settings.h"
#include "tests/gui/gui_test_util.h"
#include "tests/support/test_support.h"
#include "ui/mainwnd.h"
#include "ui/setup.h"

namespace uitest {

// A World of Warcraft folder with its _forever_ folder, the addon and,
// when asked, Questie.
class GameFolder {
 public:
  explicit GameFolder(bool questie) {
    makeDirs(addOns() + L"\\Cairn");
    writeFileText(addOns() + L"\\Cairn\\Cairn.toc", "## Title: Cairn\n");
    if (questie) addQuestie();
  }
  std::wstring wow() const { return root_.path() + L"\\World of Warcraft"; }
  std::wstring forever() const { return wow() + L"\\_forever_"; }
  std::wstring addOns() const { return forever() + L"\\Interface\\AddOns"; }
  void addQuestie() const { makeDirs(addOns() + L"\\Questie"); }
  // A folder that exists but is no game folder.
  std::wstring notGame() const {
    const std::wstring folder = root_.path() + L"\\Documents";
    makeDirs(folder);
    return folder;
  }

 private:
  TempDir root_;
};

// Runs everything waiting in this thread's queue; a quit request from the
// notification-area window's end is dropped.
inline void pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// Pumps this thread's queue until cond holds; false on time-out.
template <typename Cond>
bool pumpUntil(Cond cond, DWORD timeoutMs = 10000) {
  return waitFor(
      [&] {
        pump();
        return cond();
      },
      timeoutMs);
}

// Pumps until the main window shows the state its last check found (at
// once when no main window is open); false on time-out.
inline bool settleMainWindow(DWORD timeoutMs = 10000) {
  return waitFor(
      [] {
        pump();
        const ui::mainwnd::MainWindow* window = ui::mainwnd::mainWindow();
        return !window || !window->checking();
      },
      timeoutMs);
}

// Pumps until the wizard's check of its folder field has answered and
// whatever waited for it is done (at once when no wizard is open).
inline bool settleSetup(DWORD timeoutMs = 10000) {
  return waitFor(
      [] {
        pump();
        const ui::setup::Setup* wizard = ui::setup::setupWindow();
        return !wizard || !wizard->checking();
      },
      timeoutMs);
}

// Whether the surface's last paint wrote text (repainted now).
inline bool showsText(gui::Surface* surface, const std::wstring& text) {
  RedrawWindow(surface->hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  for (const gui::DrawnText& drawn : surface->drawnTexts()) {
    if (drawn.text == text) return true;
  }
  return false;
}

// What the notification-area window hands the windows: the test's controller.
inline ui::WindowHost& host() { return *trayWindowHost(); }

// Opens (or shows) the main window at tab, once its game state is there.
inline ui::mainwnd::MainWindow* openMainSettled(ui::mainwnd::TabRequest tab) {
  openMainWindow(host(), tab);
  EXPECT_TRUE(settleMainWindow());
  return ui::mainwnd::mainWindow();
}

inline bool controlVisible(gui::Surface* surface, int id) {
  const gui::Control* c = surface ? surface->findControl(id) : nullptr;
  return c && c->visible;
}

// A press and release in the middle of the control, as the mouse makes them.
inline void click(gui::Surface* surface, int id) {
  ASSERT_NE(surface, nullptr);
  const gui::Control* control = surface->findControl(id);
  ASSERT_NE(control, nullptr) << "control " << id;
  ASSERT_TRUE(control->visible) << "control " << id << " is hidden";
  const LPARAM point = MAKELPARAM((control->rect.left + control->rect.right) / 2,
                                  (control->rect.top + control->rect.bottom) / 2);
  SendMessageW(surface->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, point);
  SendMessageW(surface->hwnd(), WM_LBUTTONUP, 0, point);
}

// A press and release at a point given in DIPs.
inline void clickAtDip(HWND window, int xDip, int yDip) {
  const int dpi = static_cast<int>(gui::windowDpi(window));
  const LPARAM point = MAKELPARAM(MulDiv(xDip, dpi, 96), MulDiv(yDip, dpi, 96));
  SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, point);
  SendMessageW(window, WM_LBUTTONUP, 0, point);
}

inline RECT clientOf(gui::Surface* surface) {
  RECT client = {};
  GetClientRect(surface->hwnd(), &client);
  return client;
}

// Paints the window as WM_PAINT does into a picture of its client area's
// size; the texts it drew, in the order it drew them.
inline std::vector<std::wstring> paintInto(gui::Surface* surface,
                                           const guitest::Bitmap32& picture) {
  surface->renderTo(picture.dc(), clientOf(surface));
  std::vector<std::wstring> texts;
  for (const gui::DrawnText& drawn : surface->drawnTexts()) texts.push_back(drawn.text);
  return texts;
}

inline std::vector<std::wstring> paintedTexts(gui::Surface* surface) {
  const RECT client = clientOf(surface);
  const guitest::Bitmap32 picture(client.right, client.bottom, 0);
  return paintInto(surface, picture);
}

inline bool painted(const std::vector<std::wstring>& texts, const std::wstring& text) {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

// Re-lays a window out for dpi, as a move to a monitor of that DPI would.
inline void switchDpi(gui::Surface* surface, UINT dpi, int widthDip, int heightDip) {
  if (!surface || surface->dpi() == dpi) return;
  const HWND window = surface->hwnd();
  RECT outer;
  GetWindowRect(window, &outer);
  const int d = static_cast<int>(dpi);
  const SIZE size =
      gui::outerSizeForClient(MulDiv(widthDip, d, 96), MulDiv(heightDip, d, 96), dpi,
                              static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)),
                              static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)));
  RECT suggested = {outer.left, outer.top, outer.left + size.cx, outer.top + size.cy};
  SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
}

// What the dialog handling of the message loop sends for Enter and Escape.
inline void pressEnter(HWND window) { SendMessageW(window, WM_COMMAND, IDOK, 0); }
inline void pressEscape(HWND window) { SendMessageW(window, WM_COMMAND, IDCANCEL, 0); }

inline std::wstring windowTitle(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return text;
}

inline std::wstring windowClass(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

// DIP rectangle of a control, for layout checks (the tests run at 96 DPI or
// convert).
inline RECT dipRectOf(gui::Surface* surface, int id) {
  const gui::Control* c = surface->findControl(id);
  const int dpi = static_cast<int>(surface->dpi());
  if (!c) return RECT{};
  return {MulDiv(c->rect.left, 96, dpi), MulDiv(c->rect.top, 96, dpi),
          MulDiv(c->rect.right, 96, dpi), MulDiv(c->rect.bottom, 96, dpi)};
}

// Keyboard cues always shown (the user's setting) or, as Windows has it by
// default, hidden until the keyboard is used; restored afterwards. Wine's
// prefix shows them always.
class ScopedKeyboardCues {
 public:
  explicit ScopedKeyboardCues(bool always) {
    SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &old_, 0);
    set(always);
  }
  ~ScopedKeyboardCues() { set(old_ != FALSE); }
  ScopedKeyboardCues(const ScopedKeyboardCues&) = delete;
  ScopedKeyboardCues& operator=(const ScopedKeyboardCues&) = delete;

 private:
  static void set(bool always) {
    SystemParametersInfoW(SPI_SETKEYBOARDCUES, 0, reinterpret_cast<PVOID>(static_cast<INT_PTR>(always)), 0);
  }
  BOOL old_ = FALSE;
};

// The controller, prepared in a fresh data folder, and the notification-area
// window that the windows reach it through.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app.prepare();
    tray = createTrayWindow(GetModuleHandleW(nullptr), &app);
    ASSERT_NE(tray, nullptr);
    app.start(tray);  // from now on changed settings reach the open windows
  }
  void TearDown() override {
    app.stop();
    closeMainWindow();
    closeSetup();
    if (tray) DestroyWindow(tray);
    pump();
    releaseTrayController();
  }
  // Stores a settings record as the windows would, and lets the windows hear of it.
  void store(const std::wstring& folder, bool wizardDone = true,
             const std::string& language = "en") {
    Settings settings = app.snapshot();
    settings.foreverDir = folder;
    settings.wizardDone = wizardDone;
    settings.language = language;
    app.applySettings(settings);
    // The addon's worker answers, and the windows hear of it, before the test goes on.
    waitFor([&] { return !app.addonWorking(); }, 10000);
    pump();
  }
  std::string log() const { return readFileText(data.path() + L"\\cairn.log"); }

  TempDir data;
  ScopedEnv dataEnv{L"CAIRN_DATA_DIR", data.path()};
  SavedRegistryValue runValue{HKEY_CURRENT_USER, kRunKey, kRunValue};
  App app;
  HWND tray = nullptr;
};

}  // namespace uitest
