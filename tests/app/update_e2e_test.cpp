// The real Cairnstone.exe against a local service: the diagnostic update run
// with --install, a running instance that finds a release by itself, and a
// shut-down in the middle of a download.
#include <gtest/gtest.h>

#include "base/paths.h"
#include "storage/files.h"
#include "storage/settings.h"
#include "tests/support/test_support.h"
#include "tests/update/fixtures.h"

namespace {

constexpr DWORD kFindsItMs = 20000;

class UpdateEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(service.ready());
    ASSERT_TRUE(writeWholeFile(settingsPath(), R"({"language":"it","wizardDone":true,"lastVersion":"1.3.0"})"));
  }
  std::string log() { return readFileText(joinPath(service.dataDir(), L"cairn.log")); }
  bool logged(const std::string& line, DWORD timeoutMs) {
    return waitFor([&] { return log().find(line) != std::string::npos; }, timeoutMs);
  }
  void quit() { EXPECT_EQ(runToEnd(cairnstoneExe(), {L"--quit"}), 0); }

  fixtures::Service service;
  const std::wstring out = joinPath(service.dataDir(), L"out.txt");
  const std::wstring record = joinPath(service.dataDir(), L"installer-record.txt");
  ScopedEnv recordEnv{L"CAIRN_TEST_INSTALLER_RECORD", record};
};

TEST_F(UpdateEndToEnd, UpdateCheckInstallRunsTheVerifiedInstaller) {
  service.offerProgram();
  ScopedEnv exit(L"CAIRN_TEST_INSTALLER_EXIT", L"3");
  EXPECT_EQ(runToEnd(cairnstoneExe(), {L"--update-check", L"--install", L"--out", out}), 0);
  EXPECT_EQ(readFileText(out), "READY 1.5.0\nSTARTED exit=3");
  EXPECT_EQ(readFileText(record).rfind("/S /UPDATE /MAINLANG=it", 0), 0u) << readFileText(record);
}

TEST_F(UpdateEndToEnd, UpdateCheckWithoutInstallOnlyReports) {
  EXPECT_EQ(runToEnd(cairnstoneExe(), {L"--update-check", L"--out", out}), 0);
  EXPECT_EQ(readFileText(out), "READY 1.4.0");
  EXPECT_FALSE(fileExists(record));
  JsonValue older = fixtures::answer(service.base());
  older.set("version", jsonString("1.3.0"));
  service.serveAnswer(older);
  EXPECT_EQ(runToEnd(cairnstoneExe(), {L"--update-check", L"--install", L"--out", out}), 1);
  EXPECT_EQ(readFileText(out), "NONE 1.3.0");
}

TEST_F(UpdateEndToEnd, ARunningInstanceFindsANewerReleaseByItself) {
  ScopedEnv fast(L"CAIRN_UPDATE_MS", L"300");
  Child running = Child::start(cairnstoneExe(), {L"--background"});
  ASSERT_TRUE(running.started());
  EXPECT_TRUE(logged("  update 1.4.0 downloaded and checked (size, SHA-256, signature): ready to "
                     "install\r\n",
                     kFindsItMs))
      << log();
  quit();
  EXPECT_EQ(running.wait(kFindsItMs), 0);
  EXPECT_TRUE(fileExists(installerPath("1.4.0")));  // kept for the next start
}

TEST_F(UpdateEndToEnd, QuittingDuringADownloadEndsAtOnceAndLeavesNoPart) {
  service.http().serve(fixtures::kInstallerPath,
                       fixtures::stalledInstaller(fixtures::installer().size() / 3));
  ScopedEnv fast(L"CAIRN_UPDATE_MS", L"50");
  Child running = Child::start(cairnstoneExe(), {L"--background"});
  ASSERT_TRUE(running.started());
  ASSERT_TRUE(service.http().waitUntilStalled(kFindsItMs));
  const ULONGLONG begin = GetTickCount64();
  quit();
  EXPECT_EQ(running.wait(kFindsItMs), 0);
  EXPECT_LT(GetTickCount64() - begin, 1500u);
  service.http().releaseStall();
  EXPECT_EQ(fixtures::updateFolderListing(), "");
  EXPECT_NE(log().find("  Cairn stopped\r\n"), std::string::npos);
}

}  // namespace
