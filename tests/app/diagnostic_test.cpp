// Diagnostic runs of the real Cairnstone.exe.
#include <gtest/gtest.h>

#include "storage/files.h"
#include "tests/support/test_support.h"

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
