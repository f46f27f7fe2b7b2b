#include <gtest/gtest.h>

#include "base/paths.h"
#include "base/text.h"
#include "game/addon.h"
#include "storage/files.h"
#include "tests/support/test_support.h"

namespace {

TEST(Addon, PresenceDependsOnTheTocFileAlone) {
  TempDir dir;
  EXPECT_FALSE(addonPresent(L""));
  EXPECT_EQ(addonDir(dir.path()), dir.file(L"Interface\\AddOns\\Cairn"));
  ASSERT_TRUE(makeDirs(addonDir(dir.path())));
  EXPECT_FALSE(addonPresent(dir.path()));
  ASSERT_TRUE(writeWholeFile(joinPath(addonDir(dir.path()), L"Cairn.toc"), "## Title: Cairn"));
  EXPECT_TRUE(addonPresent(dir.path()));
}

TEST(Addon, QuestieEitherFolder) {
  TempDir dir;
  EXPECT_FALSE(questiePresent(L""));
  ASSERT_TRUE(makeDirs(addOnsDir(dir.path())));
  ASSERT_TRUE(writeWholeFile(joinPath(addOnsDir(dir.path()), L"Questie"), "a file"));
  EXPECT_FALSE(questiePresent(dir.path()));
  ASSERT_TRUE(makeDirs(joinPath(addOnsDir(dir.path()), L"QuestieDB")));
  EXPECT_TRUE(questiePresent(dir.path()));
  TempDir other;
  ASSERT_TRUE(makeDirs(joinPath(addOnsDir(other.path()), L"Questie")));
  EXPECT_TRUE(questiePresent(other.path()));
}

// Copies the idle program to folder\Wow.exe and starts it there.
Child startGameIn(const std::wstring& folder) {
  const std::wstring exe = joinPath(folder, L"Wow.exe");
  EXPECT_TRUE(makeDirs(folder));
  EXPECT_TRUE(CopyFileW(joinPath(binFolder(), L"idle_program.exe").c_str(), exe.c_str(), FALSE));
  return Child::start(exe, {});
}

TEST(Addon, GameRunningFromTheFolderIgnoringCaseAndSlashes) {
  TempDir dir;
  const std::wstring forever = dir.file(L"WoW\\_forever_");
  ASSERT_TRUE(makeDirs(forever));
  EXPECT_FALSE(gameRunning(forever));
  EXPECT_FALSE(gameRunning(L""));
  Child game = startGameIn(forever);
  ASSERT_TRUE(game.started());
  std::wstring shouted = lowerWide(forever) + L"/";
  for (wchar_t& c : shouted) {
    if (c == L'\\') c = L'/';
  }
  EXPECT_TRUE(waitFor([&] { return gameRunning(shouted); }, 10000));
  game.kill();
  game.wait(10000);
  EXPECT_FALSE(gameRunning(forever));
}

TEST(Addon, SiblingFolderAndThisProgramDoNotCount) {
  TempDir dir;
  const std::wstring forever = dir.file(L"WoW\\_forever_");
  ASSERT_TRUE(makeDirs(forever));
  Child old = startGameIn(dir.file(L"WoW\\_forever_old"));
  ASSERT_TRUE(old.started());
  // The sibling is seen by the same walk once it runs.
  ASSERT_TRUE(waitFor([&] { return gameRunning(dir.file(L"WoW\\_forever_old")); }, 10000));
  EXPECT_FALSE(gameRunning(forever));
  old.kill();
  old.wait(10000);
  EXPECT_FALSE(gameRunning(binFolder()));  // the test program itself runs from there
}

}  // namespace
