// The real program's start-up on a prepared machine: settings, installer
// values, a game folder with the addon, and leftovers of the old app.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/messages.h"
#include "base/paths.h"
#include "base/text.h"
#include "storage/files.h"
#include "storage/settings.h"
#include "tests/support/test_support.h"

namespace {

constexpr DWORD kTimeoutMs = 30000;

// A path as the settings file stores it: backslashes escaped.
std::string jsonEscapedPath(const std::wstring& path) {
  std::string out;
  for (char c : toUtf8(path)) {
    if (c == '\\') out += '\\';
    out += c;
  }
  return out;
}

FILETIME modifiedAt(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA info = {};
  GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &info);
  return info.ftLastWriteTime;
}

// One whole life of a first instance: start, found, quit, ended.
void startAndQuit() {
  Child instance = Child::start(cairnstoneExe(), {L"--background"});
  ASSERT_TRUE(instance.started());
  ASSERT_TRUE(
      waitFor([] { return FindWindowW(kTrayWindowClass, nullptr) != nullptr; }, kTimeoutMs));
  EXPECT_EQ(runToEnd(cairnstoneExe(), {L"--quit"}), 0);
  EXPECT_EQ(instance.wait(kTimeoutMs), 0);
}

class PreparedMachine : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(writeWholeFile(data.file(L"settings.json"),
                               R"({"language":"","wizardDone":true,"lastVersion":"1.2.9"})"));
    for (const wchar_t* leftover : {L"history.jsonl", L"usage.json", L"key.dat"}) {
      ASSERT_TRUE(writeWholeFile(data.file(leftover), "old"));
    }
    ASSERT_TRUE(installer.setString(L"InstallStamp", L"e2e-stamp"));
    ASSERT_TRUE(installer.setDword(L"Autostart", 1));
    ASSERT_TRUE(installer.setString(L"Language", L"de"));
    ASSERT_TRUE(installer.setString(L"ForeverDir", wow));
    ASSERT_TRUE(installer.setString(L"InstallUser", currentUserSid()));  // this user chose it
    ASSERT_TRUE(makeDirs(addOns + L"\\Cairn"));
    ASSERT_TRUE(writeWholeFile(addOns + L"\\Cairn\\Cairn.toc", "## Title: Cairn"));
    for (const wchar_t* folder : {L"Questie", L"Brindle", L"BrindlePost001", L"BrindlePost150",
                                  L"BrindlePost151", L"CairnPost007", L"Cairn\\Bridge"}) {
      ASSERT_TRUE(makeDirs(addOns + L"\\" + folder));
    }
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    const wchar_t old[] = L"C:\\Brindle\\Brindle.exe";
    RegSetValueExW(key, L"Brindle", 0, REG_SZ, reinterpret_cast<const BYTE*>(old), sizeof old);
    RegCloseKey(key);
  }

  TempDir data;
  TempDir machine;
  ScopedEnv dataEnv{L"CAIRN_DATA_DIR", data.path()};
  ScopedEnv noOverride{L"CAIRN_FOREVER_DIR", L""};
  SavedRegistryValue run{HKEY_CURRENT_USER, kRunKey, kRunValue};
  SavedRegistryValue brindleRun{HKEY_CURRENT_USER, kRunKey, L"Brindle"};
  ScopedRegistryKey installer{HKEY_LOCAL_MACHINE, kInstallerKey, KEY_WOW64_64KEY};
  std::wstring wow = machine.file(L"World of Warcraft");
  std::wstring forever = wow + L"\\_forever_";
  std::wstring addOns = forever + L"\\Interface\\AddOns";
};

// The test programs' folder has no addon beside them: each start says so once.
std::string noPayload() {
  return "addon: none beside the program (" +
         toUtf8(joinPath(parentPath(cairnstoneExe()), L"addon\\Cairn")) + "); nothing is copied";
}

TEST_F(PreparedMachine, FirstStartDoesTheWholeSequenceAndTheSecondNothing) {
  startAndQuit();
  const std::string settings = readFileText(data.file(L"settings.json"));
  EXPECT_EQ(settings, R"({"language":"de","foreverDir":")" + jsonEscapedPath(forever) +
                          R"(","autostart":true,"wizardDone":true,"installStamp":"e2e-stamp",)"
                          R"("lastVersion":"1.3.0"})");
  const std::wstring config = addOns + L"\\Cairn\\Config.lua";
  EXPECT_EQ(readFileText(config), "CairnInstall = { lang = \"de\" }\n");
  const std::vector<std::string> expected = {
      "removed history.jsonl: Cairnstone no longer asks questions",
      "removed usage.json: Cairnstone no longer asks questions",
      "removed the old Claude API key (key.dat): Cairnstone no longer uses it",
      "from the installer: start with Windows on, language de",
      "from the installer: WoW Forever folder " + toUtf8(forever),
      "updated from 1.2.9 to 1.3.0",
      "removed the old Brindle start-with-Windows entry",
      "removed 3 old Brindle addon folders",
      "removed 2 old answer folders (CairnPost, Cairn\\Bridge)",
      "Config.lua: CairnInstall = { lang = \"de\" }",
      noPayload(),
      "Cairn 1.3.0 started",
      "Cairn stopped",
  };
  EXPECT_EQ(logMessages(readFileText(data.file(L"cairn.log"))), expected);
  EXPECT_TRUE(autostartEnabled());
  EXPECT_TRUE(isDirectory(addOns + L"\\BrindlePost151"));
  EXPECT_TRUE(isDirectory(addOns + L"\\Questie"));
  for (const wchar_t* leftover : {L"history.jsonl", L"usage.json", L"key.dat"}) {
    EXPECT_FALSE(fileExists(data.file(leftover)));
  }

  const FILETIME configTime = modifiedAt(config);
  const FILETIME settingsTime = modifiedAt(data.file(L"settings.json"));
  ASSERT_TRUE(DeleteFileW(data.file(L"cairn.log").c_str()));
  startAndQuit();
  EXPECT_EQ(logMessages(readFileText(data.file(L"cairn.log"))),
            (std::vector<std::string>{noPayload(), "Cairn 1.3.0 started", "Cairn stopped"}));
  EXPECT_EQ(readFileText(data.file(L"settings.json")), settings);
  const FILETIME configAfter = modifiedAt(config);
  const FILETIME settingsAfter = modifiedAt(data.file(L"settings.json"));
  EXPECT_EQ(CompareFileTime(&configTime, &configAfter), 0);
  EXPECT_EQ(CompareFileTime(&settingsTime, &settingsAfter), 0);
}

