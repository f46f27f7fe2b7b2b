// The hidden notification-area window of class "CairnTrayWnd": the handle
// later starts find, and the receiver of every message aimed at the instance.
#pragma once

#include <windows.h>

class App;

// Also makes the controller's language the language of every text.
HWND createTrayWindow(HINSTANCE instance, App* app);
// Forgets the controller before it goes away.
void releaseTrayController();
