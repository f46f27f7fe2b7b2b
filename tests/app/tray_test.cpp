// The notification-area window in-process, with the shell replaced by a
// recorder so that every request to it can be checked.
#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <mutex>
#include <vector>

#include "app/app.h"
#include "app/messages.h"
#include "app/shell_notify.h"
#include "app/switches.h"
#include "app/tray.h"
#include "base/paths.h"
#include "base/text.h"
#include "gui/theme.h"
#include "i18n/i18n.h"
#include "storage/files.h"
#include "tests/support/test_support.h"
#include "tests/update/fixtures.h"
#include "ui/mainwnd.h"
#include "ui/setup.h"

namespace {

// The main window's tab by its number on the command line; -1 without a window.
int tabNumber(const ui::mainwnd::MainWindow* main) {
  if (!main) return -1;
  return main->tab() == ui::mainwnd::Tab::Settings ? 1 : 0;
}

struct ShellCall {
  DWORD operation;
  NOTIFYICONDATAW data;
};

std::mutex callsLock;
std::vector<ShellCall> calls;
std::atomic<DWORD> hangMs{0};

BOOL WINAPI recordShell(DWORD operation, PNOTIFYICONDATAW data) {
  if (DWORD ms = hangMs.load()) Sleep(ms);
  std::lock_guard<std::mutex> hold(callsLock);
  calls.push_back({operation, *data});
  return TRUE;
}

std::vector<ShellCall> takeCalls() {
  std::lock_guard<std::mutex> hold(callsLock);
  return std::exchange(calls, {});
}

std::vector<ShellCall> balloons(const std::vector<ShellCall>& all) {
  std::vector<ShellCall> out;
  for (const ShellCall& c : all) {
    if (c.operation == NIM_MODIFY && (c.data.uFlags & NIF_INFO)) out.push_back(c);
  }
  return out;
}

void pumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

class TrayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(service.ready());
    ASSERT_TRUE(writeWholeFile(settingsPath(), settingsJson()));
    ui::setShellNotifyFunction(recordShell);
    takeCalls();
    app.prepare();
    window = createTrayWindow(GetModuleHandleW(nullptr), &app);
    ASSERT_NE(window, nullptr);
    app.start(window);
  }
  void TearDown() override {
    if (IsWindow(window)) DestroyWindow(window);
    app.stop();
    releaseTrayController();
    gui::shutdownTheme();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    ui::setShellNotifyFunction(nullptr);
    hangMs = 0;
  }
  virtual std::string settingsJson() {
    return R"({"language":"en","wizardDone":true,"lastVersion":"1.3.0"})";
  }
  LRESULT send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendMessageW(window, message, wParam, lParam);
  }
  std::string log() { return readFileText(joinPath(service.dataDir(), L"cairn.log")); }

  fixtures::Service service;
  App app;
  HWND window = nullptr;
};

