// The update road end to end with the real installer: this version installed
// silently, started as a user starts it, a release that fails to install, then
// the next version published by the release tool (at build time, with the
// TEST-ONLY key) and served locally; the running program finds, downloads and
// checks it, is told to install it, and the next version's installer quits
// it, replaces it and starts the next version through the desktop shell.
#include <gtest/gtest.h>

#include <iostream>

#include "storage/settings.h"
#include "tests/installer/setup_fixture.h"
#include "tests/update/fixtures.h"

namespace {

using namespace setup;

constexpr DWORD kFindsItMs = 30000;
constexpr DWORD kFirstCheckMs = 40000;  // the restarted program's first check comes after 20 s
constexpr char kVersionPath[] = "/api/app/version";

std::string nextPath() { return std::string("/download/Cairnstone-Setup-") + kNext + ".exe"; }
std::wstring published(const std::wstring& name) {
  return joinPath(binFolder(), L"installers\\published\\" + name);
}

class UpdateRoad : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { waitForTheDesktopShell(); }
  void SetUp() override {
    reset();
    ASSERT_TRUE(service.start());
  }
  void TearDown() override { reset(); }
  std::string log() { return readFileText(joinPath(dataDir(), L"cairn.log")); }
  bool logged(const std::string& message, DWORD timeoutMs) {
    return waitFor([&] { return log().find(message) != std::string::npos; }, timeoutMs);
  }
  size_t count(const std::string& message) {
    size_t n = 0;
    for (const std::string& line : logMessages(log())) n += line == message ? 1 : 0;
    return n;
  }
  void offer(const JsonValue& answer, const std::string& path, std::string installer) {
    service.serveBody(path, std::move(installer));
    service.serveBody(kVersionPath, jsonWrite(answer));
  }
  void offerNext() {
    JsonValue answer;
    ASSERT_TRUE(jsonParse(readFileText(published(L"api\\app\\version")), answer));
    answer.set("download", jsonString(service.baseUtf8() + nextPath()));
    offer(answer, nextPath(),
          readFileText(published(L"download\\Cairnstone-Setup-" + toWide(kNext) + L".exe")));
  }

  LocalService service;
  GameFolder game;
};

TEST_F(UpdateRoad, TheRunningProgramUpdatesItselfThroughTheRealInstaller) {
  const ULONGLONG installBegan = GetTickCount64();
  ASSERT_EQ(install(kCurrent, L"/S /FOREVER=\"" + game.forever() + L"\" /MAINLANG=de"), 0);
  std::cout << "silent install: " << GetTickCount64() - installBegan << " ms\n";
  const std::wstring firstStamp = stamp();
  // The wizard done, in the settings the install's placing run left (it
  // took this installation over there already).
  Settings done;
  loadSettings(done);
  EXPECT_EQ(done.installStamp, toUtf8(firstStamp));
  done.wizardDone = true;
  ASSERT_TRUE(saveSettings(done).ok());

  // A release whose installer fails (the tests' stand-in, exit code 5).
  offer(fixtures::programAnswer(service.baseUtf8()), fixtures::kProgramPath, fixtures::program());
  ScopedEnv base(L"CAIRN_API_BASE", service.base());
  ScopedEnv fast(L"CAIRN_UPDATE_MS", L"300");
  ScopedEnv failing(L"CAIRN_TEST_INSTALLER_EXIT", L"5");
  Child old = Child::start(installedExe(), {L"--background"});
  ASSERT_TRUE(old.started());
  ASSERT_TRUE(logged("update 1.5.0 downloaded and checked", kFindsItMs)) << log();
  EXPECT_EQ(runToEnd(installedExe(), {L"--install-update"}), 0);
  ASSERT_TRUE(logged("update 1.5.0: the installer ended with exit code 5", kFindsItMs)) << log();
  const int asked = service.requestsFor(kVersionPath);
  EXPECT_TRUE(waitFor([&] { return service.requestsFor(kVersionPath) >= asked + 2; }, kFindsItMs));
  EXPECT_EQ(old.wait(0), -1);  // still running
  EXPECT_EQ(productVersion(installedExe()), kCurrent);

  // The next version.
  const ULONGLONG publishedAt = GetTickCount64();
  offerNext();
  ASSERT_TRUE(logged(std::string("update ") + kNext + " downloaded and checked", kFindsItMs)) << log();
  EXPECT_EQ(runToEnd(installedExe(), {L"--install-update"}), 0);
  EXPECT_EQ(old.wait(kSetupMs), 0);  // asked to quit by the installer
  ASSERT_TRUE(logged(std::string("Cairn ") + kNext + " started", kSetupMs))
      << log() << "the installer's account:\n"
      << setupLog();
  std::cout << "update round trip (published to the next version running): "
            << GetTickCount64() - publishedAt << " ms\n";

  EXPECT_EQ(count(std::string("updated from ") + kCurrent + " to " + kNext), 1u) << log();
  EXPECT_EQ(count("from the installer: start with Windows on, language de"), 2u) << log();
  Settings settings;
  loadSettings(settings);
  EXPECT_EQ(settings.language, "de");
  EXPECT_EQ(settings.foreverDir, game.forever());
  EXPECT_EQ(settings.installStamp, toUtf8(stamp()));
  EXPECT_NE(stamp(), firstStamp);
  EXPECT_EQ(settings.lastVersion, kNext);
  EXPECT_EQ(hklm(kUninstallKey, L"DisplayVersion"), toWide(kNext));
  EXPECT_EQ(productVersion(installedExe()), kNext);

  // Started by the desktop shell, as the signed-in user, not by the installer.
  const std::vector<Process> running = processesOf(installedExe());
  ASSERT_EQ(running.size(), 1u);
  EXPECT_EQ(imageName(running[0].parent), L"explorer.exe");

  // The downloaded installer goes at the new version's first check; no
  // partial download is ever left.
  EXPECT_EQ(fixtures::updateFolderListing().find(".part"), std::string::npos);
  EXPECT_TRUE(logged("update: removed ", kFirstCheckMs)) << log();
  EXPECT_EQ(fixtures::updateFolderListing(), "");

  EXPECT_EQ(uninstallAndWait(installDir()), 0);
  EXPECT_TRUE(processesOf(installedExe()).empty());
  EXPECT_FALSE(fileExists(installedExe()));
  EXPECT_FALSE(hklmKeyExists(kSettingsKey));
  EXPECT_FALSE(hklmKeyExists(kUninstallKey));
  EXPECT_FALSE(autostartEnabled());
}

}  // namespace
