// The notification area: the hidden "CairnTrayWnd" window that later starts
// find, the icon with its tooltip, balloons and menu, the routing of "open"
// requests to the main window or the setup wizard, and the message loop's
// keyboard handling for those two windows. Everything runs on the main thread.
#pragma once

#include <windows.h>

#include <string>

class App;
struct GameState;

// Starts the theme, creates the window and adds the icon. From then on the
// controller's language is the language of every text. Null (and logged)
// when the window cannot be made; the theme is shut down by the caller.
HWND createTrayWindow(HINSTANCE instance, App* app);
// Forgets the controller before it goes away, and the window class once its
// window is gone.
void releaseTrayController();
// The controller the windows work with; null before createTrayWindow.
App* trayController();

// kind 1: a click on the balloon installs the ready update. Nothing happens
// without the window.
void showBalloon(const std::wstring& title, const std::wstring& text, int kind);
void showBalloonKeys(const char* titleKey, const char* textKey);
// The tooltip and the status line of the menu, from the state last read of
// the game folder: building them never waits for a disk.
std::wstring trayStatusText();
// A state a window read on its worker: when it is the configured folder's,
// the tooltip and the menu show it from now on.
void noteGameState(const GameState& state);

void installFromTray();
// A click on the icon: the main window once setup is done, else the wizard;
// an open wizard only comes to the front, at the page the user is on.
void openFromTray();
// tab: -1 keeps the current tab, 0 Status, 1 Settings. While setup is not
// done and the wizard is open, the wizard comes to the front instead.
void openMainUnlessSetup(int tab);
// The context menu as it stands now: status line (grayed), the install item
// while an update is ready, open (the default) and quit. The caller owns it.
HMENU buildTrayMenu();
// Escape, Tab and Enter for the main window and the wizard; true when
// consumed.
bool preTranslate(MSG& msg);
// The main thread's message loop, every message offered to preTranslate
// first; returns when WM_QUIT arrives.
void runMessageLoop();
