#include "app/addon_keeper.h"

#include <utility>

#include "base/text.h"
#include "game/addon.h"
#include "game/folder.h"
#include "storage/log.h"

AddonKeeper::AddonKeeper(std::wstring payload, std::function<Target()> current,
                         std::function<void()> changed)
    : payload_(std::move(payload)), current_(std::move(current)), changed_(std::move(changed)) {}

AddonKeeper::~AddonKeeper() { stop(); }

bool AddonKeeper::start() {
  std::lock_guard<std::mutex> hold(mutex_);
  if (running_) return true;
  stopping_ = false;
  running_ = worker_.start([this] { loop(); });
  if (!running_) logLine("addon: no worker thread could be made; the work runs where it is asked");
  return running_;
}

void AddonKeeper::stop() {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    stopping_ = true;
    wake_.notify_all();
  }
  worker_.join();
  std::lock_guard<std::mutex> hold(mutex_);
  running_ = false;
}

unsigned long long AddonKeeper::request(bool announce) {
  unsigned long long number;
  bool inline_;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    number = ++asked_;
    announce_ = announce_ || announce;
    if (announce) announced_ = number;
    inline_ = !running_;
    wake_.notify_all();
  }
  if (inline_) {
    // Without a worker (a one-job run, or none could be made).
    work();
    if (announce && changed_) changed_();
  }
  return number;
}

AddonReport AddonKeeper::runNow() { return work(); }

AddonReport AddonKeeper::report() {
  std::lock_guard<std::mutex> hold(mutex_);
  return report_;
}

bool AddonKeeper::working() {
  std::lock_guard<std::mutex> hold(mutex_);
  return finished_ < announced_ || telling_;
}

unsigned long long AddonKeeper::finished() {
  std::lock_guard<std::mutex> hold(mutex_);
  return finished_;
}

unsigned long long AddonKeeper::asked() {
  std::lock_guard<std::mutex> hold(mutex_);
  return asked_;
}

void AddonKeeper::loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || finished_ < asked_; });
    if (stopping_) return;
    // Requests that came meanwhile are answered by this one run.
    const unsigned long long number = asked_;
    const bool announce = std::exchange(announce_, false);
    const AddonReport before = report_;
    lock.unlock();
    const AddonReport after = work();
    lock.lock();
    finished_ = number;
    if (announce || after != before) {
      telling_ = true;  // still working until the windows were told
      lock.unlock();
      if (changed_) changed_();
      lock.lock();
      telling_ = false;
    }
  }
}

AddonReport AddonKeeper::work() {
  std::lock_guard<std::mutex> one(workMutex_);
  const Target target = current_();
  AddonCopyResult copied;
  copied.outcome = AddonCopyOutcome::UpToDate;
  const bool gameFolder = !target.folder.empty() && isGameFolder(target.folder);
  if (gameFolder) {
    std::wstring placed;
    {
      std::lock_guard<std::mutex> hold(mutex_);
      placed = placed_;
    }
    // Placed again for a new folder, and when the addon went missing.
    if (placed != target.folder || !addonPresent(target.folder)) {
      copied = copyAddon(payload_, target.folder);
    }
  }
  const ConfigWrite config = gameFolder ? writeAddonConfig(target.folder, target.language)
                                        : ConfigWrite();
  const AddonReport report = reportOf(gameFolder ? target.folder : std::wstring(), copied, config);
  log(report, copied, config, target.language);
  std::lock_guard<std::mutex> hold(mutex_);
  if (copied.outcome == AddonCopyOutcome::Copied || copied.outcome == AddonCopyOutcome::UpToDate) {
    placed_ = report.folder;
  }
  report_ = report;
  if (!running_) finished_ = asked_;
  return report;
}

namespace {

std::wstring linkText(const std::wstring& path, const FileOwner& owner) {
  return path + L" is a link made by " + (owner.name.empty() ? L"an unknown account" : owner.name) +
         L" and is left as it is";
}

std::wstring problemText(const AddonReport& report, const AddonCopyResult& copied) {
  const bool ofCopy = copied.outcome == AddonCopyOutcome::LinkRefused ||
                      copied.outcome == AddonCopyOutcome::Failed;
  const std::wstring what = ofCopy ? L"addon: not copied into " + addonDir(report.folder) + L", "
                                   : L"Config.lua: not written, ";
  if (report.problem == AddonProblem::LinkRefused) return what + linkText(report.path, report.owner);
  return what + report.path + toWide(sformat(" failed (error %lu)", report.error));
}

}  // namespace

void AddonKeeper::log(const AddonReport& report, const AddonCopyResult& copied,
                      const ConfigWrite& config, const std::string& language) {
  if (copied.outcome == AddonCopyOutcome::Copied) {
    logLineW(toWide(sformat("addon: %d file(s) copied into ", copied.filesWritten)) +
             addonDir(report.folder));
  }
  if (config.outcome == ConfigOutcome::Written) {
    logLine("Config.lua: " + trimText(buildAddonConfig(language)));
  }
  std::lock_guard<std::mutex> hold(mutex_);
  if (report.problem == AddonProblem::NoPayload) {
    if (!payloadLogged_) {
      logLineW(L"addon: none beside the program (" + payload_ + L"); nothing is copied");
    }
    payloadLogged_ = true;
  }
  if (!blocksAddon(report.problem)) {
    logged_ = AddonReport();
    return;
  }
  if (report == logged_) return;  // once per cause
  logged_ = report;
  logLineW(problemText(report, copied));
}
