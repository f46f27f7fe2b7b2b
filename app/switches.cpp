#include "app/switches.h"

#include "app/app.h"
#include "app/diagnostic.h"
#include "app/messages.h"
#include "app/remote.h"
#include "app/place_addon.h"
#include "app/router.h"
#include "app/tray.h"
#include "base/text.h"
#include "i18n/i18n.h"
#include "ui/mainwnd.h"

namespace {

// The first one given wins: a diagnostic job before a question or an order
// to the running instance.
constexpr RunSwitch kRuns[] = {
    {L"--jsontest", runJsonTest},
    {L"--update-check", runUpdateCheck},
    {L"--verify-release", runVerifyRelease},
    {L"--running", [](const Args&) { return runRunningQuery(); }},
    {L"--quit", [](const Args&) { return runQuit(); }},
    {L"--endsession", [](const Args&) { return runEndSession(); }},
    {L"--place-addon", runPlaceAddon},
};

constexpr int kKeepTab = -1;
constexpr int kSettingsTab = 1;
constexpr int kFirstPage = 0;
// wParam 0 asks for the window as a click on the icon would, tab + 1 for a tab.
constexpr int kTabBias = 1;

// What the running instance does.
void installAsked(int) { installFromTray(); }
void setupAsked(int page) { openSetupPage(page); }
void openAsked(int tab) {
  if (tab == kKeepTab) {
    openFromTray();
  } else {
    openMainUnlessSetup(ui::mainwnd::tabFromNumber(tab));
  }
}

// What a first instance shows.
void showSetup(App&, int page) { openSetupPage(page); }
void showMain(App& app, int tab) {
  if (app.snapshot().wizardDone) {
    openMainUnlessSetup(ui::mainwnd::tabFromNumber(tab));
  } else {
    openSetupPage(kFirstPage);
  }
}
void showNothing(App&, int) {}
// After an upgrade the "updated" balloon says the app runs.
void showPlainStart(App& app, int) {
  if (!app.snapshot().wizardDone) {
    openSetupPage(kFirstPage);
  } else if (app.updatedTo().empty()) {
    showBalloonKeys("tray.balloon.title", "tray.running.text");
  }
}

constexpr StartSwitch kStartSwitches[] = {
    // Nothing is ready to install while a first instance starts.
    {L"--install-update", nullptr, 0, WM_APP_INSTALL, 0, installAsked, nullptr,
     FirstWindow::Never},
    {L"--setup", L"--step", kFirstPage, WM_APP_SETUP, 0, setupAsked, showSetup,
     FirstWindow::Always},
    {L"--settings", nullptr, kSettingsTab, WM_APP_OPEN, kTabBias, openAsked, showMain,
     FirstWindow::Always},
    {L"--open", L"--tab", kKeepTab, WM_APP_OPEN, kTabBias, openAsked, showMain,
     FirstWindow::Always},
    {L"--background", nullptr, 0, WM_NULL, 0, nullptr, showNothing, FirstWindow::Never},
    {nullptr, nullptr, kKeepTab, WM_APP_OPEN, kTabBias, openAsked, showPlainStart,
     FirstWindow::UntilSetupDone},
};
constexpr size_t kStartSwitchCount = sizeof kStartSwitches / sizeof kStartSwitches[0];

// The running instance finds a message's handling in the first row that
// sends it: any later row must read it the same way.
constexpr bool messagesReadAlike() {
  for (size_t i = 0; i < kStartSwitchCount; ++i) {
    for (size_t j = i + 1; j < kStartSwitchCount; ++j) {
      const StartSwitch& a = kStartSwitches[i];
      const StartSwitch& b = kStartSwitches[j];
      if (a.message == b.message &&
          (a.wParamBias != b.wParamBias || a.onRunning != b.onRunning)) {
        return false;
      }
    }
  }
  return true;
}
static_assert(messagesReadAlike(), "rows sharing a message must handle it alike");
// Every start picks the last row when it picks no other.
static_assert(kStartSwitches[kStartSwitchCount - 1].name == nullptr, "the plain start comes last");

bool given(const Args& args, const StartSwitch& row) {
  return !row.name || commandLineHas(args, row.name);
}

StartChoice choice(const Args& args, const StartSwitch& row) {
  StartChoice c{&row, row.value};
  if (row.valueName && commandLineHas(args, row.valueName)) {
    c.number = commandLineNumber(args, row.valueName);
  }
  return c;
}

const StartSwitch* rowSending(UINT message) {
  for (const StartSwitch& row : kStartSwitches) {
    if (row.message == message) return &row;
  }
  return nullptr;
}

}  // namespace

const RunSwitch* selectRun(const Args& args) {
  for (const RunSwitch& run : kRuns) {
    if (commandLineHas(args, run.name)) return &run;
  }
  return nullptr;
}

StartRequest readStartRequest(const Args& args) {
  StartRequest r;
  for (const StartSwitch& row : kStartSwitches) {
    if (!given(args, row)) continue;
    if (!r.forwarded.row) r.forwarded = choice(args, row);
    if (!r.shown.row && row.onFirst) r.shown = choice(args, row);
  }
  return r;
}

ForwardedMessage forwardedMessageFor(const StartRequest& request) {
  const StartChoice& c = request.forwarded;
  return {c.row->message, static_cast<WPARAM>(c.number + c.row->wParamBias)};
}

bool isStartRequest(UINT message) { return rowSending(message) != nullptr; }

void takeStartRequest(UINT message, WPARAM wParam) {
  const StartSwitch* row = rowSending(message);
  if (row && row->onRunning) row->onRunning(static_cast<int>(wParam) - row->wParamBias);
}

void showFirstView(App& app, const StartRequest& request) {
  const std::string updatedTo = app.updatedTo();
  request.shown.row->onFirst(app, request.shown.number);
  if (!updatedTo.empty()) {
    showBalloon(trFormat("upd.done.title", "version", toWide(updatedTo)), tr("upd.done.text"), kBalloonPlain);
  }
}

bool firstViewOpensWindow(App& app, const StartRequest& request) {
  switch (request.shown.row->window) {
    case FirstWindow::Always:
      return true;
    case FirstWindow::UntilSetupDone:
      return !app.snapshot().wizardDone;
    case FirstWindow::Never:
      break;
  }
  return false;
}