TEST_F(PreparedMachine, UpdateCheckRunPreparesLikeAFirstStart) {
  const std::wstring out = data.file(L"out.txt");
  EXPECT_EQ(runToEnd(cairnstoneExe(), {L"--update-check", L"--out", out}), 1);
  EXPECT_EQ(readFileText(addOns + L"\\Cairn\\Config.lua"), "CairnInstall = { lang = \"de\" }\n");
  const std::vector<std::string> messages = logMessages(readFileText(data.file(L"cairn.log")));
  ASSERT_GE(messages.size(), 3u);
  // No start, no stop: preparation, then the check (nobody answers on port 9).
  EXPECT_EQ(messages[messages.size() - 3], "Config.lua: CairnInstall = { lang = \"de\" }");
  EXPECT_EQ(messages[messages.size() - 2], noPayload());
  EXPECT_EQ(messages.back(), "update check: no answer from the server (status=0 cannot connect)");
  EXPECT_EQ(FindWindowW(kTrayWindowClass, nullptr), nullptr);
}

TEST_F(PreparedMachine, ForeverOverrideIsStoredWithoutGameFiles) {
  const std::wstring bare = machine.file(L"Elsewhere\\_forever_");
  ASSERT_TRUE(makeDirs(bare));
  ScopedEnv overridden(L"CAIRN_FOREVER_DIR", machine.file(L"Elsewhere"));
  ASSERT_TRUE(installer.setString(L"InstallUser", L""));  // no folder of the installer's
  EXPECT_EQ(runToEnd(cairnstoneExe(), {L"--update-check"}), 1);
  Settings s;
  loadSettings(s);
  EXPECT_EQ(s.foreverDir, bare);
}

// Profiles and game folders as players have them: names in other scripts
// with spaces, and folders deeper than the old limit of 260 characters.
TEST(PlayersFolders, AStartStoresTheGameFolderAndWritesTheAddonFile) {
  TempDir machine;
  const std::wstring profile = machine.file(L"Łukasz Żółć 日本");
  std::wstring deep = machine.file(L"Games");
  while (deep.size() <= MAX_PATH) deep += L"\\Eine Sammlung von Spielen für später";
  struct Case {
    const char* name;
    std::wstring data;
    std::wstring wow;  // the folder given; the game folder is its _forever_
  } cases[] = {
      {"non-ASCII names with spaces", profile + L"\\AppData\\Roaming\\Cairn",
       profile + L"\\Spiele\\World of Warcraft"},
      {"a game folder past 260 characters", machine.file(L"data"), deep + L"\\World of Warcraft"},
      {"both, deep", deep + L"\\Łukasz 日本\\Cairn", deep + L"\\日本\\World of Warcraft"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::wstring forever = c.wow + L"\\_forever_";
    const std::wstring addon = forever + L"\\Interface\\AddOns\\Cairn";
    ASSERT_TRUE(makeDirs(addon));
    ASSERT_TRUE(makeDirs(c.data));
    ASSERT_TRUE(writeWholeFile(joinPath(c.data, L"settings.json"),
                               R"({"language":"pl","wizardDone":true,"lastVersion":"1.3.0"})"));
    ScopedEnv data(L"CAIRN_DATA_DIR", c.data);
    ScopedEnv given(L"CAIRN_FOREVER_DIR", c.wow);
    startAndQuit();

    Settings stored;
    loadSettings(stored);
    EXPECT_EQ(stored.foreverDir, forever);
    EXPECT_EQ(stored.language, "pl");
    // On disk in UTF-8, as the log has it.
    EXPECT_NE(readFileText(joinPath(c.data, L"settings.json")).find(jsonEscapedPath(forever)),
              std::string::npos);
    EXPECT_EQ(readFileText(joinPath(addon, L"Config.lua")), "CairnInstall = { lang = \"pl\" }\n");
    const std::vector<std::string> log = logMessages(readFileText(joinPath(c.data, L"cairn.log")));
    EXPECT_NE(std::find(log.begin(), log.end(), "WoW Forever folder: " + toUtf8(forever)), log.end());
  }
}

// Windows lets the program past 260 characters only when it says it can.
TEST(PlayersFolders, TheProgramDeclaresLongPaths) {
  const std::wstring exe = cairnstoneExe();
  HMODULE image = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(image, nullptr);
  HRSRC found = FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
  ASSERT_NE(found, nullptr);
  const char* bytes = static_cast<const char*>(LockResource(LoadResource(image, found)));
  const std::string manifest(bytes, SizeofResource(image, found));
  FreeLibrary(image);
  EXPECT_NE(manifest.find("<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/"
                          "WindowsSettings\">true</longPathAware>"),
            std::string::npos)
      << manifest;
}

}  // namespace
