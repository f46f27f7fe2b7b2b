// The controller's start-up and settings changes, in-process.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/app.h"
#include "app/messages.h"
#include "base/paths.h"
#include "base/scoped_handle.h"
#include "base/text.h"
#include "i18n/i18n.h"
#include "storage/files.h"
#include "storage/settings.h"
#include "tests/support/test_support.h"

namespace {

class AppTest : public ::testing::Test {
 protected:
  void writeSettings(const std::string& json) { ASSERT_TRUE(writeWholeFile(settingsPath(), json)); }
  Settings saved() {
    Settings s;
    loadSettings(s);
    return s;
  }
  std::string log() { return readFileText(dir.file(L"cairn.log")); }

  TempDir dir;
  ScopedEnv env{L"CAIRN_DATA_DIR", dir.path()};
};

TEST_F(AppTest, VersionBookkeeping) {
  struct Case {
    const char* lastVersion;  // nullptr: no member at all
    bool wizardDone;
    const char* updatedTo;
    const char* logLine;  // nullptr: no "updated" line
  } cases[] = {
      {"1.2.9", true, "1.3.0", "updated from 1.2.9 to 1.3.0"},
      {"1.2.9", false, "1.3.0", "updated from 1.2.9 to 1.3.0"},
      {"1.4.0", true, "", nullptr},
      {"1.3", true, "", nullptr},
      {"beta", true, "1.3.0", "updated from beta to 1.3.0"},
      {"", true, "1.3.0", "updated from an earlier version to 1.3.0"},
      {nullptr, true, "1.3.0", "updated from an earlier version to 1.3.0"},
      {"", false, "", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lastVersion ? c.lastVersion : "(none)");
    DeleteFileW(dir.file(L"cairn.log").c_str());
    std::string json = std::string(R"({"language":"de","wizardDone":)") +
                       (c.wizardDone ? "true" : "false");
    if (c.lastVersion) json += std::string(R"(,"lastVersion":")") + c.lastVersion + "\"";
    writeSettings(json + "}");
    App app;
    app.prepare();
    EXPECT_EQ(app.updatedTo(), c.updatedTo);
    EXPECT_EQ(saved().lastVersion, "1.3.0");
    const std::string text = log();
    if (c.logLine) {
      EXPECT_NE(text.find(std::string("  ") + c.logLine + "\r\n"), std::string::npos) << text;
    } else {
      EXPECT_EQ(text.find("updated"), std::string::npos) << text;
    }
  }
}

TEST_F(AppTest, CurrentVersionChangesNothing) {
  const std::string json =
      R"({"language":"nl","foreverDir":"","autostart":true,"wizardDone":true,)"
      R"("installStamp":"","lastVersion":"1.3.0","unknown":1})";
  writeSettings(json);
  App app;
  app.prepare();
  EXPECT_EQ(app.updatedTo(), "");
  EXPECT_EQ(readFileText(settingsPath()), json);  // not even rewritten
  EXPECT_EQ(log(), "");
}

TEST_F(AppTest, LanguageChoiceAtStart) {
  writeSettings(R"({"language":"de","lastVersion":"1.3.0"})");
  {
    App app;
    app.prepare();
    EXPECT_EQ(app.language(), "de");
  }
  writeSettings(R"({"language":"xx","lastVersion":"1.3.0"})");
  App app;
  app.prepare();
  EXPECT_EQ(app.snapshot().language, uiLanguage());  // nothing chosen: follow Windows
  EXPECT_EQ(saved().language, uiLanguage());
}

TEST_F(AppTest, InstallerValuesAreTakenOverOncePerStamp) {
  SavedRegistryValue run(HKEY_CURRENT_USER, kRunKey, kRunValue);
  ScopedRegistryKey installer(HKEY_LOCAL_MACHINE, kInstallerKey, KEY_WOW64_64KEY);
  ASSERT_TRUE(installer.setString(L"InstallStamp", L"stamp-A"));
  ASSERT_TRUE(installer.setDword(L"Autostart", 0));
  ASSERT_TRUE(installer.setString(L"Language", L"de"));
  writeSettings(R"({"language":"nl","autostart":true,"lastVersion":"1.3.0"})");
  setAutostart(true);
  {
    App app;
    app.prepare();
    const Settings s = app.snapshot();
    EXPECT_EQ(s.language, "de");
    EXPECT_FALSE(s.autostart);
    EXPECT_EQ(s.installStamp, "stamp-A");
  }
  EXPECT_FALSE(autostartEnabled());
  EXPECT_NE(log().find("  from the installer: start with Windows off, language de\r\n"),
            std::string::npos);

  // The user changes the language in the program: the same stamp never undoes it.
  Settings changed = saved();
  changed.language = "pl";
  ASSERT_TRUE(saveSettings(changed));
  DeleteFileW(dir.file(L"cairn.log").c_str());
  {
    App app;
    app.prepare();
    EXPECT_EQ(app.language(), "pl");
  }
  EXPECT_EQ(log().find("from the installer"), std::string::npos);

  // A new installation without a language keeps the user's and logs "-".
  ASSERT_TRUE(installer.setString(L"InstallStamp", L"stamp-B"));
  ASSERT_TRUE(installer.setDword(L"Autostart", 1));
  ASSERT_TRUE(installer.setString(L"Language", L"klingon"));
  App app;
  app.prepare();
  EXPECT_EQ(app.language(), "pl");
  EXPECT_TRUE(app.snapshot().autostart);
  EXPECT_TRUE(autostartEnabled());
  EXPECT_NE(log().find("  from the installer: start with Windows on, language -\r\n"),
            std::string::npos);
}

TEST_F(AppTest, ApplySettingsSavesAndTellsTheTrayWindow) {
  writeSettings(R"({"lastVersion":"1.3.0","installStamp":"kept"})");
  ScopedWindow window(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      nullptr, nullptr));
  ASSERT_TRUE(window.valid());
  App app;
  app.prepare();
  app.start(window);
  Settings input;
  input.language = "fr";  // unknown: stored as English
  input.foreverDir = L"D:\\WoW\\_forever_";
  input.autostart = false;
  input.wizardDone = true;
  input.installStamp = "ignored";
  input.lastVersion = "ignored";
  app.applySettings(input);
  const Settings s = saved();
  EXPECT_EQ(s.language, "en");
  EXPECT_EQ(s.foreverDir, L"D:\\WoW\\_forever_");
  EXPECT_FALSE(s.autostart);
  EXPECT_TRUE(s.wizardDone);
  EXPECT_EQ(s.installStamp, "kept");
  EXPECT_EQ(s.lastVersion, "1.3.0");
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, window, WM_APP_STATE, WM_APP_STATE, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 0u);
  app.stop();
  app.stop();
  const std::string text = log();
  EXPECT_EQ(text.find("Cairn stopped"), text.rfind("Cairn stopped"));  // logged once
}

