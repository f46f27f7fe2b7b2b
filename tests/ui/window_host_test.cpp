// The windows work with the host they are handed when they open: what they
// show comes from it, and what the user does goes to it, never past it to
// the program's own controller.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/ui/ui_test_util.h"
#include "ui/mainwnd.h"
#include "ui/setup.h"
#include "ui/window_host.h"

using namespace uitest;
namespace mw = ui::mainwnd;
namespace wz = ui::setup;

namespace {

class FakeHost final : public ui::WindowHost {
 public:
  Settings settings;
  std::string ready;
  int applied = 0;
  int installs = 0;
  int statesNoted = 0;
  std::vector<std::string> announced;

  Settings snapshot() override { return settings; }
  WriteResult applySettings(const Settings& input) override {
    settings = input;
    ++applied;
    return {};
  }
  std::string language() override { return "en"; }
  std::wstring gameFolder() override { return settings.foreverDir; }
  AppStatus status() override { return AppStatus::NoGameFolder; }
  bool gameStateKnown() override { return false; }
  void noteGameState(const GameState&) override { ++statesNoted; }
  void keepAddon() override {}
  AddonReport addonReport() override { return {}; }
  bool addonWorking() override { return false; }
  std::string readyUpdateVersion() override { return ready; }
  std::string updatedTo() override { return std::string(); }
  void installUpdate() override { ++installs; }
  void announce(const char* titleKey, const char* textKey) override {
    announced = {titleKey, textKey};
  }
};

using WindowHostTest = WindowTest;

TEST_F(WindowHostTest, TheWindowsReadAndWriteOnlyThroughTheHostTheyAreHanded) {
  GameFolder game(true);
  FakeHost fake;
  fake.settings.foreverDir = game.forever();
  fake.settings.wizardDone = true;
  fake.ready = "9.9.9";
  const Settings before = app.snapshot();

  openMainWindow(fake, mw::Tab::Status);
  ASSERT_TRUE(settleMainWindow());
  mw::MainWindow* window = mw::mainWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->folder(), game.forever());
  EXPECT_TRUE(window->folderOk());
  EXPECT_GE(fake.statesNoted, 1);
  EXPECT_EQ(window->updateVersion(), "9.9.9");
  click(window, mw::kUpdateButton);
  EXPECT_EQ(fake.installs, 1);
  openMainWindow(fake, mw::Tab::Settings);
  click(window, mw::kSaveButton);
  ASSERT_TRUE(settleMainWindow());
  EXPECT_EQ(fake.applied, 1);
  closeMainWindow();
  pump();

  fake.settings.wizardDone = false;
  openSetup(fake, wz::kDonePage);
  ASSERT_NE(wz::setupWindow(), nullptr);
  ASSERT_TRUE(settleSetup());
  click(wz::setupWindow(), wz::kNextButton);  // Finish
  ASSERT_TRUE(pumpUntil([&] { return !fake.announced.empty(); }));
  EXPECT_EQ(wz::setupWindow(), nullptr);
  EXPECT_TRUE(fake.settings.wizardDone);
  EXPECT_EQ(fake.announced, (std::vector<std::string>{"tray.ready.title", "tray.ready.text"}));

  // The program's own controller heard of none of it.
  EXPECT_EQ(app.snapshot().foreverDir, before.foreverDir);
  EXPECT_EQ(app.snapshot().wizardDone, before.wizardDone);
}

}  // namespace
