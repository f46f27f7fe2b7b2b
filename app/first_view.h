// What a first instance shows when it comes up.
#pragma once

#include "app/cmdline.h"

class App;

// The wizard until setup is done, the main window when asked for, else a
// balloon saying the app runs; after an upgrade also the "updated" balloon.
void showFirstView(App& app, const StartRequest& request);
// Whether that first view is a window (the wizard or the main window).
bool firstViewOpensWindow(App& app, const StartRequest& request);
