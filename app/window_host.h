// The windows' host in the running program: the controller's state and
// settings, and the notification area for the game state, the update and
// balloons.
#pragma once

#include "ui/window_host.h"

class App;

class ControllerHost final : public ui::WindowHost {
 public:
  explicit ControllerHost(App& app) : app_(app) {}

  Settings snapshot() override;
  WriteResult applySettings(const Settings& input) override;
  std::string language() override;
  std::wstring gameFolder() override;
  AppStatus status() override;
  bool gameStateKnown() override;
  void noteGameState(const GameState& state) override;
  void keepAddon() override;
  AddonReport addonReport() override;
  bool addonWorking() override;
  std::string readyUpdateVersion() override;
  std::string updatedTo() override;
  void installUpdate() override;
  void announce(const char* titleKey, const char* textKey) override;

 private:
  App& app_;
};
