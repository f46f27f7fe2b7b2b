// The hidden notification-area window of class "CairnTrayWnd": the handle
// later starts find, and the receiver of every message aimed at the instance.
#pragma once

#include <windows.h>

class App;

HWND createTrayWindow(HINSTANCE instance, App* app);
