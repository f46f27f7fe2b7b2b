// The real program with files that editors, sync tools and other programs
// spoiled or hold: nothing the user chose is lost, and every failure is said.
#include <gtest/gtest.h>

#include <string>

#include "app/messages.h"
#include "base/paths.h"
#include "base/scoped_handle.h"
#include "base/text.h"
#include "game/addon.h"
#include "storage/files.h"
#include "storage/settings.h"
#include "tests/support/test_support.h"

namespace {

constexpr DWORD kTimeoutMs = 30000;
constexpr char kSetUp[] = R"({"language":"de","wizardDone":true,"lastVersion":"1.3.0")";

std::string utf16(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}

class BadFiles : public ::testing::Test {
 protected:
  std::string log() { return readFileText(data.file(L"cairn.log")); }

  TempDir data;
  TempDir machine;
  ScopedEnv dataEnv{L"CAIRN_DATA_DIR", data.path()};
  ScopedEnv noOverride{L"CAIRN_FOREVER_DIR", L""};
};

// A start reads a file with a byte-order mark as if it had none, and keeps
// any file it cannot use as settings.json.bad before writing a new one.
TEST_F(BadFiles, ASettingsFileIsReadThroughItsByteOrderMarkOrKeptAside) {
  const std::string setUp = std::string(kSetUp) + "}";
  struct Case {
    std::string file;
    const char* why;  // nullptr: read
  } cases[] = {
      {"\xEF\xBB\xBF" + setUp, nullptr},
      {R"({"language":"de",)", "it is not JSON: "},
      {utf16(setUp), "it is UTF-16 text"},
  };
  for (const Case& c : cases) {
    const std::string name = c.why ? c.why : "byte-order mark";
    ASSERT_TRUE(writeWholeFile(settingsPath(), c.file));
    DeleteFileW((settingsPath() + L".bad").c_str());
    DeleteFileW(data.file(L"cairn.log").c_str());
    runToEnd(cairnstoneExe(), {L"--update-check"});
    Settings s;
    EXPECT_TRUE(loadSettings(s).problem.empty()) << name;
    if (!c.why) {
      EXPECT_EQ(s.language, "de") << name;
      EXPECT_TRUE(s.wizardDone) << name;  // the wizard does not come back
      EXPECT_FALSE(fileExists(settingsPath() + L".bad")) << name;
      continue;
    }
    EXPECT_FALSE(s.wizardDone) << name;  // defaults, as with no file
    EXPECT_EQ(readFileText(settingsPath() + L".bad"), c.file) << name;
    EXPECT_EQ(countOf(log(), std::string("settings.json could not be used (") + c.why), 1)
        << name << "\n"
        << log();
  }
}

// Config.lua held open by another program, then deleted while the program
// runs: each is written again at the next refresh.
TEST_F(BadFiles, ConfigLuaIsWrittenAgainAtTheNextRefresh) {
  const std::wstring forever = machine.file(L"World of Warcraft\\_forever_");
  ASSERT_TRUE(makeDirs(addonDir(forever)));
  ASSERT_TRUE(writeWholeFile(joinPath(addonDir(forever), L"Cairn.toc"), "## Title: Cairn"));
  std::string folder;
  for (char c : toUtf8(forever)) folder += c == '\\' ? std::string("\\\\") : std::string{c};
  ASSERT_TRUE(writeWholeFile(settingsPath(),
                             std::string(kSetUp) + R"(,"foreverDir":")" + folder + R"("})"));
  const std::wstring config = joinPath(addonDir(forever), L"Config.lua");
  ASSERT_TRUE(writeWholeFile(config, "old"));
  ScopedHandle holder(CreateFileW(config.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(holder.valid());

  Child instance = Child::start(cairnstoneExe(), {L"--background"});
  ASSERT_TRUE(instance.started());
  HWND tray = nullptr;
  ASSERT_TRUE(waitFor([&] { return (tray = FindWindowW(kTrayWindowClass, nullptr)) != nullptr; },
                      kTimeoutMs));
  const std::string failed = "Config.lua: not written, " + toUtf8(config) + " failed (error ";
  EXPECT_TRUE(waitFor([&] { return countOf(log(), failed) == 1; }, kTimeoutMs)) << log();
  const std::string written = "Config.lua: CairnInstall = { lang = \"de\" }";
  holder.reset();
  EXPECT_EQ(readFileText(config), "old");  // whole, and nothing beside it
  EXPECT_EQ(temporaryFiles(addonDir(forever)), 0);
  PostMessageW(tray, WM_APP_STATE, 0, 0);
  EXPECT_TRUE(waitFor([&] { return countOf(log(), written) == 1; }, kTimeoutMs)) << log();
  EXPECT_EQ(countOf(log(), failed), 1) << log();
  EXPECT_EQ(readFileText(config), "CairnInstall = { lang = \"de\" }\n");

  ASSERT_TRUE(DeleteFileW(config.c_str()));  // an addon manager wiped it
  PostMessageW(tray, WM_APP_STATE, 0, 0);
  EXPECT_TRUE(waitFor([&] { return fileExists(config); }, kTimeoutMs));
  EXPECT_TRUE(waitFor([&] { return countOf(log(), written) == 2; }, kTimeoutMs)) << log();
  EXPECT_EQ(readFileText(config), "CairnInstall = { lang = \"de\" }\n");

  EXPECT_EQ(runToEnd(cairnstoneExe(), {L"--quit"}), 0);
  EXPECT_EQ(instance.wait(kTimeoutMs), 0);
}

}  // namespace
