// The controller's update cycle: the periodic check (timed by the
// notification-area window, or by a waiting thread without one),
// keeping one verified installer ready, running it and watching it end.
#include <algorithm>
#include <chrono>

#include "app/app.h"
#include "app/messages.h"
#include "base/scoped_handle.h"
#include "base/text.h"
#include "base/version.h"
#include "game/folder.h"
#include "i18n/i18n.h"
#include "storage/log.h"
#include "update/download.h"
#include "update/install.h"
#include "update/release.h"
#include "update/service.h"

namespace {

constexpr long long kFirstCheckMs = 20000;
constexpr long long kCheckIntervalMs = 6LL * 60 * 60 * 1000;
constexpr DWORD kWatchSliceMs = 200;

}  // namespace

UpdateSchedule updateSchedule(const std::wstring& updateMs) {
  const long long overridden = _wtoi(updateMs.c_str());
  if (overridden >= 1) return {std::min(overridden, kFirstCheckMs), overridden};
  return {kFirstCheckMs, kCheckIntervalMs};
}

void App::updateLoop() {
  long long waitMs = schedule_.firstWaitMs;
  while (!quitting_) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
      updateWake_.wait_until(lock, deadline, [this] { return quitting_.load(); });
    }
    if (quitting_) return;
    waitMs = schedule_.intervalMs;
    runScheduledCheck();
  }
}

void App::runScheduledCheck() {
  if (installerRunning_) return;  // no check while an installer runs
  if (firstCheck_) removeOldInstallers();
  const UpdateStatus status = checkForUpdate();
  if (quitting_) return;
  // Ready is logged by the download itself; a repeated status only once.
  if (!status.isReady() && status != lastCheck_) logLine("update check: " + status.text());
  lastCheck_ = status;
  firstCheck_ = false;
}

void App::timeNextCheck(long long waitMs) {
  const UINT ms = static_cast<UINT>(std::min<long long>(waitMs, USER_TIMER_MAXIMUM));
  if (HWND window = trayWindow_) SetTimer(window, kUpdateTimerId, ms, nullptr);
}

void App::onUpdateTimer() {
  if (HWND window = trayWindow_) KillTimer(window, kUpdateTimerId);
  if (quitting_ || checkThread_.joinable()) return;  // the running one times the next
  const bool started = checkThread_.start([this] {
    runScheduledCheck();
    postToTray(WM_APP_CHECKED, 0);
  });
  if (!started) timeNextCheck(schedule_.intervalMs);  // the next one may find a thread
}

void App::onUpdateCheckDone() {
  checkThread_.join();
  if (!quitting_) timeNextCheck(schedule_.intervalMs);
}

UpdateStatus App::checkForUpdate() {
  ReleaseInfo offered;
  if (!fetchRelease(&cancelNetwork_, offered)) return UpdateStatus::noServer();
  TrustedRelease release;
  std::string error;
  const ReleaseVerdict verdict = evaluateRelease(offered, APP_VERSION, release, error);
  if (verdict == ReleaseVerdict::Refused) return UpdateStatus::refused(error);
  if (verdict == ReleaseVerdict::NotNewer) {
    bool dropped = false;
    {
      std::lock_guard<std::mutex> hold(mutex_);
      if (!readyInstaller_.empty() && !installerRunning_) {
        discardInstaller(readyInstaller_);
        dropped = true;
      }
    }
    if (dropped) {
      logLine("update: the server no longer offers the downloaded version; it is dropped");
      postToTray(WM_APP_STATE, 0);
    }
    return UpdateStatus::notNewer(offered.version);
  }
  {
    std::lock_guard<std::mutex> hold(mutex_);
    if (!readyInstaller_.empty() && readyInstaller_.version == release.version) {
      return UpdateStatus::ready(release.version);
    }
  }
  removeOldInstallers();
  ReadyInstaller downloaded;
  if (!downloadInstaller(release, &cancelNetwork_, downloaded, error)) {
    return UpdateStatus::failed(release.version, error);
  }
  return storeDownloaded(std::move(downloaded));
}

// Keeps exactly one verified installer; one that arrives while an installer
// runs is dropped, so the running one's file is never replaced.
UpdateStatus App::storeDownloaded(ReadyInstaller downloaded) {
  const std::string version = downloaded.version;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    if (installerRunning_) {
      discardInstaller(downloaded);
      return UpdateStatus::installing();
    }
    if (!readyInstaller_.empty()) discardInstaller(readyInstaller_);
    readyInstaller_ = std::move(downloaded);
  }
  logLine("update " + version + " downloaded and checked (size, SHA-256, signature): ready to install");
  postToTray(WM_APP_UPDATE, updateNewsParam(UpdateNews::Ready));
  return UpdateStatus::ready(version);
}

std::string App::readyUpdateVersion() {
  if (installerRunning_) return {};
  std::lock_guard<std::mutex> hold(mutex_);
  return readyInstaller_.empty() ? std::string() : readyInstaller_.version;
}

InstallResult App::installUpdate(HWND owner, ScopedHandle* process) {
  std::string version;
  std::wstring folder;
  std::string lang;
  HANDLE checkedFile;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    if (installerRunning_) return InstallResult::Started;
    if (readyInstaller_.empty()) return InstallResult::NothingReady;
    installerRunning_ = true;
    version = readyInstaller_.version;
    checkedFile = readyInstaller_.handle();
    folder = settings_.foreverDir;
    lang = settings_.language;  // installerArgs turns an unknown code into "en"
  }
  if (!isGameFolder(folder)) folder.clear();
  const std::wstring args = installerArgs(folder, lang, autostartEnabled());
  logLineW(L"update " + toWide(version) + L": starting the installer " + args);
  ScopedHandle started;
  std::string error;
  const InstallResult result = startInstaller(checkedFile, owner, args, started, error);
  if (result == InstallResult::Declined) {
    installerRunning_ = false;
    logLine("update: Windows' permission prompt was declined; the update waits");
    return result;
  }
  if (result != InstallResult::Started) {
    installerRunning_ = false;
    logLine("update: " + error);
    return result;
  }
  if (process) {
    *process = std::move(started);
    return InstallResult::Started;
  }
  postToTray(WM_APP_STATE, 0);
  const bool watched =
      installerThread_.start([this, installer = std::move(started), version]() mutable {
        watchInstaller(std::move(installer), version);
      });
  if (!watched) {
    // Nobody would see it end: later checks are not held up by it.
    installerRunning_ = false;
    logLine("update " + version + ": the installer runs unwatched (no thread could be made)");
    postToTray(WM_APP_STATE, 0);
  }
  return InstallResult::Started;
}

void App::watchInstaller(ScopedHandle process, std::string version) {
  DWORD wait;
  while ((wait = WaitForSingleObject(process, kWatchSliceMs)) == WAIT_TIMEOUT && !quitting_) {
  }
  if (quitting_) return;
  DWORD code = 0;
  if (wait != WAIT_OBJECT_0 || !GetExitCodeProcess(process, &code)) {
    // Without an exit code the installer's fate is unknown; blocking every
    // later check until the next start would help nobody.
    installerRunning_ = false;
    logLine("update " + version + ": the installer's exit code cannot be read");
    postToTray(WM_APP_STATE, 0);
    return;
  }
  process.reset();
  installerRunning_ = false;
  logLine(sformat("update %s: the installer ended with exit code %lu", version.c_str(), code));
  postToTray(WM_APP_UPDATE,
             updateNewsParam(code == 0 ? UpdateNews::Installed : UpdateNews::Failed));
  postToTray(WM_APP_STATE, 0);
}
