// The addon reaching the game folder from beside the program: at every start
// (an update's first start included) and when the user picks another game
// folder, before the windows are told.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/messages.h"
#include "base/paths.h"
#include "base/scoped_handle.h"
#include "base/text.h"
#include "game/addon.h"
#include "game/held_path.h"
#include "storage/files.h"
#include "storage/settings.h"
#include "tests/support/links.h"
#include "tests/support/test_support.h"

namespace {

constexpr DWORD kTimeoutMs = 30000;
constexpr char kToc[] = "## Title: Cairn\n";
constexpr char kLua[] = "Cairn = {}\n";

std::string jsonPath(const std::wstring& path) {
  std::string out;
  for (char c : toUtf8(path)) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
  return out;
}

class AddonInstall : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(makeDirs(payload));
    ASSERT_TRUE(writeWholeFile(joinPath(payload, L"Cairn.toc"), kToc));
    ASSERT_TRUE(writeWholeFile(joinPath(payload, L"Cairn.lua"), kLua));
    for (const std::wstring& game : {first, second}) ASSERT_TRUE(makeDirs(addOnsDir(game)));
    ASSERT_TRUE(writeWholeFile(data.file(L"settings.json"),
                               R"({"language":"de","foreverDir":")" + jsonPath(first) +
                                   R"(","wizardDone":true,"lastVersion":"1.3.0"})"));
  }
  std::string installed(const std::wstring& game, const wchar_t* name) {
    return readFileText(joinPath(addonDir(game), name));
  }
  std::vector<std::string> addonLines() {
    std::vector<std::string> lines;
    for (const std::string& m : logMessages(readFileText(data.file(L"cairn.log")))) {
      if (m.rfind("addon: ", 0) == 0) lines.push_back(m);
    }
    return lines;
  }

  TempDir data;
  TempDir machine;
  ScopedEnv dataEnv{L"CAIRN_DATA_DIR", data.path()};
  ScopedEnv noOverride{L"CAIRN_FOREVER_DIR", L""};
  const std::wstring program = machine.file(L"Program Files\\Cairnstone");
  const std::wstring payload = joinPath(program, L"addon\\Cairn");
  const std::wstring first = machine.file(L"World of Warcraft\\_forever_");
  const std::wstring second = machine.file(L"Games\\World of Warcraft\\_forever_");
};

TEST_F(AddonInstall, TheControllerCopiesAtStartAndForANewFolderBeforeTellingTheWindows) {
  ScopedWindow window(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      nullptr, nullptr));
  ASSERT_TRUE(window.valid());
  App app(payload);
  app.prepare();
  EXPECT_EQ(installed(first, L"Cairn.toc"), kToc);
  EXPECT_EQ(installed(first, L"Config.lua"), "CairnInstall = { lang = \"de\" }\n");
  app.start(window);

  Settings settings = app.snapshot();
  settings.foreverDir = second;
  EXPECT_TRUE(app.applySettings(settings));
  // The worker places it and then tells the windows.
  EXPECT_TRUE(waitFor([&] { return !app.addonWorking(); }, kTimeoutMs));
  EXPECT_EQ(installed(second, L"Cairn.lua"), kLua);
  EXPECT_EQ(installed(second, L"Config.lua"), "CairnInstall = { lang = \"de\" }\n");
  MSG msg;
  EXPECT_TRUE(PeekMessageW(&msg, window, WM_APP_STATE, WM_APP_STATE, PM_REMOVE));

  // Only a new folder is copied to: the user's own change stays until then.
  ASSERT_TRUE(writeWholeFile(joinPath(addonDir(second), L"Cairn.lua"), "edited\n"));
  settings.language = "pl";
  EXPECT_TRUE(app.applySettings(settings));
  EXPECT_TRUE(waitFor([&] { return !app.addonWorking(); }, kTimeoutMs));
  EXPECT_EQ(installed(second, L"Cairn.lua"), "edited\n");
  EXPECT_EQ(installed(second, L"Config.lua"), "CairnInstall = { lang = \"pl\" }\n");
  app.stop();
  EXPECT_EQ(addonLines(), (std::vector<std::string>{
                              "addon: 2 file(s) copied into " + toUtf8(addonDir(first)),
                              "addon: 2 file(s) copied into " + toUtf8(addonDir(second))}));
}

FileOwner otherAccount(HANDLE) { return {OwnerKind::OtherAccount, L"HOST\\mallory"}; }

