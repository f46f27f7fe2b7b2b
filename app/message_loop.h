// The main thread's message loop, with the keyboard handling of the main
// window and the setup wizard.
#pragma once

#include <windows.h>

// Escape, Tab and Enter for the main window and the wizard; true when
// consumed.
bool preTranslate(MSG& msg);
// Every message offered to preTranslate first; returns when WM_QUIT arrives.
void runMessageLoop();
