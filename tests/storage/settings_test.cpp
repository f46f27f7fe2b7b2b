#include <gtest/gtest.h>

#include "base/paths.h"
#include "base/scoped_handle.h"
#include "base/text.h"
#include "storage/files.h"
#include "storage/registry.h"
#include "storage/settings.h"
#include "tests/support/test_support.h"

namespace {

class SettingsTest : public ::testing::Test {
 protected:
  Settings loadFrom(const std::string& text) {
    EXPECT_TRUE(writeWholeFile(settingsPath(), text));
    Settings s;
    loadSettings(s);
    return s;
  }
  TempDir dir;
  ScopedEnv env{L"CAIRN_DATA_DIR", dir.path()};
};

TEST_F(SettingsTest, LoadTakesOnlyWellTypedMembers) {
  struct Case {
    const char* file;
    const char* language;
    bool autostart;
    bool wizardDone;
  } cases[] = {
      {R"({"uiLang":"nl"})", "nl", true, false},
      {R"({"language":"","uiLang":"pl"})", "pl", true, false},
      {R"({"language":"de","uiLang":"pl"})", "de", true, false},
      {R"({"language":"fr"})", "", true, false},
      {R"({"language":"DE"})", "", true, false},
      {R"({"language":7,"uiLang":"it"})", "it", true, false},
      {R"({"autostart":"false"})", "", true, false},
      {R"({"autostart":false,"wizardDone":true})", "", false, true},
      {R"({"wizardDone":1})", "", true, false},
      {R"(["language","de"])", "", true, false},
      {"not json at all", "", true, false},
      {R"({"language":"de",)", "", true, false},
      {"", "", true, false},
  };
  for (const Case& c : cases) {
    const Settings s = loadFrom(c.file);
    EXPECT_EQ(s.language, c.language) << c.file;
    EXPECT_EQ(s.autostart, c.autostart) << c.file;
    EXPECT_EQ(s.wizardDone, c.wizardDone) << c.file;
  }
}

TEST_F(SettingsTest, MissingFileLeavesDefaultsAndLoadNeverWrites) {
  Settings s;
  EXPECT_TRUE(loadSettings(s).problem.empty());
  EXPECT_EQ(s.language, "");
  EXPECT_TRUE(s.autostart);
  EXPECT_FALSE(fileExists(settingsPath()));
  EXPECT_FALSE(fileExists(settingsPath() + L".bad"));
}

TEST_F(SettingsTest, AByteOrderMarkIsSkipped) {
  const Settings s = loadFrom("\xEF\xBB\xBF{\"language\":\"de\",\"wizardDone\":true}");
  EXPECT_EQ(s.language, "de");
  EXPECT_TRUE(s.wizardDone);
  EXPECT_FALSE(fileExists(settingsPath() + L".bad"));
}

// Every file that cannot be used is kept as settings.json.bad, the newest
// replacing an older one, with one log line saying why and where.
TEST_F(SettingsTest, AnUnusableFileIsKeptAsideWithItsReason) {
  const std::wstring kept = settingsPath() + L".bad";
  const std::string utf16("\xFF\xFE{\0}\0", 6);
  const std::string large = "{\"language\":\"de\"" + std::string(0x10000, ' ') + "}";
  struct Case {
    std::string file;  // empty: a folder in its place
    const char* reason;
  } cases[] = {
      {"garbage", "(it is not JSON: "},
      {R"(["language","de"])", "(it is not a JSON object)"},
      {utf16, "(it is UTF-16 text)"},
      {large, "(it is larger than 65536 bytes)"},
      {"", "(it is a folder)"},
      {"{\"language\":\"de\",", "(it is not JSON: "},  // after a folder: the file replaces it
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(writeWholeFile(kept, "older"));
    if (c.file.empty()) {
      ASSERT_TRUE(CreateDirectoryW(settingsPath().c_str(), nullptr));
    } else {
      ASSERT_TRUE(writeWholeFile(settingsPath(), c.file));
    }
    DeleteFileW(dir.file(L"cairn.log").c_str());
    Settings s;
    const SettingsLoad load = loadSettings(s);
    EXPECT_TRUE(load.keptAside) << c.reason;
    EXPECT_EQ(s.language, "") << c.reason;
    EXPECT_FALSE(fileExists(settingsPath())) << c.reason;
    if (c.file.empty()) {
      EXPECT_TRUE(isDirectory(kept)) << c.reason;
      RemoveDirectoryW(kept.c_str());
    } else {
      EXPECT_EQ(readFileText(kept), c.file) << c.reason;
    }
    const std::vector<std::string> log = logMessages(readFileText(dir.file(L"cairn.log")));
    ASSERT_EQ(log.size(), 1u) << c.reason;
    EXPECT_EQ(log[0].rfind(std::string("settings.json could not be used ") + c.reason, 0), 0u)
        << log[0];
    EXPECT_NE(log[0].find("; kept as " + toUtf8(kept)), std::string::npos) << log[0];
  }
}

// A folder at settings.json.bad is not the program's to remove: the file
// goes to the next aside name (replacing an older file there), and the
// settings can be saved again.
TEST_F(SettingsTest, AFolderAtTheAsideNameStaysAndTheNextNameIsTaken) {
  const std::wstring bad = settingsPath() + L".bad";
  const std::wstring folders[] = {bad, bad + L".1"};
  for (size_t inTheWay = 1; inTheWay <= 2; ++inTheWay) {
    SCOPED_TRACE(inTheWay);
    const std::wstring kept = bad + L"." + std::to_wstring(inTheWay);
    for (size_t i = 0; i < inTheWay; ++i) {
      ASSERT_TRUE(makeDirs(folders[i]));
      ASSERT_TRUE(writeWholeFile(folders[i] + L"\\mine.txt", "mine"));
    }
    ASSERT_TRUE(writeWholeFile(kept, "older"));
    ASSERT_TRUE(writeWholeFile(settingsPath(), "garbage"));
    DeleteFileW(dir.file(L"cairn.log").c_str());
    Settings s;
    EXPECT_TRUE(loadSettings(s).keptAside);
    EXPECT_EQ(readFileText(kept), "garbage");
    for (size_t i = 0; i < inTheWay; ++i) {
      EXPECT_EQ(readFileText(folders[i] + L"\\mine.txt"), "mine");
    }
    const std::vector<std::string> log = logMessages(readFileText(dir.file(L"cairn.log")));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("settings.json could not be used (it is not JSON: ", 0), 0u) << log[0];
    const std::string ending =
        "; kept as " + toUtf8(kept) + "; settings.json.bad is a folder and stays";
    EXPECT_EQ(log[0].substr(log[0].size() - std::min(log[0].size(), ending.size())), ending);
    s.language = "nl";
    EXPECT_TRUE(saveSettings(s));
    DeleteFileW(kept.c_str());
  }
}

