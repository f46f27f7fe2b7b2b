// Worker threads. Every thread of the program is made here, through the
// Windows thread API: std::thread::detach with MinGW's winpthreads may throw
// when the thread has already finished, and a thread's work may be move-only.
//
// Two kinds of owner:
// - startDetached: nobody joins; the work owns what it captured and ends on
//   its own.
// - JoinableThread: joined in exactly one place, join(), which the
//   destructor, a move-assignment onto it and a start() over it call for the
//   thread they replace. It is never detached and never ends the program
//   (where std::thread's destructor calls std::terminate). The thread that
//   owns it starts and joins; the worker never joins itself.
#pragma once

#include <memory>
#include <utility>

#include "base/scoped_handle.h"

namespace thread_detail {

struct Work {
  virtual ~Work() = default;
  virtual void run() = 0;
};

template <typename F>
struct WorkOf final : Work {
  explicit WorkOf(F f) : work(std::move(f)) {}
  void run() override { work(); }
  F work;
};

// A running thread that owns `work` and frees it when the work ends; null
// (and `work` freed unrun) when no thread could be made.
HANDLE startThread(std::unique_ptr<Work> work);

template <typename F>
std::unique_ptr<Work> wrap(F&& work) {
  return std::make_unique<WorkOf<std::decay_t<F>>>(std::forward<F>(work));
}

}  // namespace thread_detail

// Runs `work` on a new thread; false (and `work` not run) when no thread
// could be made.
template <typename F>
bool startDetached(F&& work) {
  return ScopedHandle(thread_detail::startThread(thread_detail::wrap(std::forward<F>(work))))
      .valid();
}

class JoinableThread {
 public:
  JoinableThread() = default;
  ~JoinableThread() { join(); }
  JoinableThread(JoinableThread&& other) noexcept = default;
  JoinableThread& operator=(JoinableThread&& other) noexcept {
    if (this != &other) {
      join();
      thread_ = std::move(other.thread_);
    }
    return *this;
  }
  JoinableThread(const JoinableThread&) = delete;
  JoinableThread& operator=(const JoinableThread&) = delete;

  // Joins the thread held, then runs `work` on a new one; false (and `work`
  // not run) when no thread could be made.
  template <typename F>
  bool start(F&& work) {
    join();
    thread_.reset(thread_detail::startThread(thread_detail::wrap(std::forward<F>(work))));
    return thread_.valid();
  }
  // A thread is held and not yet joined (it may have ended).
  bool joinable() const { return thread_.valid(); }
  // Waits for the thread held to end and lets go of it; none held: returns.
  void join();

 private:
  ScopedHandle thread_;
};

// For a crash handler: runs `work` on a fresh thread (a stack of its own)
// and waits up to `waitMs` for it, taking nothing from the heap, which may
// be what broke. NoThread: `work` did not run.
enum class OwnStackRun { Ended, StillRunning, NoThread };
OwnStackRun runOnOwnStack(void (*work)(), DWORD waitMs);
