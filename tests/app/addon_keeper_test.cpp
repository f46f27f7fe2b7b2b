// The addon's worker: it writes with the settings current when it runs, one
// run answers the requests that came while it waited, and a changed answer
// is handed on.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <mutex>

#include "app/addon_keeper.h"
#include "base/paths.h"
#include "base/scoped_handle.h"
#include "game/addon.h"
#include "storage/files.h"
#include "tests/support/test_support.h"

namespace {

TEST(AddonKeeper, WritesTheSettingsCurrentWhenItRunsAndAnswersWaitingRequestsInOneRun) {
  TempDir dir;
  const std::wstring game = dir.file(L"_forever_");
  ASSERT_TRUE(makeDirs(addonDir(game)));
  std::mutex mutex;
  std::string language = "it";
  int asked = 0;
  ScopedHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::atomic<int> told{0};
  AddonKeeper keeper(
      L"",
      [&] {
        std::lock_guard<std::mutex> hold(mutex);
        ++asked;
        return AddonKeeper::Target{game, language};
      },
      [&] {
        // The first answer waits: meanwhile the user saves twice.
        if (told++ == 0) WaitForSingleObject(release.get(), 10000);
      });
  ASSERT_TRUE(keeper.start());
  (void)keeper.request(true);
  ASSERT_TRUE(waitFor([&] { return told > 0; }, 10000));
  EXPECT_TRUE(keeper.working());  // not done until the windows were told
  {
    std::lock_guard<std::mutex> hold(mutex);
    language = "de";
  }
  (void)keeper.request(true);
  {
    std::lock_guard<std::mutex> hold(mutex);
    language = "pl";
  }
  const unsigned long long last = keeper.request(false);
  SetEvent(release.get());
  ASSERT_TRUE(waitFor([&] { return keeper.finished() >= last && !keeper.working(); }, 10000));
  keeper.stop();
  // The last saved language, written by one more run, not one per request.
  EXPECT_EQ(readFileText(joinPath(addonDir(game), L"Config.lua")),
            "CairnInstall = { lang = \"pl\" }\n");
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(told, 2);
  EXPECT_EQ(keeper.report().folder, game);
  EXPECT_EQ(keeper.report().problem, AddonProblem::NoPayload);
}

}  // namespace
