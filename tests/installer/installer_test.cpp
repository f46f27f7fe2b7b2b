// Cairnstone-Setup and its uninstaller, run silently as the program and
// Windows run them, in a prefix of their own (see setup_fixture.h).
#include <gtest/gtest.h>

#include "tests/installer/setup_fixture.h"

#include <sddl.h>

#include <algorithm>

#include "update/install.h"

namespace {

using namespace setup;

class Installer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { waitForTheDesktopShell(); }
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
  EXPECT_EQ(shortcutCommand(), installedExe() + L" --open");  // a start that shows the window
  EXPECT_EQ(hklm(kSettingsKey, L"Language"), L"de");
  EXPECT_EQ(hklm(kSettingsKey, L"ForeverDir"), game.forever());
  EXPECT_EQ(hklmDword(kSettingsKey, L"Autostart"), 0);
  EXPECT_EQ(hklm(kSettingsKey, L"InstallUser"), mySid());  // who chose the folder
  EXPECT_FALSE(stamp().empty());

  const std::wstring uninstaller = L"\"" + installed(L"uninstall.exe") + L"\"";
  const std::pair<const wchar_t*, std::wstring> entry[] = {
      {L"DisplayName", L"Cairnstone"},
      {L"DisplayVersion", toWide(kCurrent)},
      {L"Publisher", L"Cairn"},
      {L"DisplayIcon", installedExe() + L",0"},
      {L"InstallLocation", installDir()},
      {L"UninstallString", uninstaller + L" _?=" + installDir()},  // in place, see below
      {L"QuietUninstallString", uninstaller + L" /S _?=" + installDir()},
  };
  for (const auto& value : entry) EXPECT_EQ(hklm(kUninstallKey, value.first), value.second);
  EXPECT_EQ(hklmDword(kUninstallKey, L"NoModify"), 1);
  EXPECT_EQ(hklmDword(kUninstallKey, L"NoRepair"), 1);
  EXPECT_GT(hklmDword(kUninstallKey, L"EstimatedSize"), 100);  // KiB

  // The addon goes beside the program, as the build has it; the program,
  // run as the signed-in user before the setup ends, places it in the game
  // with the user's language in Config.lua.
  EXPECT_NE(readFileText(installedAddon(L"Cairn.toc")).find("## Title: Cairn"), std::string::npos);
  EXPECT_TRUE(fileExists(installedAddon(L"Cairn.lua")));
  EXPECT_TRUE(fileExists(installedAddon(L"Config.lua")));
  EXPECT_EQ(readFileText(game.addon(L"Cairn.toc")), readFileText(installedAddon(L"Cairn.toc")));
  EXPECT_EQ(readFileText(game.addon(L"Cairn.lua")), readFileText(installedAddon(L"Cairn.lua")));
  EXPECT_NE(readFileText(game.addon(L"Config.lua")).find("lang = \"de\""), std::string::npos)
      << readFileText(game.addon(L"Config.lua"));
  EXPECT_NE(setupLog().find("placed the addon in the game as the signed-in user: '0'"),
            std::string::npos)
      << setupLog();
}

