#include "app/app.h"

#include "app/messages.h"
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
  removeOwnLeftovers(folder);  // before the addon copy and Config.lua write theirs
  // Before the first window reads the addon's state, and before Config.lua,
  // which needs the addon's folder.
  installAddon(folder);
  updateAddonConfig();
  // What the tooltip shows until a worker reads the folder again.
  GameState known;
  known.folder = folder;
  known.folderOk = !folder.empty() && isGameFolder(folder);
  known.addonOk = known.folderOk && addonPresent(folder);
  std::lock_guard<std::mutex> hold(mutex_);
  knownState_ = known;
}

// Each installer run is applied once: a later change in the program wins
// until the next installation.
bool App::takeOverInstallerValues() {
  const InstallerValues installer = readInstallerValues();
  if (!installer.present || installer.installStamp == settings_.installStamp) return false;
  setAutostart(installer.autostart);
  settings_.autostart = installer.autostart;
  if (!installer.language.empty()) settings_.language = installer.language;
  settings_.installStamp = installer.installStamp;
  logLine(std::string("from the installer: start with Windows ") +
          (installer.autostart ? "on" : "off") + ", language " +
          (installer.language.empty() ? "-" : installer.language));
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
  bool folderChanged;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    folderChanged = settings_.foreverDir != input.foreverDir;
    settings_.language = knownOrEnglish(input.language);
    settings_.foreverDir = input.foreverDir;
    if (settings_.foreverDir.empty()) knownState_ = GameState();  // known without reading
    settings_.autostart = input.autostart;
    settings_.wizardDone = input.wizardDone;
    saved = storeSettings();
  }
  if (folderChanged) installAddon(input.foreverDir);
  updateAddonConfig();
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

AppStatus statusOf(const GameState& state) { return appStatusOf(state.folderOk, state.addonOk); }

}  // namespace

AppStatus App::status() {
  std::lock_guard<std::mutex> hold(mutex_);
  return statusOf(knownState_);
}

bool App::noteGameState(const GameState& state) {
  std::lock_guard<std::mutex> hold(mutex_);
  if (state.folder != settings_.foreverDir) return false;  // of a folder no longer configured
  const bool newlyKnown = knownState_.folder != state.folder;
  const AppStatus before = statusOf(knownState_);
  knownState_ = state;
  return newlyKnown || statusOf(knownState_) != before;
}

bool App::gameStateKnown() {
  std::lock_guard<std::mutex> hold(mutex_);
  return knownState_.folder == settings_.foreverDir;
}

void App::updateAddonConfig() {
  std::wstring folder;
  std::string lang;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    folder = settings_.foreverDir;
    lang = settings_.language;  // the addon file turns an unknown code into "en"
  }
  noteAddonConfig(writeAddonConfig(folder, lang), folder, lang);
}

void App::noteAddonConfig(const ConfigWrite& result, const std::wstring& folder,
                          const std::string& language) {
  std::lock_guard<std::mutex> hold(mutex_);
  if (result.outcome == ConfigOutcome::Written) {
    logLine("Config.lua: " + trimText(buildAddonConfig(language)));
  }
  if (result.current()) configFailing_ = false;
  if (result.outcome != ConfigOutcome::Failed) return;
  if (configFailing_ && result.write.error == configError_) return;  // once per cause
  configFailing_ = true;
  configError_ = result.write.error;
  logLineW(describeConfigFailure(result, folder));
}

void App::installAddon(const std::wstring& folder) {
  if (!isGameFolder(folder)) return;
  const AddonCopyResult copied = copyAddon(addonPayload_, folder);
  const std::wstring target = addonDir(folder);
  switch (copied.outcome) {
    case AddonCopyOutcome::NoPayload:
    case AddonCopyOutcome::UpToDate:
      return;
    case AddonCopyOutcome::Copied:
      logLineW(toWide(sformat("addon: %d file(s) copied into ", copied.filesWritten)) + target);
      return;
    case AddonCopyOutcome::LinkRefused:
      logLineW(L"addon: not copied, " + copied.path +
               L" is a link (junction or symbolic link) and is left as it is");
      return;
    case AddonCopyOutcome::Failed:
      logLineW(L"addon: not copied into " + target + L", " + copied.path +
               toWide(sformat(" failed (error %lu); tried again at the next start", copied.error)));
      return;
  }
}

std::string App::updatedTo() {
  std::lock_guard<std::mutex> hold(mutex_);
  return updatedTo_;
}

void App::postToTray(UINT message, WPARAM wParam) {
  HWND window = trayWindow_;
  if (window) PostMessageW(window, message, wParam, 0);
}
