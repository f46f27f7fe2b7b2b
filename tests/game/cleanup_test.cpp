#include <gtest/gtest.h>

#include "base/paths.h"
#include "base/scoped_handle.h"
#include "base/text.h"
#include "game/addon.h"
#include "game/cleanup.h"
#include "storage/files.h"
#include "storage/log.h"
#include "storage/registry.h"
#include "storage/settings.h"
#include "tests/support/links.h"
#include "tests/support/test_support.h"

namespace {

constexpr wchar_t kBrindleClass[] = L"BrindleTrayWnd";

class CleanupTest : public ::testing::Test {
 protected:
  std::string log() { return readFileText(data.file(L"cairn.log")); }
  std::wstring addOns() { return addOnsDir(game.path()); }
  void makeAddOn(const std::wstring& name) { ASSERT_TRUE(makeDirs(joinPath(addOns(), name))); }
  bool hasAddOn(const std::wstring& name) { return isDirectory(joinPath(addOns(), name)); }

  TempDir data;
  ScopedEnv env{L"CAIRN_DATA_DIR", data.path()};
  TempDir game;
};

// Plays the old app: a window of its class that records WM_CLOSE.
class FakeBrindle {
 public:
  FakeBrindle() { window_.create(); }
  bool askedToClose() { return window_.posted(WM_CLOSE, WM_CLOSE).size() == 1; }

 private:
  FakeWindow window_{kBrindleClass};
};

void setBrindleRunValue() {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  const wchar_t data[] = L"\"C:\\Brindle\\Brindle.exe\"";
  RegSetValueExW(key, L"Brindle", 0, REG_SZ, reinterpret_cast<const BYTE*>(data), sizeof data);
  RegCloseKey(key);
}

TEST_F(CleanupTest, NothingToDoLogsNothingAndDoesNotWait) {
  SavedRegistryValue run(HKEY_CURRENT_USER, kRunKey, L"Brindle");
  RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, L"Brindle");
  makeAddOn(L"Cairn");
  const ULONGLONG begin = GetTickCount64();
  retirePredecessor(game.path());
  EXPECT_EQ(removeOldAnswerFolders(game.path()), 0);
  removeObsoleteDataFiles();
  removeObsoleteKeyFile();
  EXPECT_LT(GetTickCount64() - begin, 1400u);  // no wait for an app that is not there
  EXPECT_EQ(log(), "");
}

TEST_F(CleanupTest, RetiresTheOldAppAndItsAddonFolders) {
  SavedRegistryValue run(HKEY_CURRENT_USER, kRunKey, L"Brindle");
  setBrindleRunValue();
  for (const wchar_t* name : {L"Brindle", L"BrindlePost001", L"BrindlePost150", L"BrindlePost151"}) {
    makeAddOn(name);
  }
  ASSERT_TRUE(writeWholeFile(joinPath(addOns(), L"Brindle\\Brindle.toc"), "x"));
  FakeBrindle brindle;
  const ULONGLONG begin = GetTickCount64();
  retirePredecessor(game.path());
  EXPECT_GE(GetTickCount64() - begin, 1400u);  // gave it time to let go of its files
  EXPECT_TRUE(brindle.askedToClose());
  EXPECT_EQ(regString(HKEY_CURRENT_USER, kRunKey, L"Brindle", 0), L"");
  EXPECT_FALSE(hasAddOn(L"Brindle"));
  EXPECT_FALSE(hasAddOn(L"BrindlePost001"));
  EXPECT_FALSE(hasAddOn(L"BrindlePost150"));
  EXPECT_TRUE(hasAddOn(L"BrindlePost151"));
  const std::string text = log();
  const size_t asked = text.find("  asked the old Brindle app to quit\r\n");
  const size_t entry = text.find("  removed the old Brindle start-with-Windows entry\r\n");
  const size_t folders = text.find("  removed 3 old Brindle addon folders\r\n");
  ASSERT_NE(asked, std::string::npos) << text;
  ASSERT_NE(entry, std::string::npos) << text;
  ASSERT_NE(folders, std::string::npos) << text;
  EXPECT_LT(asked, entry);
  EXPECT_LT(entry, folders);
}

