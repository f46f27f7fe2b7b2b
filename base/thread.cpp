#include "base/thread.h"

#include <windows.h>

#include <process.h>

#include <memory>

namespace {

unsigned __stdcall runWork(void* parameter) {
  std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(parameter));
  (*work)();
  return 0;
}

}  // namespace

bool startDetached(std::function<void()> work) {
  auto owned = std::make_unique<std::function<void()>>(std::move(work));
  const uintptr_t thread = _beginthreadex(nullptr, 0, runWork, owned.get(), 0, nullptr);
  if (thread == 0) return false;
  owned.release();  // the thread owns it now
  CloseHandle(reinterpret_cast<HANDLE>(thread));
  return true;
}
