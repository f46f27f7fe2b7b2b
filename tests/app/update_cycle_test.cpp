// The controller's update cycle against a local service that serves
// releases signed with the tests' own key.
#include <gtest/gtest.h>

#include <cwchar>
#include <sstream>
#include <vector>

#include "app/app.h"
#include "app/messages.h"
#include "base/paths.h"
#include "base/scoped_handle.h"
#include "base/text.h"
#include "storage/files.h"
#include "tests/support/test_support.h"
#include "tests/update/fixtures.h"
#include "update/download.h"
#include "update/install.h"

namespace {

class UpdateCycle : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(service.ready());
    ASSERT_TRUE(writeWholeFile(settingsPath(), R"({"language":"de","lastVersion":"1.3.0"})"));
  }
  std::string log() { return readFileText(joinPath(service.dataDir(), L"cairn.log")); }
  void offerVersion(const char* version) {
    JsonValue answer = fixtures::answer(service.base());
    answer.set("version", jsonString(version));
    service.serveAnswer(answer);
  }

  fixtures::Service service;
};

TEST_F(UpdateCycle, ANewerReleaseIsDownloadedOnceAndKeptReady) {
  ScopedWindow tray(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    nullptr, nullptr));
  App app;
  app.prepare();
  app.start(tray);
  EXPECT_EQ(app.checkForUpdate().text(), "READY 1.4.0");
  EXPECT_EQ(app.readyUpdateVersion(), "1.4.0");
  EXPECT_EQ(app.checkForUpdate().text(), "READY 1.4.0");
  EXPECT_EQ(service.http().requestsFor(fixtures::kInstallerPath), 1);
  EXPECT_EQ(countOf(log(), "  update 1.4.0 downloaded and checked (size, SHA-256, signature): "
                           "ready to install\r\n"),
            1);
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, tray, WM_APP_UPDATE, WM_APP_UPDATE, PM_REMOVE));
  EXPECT_EQ(updateNewsOf(msg.wParam), UpdateNews::Ready);
  EXPECT_FALSE(PeekMessageW(&msg, tray, WM_APP_UPDATE, WM_APP_UPDATE, PM_REMOVE));

  app.stop();  // closes the installer but keeps its file for the next start
  EXPECT_EQ(app.readyUpdateVersion(), "");
  EXPECT_TRUE(fileExists(installerPath("1.4.0")));
}

TEST_F(UpdateCycle, AWithdrawnReleaseIsDropped) {
  App app;
  app.prepare();
  ASSERT_EQ(app.checkForUpdate().text(), "READY 1.4.0");
  offerVersion("1.3.0");
  EXPECT_EQ(app.checkForUpdate().text(), "NONE 1.3.0");
  EXPECT_EQ(app.readyUpdateVersion(), "");
  EXPECT_FALSE(fileExists(installerPath("1.4.0")));
  EXPECT_NE(log().find("  update: the server no longer offers the downloaded version; it is "
                       "dropped\r\n"),
            std::string::npos);
  EXPECT_EQ(app.checkForUpdate().text(), "NONE 1.3.0");  // nothing more to drop
  EXPECT_EQ(countOf(log(), "no longer offers"), 1);
}

TEST_F(UpdateCycle, RefusedBrokenAndMissingAnswersChangeNothing) {
  App app;
  app.prepare();
  JsonValue forged = fixtures::answer(service.base());
  forged.set("signature", jsonString(fixtures::signature("other_key")));
  service.serveAnswer(forged);
  EXPECT_EQ(app.checkForUpdate().text(), "REFUSED the signature does not match the release key");

  service.serveAnswer(fixtures::answer(service.base()));
  std::string tampered = fixtures::installer();
  tampered[tampered.size() / 2] ^= 1;
  service.http().serveBody(fixtures::kInstallerPath, tampered);
  const std::string failed = app.checkForUpdate().text();
  EXPECT_EQ(failed.rfind("FAILED 1.4.0: ", 0), 0u) << failed;
  EXPECT_EQ(app.readyUpdateVersion(), "");
  EXPECT_EQ(fixtures::updateFolderListing(), "");

  LocalService::Answer missing;
  missing.status = 500;
  service.http().serve(fixtures::kVersionPath, missing);
  EXPECT_EQ(app.checkForUpdate().text(), "NOSERVER");
}

