// Running the verified installer: the tests' test_installer.exe is published
// as release 1.5.0; it records its parameters and exits with a chosen code.
#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "app/app.h"
#include "app/messages.h"
#include "base/paths.h"
#include "base/scoped_handle.h"
#include "base/text.h"
#include "storage/files.h"
#include "storage/settings.h"
#include "tests/support/links.h"
#include "tests/support/test_support.h"
#include "tests/update/fixtures.h"
#include "update/download.h"
#include "update/install.h"

// The slot of this program's import table through which the controller calls
// ShellExecuteExW: a test points it elsewhere to answer as Windows does when
// the user declines the elevation prompt, which Wine never shows.
extern "C" decltype(&ShellExecuteExW) importedShellExecuteExW asm("__imp_ShellExecuteExW");

namespace {

constexpr DWORD kInstallerEndsMs = 15000;

// While it lives, every ShellExecuteExW of the program fails with
// ERROR_CANCELLED, and the verbs asked for are kept.
class DeclinedPrompt {
 public:
  DeclinedPrompt() : real_(importedShellExecuteExW) {
    verbs().clear();
    point(&decline);
  }
  ~DeclinedPrompt() { point(real_); }
  DeclinedPrompt(const DeclinedPrompt&) = delete;
  DeclinedPrompt& operator=(const DeclinedPrompt&) = delete;

  static std::vector<std::wstring>& verbs() {
    static std::vector<std::wstring> asked;
    return asked;
  }

 private:
  static BOOL WINAPI decline(SHELLEXECUTEINFOW* info) {
    verbs().push_back(info->lpVerb ? info->lpVerb : L"");
    SetLastError(ERROR_CANCELLED);
    return FALSE;
  }
  static void point(decltype(&ShellExecuteExW) target) {
    DWORD old = 0;
    VirtualProtect(&importedShellExecuteExW, sizeof target, PAGE_READWRITE, &old);
    importedShellExecuteExW = target;
    VirtualProtect(&importedShellExecuteExW, sizeof target, old, &old);
  }

  decltype(&ShellExecuteExW) real_;
};

class InstallerRun : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(service.ready());
    service.offerProgram();
    ASSERT_TRUE(makeDirs(game.file(L"World of Warcraft\\_forever_\\Interface\\AddOns")));
  }
  void writeSettings(const std::string& language, const std::wstring& folder) {
    std::string escaped;
    for (char c : toUtf8(folder)) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    ASSERT_TRUE(writeWholeFile(settingsPath(), R"({"language":")" + language +
                                                   R"(","foreverDir":")" + escaped +
                                                   R"(","wizardDone":true,"lastVersion":"1.3.0"})"));
  }
  std::wstring forever() { return game.file(L"World of Warcraft\\_forever_"); }
  std::string log() { return readFileText(joinPath(service.dataDir(), L"cairn.log")); }
  std::string recorded() { return readFileText(record); }
  bool installerEnded(const std::string& code) {
    return waitFor([&] { return log().find("the installer ended with exit code " + code) !=
                                std::string::npos; },
                   kInstallerEndsMs);
  }
  // The controller's messages to the window, in order, once `count` came
  // (or what came within a second).
  std::vector<std::pair<UINT, WPARAM>> posted(size_t count = 0) {
    std::vector<std::pair<UINT, WPARAM>> out;
    waitFor([&] {
      for (const MSG& m : tray.posted(WM_APP, WM_APP + 0x20)) out.push_back({m.message, m.wParam});
      return out.size() >= count;
    }, 1000);
    return out;
  }

  fixtures::Service service;
  TempDir game;
  const std::wstring record = joinPath(service.dataDir(), L"installer-record.txt");
  ScopedEnv recordEnv{L"CAIRN_TEST_INSTALLER_RECORD", record};
  SavedRegistryValue run{HKEY_CURRENT_USER, kRunKey, kRunValue};
  FakeWindow tray{L"CairnInstallTestWnd"};
};

