// Writes on a disk that is really full (a small tmpfs, see on_small_disk.sh):
// nothing half-written is left, the old files stay whole, and the log
// counts what it lost.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/paths.h"
#include "base/scoped_handle.h"
#include "game/addon.h"
#include "game/config.h"
#include "storage/files.h"
#include "storage/log.h"
#include "storage/settings.h"
#include "tests/support/test_support.h"
#include "tests/update/fixtures.h"

namespace {

constexpr DWORD kPage = 4096;

class FullDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(disk.empty()) << "run through on_small_disk.sh, which mounts the small disk";
    folder = joinPath(disk, L"case");
    ASSERT_TRUE(makeDirs(folder));
  }
  void TearDown() override {
    emptyTheDisk();
    removeTree(folder);
  }

  // Takes every free page of the disk.
  void fillTheDisk() {
    ScopedHandle filler(CreateFileW(joinPath(disk, L"filler").c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(filler.valid());
    const std::string page(kPage, 'f');
    DWORD written = 0;
    while (WriteFile(filler, page.data(), kPage, &written, nullptr) && written > 0) {
    }
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  }
  void emptyTheDisk() { DeleteFileW(joinPath(disk, L"filler").c_str()); }

  std::wstring disk = envVar(L"CAIRN_SMALL_DISK");
  std::wstring folder;
};

// settings.json and Config.lua: the temporary file goes, the old file stays.
TEST_F(FullDisk, AReplacingWriteLeavesTheOldFileAndNoTemporary) {
  ScopedEnv data(L"CAIRN_DATA_DIR", folder);
  ASSERT_TRUE(makeDirs(addonDir(folder)));
  const std::wstring config = joinPath(addonDir(folder), L"Config.lua");
  ASSERT_TRUE(writeWholeFile(settingsPath(), "old settings"));
  ASSERT_TRUE(writeWholeFile(config, "old config"));
  fillTheDisk();
  Settings settings;
  settings.language = "de";
  const WriteResult saved = saveSettings(settings);
  const ConfigWrite written = writeAddonConfig(folder, "de");
  struct Case {
    const char* name;
    WriteResult result;
    std::wstring path;
    const char* old;
  } cases[] = {
      {"settings.json", saved, settingsPath(), "old settings"},
      {"Config.lua", written.write, config, "old config"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.result.failedAt, WriteStep::TempFile) << c.name;
    EXPECT_EQ(writeProblem(c.result), WriteProblem::DiskFull) << c.name << " " << c.result.error;
    EXPECT_EQ(temporaryFiles(parentPath(c.path)), 0) << c.name;
    EXPECT_EQ(readFileText(c.path), c.old) << c.name;
  }
  EXPECT_EQ(written.outcome, ConfigOutcome::Failed);
}

// Logging on a full disk returns at once, and once there is room again the
// first line says how many went.
TEST_F(FullDisk, TheLogCountsTheLinesItLost) {
  ScopedEnv data(L"CAIRN_DATA_DIR", folder);
  logLine("before");
  // A line of padding ends the log at a page's end: the next line needs a page.
  const std::string stamp = "0000-00-00 00:00:00  ";
  const size_t used = readFileText(logPath()).size() + stamp.size() + 2;
  ASSERT_TRUE(writeWholeFile(logPath(), readFileText(logPath()) + stamp +
                                            std::string(kPage - used % kPage, 'p') + "\r\n"));
  fillTheDisk();
  for (int i = 0; i < 200; ++i) logLine("line " + std::to_string(i));
  emptyTheDisk();
  logLine("after");
  const std::vector<std::string> messages = logMessages(readFileText(logPath()));
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[0], "before");
  EXPECT_EQ(messages[2], "200 log line(s) could not be written before this one");
  EXPECT_EQ(messages[3], "after");
}

// An installer download into a full update folder fails with the disk's
// reason, and its part file is gone.
TEST_F(FullDisk, ADownloadFailsAndLeavesNoPartFile) {
  fixtures::Service service;
  ASSERT_TRUE(service.ready());
  ScopedEnv data(L"CAIRN_DATA_DIR", folder);
  ASSERT_TRUE(makeDirs(updateDir()));
  fillTheDisk();
  ReadyInstaller ready;
  EXPECT_EQ(fixtures::checkOnce(ready), "FAILED 1.4.0: download failed: cannot write the download (112)");
  EXPECT_TRUE(ready.empty());
  EXPECT_EQ(fixtures::updateFolderListing(), "");
}

}  // namespace
