// Every text of both windows is shown whole: each text as the windows draw
// it, measured here with the font they draw it in against the box they give
// it, in every language at every DPI a window is laid out at on the screens
// of guitest::kScreens (and at 96 and 144), on both tabs and every wizard
// page, in each state that changes what is written. Text does not scale
// evenly with the DPI (glyphs snap to whole pixels), so each DPI counts.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "i18n/i18n.h"
#include "tests/gui/gui_test_util.h"
#include "tests/gui/screens.h"
#include "tests/ui/ui_test_util.h"
#include "tests/update/fixtures.h"
#include "ui/game_check.h"

using namespace uitest;
namespace mw = ui::mainwnd;
namespace wz = ui::setup;

namespace {

// Checks that wait until released, to see what the windows show meanwhile.
// Never closed: a worker of a failed test may still wait on it.
const HANDLE checkGate = CreateEventW(nullptr, TRUE, TRUE, nullptr);
GameState gatedCheck(const std::wstring& folder) {
  WaitForSingleObject(checkGate, 20000);
  return readGameState(folder);
}

// Measured apart from the toolkit: one line by its extent and the font's
// height, wrapped text by DrawText's own calculation in the box's width.
// Empty when the text is shown whole, else what it needs against what it has.
std::string shortfall(HDC dc, const gui::DrawnText& drawn) {
  const int width = drawn.box.right - drawn.box.left;
  const int height = drawn.box.bottom - drawn.box.top;
  HGDIOBJ old = SelectObject(dc, drawn.font);
  SIZE need = {};
  if (drawn.flags & DT_SINGLELINE) {
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    GetTextExtentPoint32W(dc, drawn.text.c_str(), static_cast<int>(drawn.text.size()), &need);
    need.cy = metrics.tmHeight;
  } else {
    RECT box = {0, 0, width, 0};
    DrawTextW(dc, drawn.text.c_str(), -1, &box, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    need = {box.right, box.bottom};
  }
  SelectObject(dc, old);
  if (need.cx <= width && need.cy <= height) return std::string();
  return " needs " + std::to_string(need.cx) + "x" + std::to_string(need.cy) + ", has " +
         std::to_string(width) + "x" + std::to_string(height);
}

// Where DrawText puts the text's lines inside its box.
RECT inkOf(HDC dc, const gui::DrawnText& drawn) {
  const RECT& box = drawn.box;
  HGDIOBJ old = SelectObject(dc, drawn.font);
  RECT ink = {box.left, box.top, box.right, box.bottom};
  if (drawn.flags & DT_SINGLELINE) {
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    SIZE size = {};
    GetTextExtentPoint32W(dc, drawn.text.c_str(), static_cast<int>(drawn.text.size()), &size);
    ink.left = (drawn.flags & DT_CENTER)  ? (box.left + box.right - size.cx) / 2
               : (drawn.flags & DT_RIGHT) ? box.right - size.cx
                                          : box.left;
    ink.top = (drawn.flags & DT_VCENTER) ? (box.top + box.bottom - metrics.tmHeight) / 2 : box.top;
    ink.right = ink.left + size.cx;
    ink.bottom = ink.top + metrics.tmHeight;
  } else {
    RECT need = {0, 0, box.right - box.left, 0};
    DrawTextW(dc, drawn.text.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    ink = {box.left, box.top, box.left + need.right, box.top + need.bottom};
  }
  SelectObject(dc, old);
  IntersectRect(&ink, &ink, &box);  // DrawText clips to the box
  return ink;
}

// The DPIs a window of `dip` is laid out at: on each screen of the table as
// it fits there, at that screen's own DPI on a larger screen, and at 96 and 144.
std::set<UINT> layoutDpis(SIZE dip) {
  std::set<UINT> dpis = {96, 144};
  for (const guitest::Screen& screen : guitest::kScreens) {
    const int bar = GetSystemMetrics(SM_CXVSCROLL);
    dpis.insert(screen.dpi);
    dpis.insert(gui::fitWindow(dip, screen.dpi, gui::windowFrame(screen.dpi), bar, screen.work)
                    .layoutDpi);
  }
  return dpis;
}

class TextFitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(service.ready());
    Settings earlier;  // this run was updated from an earlier release: the notice shows
    earlier.wizardDone = true;
    earlier.lastVersion = "1.2.0";
    ASSERT_TRUE(saveSettings(earlier));
    app.prepare();
    tray = createTrayWindow(GetModuleHandleW(nullptr), &app);
    ASSERT_NE(tray, nullptr);
    DeleteFileW((noAddon.addOns() + L"\\Cairn\\Cairn.toc").c_str());
  }
  void TearDown() override {
    closeMainWindow();
    closeSetup();
    if (tray) DestroyWindow(tray);
    pump();
    releaseTrayController();
  }

  void store(const std::string& language, const std::wstring& folder) {
    Settings settings = app.snapshot();
    settings.language = language;
    settings.foreverDir = folder;
    app.applySettings(settings);
    refreshMainWindow();
    refreshSetup();
    pump();
  }

  // Paints the window as WM_PAINT does and notes every text it could not show
  // whole. A folder path may be too long for any box: it must then be offered
  // whole as the tooltip and accessible name instead.
  void measure(gui::Surface* surface, const std::string& where, int widthDip, int heightDip) {
    ASSERT_NE(surface, nullptr) << where;
    // The designed size: a screen smaller than the window would clip the real one.
    const RECT client = {0, 0, surface->scale(widthDip), surface->scale(heightDip)};
    guitest::Bitmap32 picture(client.right, client.bottom, RGB(0, 0, 0));
    surface->renderTo(picture.dc(), client);
    ASSERT_FALSE(surface->drawnTexts().empty()) << where;
    for (const gui::DrawnText& drawn : surface->drawnTexts()) {
      const std::string missing = shortfall(picture.dc(), drawn);
      if (missing.empty()) continue;
      bool offered = false;
      for (const gui::CutText& cut : surface->cutTexts()) offered |= cut.text == drawn.text;
      if (!(drawn.flags & DT_PATH_ELLIPSIS) || !offered) {
        cuts.insert(where + ": \"" + toUtf8(drawn.text) + "\"" + missing);
      }
    }
    // Nor may one text lie over another (a caption and its shadow are one).
    const std::vector<gui::DrawnText>& drawn = surface->drawnTexts();
    for (size_t i = 0; i < drawn.size(); ++i) {
      const RECT a = inkOf(picture.dc(), drawn[i]);
      RECT within;
      if (!IntersectRect(&within, &a, &client) || !EqualRect(&within, &a)) {
        cuts.insert(where + ": \"" + toUtf8(drawn[i].text) + "\" leaves the window");
      }
      for (size_t j = i + 1; j < drawn.size(); ++j) {
        const RECT b = inkOf(picture.dc(), drawn[j]);
        RECT both;
        if (drawn[i].text != drawn[j].text && IntersectRect(&both, &a, &b)) {
          cuts.insert(where + ": \"" + toUtf8(drawn[i].text) + "\" and \"" + toUtf8(drawn[j].text) +
                      "\" overlap");
        }
      }
    }
  }

  void measureMain(const std::string& where) {
    ASSERT_TRUE(settleMainWindow()) << where;  // the game state comes from a worker
    measure(mw::mainWindow(), where, 900, 640);
  }
  void measureSetup(const std::string& where) { measure(wz::setupWindow(), where, 780, 560); }

  void measureMainWindow(const std::string& where, UINT dpi) {
    openMainWindow(host(), mw::Tab::Status);
    pump();
    mw::MainWindow* window = mw::mainWindow();
    ASSERT_NE(window, nullptr);
    switchDpi(window, dpi, 900, 640);
    pump();
    ASSERT_EQ(window->dpi(), dpi) << where;  // the test's screen holds the window at dpi
    measureMain(where + " status");
    store(app.language(), L"");
    measureMain(where + " status, no folder");
    store(app.language(), complete.forever());
    measureMain(where + " status, all found");
    store(app.language(), noAddon.forever());
    measureMain(where + " status, no addon");
    click(window, mw::kSettingsTabId);
    measureMain(where + " settings");
    window->setEditText(mw::kFolderEdit, complete.notGame());
    click(window, mw::kSaveButton);
    measureMain(where + " settings, refused folder");
    window->setEditText(mw::kFolderEdit, noQuestie.forever());
    click(window, mw::kSaveButton);
    measureMain(where + " settings, saved");
    DeleteFileW(settingsPath().c_str());
    CreateDirectoryW(settingsPath().c_str(), nullptr);  // Windows refuses the next save
    click(window, mw::kSaveButton);
    measureMain(where + " settings, not saved");
    RemoveDirectoryW(settingsPath().c_str());
    closeMainWindow();
    pump();
  }

  void measureWizard(const std::string& where, UINT dpi) {
    openSetup(host(), 0);
    pump();
    wz::Setup* wizard = wz::setupWindow();
    ASSERT_NE(wizard, nullptr);
    switchDpi(wizard, dpi, 780, 560);
    pump();
    ASSERT_EQ(wizard->dpi(), dpi) << where;
    for (int page = wz::kWelcomePage; page <= wz::kDonePage; ++page) {
      wizard->goToPage(page);
      measureSetup(where + " page " + std::to_string(page + 1));
    }
    const std::pair<std::wstring, const char*> folders[] = {
        {complete.notGame(), "refused folder"},
        {noQuestie.forever(), "no Questie"},
        {noAddon.forever(), "no addon"},
        {complete.forever(), "all found"},
    };
    for (const auto& folder : folders) {
      wizard->goToPage(wz::kGamePage);
      wizard->setEditText(wz::kFolderEdit, folder.first);
      wizard->next();  // a refused folder stays with its message; a game folder moves on
      ASSERT_TRUE(settleSetup()) << where;
      if (wizard->page() != wz::kGamePage) wizard->goToPage(wz::kGamePage);
      measureSetup(where + " page 3, " + folder.second);
    }
    // No game folder, typed or stored: the Done page says how to choose it.
    store(app.language(), L"");
    wizard->setEditText(wz::kFolderEdit, L"");
    wizard->goToPage(wz::kGamePage);
    measureSetup(where + " page 3, no folder");
    wizard->goToPage(wz::kDonePage);
    measureSetup(where + " page 4, no folder");
    // A Finish that cannot be stored: the longest of the reasons, in most languages.
    ASSERT_TRUE(DeleteFileW(settingsPath().c_str())) << where;
    ASSERT_TRUE(CreateDirectoryW(settingsPath().c_str(), nullptr)) << where;
    wizard->finish();
    const bool settled = settleSetup();
    RemoveDirectoryW(settingsPath().c_str());
    ASSERT_TRUE(settled) << where;
    ASSERT_EQ(wz::setupWindow(), wizard) << where;
    EXPECT_EQ(wizard->message(), tr("se.notsaved.refused")) << where;
    measureSetup(where + " page 4, not saved");
    closeSetup();
    pump();
  }

  fixtures::Service service;  // the data folder, and a release to be ready
  GameFolder noQuestie{false};
  GameFolder complete{true};
  GameFolder noAddon{true};
  App app;
  HWND tray = nullptr;
  std::set<std::string> cuts;
};

TEST_F(TextFitTest, EveryTextOfBothWindowsIsShownWholeInEveryLanguageAtEveryLayoutDpi) {
  for (const UINT dpi : layoutDpis(guitest::kMainWindowDip)) {
    for (const auto& language : languageTable()) {
      store(language.code, noQuestie.forever());
      measureMainWindow(language.code + " " + std::to_string(dpi), dpi);
    }
  }
  for (const UINT dpi : layoutDpis(guitest::kWizardDip)) {
    for (const auto& language : languageTable()) {
      store(language.code, noQuestie.forever());
      measureWizard(language.code + " " + std::to_string(dpi), dpi);
    }
  }
  ASSERT_EQ(app.checkForUpdate().text(), "READY 1.4.0");  // the update button replaces the notice
  for (const UINT dpi : layoutDpis(guitest::kMainWindowDip)) {
    for (const auto& language : languageTable()) {
      store(language.code, noQuestie.forever());
      openMainWindow(host(), mw::Tab::Status);
      pump();
      switchDpi(mw::mainWindow(), dpi, 900, 640);
      pump();
      measureMain(language.code + " " + std::to_string(dpi) + " update ready");
      closeMainWindow();
      pump();
    }
  }
  std::string all;
  for (const std::string& cut : cuts) all += "\n  " + cut;
  EXPECT_TRUE(cuts.empty()) << cuts.size() << " texts are not shown whole:" << all;
}

// The wizard's World of Warcraft page in every language at 96 and 144 DPI:
// whatever the status lines say, the buttons stay where they are; a "Get
// Questie" link keeps clear of Check again; and the note that Next or Finish
// waits for the folder's answer is shown whole, as is Save's.
TEST_F(TextFitTest, TheWizardsButtonsStayPutAndTheQuestieLinkKeepsClearOfCheckAgain) {
  constexpr int kClearanceDip = 8;
  const int buttons[] = {wz::kBrowseButton, wz::kCheckButton, wz::kBackButton, wz::kNextButton};
  const std::pair<std::wstring, const char*> folders[] = {
      {L"", "empty"},
      {complete.notGame(), "refused folder"},
      {noQuestie.forever(), "no Questie"},
      {noAddon.forever(), "no addon"},
      {complete.forever(), "all found"},
  };
  for (const UINT dpi : layoutDpis(guitest::kWizardDip)) {
    for (const auto& language : languageTable()) {
      const std::string where = language.code + " " + std::to_string(dpi);
      store(language.code, L"");
      openSetup(host(), wz::kGamePage);
      wz::Setup* wizard = wz::setupWindow();
      ASSERT_NE(wizard, nullptr);
      switchDpi(wizard, dpi, 780, 560);
      ASSERT_TRUE(settleSetup()) << where;
      std::vector<RECT> places;
      for (const int id : buttons) places.push_back(dipRectOf(wizard, id));
      for (const auto& folder : folders) {
        const std::string state = where + ", " + folder.second;
        wizard->setEditText(wz::kFolderEdit, folder.first);
        click(wizard, wz::kCheckButton);
        ASSERT_TRUE(settleSetup()) << state;
        for (size_t i = 0; i < places.size(); ++i) {
          const RECT now = dipRectOf(wizard, buttons[i]);
          EXPECT_TRUE(EqualRect(&now, &places[i]))
              << state << ": control " << buttons[i] << " moved from y " << places[i].top << " to "
              << now.top;
        }
        if (!controlVisible(wizard, wz::kQuestieLink)) continue;
        const RECT link = dipRectOf(wizard, wz::kQuestieLink);
        const RECT check = dipRectOf(wizard, wz::kCheckButton);
        const int gap = std::max({check.top - link.bottom, link.top - check.bottom,
                                  check.left - link.right, link.left - check.right});
        EXPECT_GE(gap, kClearanceDip) << state << ": the Questie link and Check again";
      }
      // Next and Finish waiting for a slow folder's answer.
      ResetEvent(checkGate);
      ui::setGameCheckFunction(&gatedCheck);
      wizard->next();
      measureSetup(where + " page 3, checking");
      SetEvent(checkGate);
      ASSERT_TRUE(settleSetup()) << where;
      ASSERT_EQ(wizard->page(), wz::kDonePage) << where;
      ResetEvent(checkGate);
      wizard->goToPage(wz::kGamePage);
      wizard->setEditText(wz::kFolderEdit, noQuestie.forever());
      wizard->goToPage(wz::kDonePage);
      wizard->finish();
      measureSetup(where + " page 4, checking");
      SetEvent(checkGate);
      ASSERT_TRUE(settleSetup()) << where;  // finished: the wizard is gone
      // Save waiting likewise.
      openMainWindow(host(), mw::Tab::Settings);
      ASSERT_TRUE(settleMainWindow()) << where;
      mw::MainWindow* window = mw::mainWindow();
      switchDpi(window, dpi, 900, 640);
      ResetEvent(checkGate);
      window->setEditText(mw::kFolderEdit, complete.forever());
      click(window, mw::kSaveButton);
      measure(window, where + " settings, checking", 900, 640);
      SetEvent(checkGate);
      ASSERT_TRUE(settleMainWindow()) << where;
      ui::setGameCheckFunction(nullptr);
      closeMainWindow();
      closeSetup();
      pump();
    }
  }
  std::string all;
  for (const std::string& cut : cuts) all += "\n  " + cut;
  EXPECT_TRUE(cuts.empty()) << cuts.size() << " texts are not shown whole:" << all;
}

}  // namespace
