// What the main window and the setup wizard share: the Questie page, DIP
// geometry and text measuring, and bringing a window to the front.
#pragma once

#include <windows.h>

#include <string>

#include "gui/control.h"
#include "gui/paint.h"
#include "gui/theme.h"
#include "game/addon_report.h"
#include "storage/files.h"

namespace ui {

// Where the user gets the free Questie addon.
constexpr wchar_t kQuestiePage[] = L"https://www.curseforge.com/wow/addons/questie";

// The product name and the in-game command: the only literal texts of the windows.
constexpr wchar_t kProductName[] = L"Cairnstone";
constexpr wchar_t kSlashCommand[] = L"/cairn";

// A rectangle given by its edges in DIPs, in pixels at dpi.
RECT dipRect(UINT dpi, int left, int top, int right, int bottom);
// Width of one line of text in font, in DIPs at dpi.
int textWidthDip(HFONT font, const std::wstring& text, UINT dpi);
// Height of text wrapped at widthDip in font, in DIPs at dpi.
int wrappedHeightDip(HFONT font, int widthDip, const std::wstring& text, UINT dpi);
// How a status line's text is shown: on one line in the body font or, too
// long for that, in the smaller font on one line or on two.
enum class LineFit { kBody, kSmall, kSmallTwoLines };
// The line's box runs from leftDip to rightDip: measured as the box is drawn,
// each edge scaled on its own.
LineFit fitStatusLine(const gui::FontSet& fonts, const std::wstring& text, int leftDip,
                      int rightDip, UINT dpi);

// The status line of something looked for in the game folder (the addon,
// Questie): found, missing (a warning), or unknown while there is no game
// folder to look in (neutral).
struct PresenceLine {
  const char* key;
  gui::OrbState orb;
};
PresenceLine presenceLine(bool folderOk, bool present, const char* foundKey,
                          const char* missingKey, const char* unknownKey);

// The addon's line where a window shows it: while the worker places it,
// "placing"; after a placing that failed, why and what to do (a warning);
// else empty, and the presence line stands.
struct AddonLine {
  std::wstring text;
  gui::OrbState orb = gui::OrbState::Neutral;
};
AddonLine addonLine(const AddonReport& report, bool working, const std::wstring& folder);

// Why settings were not saved, for the window where the user saved them.
std::wstring notSavedText(const WriteResult& saved);

// The default action of a drawn control kind, as a screen reader names it.
std::wstring actionName(gui::ControlKind kind, bool checked);
// Restores a minimised window, shows it and makes it the foreground window.
void bringToFront(HWND window);

}  // namespace ui
