// Names shared by the running instance and later starts: the mutex, the
// notification-area window's class, the messages sent or posted to it and
// its answer to a later start.
#pragma once

#include <windows.h>

constexpr wchar_t kInstanceMutexName[] = L"Local\\CairnTrayApp";
constexpr wchar_t kTrayWindowClass[] = L"CairnTrayWnd";

constexpr UINT WM_APP_TRAY = WM_APP + 0x01;     // the icon's shell callback
constexpr UINT WM_APP_STATE = WM_APP + 0x02;    // controller state changed
constexpr UINT WM_APP_OPEN = WM_APP + 0x04;     // wParam 0, or tab + 1
constexpr UINT WM_APP_SETUP = WM_APP + 0x08;    // wParam: wizard page
constexpr UINT WM_APP_UPDATE = WM_APP + 0x09;   // wParam: UpdateNews
constexpr UINT WM_APP_INSTALL = WM_APP + 0x0A;  // run the ready installer
constexpr UINT WM_APP_CHECKED = WM_APP + 0x0B;  // a scheduled update check ended
constexpr UINT WM_APP_GAME = WM_APP + 0x0C;     // the game folder's state was read
// --place-addon asks the running instance to take a new installation over
// and place the addon; lParam: the window that waits for the answer, which
// comes as WM_APP_PLACED with the run's exit code in wParam.
constexpr UINT WM_APP_PLACE = WM_APP + 0x0D;
constexpr UINT WM_APP_PLACED = WM_APP + 0x0E;
constexpr UINT_PTR kUpdateTimerId = 1;          // the notification-area window's timer

// What WM_APP_UPDATE tells: an installer is ready, or the one that ran failed
// or installed.
enum class UpdateNews : WPARAM { Ready = 1, Failed = 2, Installed = 3 };
constexpr WPARAM updateNewsParam(UpdateNews news) { return static_cast<WPARAM>(news); }
constexpr UpdateNews updateNewsOf(WPARAM wParam) { return static_cast<UpdateNews>(wParam); }

// A later start sends its request (WM_NULL when it asks for nothing) and
// reads the answer: an instance about to close declines, and the start then
// waits for it to end and runs in its place.
constexpr LRESULT kRequestDeclined = 0;
constexpr LRESULT kRequestTaken = 1;
