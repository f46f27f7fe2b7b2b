#include "app/app.h"

#include "app/messages.h"
#include "app/place_addon.h"
#include "base/paths.h"
#include "base/text.h"
#include "base/version.h"
#include "game/addon.h"
#include "game/cleanup.h"
#include "game/config.h"
#include "game/folder.h"
#include "i18n/i18n.h"
#include "storage/files.h"
#include "storage/log.h"
#include "update/version.h"

App::App(std::wstring addonPayload)
    : keeper_(
          std::move(addonPayload),
          [this] {
            std::lock_guard<std::mutex> hold(mutex_);
            return AddonKeeper::Target{settings_.foreverDir, settings_.language};
          },
          [this] {
            postToTray(WM_APP_STATE, 0);
            answerPlaceRequests();
          }) {}

void App::prepare() {
  removeOldDataFolder();
  removeObsoleteDataFiles();
  {
    std::lock_guard<std::mutex> hold(mutex_);
    const SettingsLoad load = loadSettings(settings_);
    if (load.unreadInPlace()) unreadSettings_ = load.problem;
    removeObsoleteKeyFile();
    bool changed = takeOverInstallerValues();
    changed |= settleGameFolder();
    changed |= settleLanguage();
    changed |= recordVersion();
    if (changed) storeSettings();  // one save for all of them
  }
  // Outside the lock: retiring the predecessor may wait for it to quit.
  const std::wstring folder = gameFolder();
  retirePredecessor(folder);
  if (!folder.empty()) {
    const int removed = removeOldAnswerFolders(folder);
    if (removed > 0) {
      logLine(sformat("removed %d old answer folders (CairnPost, Cairn\\Bridge)", removed));
    }
  }
  removeOwnLeftovers(folder);  // before the addon's worker writes its own
  // Before the first window reads the addon's state. The worker starts
  // later, with the notification area.
  (void)keeper_.runNow();
  // What the tooltip shows until a worker reads the folder again.
  GameState known;
  known.folder = folder;
  known.folderOk = !folder.empty() && isGameFolder(folder);
  known.addonOk = known.folderOk && addonPresent(folder);
  std::lock_guard<std::mutex> hold(mutex_);
  knownState_ = known;
}

// Each installer run is applied once: a later change in the program wins
// until the next installation. The folder is taken over only by the account
// that chose it, and only when it is a game folder; a value the run did not
// give keeps the user's own choice, which then holds from the install on.
bool App::takeOverInstallerValues() {
  const InstallerValues installer = readInstallerValues();
  if (!installer.present || installer.installStamp == settings_.installStamp) return false;
  if (installer.autostartGiven) settings_.autostart = installer.autostart;
  if (!setAutostart(settings_.autostart)) logLine("autostart entry could not be changed");
  if (!installer.language.empty()) settings_.language = installer.language;
  const bool ownChoice = !installer.installUser.empty() && installer.installUser == currentUserSid();
  const std::wstring chosen =
      ownChoice && !installer.foreverDir.empty() ? resolveForeverDir(installer.foreverDir) : L"";
  if (!chosen.empty() && isGameFolder(chosen)) settings_.foreverDir = chosen;
  settings_.installStamp = installer.installStamp;
  logLine(std::string("from the installer: start with Windows ") +
          (settings_.autostart ? "on" : "off") + ", language " +
          (installer.language.empty() ? "-" : installer.language));
  if (!chosen.empty() && settings_.foreverDir == chosen) {
    logLineW(L"from the installer: WoW Forever folder " + chosen);
  }
  return true;
}

// A valid stored folder is kept; otherwise the override or a search.
bool App::settleGameFolder() {
  if (!settings_.foreverDir.empty() && isGameFolder(settings_.foreverDir)) return false;
  const std::wstring overridden = envVar(L"CAIRN_FOREVER_DIR");
  const std::wstring found =
      overridden.empty() ? detectForeverDir() : resolveForeverDir(overridden);
  if (found.empty()) return false;
  settings_.foreverDir = found;
  logLineW(L"WoW Forever folder: " + found);
  return true;
}

// A language the user chose is never replaced here. Without one, a language
// written into Config.lua earlier wins over the Windows language.
bool App::settleLanguage() {
  if (!settings_.language.empty()) return false;
  settings_.language = readAddonConfigLanguage(settings_.foreverDir);
  if (settings_.language.empty()) settings_.language = uiLanguage();
  return true;
}

bool App::recordVersion() {
  const std::string& last = settings_.lastVersion;
  if (last == APP_VERSION) return false;
  bool upgraded;
  if (last.empty()) {
    upgraded = settings_.wizardDone;  // releases before this one did not record versions
  } else {
    upgraded = !isVersion(last) || compareVersions(last, APP_VERSION) < 0;
  }
  if (upgraded) {
    updatedTo_ = APP_VERSION;
    logLine("updated from " + (last.empty() ? std::string("an earlier version") : last) + " to " +
            APP_VERSION);
  }
  settings_.lastVersion = APP_VERSION;
  return true;
}

