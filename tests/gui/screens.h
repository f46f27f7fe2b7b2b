// Screens the windows must fit: a monitor's DPI and its work area (the
// screen less a taskbar of 40 DIPs unless said otherwise), as laptops and
// desktops have them, with Windows' own scale offer for each.
#pragma once

#include <windows.h>

namespace guitest {

struct Screen {
  const char* name;
  UINT dpi;
  RECT work;
};

constexpr Screen kScreens[] = {
    {"1366x768 at 100 %", 96, {0, 0, 1366, 728}},
    {"1366x768 at 120 %", 115, {0, 0, 1366, 720}},
    {"1366x768 at 125 %", 120, {0, 0, 1366, 718}},
    {"1366x768 at 125 %, two-row taskbar", 120, {0, 0, 1366, 668}},
    {"1366x768 at 125 %, taskbar on the left", 120, {62, 0, 1366, 768}},
    {"1280x720 at 150 %", 144, {0, 0, 1280, 660}},
    {"1920x1080 at 150 %", 144, {0, 0, 1920, 1020}},
    {"1920x1080 at 175 %", 168, {0, 0, 1920, 1010}},
    {"1920x1080 at 175 %, taskbar at the top", 168, {0, 70, 1920, 1080}},
    {"2560x1440 at 150 %", 144, {0, 0, 2560, 1380}},
    {"second monitor 1366x768 at 125 %, left of the primary", 120, {-1366, 0, 0, 718}},
    {"1024x600 at 100 %", 96, {0, 0, 1024, 560}},
    {"1024x600 at 100 %, two-row taskbar", 96, {0, 0, 1024, 520}},
};

// The designed client sizes of the main window and the wizard, in DIPs.
constexpr SIZE kMainWindowDip = {900, 640};
constexpr SIZE kWizardDip = {780, 560};

}  // namespace guitest