TEST_F(CleanupTest, WithoutAGameFolderNoWaitAndNoFolderTouched) {
  SavedRegistryValue run(HKEY_CURRENT_USER, kRunKey, L"Brindle");
  setBrindleRunValue();
  makeAddOn(L"Brindle");
  FakeBrindle brindle;
  const ULONGLONG begin = GetTickCount64();
  retirePredecessor(L"");
  EXPECT_LT(GetTickCount64() - begin, 1400u);
  EXPECT_TRUE(brindle.askedToClose());
  EXPECT_EQ(regString(HKEY_CURRENT_USER, kRunKey, L"Brindle", 0), L"");
  EXPECT_TRUE(hasAddOn(L"Brindle"));
  EXPECT_EQ(removeBrindleAddonFolders(L""), 0);
}

TEST_F(CleanupTest, AnswerFoldersGoEvenWithReadOnlyFiles) {
  makeAddOn(L"Cairn\\Bridge\\inbox");
  makeAddOn(L"CairnPost007");
  makeAddOn(L"CairnPost151");
  const std::wstring file = joinPath(addOns(), L"CairnPost007\\answer.lua");
  ASSERT_TRUE(writeWholeFile(file, "x"));
  SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(removeOldAnswerFolders(game.path()), 2);
  EXPECT_FALSE(hasAddOn(L"Cairn\\Bridge"));
  EXPECT_FALSE(hasAddOn(L"CairnPost007"));
  EXPECT_TRUE(hasAddOn(L"CairnPost151"));
  EXPECT_TRUE(hasAddOn(L"Cairn"));
  EXPECT_EQ(removeOldAnswerFolders(game.path()), 0);
  EXPECT_EQ(removeOldAnswerFolders(L""), 0);
}

