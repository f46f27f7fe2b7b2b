// Cairnstone-Setup and its uninstaller, run silently as the program and
// Windows run them, in a prefix of their own (see setup_fixture.h).
#include <gtest/gtest.h>

#include "tests/installer/setup_fixture.h"

namespace {

using namespace setup;

class Installer : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  std::wstring foreverSwitch(const std::wstring& folder) { return L" /FOREVER=\"" + folder + L"\""; }
  // How many installations the program has taken over so far.
  size_t takeovers(const std::string& log) {
    size_t count = 0;
    for (const std::string& line : logMessages(log)) {
      if (line.rfind("from the installer: ", 0) == 0) ++count;
    }
    return count;
  }
  // One start of the installed program that prepares and ends (its update
  // check finds no service here).
  std::string prepareOnce() {
    runToEnd(installedExe(), {L"--update-check", L"--out", data.file(L"out.txt")}, kProgramMs);
    return readFileText(data.file(L"cairn.log"));
  }

  GameFolder game;
  TempDir data;
  ScopedEnv dataEnv{L"CAIRN_DATA_DIR", data.path()};
};

TEST_F(Installer, ASilentInstallLeavesWhatTheProgramAndWindowsRead) {
  ASSERT_TRUE(makeDirs(parentPath(game.addon(L"Config.lua"))));
  ASSERT_TRUE(writeFileText(game.addon(L"Config.lua"), "-- the user's own\n"));
  ASSERT_EQ(install(kCurrent, L"/S" + foreverSwitch(game.forever()) + L" /MAINLANG=de /NOAUTOSTART"),
            0);

  EXPECT_EQ(productVersion(installedExe()), kCurrent);
  EXPECT_TRUE(fileExists(installed(L"uninstall.exe")));
  EXPECT_TRUE(fileExists(shortcut()));
  EXPECT_EQ(hklm(kSettingsKey, L"Language"), L"de");
  EXPECT_EQ(hklm(kSettingsKey, L"ForeverDir"), game.forever());
  EXPECT_EQ(hklmDword(kSettingsKey, L"Autostart"), 0);
  EXPECT_FALSE(stamp().empty());

  const std::wstring uninstaller = L"\"" + installed(L"uninstall.exe") + L"\"";
  const std::pair<const wchar_t*, std::wstring> entry[] = {
      {L"DisplayName", L"Cairnstone"},
      {L"DisplayVersion", toWide(kCurrent)},
      {L"Publisher", L"Cairn"},
      {L"DisplayIcon", installedExe() + L",0"},
      {L"InstallLocation", installDir()},
      {L"UninstallString", uninstaller},
      {L"QuietUninstallString", uninstaller + L" /S"},
  };
  for (const auto& value : entry) EXPECT_EQ(hklm(kUninstallKey, value.first), value.second);
  EXPECT_EQ(hklmDword(kUninstallKey, L"NoModify"), 1);
  EXPECT_EQ(hklmDword(kUninstallKey, L"NoRepair"), 1);
  EXPECT_GT(hklmDword(kUninstallKey, L"EstimatedSize"), 100);  // KiB

  // The addon goes into the game; the user's Config.lua stays.
  EXPECT_NE(readFileText(game.addon(L"Cairn.toc")).find("## Title: Cairn"), std::string::npos);
  EXPECT_TRUE(fileExists(game.addon(L"Cairn.lua")));
  EXPECT_EQ(readFileText(game.addon(L"Config.lua")), "-- the user's own\n");
}

TEST_F(Installer, BadOrMissingSwitchesGetSoundDefaultsAndNeverStopASilentRun) {
  GameFolder onlyGame;  // a _forever_ folder with the game but no AddOns yet
  ASSERT_TRUE(removeTree(joinPath(onlyGame.forever(), L"Interface")));
  ASSERT_TRUE(writeFileText(joinPath(onlyGame.forever(), L"WowClassic.exe"), "MZ"));
  const std::wstring empty = game.file(L"empty");
  ASSERT_TRUE(makeDirs(empty));
  struct Case {
    std::wstring parameters, language, folder;
    long long autostart;
  };
  const Case cases[] = {
      {L"/S /MAINLANG=xx" + foreverSwitch(game.file(L"missing")), L"en", L"", 1},
      {L"/S /MAINLANG=DE /NOAUTOSTART" + foreverSwitch(empty), L"en", L"", 0},
      {L"/S /MAINLANG=pl" + foreverSwitch(game.wow()), L"pl", game.forever(), 1},
      {L"/S /MAINLANG=it" + foreverSwitch(game.forever() + L"\\Interface\\AddOns\\"), L"it",
       game.forever(), 1},
      {L"/S /MAINLANG=nl" + foreverSwitch(onlyGame.forever()), L"nl", onlyGame.forever(), 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.parameters));
    reset();
    ASSERT_EQ(install(kCurrent, c.parameters), 0);
    EXPECT_EQ(hklm(kSettingsKey, L"Language"), c.language);
    EXPECT_EQ(hklm(kSettingsKey, L"ForeverDir"), c.folder);
    EXPECT_EQ(hklmDword(kSettingsKey, L"Autostart"), c.autostart);
  }
  // Nothing given on a fresh machine: Windows' language, no folder, autostart.
  reset();
  ASSERT_EQ(install(kCurrent, L"/S"), 0);
  EXPECT_TRUE(isKnownLanguage(toUtf8(hklm(kSettingsKey, L"Language"))));
  EXPECT_EQ(hklm(kSettingsKey, L"ForeverDir"), L"");
  EXPECT_EQ(hklmDword(kSettingsKey, L"Autostart"), 1);
}

