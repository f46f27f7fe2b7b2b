#include <gtest/gtest.h>

#include "base/paths.h"
#include "game/folder.h"
#include "game/held_path.h"
#include "storage/files.h"
#include "storage/settings.h"
#include "tests/support/test_support.h"

namespace {

class GameFolderTest : public ::testing::Test {
 protected:
  std::wstring wow() { return dir.file(L"World of Warcraft"); }
  std::wstring forever() { return joinPath(wow(), L"_forever_"); }
  void makeGame(const std::wstring& edition) {
    ASSERT_TRUE(makeDirs(joinPath(edition, L"Interface\\AddOns")));
  }
  TempDir dir;
};

TEST_F(GameFolderTest, IsGameFolder) {
  EXPECT_FALSE(isGameFolder(L""));
  EXPECT_FALSE(isGameFolder(dir.path()));  // empty folder
  ASSERT_TRUE(makeDirs(dir.file(L"exe")));
  ASSERT_TRUE(writeWholeFile(dir.file(L"exe\\WowClassic.exe"), "MZ"));
  EXPECT_TRUE(isGameFolder(dir.file(L"exe")));
  makeGame(dir.file(L"addons"));
  EXPECT_TRUE(isGameFolder(dir.file(L"addons")));
  ASSERT_TRUE(writeWholeFile(dir.file(L"file"), "x"));
  EXPECT_FALSE(isGameFolder(dir.file(L"file")));
  ASSERT_TRUE(makeDirs(dir.file(L"other\\Interface")));
  ASSERT_TRUE(writeWholeFile(dir.file(L"other\\Game.exe"), "MZ"));
  EXPECT_FALSE(isGameFolder(dir.file(L"other")));
}

TEST_F(GameFolderTest, ResolveWhatThePathMeans) {
  makeGame(forever());
  EXPECT_EQ(resolveForeverDir(L""), L"");
  EXPECT_EQ(resolveForeverDir(L" \" \" "), L"");
  EXPECT_EQ(resolveForeverDir(wow()), forever());
  EXPECT_EQ(resolveForeverDir(L"\"" + wow() + L"\\\""), forever());
  EXPECT_EQ(resolveForeverDir(forever() + L"\\Interface\\AddOns"), forever());
  EXPECT_EQ(resolveForeverDir(forever() + L"\\Interface\\AddOns\\Cairn\\Sub"), L"");  // too deep
  EXPECT_EQ(resolveForeverDir(dir.path()), L"");
  // A picked path inside a missing edition folder is still taken as it is.
  EXPECT_EQ(resolveForeverDir(dir.file(L"gone\\_forever_\\Interface")),
            dir.file(L"gone\\_forever_"));
}

TEST_F(GameFolderTest, ResolveKeepsTheCaseOfTheEditionFolder) {
  const std::wstring upper = joinPath(wow(), L"_FOREVER_");
  EXPECT_EQ(resolveForeverDir(upper + L"\\"), L"");  // does not exist yet
  ASSERT_TRUE(makeDirs(upper));
  EXPECT_EQ(resolveForeverDir(upper + L"\\"), upper);
  std::wstring slashes = upper;
  for (wchar_t& c : slashes) {
    if (c == L'\\') c = L'/';
  }
  EXPECT_EQ(resolveForeverDir(slashes + L"/"), upper);
}

TEST_F(GameFolderTest, InstallerValueNamingTheWorldOfWarcraftFolderIsAccepted) {
  makeGame(forever());
  ScopedRegistryKey installer(HKEY_LOCAL_MACHINE, kInstallerKey, KEY_WOW64_64KEY);
  ScopedRegistryKey installer32(HKEY_LOCAL_MACHINE, kInstallerKey, KEY_WOW64_32KEY);
  ASSERT_TRUE(installer.setString(L"ForeverDir", wow()));
  ASSERT_TRUE(installer32.setString(L"ForeverDir", wow()));
  // The folder chosen in an installation is the choosing account's alone.
  for (const std::wstring& user : {std::wstring(), std::wstring(L"S-1-5-21-1-2-3-1001")}) {
    ASSERT_TRUE(installer.setString(L"InstallUser", user));
    ASSERT_TRUE(installer32.setString(L"InstallUser", user));
    EXPECT_EQ(foreverDirCandidates().size(), 30u);
    EXPECT_EQ(detectForeverDir(), L"");
  }
  ASSERT_TRUE(installer.setString(L"InstallUser", currentUserSid()));
  ASSERT_TRUE(installer32.setString(L"InstallUser", currentUserSid()));
  const std::vector<std::wstring> candidates = foreverDirCandidates();
  ASSERT_GE(candidates.size(), 32u);
  EXPECT_EQ(candidates[0], wow());
  EXPECT_EQ(candidates[1], wow());  // tested twice, the first decides
  EXPECT_EQ(detectForeverDir(), forever());
}

FileOwner ownedBy(OwnerKind kind) { return {kind, L"HOST\\someone"}; }
FileOwner otherAccount(HANDLE) { return ownedBy(OwnerKind::OtherAccount); }
FileOwner unknownOwner(HANDLE) { return ownedBy(OwnerKind::Unknown); }
FileOwner administrators(HANDLE) { return ownedBy(OwnerKind::Administrators); }

// A game folder that another account made (as any account may on a drive's
// root) is not adopted by the search.
TEST_F(GameFolderTest, TheSearchPassesOverAFolderAnotherAccountMade) {
  makeGame(forever());
  ScopedRegistryKey installer(HKEY_LOCAL_MACHINE, kInstallerKey, KEY_WOW64_64KEY);
  ASSERT_TRUE(installer.setString(L"ForeverDir", wow()));
  ASSERT_TRUE(installer.setString(L"InstallUser", currentUserSid()));
  const std::pair<OwnerReader, bool> cases[] = {
      {nullptr, true}, {administrators, true}, {otherAccount, false}, {unknownOwner, false}};
  for (const auto& [reader, adopted] : cases) {
    setOwnerReader(reader);
    EXPECT_EQ(detectForeverDir(), adopted ? forever() : L"");
  }
  setOwnerReader(nullptr);
}

TEST_F(GameFolderTest, CandidateOrder) {
  ScopedRegistryKey installer32(HKEY_LOCAL_MACHINE, kInstallerKey, KEY_WOW64_32KEY);
  ASSERT_TRUE(installer32.setString(L"ForeverDir", L"X:\\from-32"));
  ASSERT_TRUE(installer32.setString(L"InstallUser", currentUserSid()));
  ScopedRegistryKey blizzard(HKEY_LOCAL_MACHINE,
                             L"SOFTWARE\\Blizzard Entertainment\\World of Warcraft",
                             KEY_WOW64_32KEY);
  ASSERT_TRUE(blizzard.setString(L"InstallPath", L"X:\\WoW\\_retail_\\"));
  const std::vector<std::wstring> c = foreverDirCandidates();
  ASSERT_EQ(c.size(), 1u + 2u + 30u);
  EXPECT_EQ(c[0], L"X:\\from-32");
  EXPECT_EQ(c[1], L"X:\\WoW\\_retail_\\");
  EXPECT_EQ(c[2], L"X:\\WoW");
  EXPECT_EQ(c[3], L"C:\\Program Files (x86)\\World of Warcraft");
  EXPECT_EQ(c[8], L"C:\\Battle.net\\World of Warcraft");
  EXPECT_EQ(c[9], L"D:\\Program Files (x86)\\World of Warcraft");
  EXPECT_EQ(c.back(), L"G:\\Battle.net\\World of Warcraft");
}

TEST_F(GameFolderTest, UninstallEntriesByCaseSensitiveName) {
  const std::wstring base = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
  ScopedRegistryKey ptr(HKEY_LOCAL_MACHINE, (base + L"CairnTestPTR").c_str(), KEY_WOW64_32KEY);
  ASSERT_TRUE(ptr.setString(L"DisplayName", L"World of Warcraft Public Test"));
  ASSERT_TRUE(ptr.setString(L"InstallLocation", L"X:\\PTR"));
  ScopedRegistryKey lower(HKEY_LOCAL_MACHINE, (base + L"CairnTestLower").c_str(),
                          KEY_WOW64_32KEY);
  ASSERT_TRUE(lower.setString(L"DisplayName", L"world of warcraft"));
  ASSERT_TRUE(lower.setString(L"InstallLocation", L"X:\\lower"));
  ScopedRegistryKey empty(HKEY_LOCAL_MACHINE, (base + L"CairnTestEmpty").c_str(),
                          KEY_WOW64_32KEY);
  ASSERT_TRUE(empty.setString(L"DisplayName", L"World of Warcraft"));
  std::vector<std::wstring> found;
  uninstallLocations(KEY_WOW64_32KEY, found);
  EXPECT_EQ(found, std::vector<std::wstring>{L"X:\\PTR"});
}

}  // namespace