TEST_F(TrayTest, AddsTheIconAndSetsItsVersion) {
  const std::vector<ShellCall> c = takeCalls();
  ASSERT_GE(c.size(), 2u);
  EXPECT_EQ(c[0].operation, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(c[0].data.cbSize, 976u);
  EXPECT_EQ(c[0].data.hWnd, window);
  EXPECT_EQ(c[0].data.uID, 1u);
  EXPECT_EQ(c[0].data.uFlags, 0x87u);
  EXPECT_EQ(c[0].data.uCallbackMessage, WM_APP_TRAY);
  EXPECT_EQ(std::wstring(c[0].data.szTip), tr("tray.nowow"));  // no game folder here
  EXPECT_EQ(c[1].operation, static_cast<DWORD>(NIM_SETVERSION));
  EXPECT_EQ(c[1].data.uVersion, 4u);
  EXPECT_EQ(FindWindowW(kTrayWindowClass, nullptr), window);
}

TEST_F(TrayTest, StateChangesRefreshTheTipAndExplorerRestartsReAddTheIcon) {
  TempDir game;
  ASSERT_TRUE(makeDirs(game.file(L"_forever_\\Interface\\AddOns")));
  Settings s = app.snapshot();
  s.foreverDir = game.file(L"_forever_");
  app.applySettings(s);
  // A game folder is not ready for the game until the addon is in it. The
  // folder is read on a worker, and an answer that changes the tip sets it.
  std::vector<ShellCall> c;
  for (const bool addon : {false, true}) {
    if (addon) {
      ASSERT_TRUE(makeDirs(game.file(L"_forever_\\Interface\\AddOns\\Cairn")));
      ASSERT_TRUE(writeWholeFile(game.file(L"_forever_\\Interface\\AddOns\\Cairn\\Cairn.toc"),
                                 "## Title: Cairn\n"));
    }
    takeCalls();
    send(WM_APP_STATE);
    const std::wstring expected = tr(addon ? "tray.ready" : "tray.noaddon");
    c.clear();
    ASSERT_TRUE(waitFor(
        [&] {
          pumpMessages();
          for (const ShellCall& call : takeCalls()) c.push_back(call);
          return !c.empty() && std::wstring(c.back().data.szTip) == expected;
        },
        10000));
    for (const ShellCall& call : c) {
      EXPECT_EQ(call.operation, static_cast<DWORD>(NIM_MODIFY));
      EXPECT_EQ(call.data.uFlags, 0x84u);
    }
  }
  send(RegisterWindowMessageW(L"TaskbarCreated"));
  c = takeCalls();
  ASSERT_EQ(c.size(), 2u);
  EXPECT_EQ(c[0].operation, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(c[0].data.uFlags, 0x87u);
}

TEST_F(TrayTest, MenuHasFiveEntriesOrSevenWithAnUpdate) {
  ScopedMenu menu = buildTrayMenu();
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(GetMenuItemCount(menu), 5);
  EXPECT_TRUE(GetMenuState(menu, 0, MF_BYPOSITION) & MF_GRAYED);
  EXPECT_EQ(GetMenuDefaultItem(menu, FALSE, 0), 2u);
  ASSERT_EQ(app.checkForUpdate().text(), "READY 1.4.0");
  menu = buildTrayMenu();
  EXPECT_EQ(GetMenuItemCount(menu), 7);
  wchar_t text[64] = {};
  GetMenuStringW(menu, 2, text, 64, MF_BYPOSITION);
  EXPECT_EQ(std::wstring(text), L"Install update 1.4.0");
  EXPECT_EQ(GetMenuItemID(menu, 2), 5u);
}

TEST_F(TrayTest, EachReadyVersionIsAnnouncedOnceAndItsBalloonInstalls) {
  ASSERT_EQ(app.checkForUpdate().text(), "READY 1.4.0");
  takeCalls();
  send(WM_APP_UPDATE, updateNewsParam(UpdateNews::Ready));
  send(WM_APP_UPDATE, updateNewsParam(UpdateNews::Ready));
  std::vector<ShellCall> shown = balloons(takeCalls());
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(std::wstring(shown[0].data.szInfoTitle), L"Cairnstone 1.4.0 is ready");
  EXPECT_EQ(shown[0].data.dwInfoFlags, 0x24u);
  // The click runs the installer; the test release is no program, so the
  // start fails and the failure balloon follows.
  send(WM_APP_TRAY, 0, NIN_BALLOONUSERCLICK);
  EXPECT_NE(log().find("update 1.4.0: starting the installer"), std::string::npos);
  shown = balloons(takeCalls());
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(std::wstring(shown[0].data.szInfoTitle), tr("upd.failed.title"));
}

TEST_F(TrayTest, AClickOnTheReadyBalloonRunsTheVerifiedInstaller) {
  const std::wstring record = joinPath(service.dataDir(), L"installer-record.txt");
  ScopedEnv recordEnv(L"CAIRN_TEST_INSTALLER_RECORD", record);
  service.offerProgram();  // its installer is the tests' test_installer.exe
  ASSERT_EQ(app.checkForUpdate().text(), "READY 1.5.0");
  send(WM_APP_UPDATE, updateNewsParam(UpdateNews::Ready));
  send(WM_APP_TRAY, 0, NIN_BALLOONUSERCLICK);
  ASSERT_TRUE(waitFor(
      [&] { return log().find("the installer ended with exit code 0") != std::string::npos; },
      15000))
      << log();
  EXPECT_EQ(readFileText(record).rfind("/S /UPDATE /MAINLANG=en", 0), 0u) << readFileText(record);
}

TEST_F(TrayTest, AClickOnAReplacedBalloonOpensInsteadOfInstalling) {
  ASSERT_EQ(app.checkForUpdate().text(), "READY 1.4.0");
  send(WM_APP_UPDATE, updateNewsParam(UpdateNews::Ready));
  showBalloonKeys("tray.balloon.title", "tray.running.text");
  send(WM_APP_TRAY, 0, NIN_BALLOONUSERCLICK);
  EXPECT_EQ(log().find("starting the installer"), std::string::npos);
  EXPECT_NE(mainWindowHandle(), nullptr);  // setup is done: the main window
}

// A later start's switches, as it sends them, reach the window, tab and page
// asked for; one after another, as the user would start them.
TEST_F(TrayTest, LaterStartsReachTheWindowTabAndPageAskedFor) {
  struct Case {
    std::vector<const wchar_t*> switches;
    int tab;   // of the main window; -1: none open
    int page;  // of the wizard; -1: none open
  };
  const Case cases[] = {
      {{L"--background"}, -1, -1},
      {{L"--settings"}, 1, -1},
      {{L"--open"}, 1, -1},  // keeps the tab
      {{}, 1, -1},
      {{L"--open", L"--tab", L"0"}, 0, -1},
      {{L"--setup", L"--step", L"2"}, 0, 2},
      {{L"--background"}, 0, 2},
      {{L"--install-update"}, 0, 2},  // nothing ready: nothing changes
  };
  for (const Case& c : cases) {
    Args args{L"Cairnstone.exe"};
    for (const wchar_t* sw : c.switches) args.emplace_back(sw);
    SCOPED_TRACE(c.switches.empty() ? "no switch" : toUtf8(args.back()));
    const ForwardedMessage m = forwardedMessageFor(readStartRequest(args));
    EXPECT_EQ(send(m.message, m.wParam), kRequestTaken);
    ui::mainwnd::MainWindow* main = ui::mainwnd::mainWindow();
    EXPECT_EQ(tabNumber(main), c.tab);
    ui::setup::Setup* setup = ui::setup::setupWindow();
    EXPECT_EQ(setup ? setup->page() : -1, c.page);
  }
  closeMainWindow();
  closeSetup();
}

TEST_F(TrayTest, HungShellDelaysEachRequestByTheTimeOutAtMost) {
  takeCalls();
  hangMs = 3500;
  const ULONGLONG begin = GetTickCount64();
  send(WM_APP_STATE);
  EXPECT_GE(GetTickCount64() - begin, 1900u);
  EXPECT_TRUE(takeCalls().empty());  // returned while the shell still hung
  const std::string text = log();
  size_t lines = 0;
  for (size_t at = text.find("the shell did not answer a notification-area request in time");
       at != std::string::npos; at = text.find("the shell did not answer", at + 1)) {
    ++lines;
  }
  EXPECT_EQ(lines, 1u);
}

TEST_F(TrayTest, SessionEndStopsTheControllerOnlyWhenTheSessionEnds) {
  send(WM_ENDSESSION, FALSE, 0);
  EXPECT_TRUE(IsWindow(window));
  EXPECT_EQ(log().find("Windows session ends"), std::string::npos);
  send(WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  EXPECT_FALSE(IsWindow(window));
  const std::string text = log();
  EXPECT_NE(text.find("  Windows session ends\r\n"), std::string::npos);
  EXPECT_NE(text.find("  Cairn stopped\r\n"), std::string::npos);
}

class TraySetupPending : public TrayTest {
  std::string settingsJson() override {
    return R"({"language":"en","wizardDone":false,"lastVersion":"1.3.0"})";
  }
};

TEST_F(TraySetupPending, LeftClickOpensTheWizardAndTheMenuTheMainWindow) {
  send(WM_APP_TRAY, 0, NIN_SELECT);
  EXPECT_NE(setupWindowHandle(), nullptr);
  EXPECT_EQ(mainWindowHandle(), nullptr);
  send(WM_COMMAND, 2);  // the menu's open command, with the wizard open
  EXPECT_EQ(mainWindowHandle(), nullptr);
  closeSetup();
  send(WM_COMMAND, 2);  // and without it
  EXPECT_NE(mainWindowHandle(), nullptr);
}

// While the wizard is open only a request for a page moves it; every other
// way of opening shows it where the user left it.
TEST_F(TraySetupPending, AnOpenWizardKeepsItsPageUnlessAPageIsAskedFor) {
  struct Case {
    const char* what;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    int page;
  };
  const Case cases[] = {
      {"left click", WM_APP_TRAY, 0, WM_LBUTTONUP, 2},
      {"select", WM_APP_TRAY, 0, NIN_SELECT, 2},
      {"keyboard select", WM_APP_TRAY, 0, NIN_KEYSELECT, 2},
      {"plain balloon click", WM_APP_TRAY, 0, NIN_BALLOONUSERCLICK, 2},
      {"plain second start", WM_APP_OPEN, 0, 0, 2},
      {"second start --settings", WM_APP_OPEN, 2, 0, 2},
      {"menu open", WM_COMMAND, 2, 0, 2},
      {"second start --setup --step 3", WM_APP_SETUP, 3, 0, 3},
      {"second start --setup", WM_APP_SETUP, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    openSetup(*trayWindowHost(), 2);
    ASSERT_NE(setupWindowHandle(), nullptr);
    ShowWindow(setupWindowHandle(), SW_MINIMIZE);
    send(c.message, c.wParam, c.lParam);
    ASSERT_NE(ui::setup::setupWindow(), nullptr);
    EXPECT_EQ(ui::setup::setupWindow()->page(), c.page);
    EXPECT_FALSE(IsIconic(setupWindowHandle()));
    EXPECT_TRUE(IsWindowVisible(setupWindowHandle()));
    EXPECT_EQ(mainWindowHandle(), nullptr);
  }
}

}  // namespace

namespace {

// The first view for every combination of switches, with setup done or not
// and right after an upgrade or not.
struct FirstViewCase {
  std::vector<const wchar_t*> switches;
  bool wizardDone;
  bool upgraded;
  bool wizard;          // the wizard opens
  bool mainWindow;      // the main window opens
  bool runningBalloon;  // "Cairnstone is running"
  int at = -1;          // the main window's tab or the wizard's page; -1: not checked
};

class FirstView : public TrayTest, public ::testing::WithParamInterface<FirstViewCase> {
 protected:
  std::string settingsJson() override {
    return std::string(R"({"language":"en","wizardDone":)") +
           (GetParam().wizardDone ? "true" : "false") + R"(,"lastVersion":")" +
           (GetParam().upgraded ? "1.2.0" : "1.3.0") + "\"}";
  }
};

TEST_P(FirstView, SwitchesSetupAndUpgradeDecide) {
  const FirstViewCase& c = GetParam();
  Args args{L"Cairnstone.exe"};
  for (const wchar_t* sw : c.switches) args.emplace_back(sw);
  takeCalls();
  const StartRequest request = readStartRequest(args);
  EXPECT_EQ(firstViewOpensWindow(app, request), c.wizard || c.mainWindow);
  showFirstView(app, request);
  EXPECT_EQ(setupWindowHandle() != nullptr, c.wizard);
  EXPECT_EQ(mainWindowHandle() != nullptr, c.mainWindow);
  if (c.at >= 0) {
    ui::mainwnd::MainWindow* main = ui::mainwnd::mainWindow();
    ui::setup::Setup* setup = ui::setup::setupWindow();
    EXPECT_EQ(c.mainWindow && main ? tabNumber(main) : c.wizard && setup ? setup->page() : -1, c.at);
  }
  std::vector<std::wstring> titles;
  for (const ShellCall& b : balloons(takeCalls())) titles.push_back(b.data.szInfoTitle);
  std::vector<std::wstring> expected;
  if (c.runningBalloon) expected.push_back(tr("tray.balloon.title"));
  if (c.upgraded) expected.push_back(L"Cairnstone was updated to 1.3.0");
  EXPECT_EQ(titles, expected);
  closeMainWindow();
  closeSetup();
}

INSTANTIATE_TEST_SUITE_P(
    EveryStart, FirstView,
    ::testing::Values(FirstViewCase{{}, true, false, false, false, true},
                      FirstViewCase{{}, false, false, true, false, false},
                      FirstViewCase{{L"--background"}, false, false, false, false, false},
                      FirstViewCase{{L"--background"}, true, true, false, false, false},
                      FirstViewCase{{L"--open"}, true, false, false, true, false, 0},
                      FirstViewCase{{L"--open", L"--tab", L"1"}, true, false, false, true, false, 1},
                      FirstViewCase{{L"--open", L"--tab", L"1"}, false, false, true, false, false, 0},
                      FirstViewCase{
                          {L"--settings", L"--background"}, true, true, false, true, false, 1},
                      FirstViewCase{
                          {L"--setup", L"--step", L"2"}, true, false, true, false, false, 2},
                      FirstViewCase{{L"--install-update"}, true, true, false, false, false},
                      FirstViewCase{{L"--install-update"}, true, false, false, false, true},
                      FirstViewCase{
                          {L"--install-update", L"--background"}, true, false, false, false, false},
                      FirstViewCase{{}, true, true, false, false, false}));

}  // namespace