TEST_F(UpdateCycle, InstallingNeedsAReadyInstallerAndKeepsItWhenTheStartFails) {
  App app;
  app.prepare();
  EXPECT_EQ(app.installUpdate(nullptr), InstallResult::NothingReady);
  ASSERT_EQ(app.checkForUpdate().text(), "READY 1.4.0");
  // The test release's installer is not a program, so the start fails.
  EXPECT_EQ(app.installUpdate(nullptr), InstallResult::Failed);
  EXPECT_FALSE(app.isInstallerRunning());
  EXPECT_EQ(app.readyUpdateVersion(), "1.4.0");
  const std::string text = log();
  EXPECT_NE(text.find("  update 1.4.0: starting the installer /S /UPDATE /MAINLANG=de"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("  update: cannot start the installer ("), std::string::npos) << text;
}

TEST_F(UpdateCycle, TheLoopLogsAStatusOnlyWhenItChanges) {
  LocalService::Answer missing;
  missing.status = 500;
  service.http().serve(fixtures::kVersionPath, missing);
  ScopedEnv fast(L"CAIRN_UPDATE_MS", L"100");
  App app;
  app.prepare();
  app.start(nullptr);
  auto askedMore = [&](int more) {
    const int asked = service.http().requestsFor(fixtures::kVersionPath);
    return waitFor(
        [&] { return service.http().requestsFor(fixtures::kVersionPath) >= asked + more; }, 10000);
  };
  ASSERT_TRUE(askedMore(2));
  offerVersion("1.3.0");
  ASSERT_TRUE(askedMore(3));
  offerVersion("1.4.0");
  ASSERT_TRUE(waitFor([&] { return app.readyUpdateVersion() == "1.4.0"; }, 10000));
  ASSERT_TRUE(askedMore(2));
  app.stop();
  const std::string text = log();
  // The very first status is logged too, whatever it is.
  EXPECT_EQ(countOf(text, "  update check: NOSERVER\r\n"), 1) << text;
  EXPECT_EQ(countOf(text, "  update check: NONE 1.3.0\r\n"), 1) << text;
  EXPECT_EQ(countOf(text, "update check: READY"), 0) << text;
  EXPECT_EQ(countOf(text, "downloaded and checked"), 1) << text;
}

TEST_F(UpdateCycle, StopEndsADownloadUnderWay) {
  service.http().serve(fixtures::kInstallerPath,
                       fixtures::stalledInstaller(fixtures::installer().size() / 3));
  ScopedEnv fast(L"CAIRN_UPDATE_MS", L"50");
  App app;
  app.prepare();
  app.start(nullptr);
  ASSERT_TRUE(service.http().waitUntilStalled(10000));
  const ULONGLONG stopStarted = GetTickCount64();
  app.stop();
  EXPECT_LT(GetTickCount64() - stopStarted, 1500u);
  // Windows aborts the blocked read when the request is closed; Wine 8 lets
  // it run until the next bytes come. The worker then drops the .part file.
  service.http().releaseStall();
  EXPECT_TRUE(waitFor([] { return fixtures::updateFolderListing().empty(); }, 5000))
      << fixtures::updateFolderListing();
  EXPECT_EQ(app.readyUpdateVersion(), "");
  EXPECT_NE(log().find("  Cairn stopped\r\n"), std::string::npos);
}

TEST(UpdateSchedule, CairnUpdateMsShortensTheIntervalButNeverDelaysTheFirstCheck) {
  constexpr long long kUsualFirst = 20000, kUsualInterval = 6LL * 60 * 60 * 1000;
  const struct {
    const wchar_t* value;
    long long firstWaitMs;
    long long intervalMs;
  } cases[] = {
      {L"", kUsualFirst, kUsualInterval},        {L"5000", 5000, 5000},
      {L"60000", kUsualFirst, 60000},            {L"20000", 20000, 20000},
      {L"1", 1, 1},                              {L"250ms", 250, 250},  // leading digits count
      {L"0", kUsualFirst, kUsualInterval},       {L"-5000", kUsualFirst, kUsualInterval},
      {L"soon", kUsualFirst, kUsualInterval},
  };
  for (const auto& c : cases) {
    const UpdateSchedule s = updateSchedule(c.value);
    EXPECT_EQ(s.firstWaitMs, c.firstWaitMs) << toUtf8(c.value);
    EXPECT_EQ(s.intervalMs, c.intervalMs) << toUtf8(c.value);
  }
}

TEST(InstallerArgs, CarryFolderLanguageAndAutostart) {
  EXPECT_EQ(installerArgs(L"D:\\Games\\World of Warcraft\\_forever_", "de", false),
            L"/S /UPDATE /FOREVER=\"D:\\Games\\World of Warcraft\\_forever_\" /MAINLANG=de "
            L"/NOAUTOSTART");
  EXPECT_EQ(installerArgs(L"D:\\odd\"name", "xx", true), L"/S /UPDATE /MAINLANG=en");
  EXPECT_EQ(installerArgs(L"", "", true), L"/S /UPDATE /MAINLANG=en");
  EXPECT_EQ(installerArgs(L"C:\\WoW", "pl", true), L"/S /UPDATE /FOREVER=\"C:\\WoW\" /MAINLANG=pl");
}

// The installer reads its command line as NSIS does: every word that starts
// with '/' is a switch (quotes or not), and /FOREVER='s value runs up to the
// next " /".
std::vector<std::wstring> switchesOf(const std::wstring& line) {
  std::vector<std::wstring> switches;
  std::wistringstream words(line);
  for (std::wstring word; words >> word;) {
    if (word[0] == L'/') switches.push_back(word.substr(0, word.find(L'=')));
  }
  return switches;
}
std::wstring foreverOf(const std::wstring& line) {
  const size_t begin = line.find(L"/FOREVER=");
  if (begin == std::wstring::npos) return {};
  const size_t from = begin + wcslen(L"/FOREVER=");
  return line.substr(from, line.find(L" /", from) - from);
}

TEST(InstallerArgs, NoPartOfTheGameFolderReadsAsASwitch) {
  const struct {
    const wchar_t* folder;
    const wchar_t* passed;  // the same Windows folder
  } cases[] = {
      {L"C:\\g\\a /D=\\\\srv\\share", L"C:\\g\\a \\D=\\\\srv\\share"},
      {L"D:\\Games /S\\_forever_", L"D:\\Games \\S\\_forever_"},
      {L"D:\\x /NCRC\\_forever_", L"D:\\x \\NCRC\\_forever_"},
      {L"D:\\x /NOAUTOSTART /MAINLANG=xx", L"D:\\x \\NOAUTOSTART \\MAINLANG=xx"},
      {L"D:/Games/World of Warcraft/_forever_", L"D:\\Games\\World of Warcraft\\_forever_"},
  };
  const std::vector<std::wstring> expected = {L"/S", L"/UPDATE", L"/FOREVER", L"/MAINLANG"};
  for (const auto& c : cases) {
    SCOPED_TRACE(toUtf8(c.folder));
    const std::wstring line = installerArgs(c.folder, "de", true);
    EXPECT_EQ(switchesOf(line), expected);
    EXPECT_EQ(foreverOf(line), L"\"" + std::wstring(c.passed) + L"\"");
    EXPECT_EQ(line.substr(line.rfind(L' ')), L" /MAINLANG=de");
  }
}

TEST(InstallerArgs, NoCheckedFileStartsNothing) {
  ScopedHandle process;
  std::string error;
  EXPECT_EQ(startInstaller(INVALID_HANDLE_VALUE, nullptr, L"", process, error),
            InstallResult::Failed);
  EXPECT_EQ(error, "no checked installer");
  EXPECT_FALSE(process.valid());
}

}  // namespace
