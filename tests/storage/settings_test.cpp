#include <gtest/gtest.h>

#include "storage/files.h"
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
  loadSettings(s);
  EXPECT_EQ(s.language, "");
  EXPECT_TRUE(s.autostart);
  EXPECT_FALSE(fileExists(settingsPath()));
  loadFrom("garbage");
  EXPECT_EQ(readFileText(settingsPath()), "garbage");  // a bad file is left as it is
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

constexpr wchar_t kTestKey[] = L"Software\\CairnTests\\Registry";

TEST(Registry, RegStringTypesAndTrailingNuls) {
  ScopedRegistryKey key(HKEY_CURRENT_USER, kTestKey, 0);
  const wchar_t padded[] = L"C:\\Games\0\0\0";
  ASSERT_TRUE(key.setBytes(L"padded", REG_SZ, padded, sizeof padded));
  ASSERT_TRUE(key.setString(L"expand", L"%APPDATA%\\x", REG_EXPAND_SZ));
  ASSERT_TRUE(key.setDword(L"number", 1));
  ASSERT_TRUE(key.setString(L"multi", L"a", REG_MULTI_SZ));
  ASSERT_TRUE(key.setString(L"fits", std::wstring(1023, L'x')));
  ASSERT_TRUE(key.setString(L"toolong", std::wstring(1024, L'x')));
  ASSERT_TRUE(key.setString(L"empty", L""));
  EXPECT_EQ(regString(HKEY_CURRENT_USER, kTestKey, L"padded", 0), L"C:\\Games");
  EXPECT_EQ(regString(HKEY_CURRENT_USER, kTestKey, L"expand", 0), L"%APPDATA%\\x");
  EXPECT_EQ(regString(HKEY_CURRENT_USER, kTestKey, L"number", 0), L"");
  EXPECT_EQ(regString(HKEY_CURRENT_USER, kTestKey, L"multi", 0), L"");
  EXPECT_EQ(regString(HKEY_CURRENT_USER, kTestKey, L"fits", 0).size(), 1023u);
  EXPECT_EQ(regString(HKEY_CURRENT_USER, kTestKey, L"toolong", 0), L"");
  EXPECT_EQ(regString(HKEY_CURRENT_USER, kTestKey, L"empty", 0), L"");
  EXPECT_EQ(regString(HKEY_CURRENT_USER, kTestKey, L"missing", 0), L"");
  EXPECT_EQ(regString(HKEY_CURRENT_USER, L"Software\\CairnTests\\None", L"x", 0), L"");
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
