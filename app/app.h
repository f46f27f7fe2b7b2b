// The controller of a running instance: owns the shared state, prepares it
// before any window exists, runs and stops the worker threads, and tells the
// notification-area window about changes through posted messages.
#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/addon_keeper.h"
#include "base/scoped_handle.h"
#include "base/thread.h"
#include "game/addon.h"
#include "game/addon_copy.h"
#include "game/config.h"
#include "game/status.h"
#include "storage/settings.h"
#include "update/install.h"
#include "update/status.h"
#include "update/verify.h"

// When the update thread checks: the wait before the first check and the
// interval after it.
struct UpdateSchedule {
  long long firstWaitMs;
  long long intervalMs;
};
// From CAIRN_UPDATE_MS's text (empty when unset): a positive number of
// milliseconds shortens the interval, and the first check never comes later
// than usual; anything else keeps 20 seconds, then 6 hours.
UpdateSchedule updateSchedule(const std::wstring& updateMs);

class App {
 public:
  // `addonPayload`: the addon the installer left beside the program.
  explicit App(std::wstring addonPayload = addonPayloadDir());
  ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  // Start-up work on the main thread, before any window exists.
  void prepare();
  // Called once with the notification-area window; starts the threads.
  void start(HWND trayWindow);
  // Raises the stop flags and joins every thread. Safe to call twice.
  void stop();

  // Windows read copies and change settings only through applySettings,
  // which tells whether settings.json took them: the running program goes
  // on with the new record only when it was saved. A saved change asks the
  // addon's worker to place the addon and Config.lua for it.
  Settings snapshot();
  WriteResult applySettings(const Settings& input);
  // The stored language when known, else "en".
  std::string language();
  std::wstring gameFolder();
  // From the state last read of the configured folder and the addon
  // worker's last answer, never from the disk: the tooltip and the menu ask
  // on the GUI thread.
  AppStatus status();
  // What placing the addon and Config.lua last came to, and whether a run
  // of it is still to come.
  AddonReport addonReport();
  bool addonWorking();
  // A state read of a folder on a worker. Kept when it is the configured
  // folder's; true when it is the first of that folder or changed the status.
  bool noteGameState(const GameState& state);
  // The last known state is of the configured folder (not of one before it).
  bool gameStateKnown();
  // Asks the addon's worker to bring the addon and Config.lua in line with
  // the current settings (also when they went missing); a failure is logged
  // once per cause and tried again at the next call.
  void keepAddon();
  // The installer's one-job run as the signed-in user: takes over the new
  // installation's values and places the addon, before anything else runs.
  AddonReport placeAddonForInstaller();
  // The same asked of this running instance by a later --place-addon: the
  // answer (its exit code) is posted to `reply` when the worker's run ends.
  void placeAddonForLaterRun(HWND reply);
  std::string updatedTo();
  // The version of the verified installer waiting to run; empty while an
  // installer runs or when none is ready.
  std::string readyUpdateVersion();
  bool isInstallerRunning() const { return installerRunning_; }
  // Runs the ready installer elevated (Started also while one still runs).
  // With `process`, the caller gets the installer's handle and watches it
  // itself.
  InstallResult installUpdate(HWND owner, ScopedHandle* process = nullptr);
  // One update check, synchronously.
  UpdateStatus checkForUpdate();
  // Any thread: posts to the notification-area window once it exists.
  void postToTray(UINT message, WPARAM wParam);
  // The notification-area window's kUpdateTimerId came due: a check starts
  // on a thread of its own.
  void onUpdateTimer();
  // WM_APP_CHECKED: that check ended; the next one is timed.
  void onUpdateCheckDone();

 private:
  // Each step of the start-up tells whether it changed the record.
  bool takeOverInstallerValues();
  bool settleGameFolder();
  bool settleLanguage();
  bool recordVersion();
  // Saves the record, with mutex_ held; a failure is logged.
  WriteResult storeSettings();
  void answerPlaceRequests();
  void updateLoop();
  void runScheduledCheck();
  void timeNextCheck(long long waitMs);
  UpdateStatus storeDownloaded(ReadyInstaller downloaded);
  void watchInstaller(ScopedHandle process, std::string version);

  std::mutex mutex_;  // guards settings_, knownState_, readyInstaller_, updatedTo_ and settings.json
  Settings settings_;
  // Why the settings.json that stands there was not read, while it stands:
  // it is set aside before the first save.
  std::string unreadSettings_;
  GameState knownState_;  // the state last read of the configured folder
  std::atomic<HWND> trayWindow_{nullptr};
  std::atomic<bool> quitting_{false};
  std::atomic<bool> stopped_{false};
  JoinableThread updateThread_;  // waits between checks when there is no window
  JoinableThread checkThread_;   // one scheduled check, when there is
  UpdateSchedule schedule_ = {};
  bool firstCheck_ = true;         // by the checking thread only
  std::optional<UpdateStatus> lastCheck_;  // likewise; none before the first
  JoinableThread installerThread_;
  std::condition_variable updateWake_;
  std::atomic<bool> cancelNetwork_{false};
  ReadyInstaller readyInstaller_;
  std::atomic<bool> installerRunning_{false};
  std::string updatedTo_;
  // Later --place-addon runs waiting for the worker's run of this number.
  std::vector<std::pair<unsigned long long, HWND>> placeReplies_;
  AddonKeeper keeper_;  // last: its worker reads the settings above
};