// Someone who may write in the game folder turns a folder on the way into
// a link to the user's own files: nothing behind it goes.
TEST_F(CleanupTest, AFolderOnTheWayThatIsALinkLeadsNowhere) {
  const struct {
    const wchar_t* link;       // below the game folder
    const wchar_t* behind[3];  // what the user keeps behind it
  } cases[] = {
      {L"Interface\\AddOns",
       {L"CairnPost001\\notes.txt", L"Brindle\\notes.txt", L"BrindlePost150\\notes.txt"}},
      {L"Interface\\AddOns\\Cairn",
       {L"Bridge\\notes.txt", L"Config.lua.4000000-0.tmp", L"notes.txt"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(toUtf8(c.link));
    TempDir user;
    for (const wchar_t* name : c.behind) {
      ASSERT_TRUE(makeDirs(parentPath(user.file(name))));
      ASSERT_TRUE(writeWholeFile(user.file(name), "mine"));
    }
    const std::wstring link = joinPath(game.path(), c.link);
    ASSERT_TRUE(makeDirs(parentPath(link)));
    if (!makeLink(link, user.path(), true)) {
      GTEST_SKIP() << "this system cannot create directory links (" << GetLastError() << ")";
    }
    EXPECT_EQ(removeOldAnswerFolders(game.path()), 0);
    EXPECT_EQ(removeBrindleAddonFolders(game.path()), 0);
    removeOwnLeftovers(game.path());
    for (const wchar_t* name : c.behind)
      EXPECT_EQ(readFileText(user.file(name)), "mine") << toUtf8(name);
    EXPECT_TRUE(removeLinkItself(link));
  }
}

TEST_F(CleanupTest, ObsoleteDataFilesAndAFileInUse) {
  ASSERT_TRUE(writeWholeFile(data.file(L"history.jsonl"), "{}"));
  ASSERT_TRUE(writeWholeFile(data.file(L"usage.json"), "{}"));
  ASSERT_TRUE(writeWholeFile(data.file(L"key.dat"), "secret"));
  {
    ScopedHandle inUse(CreateFileW(data.file(L"history.jsonl").c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                   nullptr));
    ASSERT_TRUE(inUse.valid());
    removeObsoleteDataFiles();
  }
  removeObsoleteKeyFile();
  EXPECT_TRUE(fileExists(data.file(L"history.jsonl")));
  EXPECT_FALSE(fileExists(data.file(L"usage.json")));
  EXPECT_FALSE(fileExists(data.file(L"key.dat")));
  const std::string text = log();
  EXPECT_EQ(text.find("history.jsonl"), std::string::npos);
  EXPECT_NE(text.find("  removed usage.json: Cairnstone no longer asks questions\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("  removed the old Claude API key (key.dat): Cairnstone no longer uses it\r\n"),
            std::string::npos);
  removeObsoleteDataFiles();  // the file is free now: it goes at the next start
  EXPECT_FALSE(fileExists(data.file(L"history.jsonl")));
}

// A crash's temporaries go at the next start, in the data folder and in
// the addon folder, each place with one line; a second start finds none.
TEST_F(CleanupTest, OwnLeftoversGoFromTheDataAndAddonFolders) {
  // 4000000: far above the process ids in use, so a process that ended.
  const std::wstring addon = addonDir(game.path());
  ASSERT_TRUE(makeDirs(addon + L"\\Locales"));
  const std::wstring leftovers[] = {data.file(L"settings.json.tmp"),
                                    joinPath(addon, L"Config.lua.4000000-0.tmp"),
                                    joinPath(addon, L"Locales\\de.lua.4000000-1.tmp")};
  for (const auto& path : leftovers) ASSERT_TRUE(writeWholeFile(path, "x"));
  ASSERT_TRUE(writeWholeFile(joinPath(addon, L"Config.lua"), "mine"));
  removeOwnLeftovers(game.path());
  for (const auto& path : leftovers) EXPECT_FALSE(fileExists(path)) << toUtf8(path);
  EXPECT_EQ(readFileText(joinPath(addon, L"Config.lua")), "mine");
  EXPECT_EQ(logMessages(log()),
            (std::vector<std::string>{"removed 1 leftover temporary files in the data folder",
                                      "removed 2 leftover temporary files in the addon folder"}));
  removeOwnLeftovers(game.path());
  EXPECT_EQ(logMessages(log()).size(), 2u);
}

TEST(OldDataFolder, RemovedOnlyWithoutADataFolderOverride) {
  TempDir appData;
  const std::wstring brindle = appData.file(L"Brindle");
  ASSERT_TRUE(makeDirs(brindle + L"\\cache"));
  ASSERT_TRUE(writeWholeFile(brindle + L"\\settings.json", "{}"));
  SetFileAttributesW((brindle + L"\\settings.json").c_str(), FILE_ATTRIBUTE_READONLY);
  ScopedEnv appDataEnv(L"APPDATA", appData.path());
  {
    TempDir data;
    ScopedEnv overridden(L"CAIRN_DATA_DIR", data.path());
    removeOldDataFolder();
    EXPECT_TRUE(isDirectory(brindle));
  }
  ScopedEnv plain(L"CAIRN_DATA_DIR", L"");
  // This writes the user's real log: it is put back as it was afterwards.
  const bool hadLog = fileExists(logPath());
  const std::string before = readFileText(logPath());
  removeOldDataFolder();
  EXPECT_FALSE(fileExists(brindle));
  const std::string after = readFileText(logPath());
  if (hadLog) {
    writeWholeFile(logPath(), before);
  } else {
    DeleteFileW(logPath().c_str());
  }
  ASSERT_GT(after.size(), before.size());
  EXPECT_NE(after.find("  removed the old Brindle app data\r\n", before.size()), std::string::npos);
}

}  // namespace