// Every kind of run leaves the addon in the game before it ends, placed by
// the program as the signed-in user; the setup's log says how it went, and
// a silent run that closed a running Cairnstone starts it again.
TEST_F(Installer, TheAddonReachesTheGameAfterEverySilentInstall) {
  struct Case {
    const char* version;
    std::wstring parameters;
    bool programRunning;
  };
  const Case cases[] = {
      {kCurrent, L"/S" + foreverSwitch(game.forever()), false},
      {kCurrent, L"/S /NOAUTOSTART" + foreverSwitch(game.forever()), true},
      {kNext, L"/S /UPDATE /MAINLANG=it" + foreverSwitch(game.forever()), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.parameters));
    reset();
    if (c.programRunning) {
      ASSERT_EQ(install(kCurrent, L"/S"), 0);
      removeTree(joinPath(game.forever(), L"Interface\\AddOns\\Cairn"));
      Child running = Child::start(installedExe(), {L"--background"});
      ASSERT_TRUE(waitFor([] { return runToEnd(installedExe(), {L"--running"}) == 0; }, kProgramMs));
    }
    ASSERT_EQ(install(c.version, c.parameters), 0);
    EXPECT_TRUE(fileExists(game.addon(L"Cairn.toc")));
    EXPECT_TRUE(fileExists(game.addon(L"Cairn.lua")));
    EXPECT_TRUE(fileExists(game.addon(L"Config.lua")));
    EXPECT_NE(setupLog().find("placed the addon in the game as the signed-in user: '0'"),
              std::string::npos)
        << setupLog();
    // Started again by the shell after it was closed; else none is left
    // running (the placing run has ended).
    if (c.programRunning) {
      EXPECT_TRUE(waitFor([] { return runToEnd(installedExe(), {L"--running"}) == 0; }, kProgramMs));
      const std::vector<Process> running = processesOf(installedExe());
      ASSERT_EQ(running.size(), 1u);
      EXPECT_EQ(imageName(running[0].parent), L"explorer.exe");
    } else {
      EXPECT_TRUE(processesOf(installedExe()).empty());
    }
  }
  // No game folder known: nothing to place, and the log says so.
  reset();
  ASSERT_EQ(install(kCurrent, L"/S"), 0);
  EXPECT_NE(setupLog().find("placed the addon in the game as the signed-in user: '1'"),
            std::string::npos)
      << setupLog();
}

// A silent run hands over only what its switches say, so a re-run (or an
// update) without them undoes none of the user's later choices in the
// program; the folder chosen in a run is taken by the account that chose it.
TEST_F(Installer, ASilentRerunKeepsTheUsersLaterChoices) {
  ScopedEnv usersData(L"CAIRN_DATA_DIR", userDataDir());  // as the placing run has it
  ASSERT_EQ(install(kCurrent, L"/S /MAINLANG=de /NOAUTOSTART" + foreverSwitch(game.forever())), 0);
  Settings settings;
  loadSettings(settings);
  ASSERT_EQ(settings.language, "de");
  ASSERT_FALSE(settings.autostart);
  ASSERT_EQ(settings.foreverDir, game.forever());

  // Later, in the program: Italian, and start with Windows.
  settings.language = "it";
  settings.autostart = true;
  ASSERT_TRUE(saveSettings(settings).ok());
  ASSERT_TRUE(setAutostart(true));

  const std::wstring first = stamp();
  ASSERT_EQ(install(kCurrent, L"/S"), 0);
  EXPECT_NE(stamp(), first);
  EXPECT_EQ(hklm(kSettingsKey, L"Language"), L"");
  EXPECT_EQ(hklm(kSettingsKey, L"ForeverDir"), L"");
  EXPECT_EQ(hklmDword(kSettingsKey, L"Autostart"), -1);  // not handed over
  EXPECT_EQ(hklm(kSettingsKey, L"InstallUser"), mySid());
  Settings after;
  loadSettings(after);
  EXPECT_EQ(after.installStamp, toUtf8(stamp()));  // taken over, and
  EXPECT_EQ(after.language, "it");                 // nothing undone
  EXPECT_TRUE(after.autostart);
  EXPECT_TRUE(autostartEnabled());
  EXPECT_EQ(after.foreverDir, game.forever());
  EXPECT_NE(readFileText(game.addon(L"Config.lua")).find("lang = \"it\""), std::string::npos);
}

