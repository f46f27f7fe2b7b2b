// The one worker that places the addon in the game folder and keeps its
// Config.lua in the user's language. It always works with the settings
// current when it runs, so a Save made while it waited is never undone, and
// it keeps the answer the windows and the tooltip show. Its log lines come
// once per cause.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include "base/thread.h"
#include "game/addon_report.h"

class AddonKeeper {
 public:
  struct Target {
    std::wstring folder;   // the game folder, or empty
    std::string language;  // the main language
  };
  // `current` is asked for the settings each time the work runs; `changed`
  // is called (on the worker) when a finished run's answer should be shown.
  AddonKeeper(std::wstring payload, std::function<Target()> current,
              std::function<void()> changed);
  ~AddonKeeper();
  AddonKeeper(const AddonKeeper&) = delete;
  AddonKeeper& operator=(const AddonKeeper&) = delete;

  // The worker; false (logged) when no thread could be made: requests are
  // then done on the caller's thread.
  bool start();
  void stop();

  // Asks for a run. `announce`: tell the windows when it ends even if the
  // answer did not change (a Save waits for it). Returns the run's number.
  unsigned long long request(bool announce);
  // One run now, on this thread (before the worker starts, or a run that
  // does one job and ends).
  AddonReport runNow();

  // The last answer, and whether a run asked for with `announce` is still
  // to come (the quiet runs of the periodic checks do not show).
  [[nodiscard]] AddonReport report();
  [[nodiscard]] bool working();
  // The number of the last run that ended, and of the last one asked for.
  [[nodiscard]] unsigned long long finished();
  [[nodiscard]] unsigned long long asked();

 private:
  void loop();
  AddonReport work();
  void log(const AddonReport& report, const AddonCopyResult& copied, const ConfigWrite& config,
           const std::string& language);

  const std::wstring payload_;
  const std::function<Target()> current_;
  const std::function<void()> changed_;
  std::mutex workMutex_;  // one run at a time, whatever thread runs it
  std::mutex mutex_;      // guards what follows
  std::condition_variable wake_;
  bool running_ = false;  // the worker runs
  bool stopping_ = false;
  unsigned long long asked_ = 0;     // the number of the last run asked for
  unsigned long long finished_ = 0;  // and of the last one that ended
  unsigned long long announced_ = 0;  // the last one asked for with announce
  bool announce_ = false;
  bool telling_ = false;  // a finished run's answer is being handed on
  AddonReport report_;
  std::wstring placed_;  // the folder the addon was last placed in whole
  AddonReport logged_;   // the problem last logged, until the work succeeds
  bool payloadLogged_ = false;
  JoinableThread worker_;
};
