// A whole first run of the real program with an empty data folder: the
// wizard comes up, Deutsch is picked, the game folder typed in, Finish.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>

#include "base/paths.h"
#include <vector>

#include "base/text.h"
#include "json/json.h"
#include "tests/ui/ui_test_util.h"
#include "ui/setup.h"

using namespace uitest;
namespace wz = ui::setup;

namespace {

constexpr DWORD kWaitMs = 20000;

POINT centreOf(const RECT& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

class FirstRun : public WindowTest {
 protected:
  // Where the wizard's controls lie, from this process's own wizard: the
  // same layout code at the same 96 DPI as the program's.
  void learnLayout() {
    openSetup(host(), wz::kLanguagePage);
    pump();
    ASSERT_NE(wz::setupWindow(), nullptr);
    const gui::Control* card = wz::setupWindow()->findControl(wz::kLanguageCard + 2);
    ASSERT_NE(card, nullptr);
    ASSERT_EQ(card->text, L"Deutsch");
    deutsch = centreOf(dipRectOf(wz::setupWindow(), wz::kLanguageCard + 2));
    next = centreOf(dipRectOf(wz::setupWindow(), wz::kNextButton));
    closeSetup();
    pump();
  }
  void clickNext(HWND wizard) { clickAtDip(wizard, next.x, next.y); }

  POINT deutsch{}, next{};
};

TEST_F(FirstRun, TheWizardOfTheRealProgramStoresTheChoices) {
  learnLayout();
  TempDir runData;
  ScopedEnv runDataEnv(L"CAIRN_DATA_DIR", runData.path());
  ScopedEnv noForever(L"CAIRN_FOREVER_DIR", L"");
  GameFolder game(true);
  Child cairn = Child::start(cairnstoneExe(), {});
  ASSERT_TRUE(cairn.started());
  HWND wizard = nullptr;
  ASSERT_TRUE(waitFor([&] { return (wizard = FindWindowW(L"CairnSetupWnd", nullptr)) != nullptr; },
                      kWaitMs));
  clickNext(wizard);                          // Welcome → Language
  clickAtDip(wizard, deutsch.x, deutsch.y);  // the whole program speaks German at once
  EXPECT_EQ(windowTitle(wizard), L"Cairnstone einrichten");
  clickNext(wizard);  // → World of Warcraft
  HWND field = FindWindowExW(wizard, nullptr, L"Edit", nullptr);
  ASSERT_NE(field, nullptr);
  SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(game.wow().c_str()));
  clickNext(wizard);  // → Done, once the folder was read
  EXPECT_TRUE(waitFor([&] { return !IsWindowVisible(field); }, kWaitMs));
  clickNext(wizard);  // Finish
  EXPECT_TRUE(waitFor([&] { return !IsWindow(wizard); }, kWaitMs));

  JsonValue settings;
  ASSERT_TRUE(jsonParse(readFileText(runData.file(L"settings.json")), settings));
  EXPECT_EQ(settings.get("language").asText(), "de");
  EXPECT_TRUE(settings.get("wizardDone").boolean);
  EXPECT_EQ(settings.get("foreverDir").asText(), toUtf8(game.forever()));
  // Written by the program's addon worker, in its own time.
  EXPECT_TRUE(waitFor(
      [&] {
        return readFileText(game.addOns() + L"\\Cairn\\Config.lua") ==
               "CairnInstall = { lang = \"de\" }\n";
      },
      kWaitMs));

  EXPECT_EQ(runToEnd(cairnstoneExe(), {L"--quit"}), 0);
  EXPECT_EQ(cairn.wait(kWaitMs), 0);
  const std::vector<std::string> expected = {
      "Cairn 1.3.0 started", "Config.lua: CairnInstall = { lang = \"de\" }",
      "addon: none beside the program (" +
          toUtf8(joinPath(parentPath(cairnstoneExe()), L"addon\\Cairn")) + "); nothing is copied",
      "first-run setup finished", "Cairn stopped"};
  // The addon's worker writes while the wizard goes on: the order between them may vary.
  std::vector<std::string> messages = logMessages(readFileText(runData.file(L"cairn.log")));
  std::sort(messages.begin() + 1, messages.end() - 1);
  std::vector<std::string> wanted = expected;
  std::sort(wanted.begin() + 1, wanted.end() - 1);
  EXPECT_EQ(messages, wanted);
}

}  // namespace
