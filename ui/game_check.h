// The game folder's checks on a worker thread, one at a time, for a window
// that must keep answering while a slow or unreachable drive takes its time.
// The worker shares only its own record with the owner, so the owner and its
// window may go away while a check runs; the worker then ends on its own.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "game/addon.h"

namespace ui {

// How long a click whose answer decides what comes next (the wizard's Next,
// Save) waits for its check before the window shows that it is checking: a
// local folder answers within it, so nothing flickers, and a slow drive's
// answer comes when it comes.
constexpr DWORD kQuickAnswerMs = 50;

class GameCheck {
 public:
  // Starts reading the state of folder unless a check still runs; when it
  // ends, `message` is posted to `window` (a window gone by then is no harm).
  // False when nothing was started.
  // `window` may be null, to be told by postTo() once the window exists.
  bool start(HWND window, UINT message, const std::wstring& folder);
  // The same for a path the user typed or picked: the worker first takes it
  // to the game folder it means (resolveForeverDir), which is the state's
  // folder then, empty when the path means none.
  bool startTyped(HWND window, UINT message, const std::wstring& path);
  // The window a check started without one posts to when it ends. A check
  // that ended before posts nothing: wait() and take() find its result.
  void postTo(HWND window);
  // Waits at most ms for the running check; true when its result is there.
  bool wait(DWORD ms) const;
  // The result of the ended check, once; false while it runs or when there
  // is none, as for the late message of a check already taken.
  bool take(GameState& state);
  // A check runs or its result waits to be taken.
  bool pending() const { return job_ != nullptr; }

 private:
  struct Job;
  bool run(HWND window, UINT message, const std::wstring& path, bool resolve);
  std::shared_ptr<Job> job_;
};

// What the worker runs; tests put a slow check here.
using GameCheckFunction = GameState (*)(const std::wstring& folder);
void setGameCheckFunction(GameCheckFunction function);  // null: readGameState

}  // namespace ui