TEST_F(Installer, TheProgramTakesOverEachInstallationOnce) {
  ASSERT_EQ(install(kCurrent, L"/S /MAINLANG=de /NOAUTOSTART"), 0);
  EXPECT_EQ(takeovers(prepareOnce()), 1u);
  const std::string log = prepareOnce();
  EXPECT_EQ(takeovers(log), 1u);
  EXPECT_NE(log.find("from the installer: start with Windows off, language de"), std::string::npos);

  const std::wstring first = stamp();
  ASSERT_EQ(install(kCurrent, L"/S /MAINLANG=it"), 0);  // a repair
  EXPECT_NE(stamp(), first);
  const std::string again = prepareOnce();
  EXPECT_EQ(takeovers(again), 2u);
  EXPECT_NE(again.find("from the installer: start with Windows on, language it"), std::string::npos);
  EXPECT_TRUE(autostartEnabled());
}

TEST_F(Installer, NewerReplacesSameRepairsOlderIsRefused) {
  ASSERT_EQ(install(kCurrent, L"/S"), 0);
  ASSERT_EQ(install(kNext, L"/S"), 0);
  EXPECT_EQ(productVersion(installedExe()), kNext);
  EXPECT_EQ(hklm(kUninstallKey, L"DisplayVersion"), toWide(kNext));
  EXPECT_FALSE(fileExists(installedExe() + L".old"));
  EXPECT_FALSE(fileExists(installedExe() + L".new"));

  const std::wstring before = stamp();
  ASSERT_EQ(install(kNext, L"/S"), 0);
  EXPECT_NE(stamp(), before);

  const std::wstring repaired = stamp();
  EXPECT_EQ(install(kCurrent, L"/S"), 3);  // older than the installed one
  EXPECT_EQ(productVersion(installedExe()), kNext);
  EXPECT_EQ(hklm(kUninstallKey, L"DisplayVersion"), toWide(kNext));
  EXPECT_EQ(stamp(), repaired);
}

// A program that will not quit (here: one that only idles) fails the update
// with its own exit code and leaves the installation as it was.
TEST_F(Installer, AnUpdateThatCannotQuitTheProgramChangesNothing) {
  ASSERT_EQ(install(kCurrent, L"/S"), 0);
  const std::string idle = readFileText(joinPath(binFolder(), L"idle_program.exe"));
  ASSERT_TRUE(writeFileText(installedExe(), idle));
  Child stubborn = Child::start(installedExe(), {});
  ASSERT_TRUE(stubborn.started());
  const std::wstring before = stamp();

  EXPECT_EQ(install(kNext, L"/S /UPDATE /MAINLANG=en"), 4);
  EXPECT_EQ(readFileText(installedExe()), idle);
  EXPECT_FALSE(fileExists(installedExe() + L".new"));
  EXPECT_EQ(hklm(kUninstallKey, L"DisplayVersion"), toWide(kCurrent));
  EXPECT_EQ(stamp(), before);
  stubborn.kill();
}

// A new program that cannot be written (here a folder is in the way of it)
// leaves the old one installed and runnable.
TEST_F(Installer, AProgramThatCannotBeReplacedStaysAsItWas) {
  ASSERT_EQ(install(kCurrent, L"/S"), 0);
  ASSERT_TRUE(makeDirs(installedExe() + L".new\\in the way"));
  const std::wstring before = stamp();
  EXPECT_EQ(install(kNext, L"/S"), 5);
  EXPECT_EQ(productVersion(installedExe()), kCurrent);
  EXPECT_EQ(hklm(kUninstallKey, L"DisplayVersion"), toWide(kCurrent));
  EXPECT_EQ(stamp(), before);
  EXPECT_EQ(runToEnd(installedExe(), {L"--running"}), 1);  // still a program that starts
}

TEST_F(Installer, UninstallRemovesTheProgramAndKeepsTheUsersThings) {
  ASSERT_EQ(install(kCurrent, L"/S /MAINLANG=de" + foreverSwitch(game.forever())), 0);
  prepareOnce();  // takes over autostart: the Run value
  ASSERT_TRUE(autostartEnabled());
  Child running = Child::start(installedExe(), {L"--background"});
  ASSERT_TRUE(waitFor([] { return runToEnd(installedExe(), {L"--running"}) == 0; }, kProgramMs));

  ASSERT_TRUE(runWithChildren(hklm(kUninstallKey, L"QuietUninstallString")));
  EXPECT_FALSE(isDirectory(installDir()));

  EXPECT_EQ(running.wait(kProgramMs), 0);  // asked to quit, not killed
  EXPECT_FALSE(fileExists(shortcut()));
  EXPECT_FALSE(hklmKeyExists(kUninstallKey));
  EXPECT_FALSE(hklmKeyExists(kSettingsKey));
  EXPECT_FALSE(autostartEnabled());
  EXPECT_TRUE(fileExists(data.file(L"settings.json")));
  EXPECT_TRUE(fileExists(game.addon(L"Cairn.toc")));

  // Again, with nothing installed: harmless, and it touches nothing else.
  ASSERT_TRUE(makeDirs(installDir()));
  ASSERT_TRUE(writeFileText(installed(L"notes.txt"), "mine"));
  const std::wstring saved = data.file(L"uninstall.exe");
  ASSERT_EQ(install(kCurrent, L"/S"), 0);
  ASSERT_TRUE(CopyFileW(installed(L"uninstall.exe").c_str(), saved.c_str(), FALSE));
  EXPECT_EQ(uninstallAndWait(installDir()), 0);
  EXPECT_EQ(readFileText(installed(L"notes.txt")), "mine");
  EXPECT_EQ(run(saved, L"/S _?=" + installDir()), 0);
  EXPECT_EQ(readFileText(installed(L"notes.txt")), "mine");
  EXPECT_FALSE(fileExists(installedExe()));
}

}  // namespace
