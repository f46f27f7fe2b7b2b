// The setup wizard driven through its entry operations and window messages:
// pages, language cards, the folder checks and Finish.
#include <gtest/gtest.h>

#include "i18n/i18n.h"
#include "tests/ui/ui_test_util.h"
#include "ui/setup.h"

using namespace uitest;
using Wizard = ui::setup::Setup;
using ui::setup::setupWindow;
namespace wz = ui::setup;

namespace {

class SetupTest : public WindowTest {
 protected:
  Wizard* openOn(int page) {
    openSetup(page);
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
  EXPECT_EQ(wizard->page(), wz::kLanguagePage);
  EXPECT_TRUE(visible(wz::kBackButton));
  EXPECT_TRUE(visible(wz::kLanguageCard));
  pressEnter(handle);
  EXPECT_EQ(wizard->page(), wz::kGamePage);
  EXPECT_FALSE(visible(wz::kLanguageCard));
  EXPECT_TRUE(IsWindowVisible(wizard->editWindow(wz::kFolderEdit)));
  click(wizard, wz::kBackButton);
  EXPECT_EQ(wizard->page(), wz::kLanguagePage);
  EXPECT_FALSE(IsWindowVisible(wizard->editWindow(wz::kFolderEdit)));

  openSetup(7);  // the open wizard jumps; no second one appears
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
  EXPECT_TRUE(wizard->questieOk());
  EXPECT_FALSE(visible(wz::kQuestieLink));

  typeFolder(game.notGame());  // a bad folder stays as typed
  click(wizard, wz::kCheckButton);
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
  EXPECT_EQ(wizard->page(), wz::kGamePage);
  EXPECT_EQ(wizard->message(), tr("se.badfolder"));
  EXPECT_FALSE(wizard->folderOk());
  click(wizard, wz::kCheckButton);
  EXPECT_EQ(wizard->message(), L"");

  typeFolder(L"");
  click(wizard, wz::kNextButton);
  EXPECT_EQ(wizard->page(), wz::kDonePage);
  click(wizard, wz::kNextButton);  // Finish
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
  typeFolder(game.wow());
  pressEnter(wizard->hwnd());
  ASSERT_EQ(wizard->page(), wz::kDonePage);
  const HWND handle = wizard->hwnd();
  pressEnter(handle);

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

TEST_F(SetupTest, FinishWithABadFolderKeepsTheStoredOne) {
  GameFolder game(true);
  store(game.forever(), false);
  Wizard* wizard = openOn(wz::kDonePage);
  ASSERT_NE(wizard, nullptr);
  typeFolder(L"C:\\no\\such\\folder");
  click(wizard, wz::kNextButton);
  EXPECT_EQ(setupWindow(), nullptr);
  EXPECT_EQ(app.snapshot().foreverDir, game.forever());
  EXPECT_TRUE(app.snapshot().wizardDone);
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
