// What the main window and the setup wizard ask of the program around them:
// copies of the settings and of the known state, a way to store settings,
// the ready update and the notification area. The windows are handed one
// when they open and keep it while they exist.
#pragma once

#include <string>

#include "game/addon.h"
#include "game/addon_report.h"
#include "game/status.h"
#include "storage/settings.h"

namespace ui {

class WindowHost {
 public:
  // A copy of the settings; changes go through applySettings, which tells
  // whether settings.json took them.
  virtual Settings snapshot() = 0;
  virtual WriteResult applySettings(const Settings& input) = 0;
  // The stored language when known, else "en".
  virtual std::string language() = 0;
  virtual std::wstring gameFolder() = 0;
  // From the state last read of the configured folder, and whether one was.
  virtual AppStatus status() = 0;
  virtual bool gameStateKnown() = 0;
  // A state a window read on its worker: when it is the configured folder's,
  // the notification area shows it from now on.
  virtual void noteGameState(const GameState& state) = 0;
  // Asks for the addon and Config.lua to be brought in line with the
  // current settings, on the program's worker; a changed answer refreshes
  // the windows.
  virtual void keepAddon() = 0;
  // What placing the addon last came to, and whether a run is still to come.
  virtual AddonReport addonReport() = 0;
  virtual bool addonWorking() = 0;
  // The version of the update waiting to be installed (empty when none), and
  // the version the last update brought (empty when none).
  virtual std::string readyUpdateVersion() = 0;
  virtual std::string updatedTo() = 0;
  // Runs the ready update's installer; the user hears how it went.
  virtual void installUpdate() = 0;
  // A balloon from the notification area, by its texts' keys.
  virtual void announce(const char* titleKey, const char* textKey) = 0;

 protected:
  ~WindowHost() = default;
};

}  // namespace ui
