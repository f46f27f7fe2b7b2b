// Diagnostic runs of the real Cairnstone.exe.
#include <gtest/gtest.h>

#include "base/text.h"
#include "storage/files.h"
#include "tests/support/test_support.h"
#include "tests/update/fixtures.h"

namespace {

TEST(Diagnostic, JsonTestWritesItsSixLines) {
  TempDir dir;
  ScopedEnv env(L"CAIRN_DATA_DIR", dir.path());
  const std::wstring out = dir.file(L"out.txt");
  ASSERT_TRUE(writeWholeFile(out, "stale content that must go"));
  EXPECT_EQ(runToEnd(cairnstoneExe(), {L"--jsontest", L"--update-check", L"--out", out}), 0);
  EXPECT_EQ(readFileText(out),
            "61efbfbd41\n"
            "f09f9880\n"
            "efbfbd78\n"
            "efbfbdf09f9880\n"
            "efbfbd\n"
            "6f6befbfbdefbfbd28efbfbdefbfbdefbfbdefbfbdefbfbdefbfbdc3a9\n");
  EXPECT_FALSE(fileExists(dir.file(L"cairn.log")));  // a diagnostic run logs nothing
}

TEST(Diagnostic, JsonTestWithoutOutWritesNothing) {
  TempDir dir;
  ScopedEnv env(L"CAIRN_DATA_DIR", dir.path());
  EXPECT_EQ(runToEnd(cairnstoneExe(), {L"--jsontest", L"--out"}), 0);
  EXPECT_EQ(runToEnd(cairnstoneExe(), {L"--jsontest"}), 0);
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW(dir.file(L"*").c_str(), &entry);
  int entries = 0;
  if (find != INVALID_HANDLE_VALUE) {
    do ++entries;
    while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  EXPECT_EQ(entries, 2);  // only "." and ".."
}

}  // namespace

namespace {

// --verify-release with the published test release: its record and installer
// as they would lie side by side in a release folder.
class VerifyRelease : public ::testing::Test {
 protected:
  void SetUp() override {
    const JsonValue record = fixtures::answer(kBase);
    ASSERT_TRUE(writeWholeFile(recordPath, jsonWrite(record)));
    ASSERT_TRUE(writeWholeFile(installerPath, fixtures::installer()));
  }
  int verify(const std::wstring& record) {
    return runToEnd(cairnstoneExe(),
                    {L"--verify-release", record, L"--file", installerPath, L"--out", out});
  }

  static constexpr char kBase[] = "http://127.0.0.1:9";
  TempDir dir;
  ScopedEnv data{L"CAIRN_DATA_DIR", dir.path()};
  ScopedEnv base{L"CAIRN_API_BASE", toWide(kBase)};
  const std::wstring recordPath = dir.file(L"version.json");
  const std::wstring installerPath = dir.file(L"Cairnstone-Setup-1.4.0.exe");
  const std::wstring out = dir.file(L"out.txt");
};

TEST_F(VerifyRelease, AGoodPairIsOk) {
  EXPECT_EQ(verify(recordPath), 0);
  EXPECT_EQ(readFileText(out), "OK 1.4.0");
}

TEST_F(VerifyRelease, AMissingRecordCannotBeRead) {
  EXPECT_EQ(verify(dir.file(L"absent.json")), 1);
  EXPECT_EQ(readFileText(out), "BAD cannot read the release record");
}

TEST_F(VerifyRelease, ATamperedInstallerIsBad) {
  std::string bytes = fixtures::installer();
  bytes[bytes.size() / 2] ^= 0x01;
  ASSERT_TRUE(writeWholeFile(installerPath, bytes));
  EXPECT_EQ(verify(recordPath), 1);
  const std::string result = readFileText(out);
  EXPECT_EQ(result.rfind("BAD ", 0), 0u) << result;
  EXPECT_NE(result, "BAD cannot read the release record");
}

}  // namespace
