#include <gtest/gtest.h>

#include "base/paths.h"
#include "game/addon.h"
#include "game/config.h"
#include "storage/files.h"
#include "tests/support/test_support.h"

namespace {

class ConfigTest : public ::testing::Test {
 protected:
  std::wstring config() { return joinPath(addonDir(dir.path()), L"Config.lua"); }
  FILETIME modified() {
    WIN32_FILE_ATTRIBUTE_DATA info = {};
    GetFileAttributesExW(config().c_str(), GetFileExInfoStandard, &info);
    return info.ftLastWriteTime;
  }
  TempDir dir;
};

TEST_F(ConfigTest, ContentIsOneAsciiLine) {
  EXPECT_EQ(buildAddonConfig("de"), "CairnInstall = { lang = \"de\" }\n");
  EXPECT_EQ(buildAddonConfig("de").size(), 31u);
  EXPECT_EQ(buildAddonConfig("fr"), "CairnInstall = { lang = \"en\" }\n");
  EXPECT_EQ(buildAddonConfig(""), "CairnInstall = { lang = \"en\" }\n");
  EXPECT_EQ(buildAddonConfig("PL"), "CairnInstall = { lang = \"en\" }\n");
}

TEST_F(ConfigTest, NeverCreatesTheAddonFolder) {
  EXPECT_EQ(writeAddonConfig(dir.path(), "de").outcome, ConfigOutcome::NoAddonFolder);
  EXPECT_FALSE(fileExists(dir.file(L"Interface")));
  EXPECT_EQ(writeAddonConfig(L"", "de").outcome, ConfigOutcome::NoAddonFolder);
}

TEST_F(ConfigTest, WritesOnlyWhenTheBytesChange) {
  ASSERT_TRUE(makeDirs(addonDir(dir.path())));
  EXPECT_EQ(writeAddonConfig(dir.path(), "pl").outcome, ConfigOutcome::Written);
  EXPECT_EQ(readFileText(config()), "CairnInstall = { lang = \"pl\" }\n");
  const FILETIME before = modified();
  Sleep(30);  // so that a rewrite would show in the time stamp
  EXPECT_EQ(writeAddonConfig(dir.path(), "pl").outcome, ConfigOutcome::Unchanged);
  const FILETIME after = modified();
  EXPECT_EQ(CompareFileTime(&before, &after), 0);
  EXPECT_EQ(writeAddonConfig(dir.path(), "it").outcome, ConfigOutcome::Written);
  EXPECT_EQ(temporaryFiles(addonDir(dir.path())), 0);
}

TEST_F(ConfigTest, LockedFileKeepsItsContent) {
  ASSERT_TRUE(makeDirs(addonDir(dir.path())));
  ASSERT_TRUE(writeWholeFile(config(), "old"));
  HANDLE holder = CreateFileW(config().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  const ConfigWrite result = writeAddonConfig(dir.path(), "de");
  EXPECT_EQ(result.outcome, ConfigOutcome::Failed);
  EXPECT_EQ(result.write.failedAt, WriteStep::Replace);
  CloseHandle(holder);
  EXPECT_EQ(temporaryFiles(addonDir(dir.path())), 0);
  EXPECT_EQ(readFileText(config()), "old");
}

TEST_F(ConfigTest, ReadsTheLanguageBackInTableOrder) {
  EXPECT_EQ(readAddonConfigLanguage(L""), "");
  EXPECT_EQ(readAddonConfigLanguage(dir.path()), "");
  ASSERT_TRUE(makeDirs(addonDir(dir.path())));
  struct Case {
    const char* file;
    const char* language;
  } cases[] = {
      {"CairnInstall = { lang = \"de\" }\n", "de"},
      {"CairnInstall = { lang=\"de\" }\n", ""},
      {"CairnInstall = { lang = \"DE\" }\n", ""},
      {"x = { lang = \"pl\" }\ny = { lang = \"nl\" }\n", "nl"},
      {"lang = \"fr\"", ""},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(writeWholeFile(config(), c.file));
    EXPECT_EQ(readAddonConfigLanguage(dir.path()), c.language) << c.file;
  }
}

}  // namespace
