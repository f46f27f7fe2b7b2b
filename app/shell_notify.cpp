#include "app/shell_notify.h"

#include <atomic>
#include <memory>

#include "base/scoped_handle.h"
#include "base/thread.h"
#include "storage/log.h"

namespace ui {

namespace {

// Shared by the caller and the worker; whoever finishes last frees it, so a
// worker stuck in the shell outlives a caller that stopped waiting.
struct Job {
  NOTIFYICONDATAW data;
  ScopedHandle done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::atomic<bool> succeeded{false};
};

std::atomic<ShellNotifyFunction> notifyFunction{&Shell_NotifyIconW};

}  // namespace

void setShellNotifyFunction(ShellNotifyFunction function) {
  notifyFunction = function ? function : &Shell_NotifyIconW;
}

void shellNotify(DWORD operation, const NOTIFYICONDATAW& data, DWORD timeoutMs) {
  auto job = std::make_shared<Job>();
  job->data = data;
  if (!job->done.valid()) return;
  const ShellNotifyFunction notify = notifyFunction;
  const bool started = startDetached([job, operation, notify] {
    job->succeeded = notify(operation, &job->data) != FALSE;
    SetEvent(job->done);
  });
  if (!started) return;  // no thread, no request: as if the shell had refused it
  if (WaitForSingleObject(job->done, timeoutMs) != WAIT_OBJECT_0) {
    logLine("the shell did not answer a notification-area request in time");
  }
}

}  // namespace ui
