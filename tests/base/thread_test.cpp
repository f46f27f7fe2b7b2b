// Worker threads: detached workers each run once on a thread of their own,
// and many that end at once (faster than their starter) bring nothing down;
// a joinable owner's thread is joined exactly where the owner says.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <functional>
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

// Each case does something with two owners and a work that takes a moment
// (so a join that does not wait shows); afterwards both are joined.
TEST(Joinable, IsJoinedWhereTheOwnerSays) {
  constexpr DWORD kWorkMs = 30;
  struct Case {
    const char* name;
    std::function<void(JoinableThread& a, JoinableThread& b, const std::function<void()>& work)>
        steps;
    bool aJoinable, bJoinable;
    int doneAfterSteps;  // at least this many works ended when the steps return
    int started;
  } cases[] = {
      {"never started", [](JoinableThread&, JoinableThread&, auto&) {}, false, false, 0, 0},
      {"started", [](JoinableThread& a, JoinableThread&, auto& w) { a.start(w); }, true, false, 0,
       1},
      {"joined, twice",
       [](JoinableThread& a, JoinableThread&, auto& w) {
         a.start(w);
         a.join();
         a.join();
       },
       false, false, 1, 1},
      {"moved into a new owner",
       [](JoinableThread& a, JoinableThread& b, auto& w) {
         a.start(w);
         JoinableThread moved(std::move(a));
         b = std::move(moved);
       },
       false, true, 0, 1},
      {"moved onto a running one",
       [](JoinableThread& a, JoinableThread& b, auto& w) {
         b.start(w);
         a.start(w);
         b = std::move(a);  // b's first thread is joined here
       },
       false, true, 1, 2},
      {"started again",
       [](JoinableThread& a, JoinableThread&, auto& w) {
         a.start(w);
         a.start(w);  // the first is joined before the second starts
       },
       true, false, 1, 2},
      {"destroyed",
       [](JoinableThread&, JoinableThread&, auto& w) {
         JoinableThread scoped;
         scoped.start(w);
       },
       false, false, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::atomic<int> done{0};
    std::atomic<int> onCaller{0};
    const DWORD caller = GetCurrentThreadId();
    const std::function<void()> work = [&] {
      if (GetCurrentThreadId() == caller) ++onCaller;
      Sleep(kWorkMs);
      ++done;
    };
    JoinableThread a, b;
    c.steps(a, b, work);
    EXPECT_GE(done.load(), c.doneAfterSteps);
    EXPECT_EQ(a.joinable(), c.aJoinable);
    EXPECT_EQ(b.joinable(), c.bJoinable);
    a.join();
    b.join();
    EXPECT_EQ(done.load(), c.started);
    EXPECT_FALSE(a.joinable() || b.joinable());
    EXPECT_EQ(onCaller.load(), 0);
  }
}

TEST(Joinable, TakesMoveOnlyWorkAndFreesItWhenJoined) {
  auto owned = std::make_unique<int>(42);
  std::weak_ptr<int> watch;
  int seen = 0;
  {
    auto shared = std::make_shared<int>(1);
    watch = shared;
    JoinableThread thread;
    ASSERT_TRUE(thread.start(
        [&seen, value = std::move(owned), keep = std::move(shared)] { seen = *value + *keep; }));
    thread.join();
    EXPECT_EQ(seen, 43);
    EXPECT_TRUE(watch.expired());
  }
}

// The crash handler's runner: the work's own thread, a bounded wait.
HANDLE gRelease = nullptr;
std::atomic<DWORD> gRanOn{0};
void quickWork() { gRanOn = GetCurrentThreadId(); }
void blockedWork() {
  gRanOn = GetCurrentThreadId();
  WaitForSingleObject(gRelease, INFINITE);
}

TEST(OwnStack, RunsOnAThreadOfItsOwnAndWaitsOnlySoLong) {
  gRelease = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(gRelease, nullptr);
  const struct {
    void (*work)();
    DWORD waitMs;
    OwnStackRun expected;
  } cases[] = {{quickWork, INFINITE, OwnStackRun::Ended},
               {blockedWork, 50, OwnStackRun::StillRunning}};
  for (const auto& c : cases) {
    gRanOn = 0;
    EXPECT_EQ(runOnOwnStack(c.work, c.waitMs), c.expected);
    EXPECT_TRUE(waitFor([] { return gRanOn.load() != 0; }, 10000));
    EXPECT_NE(gRanOn.load(), GetCurrentThreadId());
  }
  SetEvent(gRelease);
}

}  // namespace
