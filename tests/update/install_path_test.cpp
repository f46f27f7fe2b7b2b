// The path a checked installer is started by is one the shell takes: the
// plain form when it is shorter than MAX_PATH, else the short (8.3) form.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

#include "base/paths.h"
#include "base/scoped_handle.h"
#include "base/text.h"
#include "storage/files.h"
#include "tests/support/test_support.h"
#include "update/install.h"

namespace {

constexpr DWORD kInstallerEndsMs = 15000;
constexpr size_t kDeepChars = 300;

TEST(ShellPath, ThePlainFormWhenTheShellTakesItElseNone) {
  const std::wstring longest = L"C:\\" + std::wstring(MAX_PATH - 4, L'a');  // 259 characters
  const std::wstring tooLong = longest + L"b";  // no such file, so no short form either
  const struct {
    std::wstring finalPath;
    std::wstring expected;  // empty: none
  } cases[] = {
      {L"\\\\?\\C:\\Users\\a\\update\\Cairnstone-Setup-1.4.0.exe",
       L"C:\\Users\\a\\update\\Cairnstone-Setup-1.4.0.exe"},
      {L"\\\\?\\UNC\\server\\share\\setup.exe", L"\\\\server\\share\\setup.exe"},
      {L"\\\\?\\" + longest, longest},
      {L"\\\\?\\" + tooLong, L""},
  };
  for (const auto& c : cases) {
    const ShellPath shell = shellPath(c.finalPath);
    EXPECT_EQ(shell.path, c.expected) << toUtf8(c.finalPath);
    EXPECT_EQ(static_cast<bool>(shell), !c.expected.empty());
    if (!shell) {
      EXPECT_EQ(shell.plainChars, tooLong.size());
      EXPECT_NE(shell.error, 0u);
    }
  }
}

// A folder below `base` whose plain path is at least kDeepChars long.
std::wstring deepFolder(const std::wstring& base) {
  std::wstring folder = base;
  while (folder.size() < kDeepChars) {
    folder = joinPath(folder, L"a folder name far longer than eight characters");
    EXPECT_TRUE(CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr));
  }
  return folder;
}

std::wstring finalPathOf(HANDLE file) {
  wchar_t path[32768];
  const DWORD chars = GetFinalPathNameByHandleW(file, path, 32768, FILE_NAME_NORMALIZED);
  return std::wstring(path, chars < 32768 ? chars : 0);
}

bool sameFile(HANDLE a, HANDLE b) {
  FILE_ID_INFO first = {}, second = {};
  return GetFileInformationByHandleEx(a, FileIdInfo, &first, sizeof first) &&
         GetFileInformationByHandleEx(b, FileIdInfo, &second, sizeof second) &&
         first.VolumeSerialNumber == second.VolumeSerialNumber &&
         memcmp(&first.FileId, &second.FileId, sizeof first.FileId) == 0;
}

// A checked installer in an update folder deep in a long profile path.
class DeepInstaller : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CopyFileW(joinPath(binFolder(), L"test_installer.exe").c_str(),
                          (L"\\\\?\\" + installer).c_str(), FALSE));
    checked.reset(CreateFileW((L"\\\\?\\" + installer).c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(checked.valid());
  }
  TempDir tmp;
  const std::wstring installer = joinPath(deepFolder(tmp.path()), L"Cairnstone-Setup-1.5.0.exe");
  ScopedHandle checked;
};

// The final path Windows gives for it has a short form that names it.
TEST_F(DeepInstaller, ItsShortFormIsWithinMaxPathAndNamesTheSameFile) {
  const ShellPath shell = shellPath(L"\\\\?\\" + installer);
  ASSERT_TRUE(shell) << shell.error;
  EXPECT_LT(shell.path.size(), static_cast<size_t>(MAX_PATH));
  EXPECT_EQ(shell.plainChars, installer.size());
  ScopedHandle found(CreateFileW(shell.path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  EXPECT_TRUE(sameFile(found, checked));
}

TEST_F(DeepInstaller, StartsByItsShortForm) {
  if (finalPathOf(checked).empty()) {
    GTEST_SKIP() << "this system cannot tell a path beyond MAX_PATH from its handle ("
                 << GetLastError() << ")";
  }
  const std::wstring record = tmp.file(L"record.txt");
  ScopedEnv recordEnv(L"CAIRN_TEST_INSTALLER_RECORD", record);
  TempDir data;
  ScopedEnv dataEnv(L"CAIRN_DATA_DIR", data.path());
  ScopedHandle process;
  std::string error;
  ASSERT_EQ(startInstaller(checked, nullptr, L"/S /UPDATE", process, error), InstallResult::Started)
      << error;
  ASSERT_EQ(WaitForSingleObject(process, kInstallerEndsMs), WAIT_OBJECT_0);
  EXPECT_EQ(readFileText(record), "/S /UPDATE\n");
}

}  // namespace
