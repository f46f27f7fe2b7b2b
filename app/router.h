// Which window opens for a request: a click on the notification icon or a
// balloon, the menu, a later start's switches. Everything runs on the main
// thread, with the controller the notification-area window was made with.
#pragma once

#include <windows.h>

#include "ui/mainwnd.h"

// A later start's request; WM_NULL asks only whether this instance stays.
// Declined (kRequestDeclined) while a quit waits behind it.
LRESULT onStartRequest(UINT message, WPARAM wParam);
void installFromTray();
// A click on the icon: the main window once setup is done, else the wizard;
// an open wizard only comes to the front, at the page the user is on.
void openFromTray();
// While setup is not done and the wizard is open, the wizard comes to the
// front instead.
void openMainUnlessSetup(ui::mainwnd::TabRequest tab);
// The wizard at page (clamped), or the open one goes there.
void openSetupPage(int page);
