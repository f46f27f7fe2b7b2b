// The game folder's checks run on a worker: the main window's, the wizard's,
// Save's and the notification area's. With a check held up as a dead network
// share would hold it, the windows keep answering, show their last known
// state (or that they are checking), start no second check, go on with the
// result once it comes, and can be closed while the check still hangs.
#include <windows.h>

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <utility>
#include <vector>

#include "i18n/i18n.h"
#include "tests/gui/gui_test_util.h"
#include "tests/ui/ui_test_util.h"
#include "ui/game_check.h"

using namespace uitest;
using ui::mainwnd::MainWindow;
using ui::mainwnd::mainWindow;
using ui::setup::setupWindow;
namespace mw = ui::mainwnd;
namespace wz = ui::setup;

namespace {

constexpr DWORD kAnswerMs = 100;    // the window answers every message within this
constexpr DWORD kHoldCapMs = 20000;  // a held check never outlives a failed test by more
constexpr DWORD kSettleMs = 10000;
constexpr UINT_PTR kRefreshTimer = 2;
constexpr DWORD kRefreshMs = 3000;  // the window's own refresh period

// Never closed: a worker of a failed test may still wait on it.
const HANDLE holdGate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
std::atomic<int> checksStarted{0};
std::atomic<int> checksInside{0};

GameState heldCheck(const std::wstring& folder) {
  ++checksStarted;
  ++checksInside;
  WaitForSingleObject(holdGate, kHoldCapMs);
  GameState state = readGameState(folder);
  --checksInside;
  return state;
}

// Every check started from now on waits for release().
class HeldChecks {
 public:
  HeldChecks() {
    ResetEvent(holdGate);
    checksStarted = 0;
    ui::setGameCheckFunction(&heldCheck);
  }
  ~HeldChecks() {
    release();
    waitFor([] { return checksInside == 0; }, kHoldCapMs);
    ui::setGameCheckFunction(nullptr);
  }
  void release() { SetEvent(holdGate); }
  int started() const { return checksStarted; }
  int inside() const { return checksInside; }
};

using Messages = std::vector<std::pair<UINT, WPARAM>>;

// Sends the messages to the window from another thread, as Windows and other
// programs do, while this thread runs its message loop. Whether each was
// answered within kAnswerMs, and the slowest round trip in ms.
std::pair<bool, long long> roundTrips(HWND window, const Messages& messages) {
  std::atomic<bool> done{false};
  bool allAnswered = true;
  long long slowest = 0;
  std::thread sender([&] {
    for (const auto& message : messages) {
      DWORD_PTR answer = 0;
      const auto start = std::chrono::steady_clock::now();
      if (!SendMessageTimeoutW(window, message.first, message.second, 0, SMTO_NORMAL, kAnswerMs,
                               &answer)) {
        allAnswered = false;
      }
      const auto took = std::chrono::steady_clock::now() - start;
      slowest = std::max<long long>(
          slowest, std::chrono::duration_cast<std::chrono::milliseconds>(took).count());
    }
    done = true;
  });
  while (!done) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    pump();
  }
  sender.join();
  return {allAnswered, slowest};
}

// A refresh falling due, then ordinary traffic, then the next refresh due.
Messages ticksAndTraffic() {
  Messages messages = {{WM_TIMER, kRefreshTimer}};
  for (int i = 0; i < 20; ++i) messages.push_back({WM_NULL, 0});
  messages.push_back({WM_TIMER, kRefreshTimer});
  for (int i = 0; i < 20; ++i) messages.push_back({WM_NULL, 0});
  return messages;
}

class RefreshTest : public WindowTest {
 protected:
  MainWindow* openOn(mw::TabRequest tab) { return openMainSettled(tab); }
  bool visible(int id) { return controlVisible(mainWindow(), id); }
  void expectAnswering(HWND window) {
    const auto answers = roundTrips(window, ticksAndTraffic());
    EXPECT_TRUE(answers.first) << "slowest round trip " << answers.second << " ms";
  }
  std::wstring wizardField() { return setupWindow()->getEditText(wz::kFolderEdit); }
};