// A failed save is told to the caller and logged each time, and the
// program goes on with the settings it had; a failed write of Config.lua is
// logged once per cause until a write succeeds.
TEST_F(AppTest, FailedWritesAreToldAndLoggedAndChangeNothing) {
  const std::wstring forever = dir.file(L"game\\_forever_");
  const std::wstring config = joinPath(forever, L"Interface\\AddOns\\Cairn\\Config.lua");
  ASSERT_TRUE(makeDirs(parentPath(config)));
  writeSettings(R"({"language":"de","wizardDone":false,"lastVersion":"1.3.0"})");
  App app;
  app.prepare();
  Settings input = app.snapshot();
  input.foreverDir = forever;
  input.wizardDone = true;
  ASSERT_TRUE(CreateDirectoryW((settingsPath() + L".tmp").c_str(), nullptr));  // no temporary file
  const WriteResult first = app.applySettings(input);
  const WriteResult second = app.applySettings(input);
  EXPECT_EQ(first.failedAt, WriteStep::TempFile);
  EXPECT_EQ(writeProblem(second), WriteProblem::Refused);
  // Nothing of what failed is what the program goes on with.
  EXPECT_TRUE(app.snapshot().foreverDir.empty());
  EXPECT_FALSE(app.snapshot().wizardDone);
  EXPECT_FALSE(fileExists(config));
  const std::string saveFailed = "settings.json could not be saved: writing the temporary file failed (5)";
  std::vector<std::string> messages = logMessages(log());
  EXPECT_EQ(std::count(messages.begin(), messages.end(), saveFailed), 2) << log();
  ASSERT_TRUE(RemoveDirectoryW((settingsPath() + L".tmp").c_str()));

  const auto configFailures = [&] {
    // Refused (5) or a sharing violation (32), as the system says it.
    const std::string failed = "Config.lua: not written, " + toUtf8(config) + " failed (error ";
    int count = 0;
    for (const std::string& line : logMessages(log())) count += line.rfind(failed, 0) == 0;
    return count;
  };
  ASSERT_TRUE(writeWholeFile(config, "old"));
  ScopedHandle holder(CreateFileW(config.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(holder.valid());
  EXPECT_TRUE(app.applySettings(input));
  app.keepAddon();
  EXPECT_EQ(configFailures(), 1) << log();
  EXPECT_EQ(app.addonReport().problem, AddonProblem::InUse);
  EXPECT_EQ(app.status(), AppStatus::NoGameFolder);  // no state read yet
  holder.reset();
  app.keepAddon();
  EXPECT_EQ(readFileText(config), "CairnInstall = { lang = \"de\" }\n");
  EXPECT_FALSE(blocksAddon(app.addonReport().problem));
  holder.reset(CreateFileW(config.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  input.language = "pl";
  EXPECT_TRUE(app.applySettings(input));
  EXPECT_EQ(saved().language, "pl");
  EXPECT_EQ(configFailures(), 2) << "a failure after a success is told again\n" << log();
}

// A settings.json that could not be read at the start is never written
// over: the first save that can moves it to settings.json.bad first.
TEST_F(AppTest, AnUnreadSettingsFileIsKeptAsideBeforeTheFirstSave) {
  const std::string theirs = R"({"language":"nl","wizardDone":true})";
  writeSettings(theirs);
  ScopedHandle holder(CreateFileW(settingsPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(holder.valid());
  App app;
  app.prepare();  // its saves are refused while the file stands unread
  Settings input = app.snapshot();
  input.language = "it";
  EXPECT_FALSE(app.applySettings(input));
  holder.reset();
  EXPECT_EQ(readFileText(settingsPath()), theirs);
  EXPECT_TRUE(app.applySettings(input));
  EXPECT_EQ(readFileText(settingsPath() + L".bad"), theirs);
  EXPECT_EQ(saved().language, "it");
}

}  // namespace
