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

void ControllerHost::updateAddonConfig() { app_.updateAddonConfig(); }

void ControllerHost::noteAddonConfig(const ConfigWrite& result, const std::wstring& folder,
                                     const std::string& language) {
  app_.noteAddonConfig(result, folder, language);
}

std::string ControllerHost::readyUpdateVersion() { return app_.readyUpdateVersion(); }

std::string ControllerHost::updatedTo() { return app_.updatedTo(); }

void ControllerHost::installUpdate() { installFromTray(); }

void ControllerHost::announce(const char* titleKey, const char* textKey) {
  showBalloonKeys(titleKey, textKey);
}