TEST_F(RefreshTest, AHungCheckLeavesTheWindowAnsweringOnItsLastStateWithNoSecondCheck) {
  GameFolder game(false);
  store(game.forever());
  MainWindow* window = openOn(mw::Tab::Status);
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(window->stateKnown());
  ASSERT_FALSE(window->questieOk());

  HeldChecks held;
  game.addQuestie();
  const auto answers = roundTrips(window->hwnd(), ticksAndTraffic());
  EXPECT_TRUE(answers.first) << "slowest round trip " << answers.second << " ms";
  EXPECT_EQ(held.started(), 1);  // the second tick found the first check running
  refreshMainWindow();           // nor does a state change for the same folder start one
  EXPECT_EQ(held.started(), 1);
  EXPECT_TRUE(window->checking());
  EXPECT_FALSE(window->questieOk());  // the last known state until the new one arrives
  EXPECT_TRUE(visible(mw::kQuestieButton));

  held.release();
  ASSERT_TRUE(settleMainWindow(kSettleMs));
  EXPECT_TRUE(window->questieOk());
  EXPECT_FALSE(visible(mw::kQuestieButton));
  EXPECT_EQ(held.started(), 1);
}

TEST_F(RefreshTest, AFolderChangedWhileACheckRunsIsCheckedWhenThatCheckEnds) {
  GameFolder first(true);
  GameFolder second(false);
  store(first.forever());
  MainWindow* window = openOn(mw::Tab::Status);
  ASSERT_NE(window, nullptr);

  HeldChecks held;
  SendMessageW(window->hwnd(), WM_TIMER, kRefreshTimer, 0);
  Settings settings = app.snapshot();
  settings.foreverDir = second.forever();
  app.applySettings(settings);
  pump();  // the window hears of the change while the first check still runs
  EXPECT_EQ(held.started(), 1);
  EXPECT_EQ(window->folder(), first.forever());
  EXPECT_TRUE(window->questieOk());

  held.release();
  ASSERT_TRUE(settleMainWindow(kSettleMs));
  EXPECT_EQ(held.started(), 2);  // the stale answer was dropped and the new folder checked
  EXPECT_EQ(window->folder(), second.forever());
  EXPECT_TRUE(window->folderOk());
  EXPECT_FALSE(window->questieOk());
}

