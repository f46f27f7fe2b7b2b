#include "app/window_host.h"

#include "app/app.h"
#include "app/router.h"
#include "app/tray.h"

Settings ControllerHost::snapshot() { return app_.snapshot(); }

WriteResult ControllerHost::applySettings(const Settings& input) {
  return app_.applySettings(input);
}

std::string ControllerHost::language() { return app_.language(); }

std::wstring ControllerHost::gameFolder() { return app_.gameFolder(); }

AppStatus ControllerHost::status() { return app_.status(); }

bool ControllerHost::gameStateKnown() { return app_.gameStateKnown(); }

// Through the notification area, whose tooltip follows the state.
void ControllerHost::noteGameState(const GameState& state) { ::noteGameState(state); }

void ControllerHost::keepAddon() { app_.keepAddon(); }

AddonReport ControllerHost::addonReport() { return app_.addonReport(); }

bool ControllerHost::addonWorking() { return app_.addonWorking(); }

std::string ControllerHost::readyUpdateVersion() { return app_.readyUpdateVersion(); }

std::string ControllerHost::updatedTo() { return app_.updatedTo(); }

void ControllerHost::installUpdate() { installFromTray(); }

void ControllerHost::announce(const char* titleKey, const char* textKey) {
  showBalloonKeys(titleKey, textKey);
}