TEST_F(InstallerRun, ParametersReachTheInstallerByteForByte) {
  struct Case {
    const char* language;
    bool gameFolder;
    bool autostart;
    std::wstring expected;
  };
  const Case cases[] = {
      {"de", true, false, L"/S /UPDATE /FOREVER=\"" + forever() + L"\" /MAINLANG=de /NOAUTOSTART"},
      {"pl", true, true, L"/S /UPDATE /FOREVER=\"" + forever() + L"\" /MAINLANG=pl"},
      {"xx", false, true, L"/S /UPDATE /MAINLANG=en"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.language);
    DeleteFileW(record.c_str());
    writeSettings(c.language, c.gameFolder ? forever() : L"");
    ASSERT_TRUE(setAutostart(c.autostart));
    App app;
    app.prepare();
    if (std::string(c.language) == "xx") {
      // Start-up settles the language; an unknown one is forced back in to
      // see that the installer still gets a language it knows.
      Settings s = app.snapshot();
      s.language = "xx";
      app.applySettings(s);
    }
    ASSERT_EQ(app.checkForUpdate().text(), "READY 1.5.0");
    ScopedHandle process;
    ASSERT_EQ(app.installUpdate(nullptr, &process), InstallResult::Started);
    ASSERT_EQ(WaitForSingleObject(process, kInstallerEndsMs), WAIT_OBJECT_0);
    EXPECT_EQ(recorded(), toUtf8(c.expected) + "\n");
  }
}

TEST_F(InstallerRun, ExitCodesReachTheLogAndTheWindow) {
  writeSettings("en", forever());
  tray.create();
  App app;
  app.prepare();
  app.start(tray.get());
  ASSERT_EQ(app.checkForUpdate().text(), "READY 1.5.0");
  const std::pair<const wchar_t*, UpdateNews> outcomes[] = {{L"3", UpdateNews::Failed},
                                                            {L"0", UpdateNews::Installed}};
  for (const auto& [code, news] : outcomes) {
    ScopedEnv exit(L"CAIRN_TEST_INSTALLER_EXIT", code);
    posted();
    ASSERT_EQ(app.installUpdate(nullptr), InstallResult::Started);
    ASSERT_TRUE(installerEnded(toUtf8(code))) << log();
    EXPECT_FALSE(app.isInstallerRunning());
    EXPECT_EQ(app.readyUpdateVersion(), "1.5.0");  // back to ready with the same file
    const std::vector<std::pair<UINT, WPARAM>> expected = {
        {WM_APP_STATE, 0}, {WM_APP_UPDATE, updateNewsParam(news)}, {WM_APP_STATE, 0}};
    EXPECT_EQ(posted(expected.size()), expected);
  }
  app.stop();
  EXPECT_NE(log().find("  update 1.5.0: starting the installer /S /UPDATE /FOREVER=\""),
            std::string::npos);
}