TEST_F(RefreshTest, TheWindowOpensAndClosesWhileItsFirstCheckHangs) {
  GameFolder game(true);
  store(game.forever());
  const int threadsBefore = guitest::liveThreads();
  {
    HeldChecks held;
    openMainWindow(host(), mw::Tab::Status);
    MainWindow* window = mainWindow();
    ASSERT_NE(window, nullptr);
    const HWND handle = window->hwnd();
    EXPECT_TRUE(IsWindowVisible(handle));
    EXPECT_FALSE(window->stateKnown());  // nothing is claimed of the folder yet
    EXPECT_FALSE(visible(mw::kQuestieButton));
    RedrawWindow(handle, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    const auto answers = roundTrips(handle, ticksAndTraffic());
    EXPECT_TRUE(answers.first) << "slowest round trip " << answers.second << " ms";

    pressEscape(handle);
    EXPECT_FALSE(IsWindow(handle));
    EXPECT_EQ(mainWindow(), nullptr);
    EXPECT_EQ(held.inside(), 1);  // closing did not wait for the check
    EXPECT_EQ(held.started(), 1);

    held.release();
    ASSERT_TRUE(waitFor([&] { return held.inside() == 0; }, kSettleMs));
    pump();  // the finished check's message finds no window
  }
  EXPECT_TRUE(waitFor([&] { return guitest::liveThreads() <= threadsBefore; }, kSettleMs))
      << guitest::liveThreads() << " threads, " << threadsBefore << " before";

  MainWindow* again = openOn(mw::Tab::Status);
  ASSERT_NE(again, nullptr);
  EXPECT_TRUE(again->stateKnown());
  EXPECT_TRUE(again->questieOk());
}

// Windows are made only once the checks started so far have ended.
const HANDLE checkEnded = CreateEventW(nullptr, TRUE, FALSE, nullptr);

GameState endingCheck(const std::wstring& folder) {
  ++checksStarted;
  GameState state = readGameState(folder);
  SetEvent(checkEnded);
  return state;
}

LRESULT CALLBACK afterTheCheck(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) {
    WaitForSingleObject(checkEnded, kHoldCapMs);
    Sleep(kAnswerMs);  // the worker's last steps after the check itself
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(RefreshTest, OpeningOnEitherTabChecksTheGameOnce) {
  GameFolder game(true);
  store(game.forever());
  ui::setGameCheckFunction(&endingCheck);
  const HHOOK hook = SetWindowsHookExW(WH_CBT, afterTheCheck, nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  for (const mw::Tab tab : {mw::Tab::Status, mw::Tab::Settings}) {
    ResetEvent(checkEnded);
    checksStarted = 0;
    MainWindow* window = openOn(tab);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->stateKnown()) << static_cast<int>(tab);
    EXPECT_EQ(checksStarted, 1) << static_cast<int>(tab);
    closeMainWindow();
  }
  UnhookWindowsHookEx(hook);
  ui::setGameCheckFunction(nullptr);
}

// The first check starts before the window exists; it still reports to it.
TEST_F(RefreshTest, AFirstCheckEndingAfterTheWindowOpenedShowsItsStateAtOnce) {
  GameFolder game(true);
  store(game.forever());
  HeldChecks held;
  openMainWindow(host(), mw::Tab::Status);
  MainWindow* window = mainWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(window->stateKnown());

  held.release();
  // Well inside the refresh period: the check's own message brought it.
  EXPECT_TRUE(waitFor(
      [&] {
        pump();
        return window->stateKnown();
      },
      kRefreshMs / 2));
  EXPECT_TRUE(window->questieOk());
  EXPECT_EQ(held.started(), 1);
}

TEST_F(RefreshTest, TheWizardReadsItsFolderOnTheWorkerAndNextWaitsForTheAnswer) {
  GameFolder game(false);
  store(L"", false);
  wz::Setup* wizard = nullptr;
  {
    HeldChecks held;
    openSetup(host(), wz::kGamePage);  // arriving reads the field
    wizard = setupWindow();
    ASSERT_NE(wizard, nullptr);
    EXPECT_FALSE(wizard->stateKnown());
    EXPECT_TRUE(showsText(wizard, tr("se.checking")));
    EXPECT_FALSE(showsText(wizard, tr("wz.wow.folder.bad")));  // nothing claimed before the answer
    expectAnswering(wizard->hwnd());
    EXPECT_EQ(held.started(), 1);
    held.release();
    ASSERT_TRUE(settleSetup(kSettleMs));
    EXPECT_TRUE(showsText(wizard, tr("wz.wow.folder.bad")));
  }
  {
    HeldChecks held;  // Check again: the lines keep the last answer until the new one
    wizard->setEditText(wz::kFolderEdit, game.wow());
    click(wizard, wz::kCheckButton);
    expectAnswering(wizard->hwnd());
    EXPECT_EQ(held.started(), 1);
    EXPECT_FALSE(wizard->folderOk());
    EXPECT_TRUE(showsText(wizard, tr("wz.wow.folder.bad")));
    held.release();
    ASSERT_TRUE(settleSetup(kSettleMs));
    EXPECT_TRUE(wizard->folderOk());
    EXPECT_EQ(wizardField(), game.forever());
  }
  {
    HeldChecks held;  // Next stays on the page, saying that it checks
    click(wizard, wz::kNextButton);
    expectAnswering(wizard->hwnd());
    EXPECT_EQ(wizard->page(), wz::kGamePage);
    EXPECT_TRUE(wizard->checking());
    EXPECT_TRUE(showsText(wizard, tr("se.checking")));
    held.release();
    ASSERT_TRUE(settleSetup(kSettleMs));
    EXPECT_EQ(wizard->page(), wz::kDonePage);
  }
}

TEST_F(RefreshTest, TheWizardsFinishStoresTheFolderOnceItWasRead) {
  GameFolder game(true);
  store(L"", false);
  openSetup(host(), wz::kGamePage);
  ASSERT_TRUE(settleSetup(kSettleMs));
  wz::Setup* wizard = setupWindow();
  ASSERT_NE(wizard, nullptr);
  wizard->setEditText(wz::kFolderEdit, game.wow());
  const HWND handle = wizard->hwnd();
  {
    HeldChecks held;
    wizard->goToPage(wz::kDonePage);  // the field was not read yet
    click(wizard, wz::kNextButton);   // Finish
    expectAnswering(handle);
    EXPECT_EQ(held.started(), 1);
    ASSERT_EQ(setupWindow(), wizard);
    EXPECT_TRUE(showsText(wizard, tr("se.checking")));
    EXPECT_FALSE(app.snapshot().wizardDone);
    held.release();
    ASSERT_TRUE(settleSetup(kSettleMs));
  }
  EXPECT_FALSE(IsWindow(handle));
  EXPECT_TRUE(app.snapshot().wizardDone);
  EXPECT_EQ(app.snapshot().foreverDir, game.forever());
  EXPECT_TRUE(pumpUntil([&] { return app.gameStateKnown(); }, kSettleMs));
  EXPECT_EQ(app.status(), AppStatus::Ready);  // read anew on the worker for the tooltip
}

TEST_F(RefreshTest, TheWizardReadsTypedTextOnceTypingPauses) {
  GameFolder game(false);
  store(L"", false);
  openSetup(host(), wz::kGamePage);
  ASSERT_TRUE(settleSetup(kSettleMs));
  wz::Setup* wizard = setupWindow();
  ASSERT_NE(wizard, nullptr);
  ui::setGameCheckFunction(&endingCheck);
  checksStarted = 0;
  // Typed a character at a time: the text is read once, whole, when typing pauses.
  const std::wstring path = game.wow();
  for (size_t n = path.size() - 4; n <= path.size(); ++n) {
    wizard->setEditText(wz::kFolderEdit, path.substr(0, n));
  }
  EXPECT_FALSE(wizard->folderOk());
  EXPECT_TRUE(pumpUntil([&] { return wizard->folderOk(); }, kSettleMs));
  EXPECT_EQ(checksStarted, 1);
  EXPECT_EQ(wizardField(), game.forever());
  EXPECT_TRUE(controlVisible(wizard, wz::kQuestieLink));

  wizard->setEditText(wz::kFolderEdit, game.notGame());
  EXPECT_TRUE(pumpUntil([&] { return !wizard->folderOk(); }, kSettleMs));
  EXPECT_EQ(checksStarted, 2);
  EXPECT_EQ(wizardField(), game.notGame());  // a bad folder stays as typed
  ui::setGameCheckFunction(nullptr);
}

TEST_F(RefreshTest, SaveReadsATypedFolderOnTheWorkerAndStoresItOnceItIsKnown) {
  GameFolder game(true);
  MainWindow* window = openOn(mw::Tab::Settings);
  ASSERT_NE(window, nullptr);
  {
    HeldChecks held;
    window->setEditText(mw::kFolderEdit, game.wow());
    click(window, mw::kSaveButton);
    expectAnswering(window->hwnd());
    EXPECT_EQ(held.started(), 1);
    EXPECT_TRUE(window->checking());
    EXPECT_EQ(window->message(), tr("se.checking"));
    EXPECT_EQ(app.snapshot().foreverDir, L"");  // nothing is stored before the answer
    held.release();
    ASSERT_TRUE(settleMainWindow(kSettleMs));
  }
  EXPECT_EQ(window->message(), tr("se.saved"));
  EXPECT_EQ(window->getEditText(mw::kFolderEdit), game.forever());
  EXPECT_EQ(app.snapshot().foreverDir, game.forever());
  EXPECT_EQ(app.status(), AppStatus::Ready);
}

TEST_F(RefreshTest, TheTipAndTheMenuShowTheLastKnownStateAndANewFolderIsReadOnTheWorker) {
  GameFolder game(true);
  store(game.forever());
  ASSERT_TRUE(pumpUntil([&] { return app.gameStateKnown(); }, kSettleMs));
  EXPECT_EQ(trayStatusText(), tr("tray.ready"));
  {
    HeldChecks held;
    store(game.notGame());  // the notification area reads the new folder on the worker
    expectAnswering(tray);
    EXPECT_EQ(held.started(), 1);
    EXPECT_EQ(trayStatusText(), tr("tray.ready"));  // the last known state until the answer
    ScopedMenu menu = buildTrayMenu();
    ASSERT_NE(menu, nullptr);
    wchar_t line[128] = {};
    GetMenuStringW(menu, 0, line, 128, MF_BYPOSITION);
    EXPECT_EQ(std::wstring(line), tr("tray.ready"));
    held.release();
    EXPECT_TRUE(pumpUntil([&] { return app.gameStateKnown(); }, kSettleMs));
  }
  EXPECT_EQ(trayStatusText(), tr("tray.nowow"));
}

}  // namespace