// An interactive run preselects what the signed-in user has now in the
// program (their language, start with Windows, game folder), each only when
// it passes its check, else the earlier installation's; it hands over what
// its pages show, and its last page says how the addon's placement went.
TEST_F(Installer, AnInteractiveRunShowsTheUsersCurrentChoices) {
  constexpr DWORD kFieldMs = 5000;
  GameFolder usersGame;  // the folder the user chose later in the program
  const std::wstring notAGame = game.file(L"not a game");
  ASSERT_TRUE(makeDirs(notAGame));
  struct Case {
    const char* what;
    const char* language;  // null: no settings.json (the program never ran)
    std::wstring folder;
    bool runValue;
    LRESULT listed;  // the language list's selection
    bool autostart;
    std::wstring shownFolder;
    const wchar_t* code;
  };
  const Case cases[] = {
      {"the user's current choices", "pl", usersGame.forever(), true, 5, true, usersGame.forever(),
       L"pl"},
      {"bad ones: the earlier installation's", "xx", notAGame, false, 2, false, game.forever(), L"de"},
      // No Run value then is no choice of the user's: on, as on a new machine.
      {"none yet: the earlier installation's", nullptr, L"", false, 2, true, game.forever(), L"de"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    reset();
    ASSERT_EQ(install(kCurrent, L"/S /MAINLANG=de" + foreverSwitch(game.forever())), 0);
    removeTree(userDataDir());
    if (c.language) {
      JsonValue settings;
      settings.set("language", jsonString(c.language));
      settings.set("foreverDir", jsonString(toUtf8(c.folder)));
      ASSERT_TRUE(makeDirs(userDataDir()));
      ASSERT_TRUE(writeFileText(joinPath(userDataDir(), L"settings.json"), jsonWrite(settings)));
    }
    ASSERT_TRUE(setAutostart(c.runValue));

    Child setup = Child::startLine(setupExe(kCurrent), L"");
    SetupWindow window;
    ASSERT_TRUE(window.find(kProgramMs));
    window.pressDefault();  // Welcome: Next
    HWND list = nullptr;
    ASSERT_TRUE(waitFor([&] { return (list = window.control(L"ListBox")) != nullptr; }, kProgramMs));
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), c.listed);
    HWND box = window.control(L"Button", L"Start Cairnstone with &Windows");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED, c.autostart);
    window.pressDefault();  // Language: Next
    std::wstring shown;  // once the page has shown it
    waitFor(
        [&] {
          wchar_t text[MAX_PATH] = {};
          // Another process's field: its text comes by message, not as a caption.
          if (HWND field = window.control(L"Edit")) {
            SendMessageW(field, WM_GETTEXT, MAX_PATH, reinterpret_cast<LPARAM>(text));
          }
          shown = text;
          return shown == c.shownFolder;
        },
        kFieldMs);
    EXPECT_EQ(shown, c.shownFolder);
    window.pressDefault();  // Folder: Install
    EXPECT_TRUE(waitFor(
        [&] {
          return window.texts().find(L"The Cairnstone addon is in place in the game.") !=
                 std::wstring::npos;
        },
        kProgramMs))
        << toUtf8(window.texts());
    HWND start = window.control(L"Button", L"&Start Cairnstone");
    if (start) SendMessageW(start, BM_SETCHECK, BST_UNCHECKED, 0);
    window.pressDefault();  // Finish
    const long code = setup.wait(kProgramMs);
    if (code == -1) setup.kill();
    EXPECT_EQ(code, 0);
    EXPECT_EQ(hklm(kSettingsKey, L"Language"), c.code);
    EXPECT_EQ(hklm(kSettingsKey, L"ForeverDir"), c.shownFolder);
    EXPECT_EQ(hklmDword(kSettingsKey, L"Autostart"), c.autostart ? 1 : 0);
    EXPECT_EQ(hklm(kSettingsKey, L"InstallUser"), mySid());
  }
}