// Wine lets a rename on the Unix side past the checked file's lock, which
// stands in for anything that could replace the file or its folder between
// the check and the start on Windows: the file found by the checked handle's
// path must be the checked one, and its folder must be no link.
TEST_F(InstallerRun, NothingButTheCheckedFileInItsOwnFolderIsStarted) {
  struct Case {
    const char* name;
    std::string (*swap)(const std::wstring& installer);  // the Unix command
    const char* logged;
  };
  const Case cases[] = {
      {"another file in its place",
       [](const std::wstring& installer) {
         const std::wstring planted = joinPath(parentPath(installer), L"planted.exe");
         CopyFileW(joinPath(binFolder(), L"test_installer.exe").c_str(), planted.c_str(), FALSE);
         return "mv -f " + shellQuoted(unixPath(planted)) + " " + shellQuoted(unixPath(installer));
       },
       "  update: the file at the installer's path is not the checked installer\r\n"},
      {"its folder turned into a link",
       [](const std::wstring& installer) {
         const std::string folder = unixPath(parentPath(installer));
         return "mv " + shellQuoted(folder) + " " + shellQuoted(folder + "-moved") + " && ln -s " +
                shellQuoted(folder + "-moved") + " " + shellQuoted(folder);
       },
       "  update: the update folder is reached through a link\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeSettings("en", forever());
    App app;
    app.prepare();
    ASSERT_EQ(app.checkForUpdate().text(), "READY 1.5.0");
    ASSERT_TRUE(runUnixShell(c.swap(installerPath("1.5.0"))));
    ScopedHandle process;
    const InstallResult result = app.installUpdate(nullptr, &process);
    if (process.valid()) WaitForSingleObject(process, kInstallerEndsMs);
    EXPECT_EQ(result, InstallResult::Failed);
    EXPECT_FALSE(fileExists(record));  // nothing ran
    EXPECT_NE(log().find(c.logged), std::string::npos) << log();
    EXPECT_FALSE(app.isInstallerRunning());
    app.stop();
    if (reportedAsLink(updateDir())) removeLinkItself(updateDir());
    removeTree(updateDir());
    removeTree(updateDir() + L"-moved");
  }
}

TEST_F(InstallerRun, NothingIsDownloadedIntoAnUpdateFolderReachedThroughALink) {
  TempDir elsewhere;
  ASSERT_TRUE(makeLink(updateDir(), elsewhere.path(), true));
  App app;
  app.prepare();
  EXPECT_EQ(app.checkForUpdate().text(), "FAILED 1.5.0: the update folder " + toUtf8(updateDir()) +
                                             " is reached through a link");
  EXPECT_TRUE(listFolder(elsewhere.path()).empty());
  EXPECT_TRUE(removeLinkItself(updateDir()));
}

TEST_F(InstallerRun, ADeclinedPromptLeavesTheInstallerReadyForAnotherTry) {
  writeSettings("en", forever());
  App app;
  app.prepare();
  ASSERT_EQ(app.checkForUpdate().text(), "READY 1.5.0");
  {
    DeclinedPrompt declined;
    EXPECT_EQ(app.installUpdate(nullptr), InstallResult::Declined);
    EXPECT_EQ(DeclinedPrompt::verbs(), std::vector<std::wstring>{L"runas"});
  }
  EXPECT_FALSE(app.isInstallerRunning());
  EXPECT_EQ(app.readyUpdateVersion(), "1.5.0");
  EXPECT_NE(log().find("  update: Windows' permission prompt was declined; the update waits\r\n"),
            std::string::npos)
      << log();
  EXPECT_FALSE(fileExists(record));  // nothing ran

  ScopedHandle process;
  ASSERT_EQ(app.installUpdate(nullptr, &process), InstallResult::Started);
  ASSERT_EQ(WaitForSingleObject(process, kInstallerEndsMs), WAIT_OBJECT_0);
  EXPECT_NE(recorded(), "");
}

TEST_F(InstallerRun, WhileItRunsNothingElseStartsOrReplacesIt) {
  writeSettings("en", forever());
  ScopedEnv slow(L"CAIRN_TEST_INSTALLER_MS", L"3000");
  App app;
  app.prepare();
  ASSERT_EQ(app.checkForUpdate().text(), "READY 1.5.0");
  ASSERT_EQ(app.installUpdate(nullptr), InstallResult::Started);
  EXPECT_TRUE(app.isInstallerRunning());
  EXPECT_EQ(app.readyUpdateVersion(), "");
  EXPECT_EQ(app.installUpdate(nullptr), InstallResult::Started);  // the running one counts
  // A check already under way throws away what it downloads.
  service.serveAnswer(fixtures::answer(service.base()));
  EXPECT_EQ(app.checkForUpdate().text(), "NONE installing");
  EXPECT_TRUE(fileExists(installerPath("1.5.0")));
  ASSERT_TRUE(installerEnded("0"));
  const std::string lines = recorded();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 1);  // started once
  app.stop();
}

TEST_F(InstallerRun, StopDuringARunningInstallerEndsAtOnce) {
  writeSettings("en", forever());
  ScopedEnv slow(L"CAIRN_TEST_INSTALLER_MS", L"10000");
  App app;
  app.prepare();
  app.start(nullptr);
  ASSERT_EQ(app.checkForUpdate().text(), "READY 1.5.0");
  ASSERT_EQ(app.installUpdate(nullptr), InstallResult::Started);
  ASSERT_TRUE(waitFor([&] { return fileExists(record); }, kInstallerEndsMs));
  const ULONGLONG begin = GetTickCount64();
  app.stop();
  EXPECT_LT(GetTickCount64() - begin, 1500u);
  EXPECT_TRUE(fileExists(installerPath("1.5.0")));  // kept for the next start
}

}  // namespace
