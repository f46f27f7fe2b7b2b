#include "ui/game_check.h"

#include <atomic>

#include "base/scoped_handle.h"
#include "base/thread.h"
#include "game/config.h"
#include "game/folder.h"

namespace ui {

namespace {

std::atomic<GameCheckFunction> checkFunction{&readGameState};

}  // namespace

// `ended` orders the worker's write of the state before the owner's read; the
// event is only for waiting, and asking the flag first spares the owner a
// call to the system once the check has ended. The worker reads the window
// after setting `ended`, the owner writes it before asking `ended`: a worker
// that saw no window ended early enough for the owner's wait to find it.
struct GameCheck::Job {
  GameState state;
  std::atomic<bool> ended{false};
  ScopedHandle done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::atomic<HWND> window{nullptr};
};

void setGameCheckFunction(GameCheckFunction function) {
  checkFunction = function ? function : &readGameState;
}

bool GameCheck::start(HWND window, UINT message, const std::wstring& folder) {
  return run(window, message, folder, false);
}

bool GameCheck::startTyped(HWND window, UINT message, const std::wstring& path) {
  return run(window, message, path, true);
}

bool GameCheck::run(HWND window, UINT message, const std::wstring& path, bool resolve) {
  if (job_ && !job_->ended) return false;
  auto job = std::make_shared<Job>();
  if (!job->done.valid()) return false;
  job->window = window;
  const GameCheckFunction check = checkFunction;
  const bool started = startDetached([job, path, resolve, check, message] {
    job->state = check(resolve ? resolveForeverDir(path) : path);
    job->ended = true;
    SetEvent(job->done);
    if (const HWND to = job->window) PostMessageW(to, message, 0, 0);
  });
  if (!started) return false;
  job_ = std::move(job);  // an ended check's untaken result is superseded
  return true;
}

void GameCheck::postTo(HWND window) {
  if (job_) job_->window = window;
}

bool GameCheck::wait(DWORD ms) const {
  return job_ && (job_->ended || WaitForSingleObject(job_->done, ms) == WAIT_OBJECT_0);
}

bool GameCheck::take(GameState& state) {
  if (!job_ || !job_->ended) return false;
  state = std::move(job_->state);
  job_.reset();
  return true;
}

}  // namespace ui