TEST_F(AddonInstall, ALinkOfAnotherAccountOrAFailureIsLoggedAndNothingIsWritten) {
  const std::wstring outside = machine.file(L"victim");
  ASSERT_TRUE(makeDirs(outside));
  ASSERT_TRUE(makeLink(addonDir(first), outside, true));
  setOwnerReader(otherAccount);
  {
    App app(payload);
    app.prepare();
    EXPECT_EQ(app.addonReport().problem, AddonProblem::LinkRefused);
  }
  setOwnerReader(nullptr);
  EXPECT_TRUE(listFolder(outside).empty());
  ASSERT_TRUE(removeLinkItself(addonDir(first)));
  ASSERT_TRUE(makeDirs(addonDir(first)));
  ASSERT_TRUE(writeWholeFile(joinPath(addonDir(first), L"Cairn.lua"), "old\n"));
  {
    ScopedHandle busy(CreateFileW(joinPath(addonDir(first), L"Cairn.lua").c_str(), GENERIC_READ, 0,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    App app(payload);
    app.prepare();
  }
  const std::vector<std::string> lines = addonLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "addon: not copied into " + toUtf8(addonDir(first)) + ", " +
                          toUtf8(addonDir(first)) +
                          " is a link made by HOST\\mallory and is left as it is");
  EXPECT_EQ(lines[1].rfind("addon: not copied into " + toUtf8(addonDir(first)) + ", " +
                               toUtf8(joinPath(addonDir(first), L"Cairn.lua")) +
                               " failed (error ",
                           0),
            0u)
      << lines[1];
}

// The real program placed as the installer places it, with the addon beside
// it: each start brings the game folder up to the addon it carries.
TEST_F(AddonInstall, TheInstalledProgramCopiesAtEachStartWhatChanged) {
  const std::wstring exe = joinPath(program, L"Cairnstone.exe");
  ASSERT_TRUE(CopyFileW(cairnstoneExe().c_str(), exe.c_str(), FALSE));
  auto startAndQuit = [&] {
    Child instance = Child::start(exe, {L"--background"});
    ASSERT_TRUE(instance.started());
    ASSERT_TRUE(waitFor([] { return FindWindowW(kTrayWindowClass, nullptr) != nullptr; },
                        kTimeoutMs));
    // The window exists only after the copy: what it shows first is the addon installed.
    EXPECT_TRUE(addonPresent(first));
    EXPECT_EQ(runToEnd(exe, {L"--quit"}), 0);
    EXPECT_EQ(instance.wait(kTimeoutMs), 0);
  };
  startAndQuit();
  EXPECT_EQ(installed(first, L"Cairn.lua"), kLua);
  EXPECT_EQ(installed(first, L"Config.lua"), "CairnInstall = { lang = \"de\" }\n");
  startAndQuit();  // nothing changed: nothing copied
  ASSERT_TRUE(writeWholeFile(joinPath(payload, L"Cairn.lua"), "Cairn = { version = 2 }\n"));
  startAndQuit();  // as after an update
  EXPECT_EQ(installed(first, L"Cairn.lua"), "Cairn = { version = 2 }\n");
  EXPECT_EQ(addonLines(), (std::vector<std::string>{
                              "addon: 2 file(s) copied into " + toUtf8(addonDir(first)),
                              "addon: 1 file(s) copied into " + toUtf8(addonDir(first))}));
}

// The installer's run as the signed-in user: it takes the new installation
// over and places the addon itself, or has the running instance do it, and
// says how by its exit code.
TEST_F(AddonInstall, ThePlacingRunForTheInstallerTakesTheInstallationOverAndSaysHowItWent) {
  const std::wstring exe = joinPath(program, L"Cairnstone.exe");
  ASSERT_TRUE(CopyFileW(cairnstoneExe().c_str(), exe.c_str(), FALSE));
  SavedRegistryValue run{HKEY_CURRENT_USER, kRunKey, kRunValue};
  ScopedRegistryKey installer(HKEY_LOCAL_MACHINE, kInstallerKey, KEY_WOW64_64KEY);
  ASSERT_TRUE(installer.setString(L"InstallUser", currentUserSid()));
  const auto installation = [&](const wchar_t* stamp, const std::wstring& folder,
                                const wchar_t* language) {
    ASSERT_TRUE(installer.setString(L"InstallStamp", stamp));
    ASSERT_TRUE(installer.setString(L"ForeverDir", folder));
    ASSERT_TRUE(installer.setString(L"Language", language));
    ASSERT_TRUE(installer.setDword(L"Autostart", 0));
  };
  const auto config = [&](const std::wstring& game) { return installed(game, L"Config.lua"); };

  // No instance runs: the run does it and ends.
  installation(L"place-1", second, L"pl");
  EXPECT_EQ(runToEnd(exe, {L"--place-addon"}), 0);
  EXPECT_EQ(installed(second, L"Cairn.toc"), kToc);
  EXPECT_EQ(config(second), "CairnInstall = { lang = \"pl\" }\n");
  Settings settings;
  (void)loadSettings(settings);
  EXPECT_EQ(settings.foreverDir, second);  // the folder chosen in the installer
  EXPECT_FALSE(settings.autostart);
  EXPECT_FALSE(autostartEnabled());  // from the install on, not from the first start

  // A running instance does the work and answers.
  Child instance = Child::start(exe, {L"--background"});
  ASSERT_TRUE(instance.started());
  ASSERT_TRUE(waitFor([] { return FindWindowW(kTrayWindowClass, nullptr) != nullptr; },
                      kTimeoutMs));
  installation(L"place-2", first, L"it");
  EXPECT_EQ(runToEnd(exe, {L"--place-addon"}), 0);
  EXPECT_EQ(installed(first, L"Cairn.lua"), kLua);
  EXPECT_EQ(config(first), "CairnInstall = { lang = \"it\" }\n");
  EXPECT_EQ(runToEnd(exe, {L"--quit"}), 0);
  EXPECT_EQ(instance.wait(kTimeoutMs), 0);

  // Another account's choice of folder is not this user's: no folder known.
  ASSERT_TRUE(writeWholeFile(data.file(L"settings.json"), R"({"wizardDone":true})"));
  ScopedEnv noFolder{L"CAIRN_FOREVER_DIR", machine.file(L"nowhere")};
  installation(L"place-3", second, L"de");
  ASSERT_TRUE(installer.setString(L"InstallUser", L"S-1-5-21-1-2-3-1001"));
  EXPECT_EQ(runToEnd(exe, {L"--place-addon"}), 1);
}

}  // namespace
