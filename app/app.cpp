#include "app/app.h"

#include "app/version.h"
#include "storage/log.h"

void App::prepare() {
  // Nothing to prepare yet: the clean-ups, the settings, the game folder and
  // the addon configuration join here as those modules arrive.
}

void App::start(HWND trayWindow) {
  trayWindow_ = trayWindow;
  logLine(std::string("Cairn ") + APP_VERSION + " started");
}

void App::stop() {
  if (stopped_.exchange(true)) return;
  quitting_.exchange(true);
  cancelNetwork_ = true;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    updateWake_.notify_all();
  }
  if (updateThread_.joinable()) updateThread_.join();
  if (installerThread_.joinable()) installerThread_.join();
  logLine("Cairn stopped");
}

std::string App::updatedTo() {
  std::lock_guard<std::mutex> hold(mutex_);
  return updatedTo_;
}

void App::postToTray(UINT message, WPARAM wParam) {
  HWND window = trayWindow_;
  if (window) PostMessageW(window, message, wParam, 0);
}
