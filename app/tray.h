// The notification area: the hidden "CairnTrayWnd" window that later starts
// find, and the icon with its tooltip, balloons and menu. Which window a
// request opens is app/router.h's. Everything runs on the main thread.
#pragma once

#include <windows.h>

#include <string>

#include "base/scoped_handle.h"

class App;
struct GameState;
namespace ui {
class WindowHost;
}

// Starts the theme, creates the window and adds the icon. From then on the
// controller's language is the language of every text. Null (and logged)
// when the window cannot be made; the theme is shut down by the caller.
HWND createTrayWindow(HINSTANCE instance, App* app);
// Forgets the controller before it goes away, and the window class once its
// window is gone.
void releaseTrayController();
// The controller the windows work with; null before createTrayWindow.
App* trayController();
// Null before createTrayWindow and once the window is gone.
HWND trayWindowHandle();
// What the windows are handed: the controller and this notification area.
// Null before createTrayWindow and after releaseTrayController.
ui::WindowHost* trayWindowHost();

// The menu's commands (WM_COMMAND's low word).
enum MenuCommand : UINT { ID_STATUS = 1, ID_OPEN = 2, ID_QUIT = 4, ID_INSTALL = 5 };
// What a click on a balloon does: open as a click on the icon, or install
// the ready update.
constexpr int kBalloonPlain = 0;
constexpr int kBalloonInstalls = 1;

// kind: kBalloonPlain or kBalloonInstalls. Nothing happens without the
// window.
void showBalloon(const std::wstring& title, const std::wstring& text, int kind);
void showBalloonKeys(const char* titleKey, const char* textKey);
// The tooltip and the status line of the menu, from the state last read of
// the game folder: building them never waits for a disk.
std::wstring trayStatusText();
// A state a window read on its worker: when it is the configured folder's,
// the tooltip and the menu show it from now on.
void noteGameState(const GameState& state);

// The context menu as it stands now: status line (grayed), the install item
// while an update is ready, open (the default) and quit.
ScopedMenu buildTrayMenu();