WriteResult App::storeSettings() {
  if (!unreadSettings_.empty()) {
    // Never written over unread: the file goes aside first, or nothing is saved.
    const unsigned long kept = setAsideSettings(unreadSettings_);
    if (kept != ERROR_SUCCESS) return {WriteStep::Replace, kept};
    unreadSettings_.clear();
  }
  const WriteResult saved = saveSettings(settings_);
  if (!saved) logLine("settings.json could not be saved: " + describeWrite(saved));
  return saved;
}

// A controller left without stop() (an early return) still joins its threads.
App::~App() {
  if (updateThread_.joinable() || checkThread_.joinable() || installerThread_.joinable()) stop();
}

void App::start(HWND trayWindow) {
  trayWindow_ = trayWindow;
  (void)keeper_.start();
  schedule_ = updateSchedule(envVar(L"CAIRN_UPDATE_MS"));
  // With a window its timer waits between checks: a thread that waits six
  // hours keeps its stack all that time.
  if (trayWindow) {
    timeNextCheck(schedule_.firstWaitMs);
  } else {
    if (!updateThread_.start([this] { updateLoop(); }))
      logLine("update checks: no thread could be made");
  }
  logLine(std::string("Cairn ") + APP_VERSION + " started");
}

void App::stop() {
  if (stopped_.exchange(true)) return;
  quitting_.exchange(true);
  keeper_.stop();
  cancelNetwork_ = true;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    updateWake_.notify_all();
  }
  updateThread_.join();
  checkThread_.join();
  if (HWND window = trayWindow_) KillTimer(window, kUpdateTimerId);
  installerThread_.join();
  {
    std::lock_guard<std::mutex> hold(mutex_);
    readyInstaller_.close();  // the file stays; the next start removes it
  }
  logLine("Cairn stopped");
}

Settings App::snapshot() {
  std::lock_guard<std::mutex> hold(mutex_);
  return settings_;
}

WriteResult App::applySettings(const Settings& input) {
  WriteResult saved;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    const Settings before = settings_;
    settings_.language = knownOrEnglish(input.language);
    settings_.foreverDir = input.foreverDir;
    settings_.autostart = input.autostart;
    settings_.wizardDone = input.wizardDone;
    saved = storeSettings();
    if (!saved) {
      settings_ = before;  // what failed to be saved is not what the program goes on with
      return saved;
    }
    if (settings_.foreverDir.empty()) knownState_ = GameState();  // known without reading
  }
  (void)keeper_.request(true);
  postToTray(WM_APP_STATE, 0);
  return saved;
}

std::string App::language() {
  std::lock_guard<std::mutex> hold(mutex_);
  return knownOrEnglish(settings_.language);
}

std::wstring App::gameFolder() {
  std::lock_guard<std::mutex> hold(mutex_);
  return settings_.foreverDir;
}

namespace {

AppStatus statusOf(const GameState& state, const AddonReport& report) {
  const bool ofThisFolder = report.folder == state.folder;
  return appStatusOf(state.folderOk, state.addonOk,
                     ofThisFolder ? report.problem : AddonProblem::None);
}

}  // namespace

AppStatus App::status() {
  const AddonReport report = keeper_.report();
  std::lock_guard<std::mutex> hold(mutex_);
  return statusOf(knownState_, report);
}

AddonReport App::addonReport() { return keeper_.report(); }

bool App::addonWorking() { return keeper_.working(); }

bool App::noteGameState(const GameState& state) {
  const AddonReport report = keeper_.report();
  std::lock_guard<std::mutex> hold(mutex_);
  if (state.folder != settings_.foreverDir) return false;  // of a folder no longer configured
  const bool newlyKnown = knownState_.folder != state.folder;
  const AppStatus before = statusOf(knownState_, report);
  knownState_ = state;
  return newlyKnown || statusOf(knownState_, report) != before;
}

bool App::gameStateKnown() {
  std::lock_guard<std::mutex> hold(mutex_);
  return knownState_.folder == settings_.foreverDir;
}

void App::keepAddon() { (void)keeper_.request(false); }

void App::placeAddonForLaterRun(HWND reply) {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    if (takeOverInstallerValues()) (void)storeSettings();
    // Listed before it is asked for: any run numbered from here on starts
    // after the values above were taken over.
    placeReplies_.emplace_back(keeper_.asked() + 1, reply);
  }
  (void)keeper_.request(true);
}

void App::answerPlaceRequests() {
  const unsigned long long finished = keeper_.finished();
  const int code = static_cast<int>(placeExitOf(keeper_.report()));
  std::lock_guard<std::mutex> hold(mutex_);
  for (auto it = placeReplies_.begin(); it != placeReplies_.end();) {
    if (it->first > finished) {
      ++it;
      continue;
    }
    PostMessageW(it->second, WM_APP_PLACED, static_cast<WPARAM>(code), 0);
    it = placeReplies_.erase(it);
  }
}

AddonReport App::placeAddonForInstaller() {
  prepare();  // takes the installation over and places the addon
  return keeper_.report();
}

std::string App::updatedTo() {
  std::lock_guard<std::mutex> hold(mutex_);
  return updatedTo_;
}

void App::postToTray(UINT message, WPARAM wParam) {
  HWND window = trayWindow_;
  if (window) PostMessageW(window, message, wParam, 0);
}