// Links a standard user planted where the elevated setup used to write (the
// game folder, its own log in the temp folder) lead it nowhere: what they
// point at stays as it was, or is never made.
TEST_F(Installer, LinksPlantedForTheElevatedSetupLeadNowhere) {
  TempDir victim;
  const std::wstring existing = victim.file(L"system.dll");
  ASSERT_TRUE(writeFileText(existing, "precious"));
  ASSERT_TRUE(SetFileAttributesW(existing.c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(makeDirs(parentPath(game.addon(L"Cairn.toc"))));
  struct Planted {
    std::wstring link, target;
  };
  const Planted planted[] = {
      {game.addon(L"Cairn.toc"), existing},
      {game.addon(L"Cairn.lua"), victim.file(L"created.sys")},
      {tempFile(L"Cairnstone-Setup.log"), victim.file(L"logtarget.ini")},
      {tempFile(L"Cairnstone-Uninstall.log"), existing},
  };
  for (const Planted& p : planted) ASSERT_TRUE(unixLink(p.link, p.target)) << toUtf8(p.link);

  EXPECT_EQ(install(kCurrent, L"/S" + foreverSwitch(game.forever())), 0);
  EXPECT_EQ(uninstallAndWait(installDir()), 0);

  SetFileAttributesW(existing.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(readFileText(existing), "precious");
  EXPECT_FALSE(fileExists(victim.file(L"created.sys")));
  EXPECT_FALSE(fileExists(victim.file(L"logtarget.ini")));
  for (const Planted& p : planted) EXPECT_TRUE(removeUnixLink(p.link));
}

// Wherever /D= or an earlier installation's entry points (here a folder any
// user could write, holding a planted program), the program goes into
// Program Files and nothing in that folder is run or changed.
TEST_F(Installer, TheProgramAlwaysGoesIntoProgramFiles) {
  TempDir planted;
  const std::string stand_in = readFileText(joinPath(binFolder(), L"test_installer.exe"));
  for (const wchar_t* name : {L"Cairnstone.exe", L"uninstall.exe"}) {
    ASSERT_TRUE(writeFileText(planted.file(name), stand_in));
  }
  const std::wstring record = game.file(L"started.txt");
  ScopedEnv recording(L"CAIRN_TEST_INSTALLER_RECORD", record);
  struct Case {
    const char* version;
    std::wstring parameters;
    bool earlierEntry;
  };
  const Case cases[] = {
      {kCurrent, L"/S /D=" + planted.path(), false},
      {kNext, L"/S /UPDATE /MAINLANG=en", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.parameters));
    reset();
    if (c.earlierEntry) {
      const std::pair<const wchar_t*, std::wstring> entry[] = {
          {L"InstallLocation", planted.path()}, {L"DisplayVersion", toWide(kCurrent)}};
      for (const auto& value : entry) {
        ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, kUninstallKey, value.first, REG_SZ,
                                  value.second.c_str(),
                                  static_cast<DWORD>((value.second.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
      }
    }
    ASSERT_EQ(install(c.version, c.parameters), 0);
    EXPECT_EQ(productVersion(installedExe()), c.version);
    EXPECT_EQ(hklm(kUninstallKey, L"InstallLocation"), installDir());
    for (const wchar_t* name : {L"Cairnstone.exe", L"uninstall.exe"}) {
      EXPECT_TRUE(readFileText(planted.file(name)) == stand_in) << toUtf8(name);
    }
    EXPECT_FALSE(fileExists(planted.file(L"Cairnstone.exe.new")));
    EXPECT_EQ(readFileText(record), "");
  }
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
  // Autostart -1: not handed over (the program keeps its own).
  const Case cases[] = {
      {L"/S /MAINLANG=xx" + foreverSwitch(game.file(L"missing")), L"en", L"", -1},
      {L"/S /MAINLANG=DE /NOAUTOSTART" + foreverSwitch(empty), L"en", L"", 0},
      {L"/S /MAINLANG=pl" + foreverSwitch(game.wow()), L"pl", game.forever(), -1},
      {L"/S /MAINLANG=it" + foreverSwitch(game.forever() + L"\\Interface\\AddOns\\"), L"it",
       game.forever(), -1},
      {L"/S /MAINLANG=nl" + foreverSwitch(onlyGame.forever()), L"nl", onlyGame.forever(), -1},
      // A device path to a real game folder: only paths on a drive are looked
      // at (a network path is the same case; Wine here reaches no server).
      {L"/S /MAINLANG=de" + foreverSwitch(L"\\\\?\\" + game.forever()), L"de", L"", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.parameters));
    reset();
    ASSERT_EQ(install(kCurrent, c.parameters), 0);
    EXPECT_EQ(hklm(kSettingsKey, L"Language"), c.language);
    EXPECT_EQ(hklm(kSettingsKey, L"ForeverDir"), c.folder);
    EXPECT_EQ(hklmDword(kSettingsKey, L"Autostart"), c.autostart);
  }
  // Nothing given: nothing handed over; the program chooses for itself.
  reset();
  ASSERT_EQ(install(kCurrent, L"/S"), 0);
  EXPECT_EQ(hklm(kSettingsKey, L"Language"), L"");
  EXPECT_EQ(hklm(kSettingsKey, L"ForeverDir"), L"");
  EXPECT_EQ(hklmDword(kSettingsKey, L"Autostart"), -1);
}

// Game folders whose path, as the program may hold it, has " /S", " /D=",
// " /NCRC" or " /NOAUTOSTART" in it (a '/' is a separator in Windows; the
// folder "a " needs the long form to be made): the command line the program
// builds carries the whole folder and no switch the user did not ask for.
TEST_F(Installer, NoPartOfAGameFolderFromTheProgramReadsAsASwitch) {
  const wchar_t* const odd[] = {L"a /S", L"b /D=C:\\x", L"c /NCRC", L"d /NOAUTOSTART"};
  for (const wchar_t* part : odd) {
    const std::wstring held = game.file(L"odd\\") + part + L"/_forever_";  // as the program holds it
    std::wstring folder = held;
    std::replace(folder.begin(), folder.end(), L'/', L'\\');
    SCOPED_TRACE(toUtf8(held));
    ASSERT_TRUE(makeDirs(L"\\\\?\\" + joinPath(folder, L"Interface\\AddOns")));
    reset();
    ASSERT_EQ(install(kCurrent, installerArgs(held, "de", true)), 0);
    EXPECT_EQ(hklm(kSettingsKey, L"ForeverDir"), folder);
    EXPECT_EQ(hklm(kSettingsKey, L"Language"), L"de");
    EXPECT_EQ(hklmDword(kSettingsKey, L"Autostart"), -1);  // on: the program keeps its own
  }
}

TEST_F(Installer, TheProgramTakesOverEachInstallationOnce) {
  ASSERT_EQ(install(kCurrent, L"/S /MAINLANG=de /NOAUTOSTART"), 0);
  EXPECT_EQ(takeovers(prepareOnce()), 1u);
  const std::string log = prepareOnce();
  EXPECT_EQ(takeovers(log), 1u);
  EXPECT_NE(log.find("from the installer: start with Windows off, language de"), std::string::npos);

  const std::wstring first = stamp();
  ASSERT_EQ(install(kCurrent, L"/S /MAINLANG=it"), 0);  // a repair, autostart not given
  EXPECT_NE(stamp(), first);
  const std::string again = prepareOnce();
  EXPECT_EQ(takeovers(again), 2u);
  EXPECT_NE(again.find("from the installer: start with Windows off, language it"), std::string::npos);
  EXPECT_FALSE(autostartEnabled());
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

// A program that will not quit (here: a stand-in that records each start
// and idles) fails the update with its own exit code and leaves the
// installation as it was. The elevated setup asks its window and never runs
// the installed program itself; while it waits, its plug-ins are seen
// unpacked where only administrators write, not in the temp folder.
TEST_F(Installer, AnUpdateThatCannotQuitTheProgramChangesNothing) {
  ASSERT_EQ(install(kCurrent, L"/S"), 0);
  const std::string stand_in = readFileText(joinPath(binFolder(), L"test_installer.exe"));
  ASSERT_TRUE(writeFileText(installedExe(), stand_in));
  const std::wstring record = game.file(L"started.txt");
  ScopedEnv recording(L"CAIRN_TEST_INSTALLER_RECORD", record);
  ScopedEnv idling(L"CAIRN_TEST_INSTALLER_MS", L"60000");
  Child stubborn = Child::start(installedExe(), {L"--background"});
  ASSERT_TRUE(stubborn.started());
  ASSERT_TRUE(waitFor([&] { return !readFileText(record).empty(); }, kProgramMs));
  const std::wstring before = stamp();

  const std::wstring programFiles = folderOf(FOLDERID_ProgramFiles);
  const std::wstring temp = parentPath(tempFile(L"x"));
  const std::vector<std::wstring> inTemp = unpackedPlugins(temp);
  const std::vector<std::wstring> inProgramFiles = unpackedPlugins(programFiles);
  Child update = Child::startLine(setupExe(kNext), L"/S /UPDATE /MAINLANG=en");
  EXPECT_TRUE(waitFor([&] { return unpackedPlugins(programFiles) != inProgramFiles; }, kProgramMs));
  EXPECT_EQ(unpackedPlugins(temp), inTemp);
  EXPECT_EQ(update.wait(kSetupMs), 4);
  EXPECT_EQ(unpackedPlugins(programFiles), inProgramFiles);  // removed at the end
  EXPECT_EQ(readFileText(record), "--background\n");
  EXPECT_TRUE(readFileText(installedExe()) == stand_in);
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

  // The entry runs the uninstaller in place, never a copy in the temp
  // folder (which the signed-in user could replace before it runs
  // elevated): it has done its work when it ends, and it leaves only
  // itself, to go at the next restart.
  const std::vector<std::wstring> copiesBefore = uninstallerCopies();
  EXPECT_EQ(runCommandLine(hklm(kUninstallKey, L"QuietUninstallString")), 0);
  EXPECT_EQ(uninstallerCopies(), copiesBefore);
  EXPECT_FALSE(fileExists(installedExe()));
  const std::wstring uninstaller = lowerWide(installed(L"uninstall.exe"));
  const auto dueAtRestart = [&] {
    const std::vector<std::wstring> due = deletionsAtRestart();
    return std::find(due.begin(), due.end(), uninstaller) != due.end();
  };
  EXPECT_TRUE(dueAtRestart());

  EXPECT_EQ(running.wait(kProgramMs), 0);  // asked to quit, not killed
  EXPECT_FALSE(fileExists(shortcut()));
  EXPECT_FALSE(hklmKeyExists(kUninstallKey));
  EXPECT_FALSE(hklmKeyExists(kSettingsKey));
  EXPECT_FALSE(autostartEnabled());
  EXPECT_TRUE(fileExists(data.file(L"settings.json")));
  // The data folder that stays, named on the uninstaller's page: the
  // signed-in user's (Wine has one user; see the README).
  EXPECT_NE(setupLog(L"Cairnstone-Uninstall.log")
                .find("the data folder that stays: " +
                      toUtf8(joinPath(folderOf(FOLDERID_RoamingAppData), L"Cairn"))),
            std::string::npos)
      << setupLog(L"Cairnstone-Uninstall.log");

  // Again, with nothing installed: harmless, and it touches nothing else.
  ASSERT_TRUE(makeDirs(installDir()));
  ASSERT_TRUE(writeFileText(installed(L"notes.txt"), "mine"));
  const std::wstring saved = data.file(L"uninstall.exe");
  ASSERT_EQ(install(kCurrent, L"/S"), 0);
  EXPECT_FALSE(dueAtRestart());  // the new installation's uninstaller stays
  ASSERT_TRUE(CopyFileW(installed(L"uninstall.exe").c_str(), saved.c_str(), FALSE));
  EXPECT_EQ(uninstallAndWait(installDir()), 0);
  EXPECT_EQ(readFileText(installed(L"notes.txt")), "mine");
  EXPECT_EQ(run(saved, L"/S _?=" + installDir()), 0);
  EXPECT_EQ(readFileText(installed(L"notes.txt")), "mine");
  EXPECT_FALSE(fileExists(installedExe()));
}

// The uninstaller's pages speak plainly: its confirm page names the data
// folder that stays (the signed-in user's), its progress list says what it
// does in words, never the commands it runs.
TEST_F(Installer, TheUninstallersPagesSpeakPlainly) {
  ASSERT_EQ(install(kCurrent, L"/S"), 0);
  TempDir copyDir;
  const std::wstring copy = copyDir.file(L"uninstall.exe");
  ASSERT_TRUE(CopyFileW(installed(L"uninstall.exe").c_str(), copy.c_str(), FALSE));
  Child uninstaller = Child::startLine(copy, L"_?=" + installDir());
  SetupWindow window;
  ASSERT_TRUE(window.find(kProgramMs));
  const std::wstring dataFolder = joinPath(folderOf(FOLDERID_RoamingAppData), L"Cairn");
  EXPECT_NE(window.texts().find(L"(your Cairn data folder, " + dataFolder + L")"), std::wstring::npos)
      << toUtf8(window.texts());

  window.pressDefault();  // Uninstall
  const std::vector<std::wstring> expected = {
      L"Closing Cairnstone\u2026", L"Removing the program\u2026",
      L"Removing the Start menu entry and starting with Windows\u2026", L"Completed"};
  EXPECT_TRUE(waitFor([&] { return window.progressLines().size() >= expected.size(); }, kProgramMs));
  std::string shown;
  for (const std::wstring& line : window.progressLines()) shown += toUtf8(line) + "\n";
  EXPECT_TRUE(window.progressLines() == expected) << shown;
  window.pressDefault();  // Close
  const long code = uninstaller.wait(kProgramMs);
  if (code == -1) uninstaller.kill();
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(fileExists(installedExe()));
}

// A copy of the program still running in another user's session (here: its
// image held by this test) never stalls an update, and never makes Windows
// delete an installed program at the next restart.
TEST_F(Installer, AProgramInUseElsewhereNeverStallsAnUpdateNorGoesAtTheNextRestart) {
  auto scheduled = [] {
    std::vector<std::wstring> names;
    for (const std::wstring& path : deletionsAtRestart()) {
      // The folder itself goes too once it is empty.
      if (parentPath(path) == lowerWide(installDir()) && !fileName(path).empty()) {
        names.push_back(fileName(path));
      }
    }
    return names;
  };
  auto asideNamesOnly = [](const std::vector<std::wstring>& names) {
    for (const std::wstring& name : names) {
      // Cairnstone.exe.{GUID}.old: a name of that run's own.
      if (name.rfind(L"cairnstone.exe.{", 0) != 0 || name.size() < 20 ||
          name.compare(name.size() - 5, 5, L"}.old") != 0) {
        return false;
      }
    }
    return true;
  };
  auto listed = [](const std::vector<std::wstring>& names) {
    std::string text;
    for (const std::wstring& name : names) text += toUtf8(name) + " ";
    return text;
  };
  ASSERT_EQ(install(kCurrent, L"/S"), 0);
  {
    // Wine maps one image per name into a process: one copy in use at a time.
    ImageInUse running(installedExe());
    ASSERT_TRUE(running.held());
    ASSERT_EQ(install(kNext, L"/S"), 0);
    EXPECT_EQ(install(kNext, L"/S"), 0);  // a repair, with the first one still in use
    EXPECT_EQ(scheduled().size(), 1u) << listed(scheduled());
    EXPECT_TRUE(asideNamesOnly(scheduled())) << listed(scheduled());
  }
  EXPECT_EQ(productVersion(installedExe()), kNext);
  forgetDeletionsAtRestart();

  {
    ImageInUse running(installedExe());
    ASSERT_TRUE(running.held());
    EXPECT_EQ(uninstallAndWait(installDir()), 0);
    EXPECT_FALSE(fileExists(installedExe()));
    EXPECT_EQ(scheduled().size(), 1u) << listed(scheduled());
    EXPECT_TRUE(asideNamesOnly(scheduled())) << listed(scheduled());
  }
  // A reinstall before the restart keeps its program.
  ASSERT_EQ(install(kNext, L"/S"), 0);
  for (const std::wstring& name : scheduled()) EXPECT_NE(name, L"cairnstone.exe");
}

// One setup at a time, whoever started it; a name a standard user took first
// (here: an object owned by a user's SID that anyone may open) stops none.
TEST_F(Installer, OnlyARealSetupHoldsTheSetupLock) {
  struct Case {
    const wchar_t* sddl;
    long exitCode;
  };
  const Case cases[] = {
      {L"O:S-1-5-21-1-2-3-1001D:(A;;GA;;;WD)", 0},
      {L"O:BAD:P(A;;GA;;;BA)(A;;GA;;;SY)", 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.sddl));
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(c.sddl, SDDL_REVISION_1,
                                                                     &descriptor, nullptr));
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    std::vector<HANDLE> held;
    for (const wchar_t* name : {L"Global\\CairnstoneSetup", L"Local\\CairnstoneSetup"}) {
      held.push_back(CreateMutexW(&attributes, FALSE, name));
      ASSERT_NE(held.back(), nullptr);
    }
    EXPECT_EQ(install(kCurrent, L"/S"), c.exitCode);
    EXPECT_EQ(fileExists(installedExe()), c.exitCode == 0);
    for (HANDLE h : held) CloseHandle(h);
    LocalFree(descriptor);
    reset();
  }
}

}  // namespace
