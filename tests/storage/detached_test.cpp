// Detached workers: each runs once on a thread of its own, and many that end
// at once (faster than their starter) bring nothing down.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <memory>

#include "base/thread.h"
#include "tests/support/test_support.h"

namespace {

TEST(Detached, EveryWorkerRunsOnceOnItsOwnThread) {
  constexpr int kWorkers = 300;
  std::atomic<int> ran{0};
  std::atomic<int> onCaller{0};
  const DWORD caller = GetCurrentThreadId();
  auto shared = std::make_shared<int>(7);
  for (int i = 0; i < kWorkers; ++i) {
    ASSERT_TRUE(startDetached([&ran, &onCaller, caller, shared] {
      if (GetCurrentThreadId() == caller) ++onCaller;
      ran += *shared == 7 ? 1 : 0;
    }));
  }
  EXPECT_TRUE(waitFor([&] { return ran.load() == kWorkers; }, 10000)) << ran.load();
  EXPECT_EQ(onCaller.load(), 0);
  // Each worker let go of what it captured when it ended.
  EXPECT_TRUE(waitFor([&] { return shared.use_count() == 1; }, 10000)) << shared.use_count();
}

}  // namespace