TEST_F(SettingsTest, AFileThatCanNeitherBeReadNorMovedStaysUnread) {
  ASSERT_TRUE(writeWholeFile(settingsPath(), R"({"language":"de"})"));
  ScopedHandle holder(CreateFileW(settingsPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(holder.valid());
  Settings s;
  const SettingsLoad load = loadSettings(s);
  EXPECT_TRUE(load.unreadInPlace());
  EXPECT_EQ(load.problem, "it could not be read (32)");
  holder.reset();
  EXPECT_EQ(readFileText(settingsPath()), R"({"language":"de"})");
  EXPECT_FALSE(fileExists(settingsPath() + L".bad"));
}

TEST_F(SettingsTest, SaveWritesEveryMemberInOrderAndRoundTrips) {
  Settings s;
  s.language = "pl";
  s.foreverDir = L"D:\\Gry\\World of Warcraft \"PL\"\\_forever_\\\u0141\u00f3d\u017a";
  s.autostart = false;
  s.wizardDone = true;
  s.installStamp = "2026-12-01T10:00:00Z#1";
  s.lastVersion = "1.3.0";
  ASSERT_TRUE(saveSettings(s));
  EXPECT_EQ(readFileText(settingsPath()),
            "{\"language\":\"pl\",\"foreverDir\":\"D:\\\\Gry\\\\World of Warcraft "
            "\\\"PL\\\"\\\\_forever_\\\\\xc5\x81\xc3\xb3\x64\xc5\xba\",\"autostart\":false,"
            "\"wizardDone\":true,\"installStamp\":\"2026-12-01T10:00:00Z#1\","
            "\"lastVersion\":\"1.3.0\"}");
  Settings back;
  loadSettings(back);
  EXPECT_EQ(back.language, s.language);
  EXPECT_EQ(back.foreverDir, s.foreverDir);
  EXPECT_EQ(back.autostart, s.autostart);
  EXPECT_EQ(back.wizardDone, s.wizardDone);
  EXPECT_EQ(back.installStamp, s.installStamp);
  EXPECT_EQ(back.lastVersion, s.lastVersion);
  EXPECT_FALSE(fileExists(settingsPath() + L".tmp"));
}

TEST_F(SettingsTest, UiLangIsReadButNeverWritten) {
  Settings s = loadFrom(R"({"uiLang":"nl","extra":[1,2]})");
  ASSERT_TRUE(saveSettings(s));
  EXPECT_EQ(readFileText(settingsPath()),
            R"({"language":"nl","foreverDir":"","autostart":true,"wizardDone":false,)"
            R"("installStamp":"","lastVersion":""})");
}

enum class Block { ReadOnly, Folder, HeldOpen };

// Puts `block` at path; the handle holds it open when it is HeldOpen.
ScopedHandle blockAt(const std::wstring& path, Block block) {
  if (block == Block::Folder) {
    EXPECT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    return {};
  }
  EXPECT_TRUE(writeWholeFile(path, "old"));
  if (block == Block::ReadOnly) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
  if (block != Block::HeldOpen) return {};
  ScopedHandle holder(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  EXPECT_TRUE(holder.valid());
  return holder;
}

// What this system answers when a file is moved over `block`: 0 when it
// replaces it. Windows refuses a read-only file and a folder (access
// denied) and names a file held open (sharing violation); Wine 8 replaces
// the read-only file and calls the held one access denied.
DWORD replacingOver(Block block) {
  TempDir scratch;
  const std::wstring target = scratch.file(L"target"), file = scratch.file(L"file");
  EXPECT_TRUE(writeWholeFile(file, "new"));
  ScopedHandle holder = blockAt(target, block);
  const DWORD error =
      MoveFileExW(file.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
          ? ERROR_SUCCESS
          : GetLastError();
  holder.reset();
  SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
  return error;
}

// What keeps settings.json from being replaced, and what a user is told:
// whatever the system answers a move over it, the save reports that answer
// and a refused save leaves the file whole.
TEST_F(SettingsTest, ASaveThatCannotReplaceTheFileSaysWhyAndLeavesItWhole) {
  Settings s;
  s.language = "it";
  for (const Block block : {Block::ReadOnly, Block::Folder, Block::HeldOpen}) {
    const int name = static_cast<int>(block);
    const DWORD answer = replacingOver(block);
    const WriteProblem expected =
        answer == ERROR_SUCCESS ? WriteProblem::None : writeProblem({WriteStep::Replace, answer});
    ScopedHandle holder = blockAt(settingsPath(), block);
    const WriteResult saved = saveSettings(s);
    EXPECT_EQ(saved.error, answer) << name;
    EXPECT_EQ(writeProblem(saved), expected) << name << " error " << saved.error;
    EXPECT_FALSE(fileExists(settingsPath() + L".tmp")) << name;
    holder.reset();
    if (answer != ERROR_SUCCESS) {
      EXPECT_EQ(saved.failedAt, WriteStep::Replace) << name;
      if (block != Block::Folder) {
        EXPECT_EQ(readFileText(settingsPath()), "old") << name;
      }
    }
    SetFileAttributesW(settingsPath().c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(settingsPath().c_str());
    RemoveDirectoryW(settingsPath().c_str());
  }
}

TEST_F(SettingsTest, ALockedFileKeepsItsContentWhenASaveFails) {
  ASSERT_TRUE(writeWholeFile(settingsPath(), R"({"language":"de"})"));
  HANDLE holder = CreateFileW(settingsPath().c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  Settings s;
  s.language = "it";
  EXPECT_FALSE(saveSettings(s));
  CloseHandle(holder);
  EXPECT_EQ(readFileText(settingsPath()), R"({"language":"de"})");
  EXPECT_TRUE(saveSettings(s));  // the next save writes it
  EXPECT_EQ(loadFrom(readFileText(settingsPath())).language, "it");
}

TEST(Registry, InstallerValuesComeFromThe64BitView) {
  EXPECT_FALSE(readInstallerValues().present);
  {
    ScopedRegistryKey wrongView(HKEY_LOCAL_MACHINE, kInstallerKey, KEY_WOW64_32KEY);
    ASSERT_TRUE(wrongView.setString(L"InstallStamp", L"stamp-32"));
    EXPECT_FALSE(readInstallerValues().present);
  }
  ScopedRegistryKey key(HKEY_LOCAL_MACHINE, kInstallerKey, KEY_WOW64_64KEY);
  ASSERT_TRUE(key.setDword(L"Autostart", 0));
  ASSERT_TRUE(key.setString(L"Language", L"es"));
  InstallerValues v = readInstallerValues();
  EXPECT_FALSE(v.present);  // no stamp: the other values do not count
  ASSERT_TRUE(key.setString(L"InstallStamp", L"stamp-1"));
  v = readInstallerValues();
  EXPECT_TRUE(v.present);
  EXPECT_EQ(v.installStamp, "stamp-1");
  EXPECT_FALSE(v.autostart);
  EXPECT_EQ(v.language, "es");
  ASSERT_TRUE(key.setString(L"Language", L"ES"));
  ASSERT_TRUE(key.setString(L"Autostart", L"1"));  // not a DWORD: keeps the default
  v = readInstallerValues();
  EXPECT_EQ(v.language, "");
  EXPECT_TRUE(v.autostart);
}

TEST(Registry, AutostartWritesTheQuotedProgramAndRemovesIdempotently) {
  SavedRegistryValue saved(HKEY_CURRENT_USER, kRunKey, kRunValue);
  ASSERT_TRUE(setAutostart(false));
  EXPECT_FALSE(autostartEnabled());
  EXPECT_TRUE(setAutostart(false));  // nothing to remove is fine
  ASSERT_TRUE(setAutostart(true));
  EXPECT_TRUE(autostartEnabled());
  EXPECT_EQ(regString(HKEY_CURRENT_USER, kRunKey, kRunValue, 0),
            L"\"" + exePath() + L"\" --background");
  ASSERT_TRUE(setAutostart(false));
  EXPECT_FALSE(autostartEnabled());
}

}  // namespace
