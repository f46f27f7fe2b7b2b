// The setup wizard driven through its entry operations and window messages:
// pages, language cards, the folder checks and Finish.
#include <gtest/gtest.h>

#include <mutex>
#include <utility>
#include <vector>

#include "app/shell_notify.h"
#include "base/text.h"
#include "i18n/i18n.h"
#include "tests/ui/ui_test_util.h"
#include "ui/setup.h"

using namespace uitest;
using Wizard = ui::setup::Setup;
using ui::setup::setupWindow;
namespace wz = ui::setup;

namespace {

std::mutex balloonsLock;
std::vector<std::pair<std::wstring, std::wstring>> balloons;  // title and text

BOOL WINAPI recordBalloons(DWORD operation, PNOTIFYICONDATAW data) {
  if (operation == NIM_MODIFY && (data->uFlags & NIF_INFO)) {
    std::lock_guard<std::mutex> hold(balloonsLock);
    balloons.emplace_back(data->szInfoTitle, data->szInfo);
  }
  return TRUE;
}

// The sidebar's orb of a wizard step, as painted: pixels in reading order.
std::vector<COLORREF> stepOrb(const guitest::Bitmap32& picture, int step) {
  const int row = 274 + 38 * step;
  std::vector<COLORREF> pixels;
  for (int y = row - 24; y < row - 4; ++y) {
    for (int x = 46; x < 66; ++x) pixels.push_back(picture.at(x, y));
  }
  return pixels;
}

class SetupTest : public WindowTest {
 protected:
  Wizard* openOn(int page) {
    openSetup(host(), page);
    pump();
    return setupWindow();
  }
  void typeFolder(const std::wstring& text) { setupWindow()->setEditText(wz::kFolderEdit, text); }
  std::wstring folderField() { return setupWindow()->getEditText(wz::kFolderEdit); }
  bool visible(int id) {
    const gui::Control* c = setupWindow()->findControl(id);
    return c && c->visible;
  }
};

TEST_F(SetupTest, PagesAreClampedAndBackNextAndEnterMoveBetweenThem) {
  Wizard* wizard = openOn(-1);
  ASSERT_NE(wizard, nullptr);
  const HWND handle = setupWindowHandle();
  EXPECT_EQ(windowClass(handle), L"CairnSetupWnd");
  EXPECT_EQ(windowTitle(handle), tr("wz.title"));
  EXPECT_EQ(wizard->page(), wz::kWelcomePage);
  EXPECT_FALSE(visible(wz::kBackButton));
  EXPECT_EQ(wizard->findControl(wz::kNextButton)->text, tr("wz.next"));

  click(wizard, wz::kNextButton);

  ASSERT_TRUE(settleSetup());
  EXPECT_EQ(wizard->page(), wz::kLanguagePage);
  EXPECT_TRUE(visible(wz::kBackButton));
  EXPECT_TRUE(visible(wz::kLanguageCard));
  pressEnter(handle);
  ASSERT_TRUE(settleSetup());
  EXPECT_EQ(wizard->page(), wz::kGamePage);
  EXPECT_FALSE(visible(wz::kLanguageCard));
  EXPECT_TRUE(IsWindowVisible(wizard->editWindow(wz::kFolderEdit)));
  click(wizard, wz::kBackButton);
  EXPECT_EQ(wizard->page(), wz::kLanguagePage);
  EXPECT_FALSE(IsWindowVisible(wizard->editWindow(wz::kFolderEdit)));

  openSetup(host(), 7);  // the open wizard jumps; no second one appears
  EXPECT_EQ(setupWindowHandle(), handle);
  EXPECT_EQ(wizard->page(), wz::kDonePage);
  EXPECT_EQ(wizard->findControl(wz::kNextButton)->text, tr("wz.finish"));
  pressEscape(handle);  // the wizard ignores Escape
  EXPECT_TRUE(IsWindow(handle));
}

TEST_F(SetupTest, ALanguageCardSwitchesTheWholeApplicationAtOnce) {
  Wizard* wizard = openOn(wz::kLanguagePage);
  ASSERT_NE(wizard, nullptr);
  EXPECT_TRUE(wizard->findControl(wz::kLanguageCard)->checked);  // English
  const int german = wz::kLanguageCard + 2;
  EXPECT_EQ(wizard->findControl(german)->text, languageTable()[2].nativeName);

  click(wizard, german);
  EXPECT_EQ(app.language(), "de");
  EXPECT_NE(readFileText(settingsPath()).find("\"de\""), std::string::npos);
  EXPECT_EQ(windowTitle(wizard->hwnd()), toWide(lookup("de", "wz.title")));
  EXPECT_EQ(wizard->findControl(wz::kNextButton)->text, toWide(lookup("de", "wz.next")));
  EXPECT_TRUE(wizard->findControl(german)->checked);
  EXPECT_FALSE(wizard->findControl(wz::kLanguageCard)->checked);
  EXPECT_FALSE(app.snapshot().wizardDone);  // only Finish marks setup as done
}

TEST_F(SetupTest, CheckAgainShowsTheNormalisedFolderAndWhatIsMissing) {
  GameFolder game(false);
  Wizard* wizard = openOn(wz::kGamePage);
  ASSERT_NE(wizard, nullptr);
  EXPECT_FALSE(wizard->folderOk());
  EXPECT_FALSE(visible(wz::kQuestieLink));

  typeFolder(game.wow());
  click(wizard, wz::kCheckButton);
  ASSERT_TRUE(settleSetup());
  EXPECT_EQ(folderField(), game.forever());
  EXPECT_TRUE(wizard->folderOk());
  EXPECT_TRUE(wizard->addonOk());
  EXPECT_FALSE(wizard->questieOk());
  ASSERT_TRUE(visible(wz::kQuestieLink));
  // On the Questie line or under it, never over the Check again button.
  const RECT link = dipRectOf(wizard, wz::kQuestieLink);
  EXPECT_GE(link.top, wizard->contentTop() + 128);
  EXPECT_LE(link.bottom, dipRectOf(wizard, wz::kCheckButton).top);
  EXPECT_LE(link.right, 746);

  game.addQuestie();
  click(wizard, wz::kCheckButton);
  ASSERT_TRUE(settleSetup());
  EXPECT_TRUE(wizard->questieOk());
  EXPECT_FALSE(visible(wz::kQuestieLink));

  typeFolder(game.notGame());  // a bad folder stays as typed
  click(wizard, wz::kCheckButton);
  ASSERT_TRUE(settleSetup());
  EXPECT_EQ(folderField(), game.notGame());
  EXPECT_FALSE(wizard->folderOk());
  EXPECT_FALSE(wizard->addonOk());
}

TEST_F(SetupTest, NextRefusesABadFolderButLetsAnEmptyFieldThrough) {
  GameFolder game(true);
  store(game.forever(), false);
  Wizard* wizard = openOn(wz::kGamePage);
  ASSERT_NE(wizard, nullptr);
  EXPECT_EQ(folderField(), game.forever());  // the stored folder to start with

  typeFolder(game.notGame());
  click(wizard, wz::kNextButton);
  ASSERT_TRUE(settleSetup());
  EXPECT_EQ(wizard->page(), wz::kGamePage);
  EXPECT_EQ(wizard->message(), tr("se.badfolder"));
  EXPECT_FALSE(wizard->folderOk());
  click(wizard, wz::kCheckButton);
  EXPECT_EQ(wizard->message(), L"");

  typeFolder(L"");
  click(wizard, wz::kNextButton);
  ASSERT_TRUE(settleSetup());
  EXPECT_EQ(wizard->page(), wz::kDonePage);
  click(wizard, wz::kNextButton);  // Finish
  ASSERT_TRUE(settleSetup());
  EXPECT_EQ(setupWindow(), nullptr);
  EXPECT_EQ(app.snapshot().foreverDir, game.forever());  // an empty field keeps it
  EXPECT_TRUE(app.snapshot().wizardDone);
}

TEST_F(SetupTest, FinishStoresTheChoicesLogsAndClosesTheWizard) {
  GameFolder game(true);
  Wizard* wizard = openOn(wz::kLanguagePage);
  ASSERT_NE(wizard, nullptr);
  click(wizard, wz::kLanguageCard + 5);  // Polski
  click(wizard, wz::kNextButton);
  ASSERT_TRUE(settleSetup());
  typeFolder(game.wow());
  pressEnter(wizard->hwnd());
  ASSERT_TRUE(settleSetup());
  ASSERT_EQ(wizard->page(), wz::kDonePage);
  const HWND handle = wizard->hwnd();
  pressEnter(handle);
  ASSERT_TRUE(settleSetup());

  EXPECT_FALSE(IsWindow(handle));
  EXPECT_EQ(setupWindowHandle(), nullptr);
  const Settings stored = app.snapshot();
  EXPECT_TRUE(stored.wizardDone);
  EXPECT_EQ(stored.language, "pl");
  EXPECT_EQ(stored.foreverDir, game.forever());
  const std::string json = readFileText(settingsPath());
  EXPECT_NE(json.find("\"wizardDone\":true"), std::string::npos) << json;
  EXPECT_NE(log().find("first-run setup finished"), std::string::npos);
  pump();  // the tray hears of the change with no wizard left to refresh
}

// A Finish that Windows refuses to store says why in the warning colour and
// keeps the wizard on its Done page with the choices made, to be pressed again.
TEST_F(SetupTest, AFinishThatCannotBeSavedStaysAndSaysWhy) {
  GameFolder game(true);
  store(L"", false);
  Wizard* wizard = openOn(wz::kGamePage);
  ASSERT_NE(wizard, nullptr);
  typeFolder(game.wow());
  click(wizard, wz::kNextButton);
  ASSERT_TRUE(settleSetup());
  ASSERT_EQ(wizard->page(), wz::kDonePage);
  const std::wstring field = folderField();
  ASSERT_TRUE(DeleteFileW(settingsPath().c_str()));
  ASSERT_TRUE(CreateDirectoryW(settingsPath().c_str(), nullptr));  // a sync tool's doing

  click(wizard, wz::kNextButton);  // Finish
  ASSERT_TRUE(settleSetup());
  ASSERT_EQ(setupWindow(), wizard);
  EXPECT_EQ(wizard->page(), wz::kDonePage);
  EXPECT_EQ(wizard->message(), tr("se.notsaved.refused"));
  EXPECT_TRUE(painted(paintedTexts(wizard), tr("se.notsaved.refused")));
  EXPECT_EQ(folderField(), field);
  EXPECT_EQ(log().find("first-run setup finished"), std::string::npos);

  ASSERT_TRUE(RemoveDirectoryW(settingsPath().c_str()));
  click(wizard, wz::kNextButton);
  ASSERT_TRUE(settleSetup());
  EXPECT_EQ(setupWindow(), nullptr);
  EXPECT_NE(readFileText(settingsPath()).find("\"wizardDone\":true"), std::string::npos);
}

TEST_F(SetupTest, FinishWithABadFolderKeepsTheStoredOne) {
  GameFolder game(true);
  store(game.forever(), false);
  Wizard* wizard = openOn(wz::kDonePage);
  ASSERT_NE(wizard, nullptr);
  typeFolder(L"C:\\no\\such\\folder");
  click(wizard, wz::kNextButton);
  ASSERT_TRUE(settleSetup());
  EXPECT_EQ(setupWindow(), nullptr);
  EXPECT_EQ(app.snapshot().foreverDir, game.forever());
  EXPECT_TRUE(app.snapshot().wizardDone);
}

// Finish with no game folder set, typed or stored, says that it is not
// found yet and where to choose it, and the World of Warcraft step is not
// ticked; with one, Cairnstone is ready and the command is shown.
TEST_F(SetupTest, TheDonePageAndTheBalloonSayWhetherAGameFolderIsSet) {
  GameFolder game(true);
  ui::setShellNotifyFunction(recordBalloons);
  struct Case {
    bool folder;
    const char* heading;
    const char* panel;
    std::wstring command;
    const char* balloonTitle;
    const char* balloonText;
  };
  const Case cases[] = {
      {false, "wz.done.nofolder.h", "wz.done.later", tr("tab.settings"), "tray.balloon.title",
       "tray.nofolder.text"},
      {true, "wz.done.h", "wz.done.cmd", L"/cairn", "tray.ready.title", "tray.ready.text"},
  };
  std::vector<COLORREF> orbs[2][2];  // per case: the Language step's and the game step's
  for (const Case& c : cases) {
    SCOPED_TRACE(c.heading);
    store(L"", false);
    Wizard* wizard = openOn(wz::kGamePage);
    ASSERT_NE(wizard, nullptr);
    typeFolder(c.folder ? game.wow() : L"");
    click(wizard, wz::kNextButton);
    ASSERT_EQ(wizard->page(), wz::kDonePage);
    // The folder went to the addon's worker at Next: the page shows its answer.
    ASSERT_TRUE(waitFor([&] { return !app.addonWorking(); }, 10000));
    pump();
    const RECT client = clientOf(wizard);
    const guitest::Bitmap32 picture(client.right, client.bottom, 0);
    const std::vector<std::wstring> texts = paintInto(wizard, picture);
    EXPECT_TRUE(painted(texts, tr(c.heading)));
    EXPECT_TRUE(painted(texts, tr(c.panel)));
    EXPECT_TRUE(painted(texts, c.command));
    // The sidebar's last step claims ready only when it is.
    EXPECT_EQ(painted(texts, tr("wz.s5")), c.folder);
    orbs[c.folder][0] = stepOrb(picture, wz::kLanguagePage);
    orbs[c.folder][1] = stepOrb(picture, wz::kGamePage);
    {
      std::lock_guard<std::mutex> hold(balloonsLock);
      balloons.clear();
    }
    click(wizard, wz::kNextButton);  // Finish
    ASSERT_EQ(setupWindow(), nullptr);
    std::lock_guard<std::mutex> hold(balloonsLock);
    ASSERT_EQ(balloons.size(), 1u);
    EXPECT_EQ(balloons[0].first, tr(c.balloonTitle));
    EXPECT_EQ(balloons[0].second, tr(c.balloonText));
  }
  ui::setShellNotifyFunction(nullptr);
  EXPECT_EQ(orbs[0][0], orbs[1][0]);  // the Language step is ticked either way
  EXPECT_NE(orbs[0][1], orbs[1][1]) << "the World of Warcraft step is ticked without a folder";
}

TEST_F(SetupTest, WithoutAGameFolderTheAddonAndQuestieAreUnknownNotMissing) {
  GameFolder game(false);
  Wizard* wizard = openOn(wz::kGamePage);
  ASSERT_NE(wizard, nullptr);
  const std::pair<std::wstring, std::vector<const char*>> cases[] = {
      {L"", {"st.addon.unknown", "st.questie.unknown"}},
      {game.notGame(), {"st.addon.unknown", "st.questie.unknown"}},
      {game.wow(), {"wz.wow.addon.ok", "wz.wow.questie.bad"}},
  };
  for (const auto& c : cases) {
    typeFolder(c.first);
    click(wizard, wz::kCheckButton);
    ASSERT_TRUE(settleSetup());
    const std::vector<std::wstring> texts = paintedTexts(wizard);
    for (const char* key : c.second) EXPECT_TRUE(painted(texts, tr(key))) << key;
  }
}

TEST_F(SetupTest, ClosingWithTheCaptionStoresNothingMore) {
  Wizard* wizard = openOn(wz::kGamePage);
  ASSERT_NE(wizard, nullptr);
  const std::string before = readFileText(settingsPath());
  SendMessageW(wizard->hwnd(), WM_CLOSE, 0, 0);
  EXPECT_EQ(setupWindow(), nullptr);
  EXPECT_FALSE(app.snapshot().wizardDone);
  EXPECT_EQ(readFileText(settingsPath()), before);
  refreshSetup();  // nothing open: nothing happens
  closeSetup();
}

}  // namespace
