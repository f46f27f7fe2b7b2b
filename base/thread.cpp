#include "base/thread.h"

namespace {

// An exception that escapes the work ends the program, as it would on any
// other thread.
void runWork(thread_detail::Work& work) noexcept { work.run(); }

DWORD WINAPI runOwnedWork(void* parameter) {
  std::unique_ptr<thread_detail::Work> work(static_cast<thread_detail::Work*>(parameter));
  runWork(*work);
  return 0;
}

DWORD WINAPI runPlainWork(void* parameter) {
  reinterpret_cast<void (*)()>(parameter)();
  return 0;
}

}  // namespace

HANDLE thread_detail::startThread(std::unique_ptr<Work> work) {
  HANDLE thread = CreateThread(nullptr, 0, runOwnedWork, work.get(), 0, nullptr);
  if (thread) work.release();  // the thread owns it now
  return thread;
}

void JoinableThread::join() {
  if (!thread_.valid()) return;
  WaitForSingleObject(thread_, INFINITE);
  thread_.reset();
}

OwnStackRun runOnOwnStack(void (*work)(), DWORD waitMs) {
  ScopedHandle thread(
      CreateThread(nullptr, 0, runPlainWork, reinterpret_cast<void*>(work), 0, nullptr));
  if (!thread.valid()) return OwnStackRun::NoThread;
  return WaitForSingleObject(thread, waitMs) == WAIT_OBJECT_0 ? OwnStackRun::Ended
                                                              : OwnStackRun::StillRunning;
}
