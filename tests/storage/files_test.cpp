#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include "base/paths.h"
#include "base/scoped_handle.h"
#include "storage/files.h"
#include "tests/support/links.h"
#include "tests/support/test_support.h"

namespace {

TEST(DataFolder, OverrideCreatesTheWholeChainAndIsReturnedAsGiven) {
  TempDir tmp;
  const std::wstring deep = tmp.path() + L"/a/b\\c";
  ScopedEnv env(L"CAIRN_DATA_DIR", deep);
  EXPECT_EQ(dataDir(), deep);
  EXPECT_TRUE(isDirectory(tmp.path() + L"\\a\\b\\c"));
}

TEST(DataFolder, DefaultIsCairnUnderRoamingAppData) {
  ScopedEnv env(L"CAIRN_DATA_DIR", L"");
  const std::wstring dir = dataDir();
  EXPECT_EQ(fileName(dir), L"Cairn");
  EXPECT_TRUE(isDirectory(dir));
}

TEST(Folders, MakeDirsAndExistence) {
  TempDir tmp;
  EXPECT_TRUE(makeDirs(L""));
  EXPECT_TRUE(makeDirs(tmp.file(L"x\\y\\z")));
  EXPECT_TRUE(makeDirs(tmp.file(L"x\\y\\z")));  // already there
  EXPECT_TRUE(isDirectory(tmp.file(L"x\\y")));
  ASSERT_TRUE(writeWholeFile(tmp.file(L"f"), "1"));
  EXPECT_TRUE(fileExists(tmp.file(L"f")));
  EXPECT_FALSE(isDirectory(tmp.file(L"f")));
  EXPECT_FALSE(makeDirs(tmp.file(L"f\\sub")));  // a file stands in the way
  EXPECT_FALSE(fileExists(tmp.file(L"none")));
}

TEST(WholeFiles, RoundTripAndEmptyFile) {
  TempDir tmp;
  std::string data;
  ASSERT_TRUE(writeWholeFile(tmp.file(L"empty"), ""));
  data = "stale";
  EXPECT_TRUE(readWholeFile(tmp.file(L"empty"), data));
  EXPECT_EQ(data, "");
  const std::string bytes("a\0b\r\n\xff", 6);
  ASSERT_TRUE(writeWholeFile(tmp.file(L"bin"), bytes));
  ASSERT_TRUE(writeWholeFile(tmp.file(L"bin"), bytes));  // replaces, never appends
  EXPECT_TRUE(readWholeFile(tmp.file(L"bin"), data));
  EXPECT_EQ(data, bytes);
  EXPECT_FALSE(readWholeFile(tmp.file(L"missing"), data));
  EXPECT_FALSE(writeWholeFile(tmp.file(L"no\\such\\folder"), "x"));
}

void makeFileOfSize(const std::wstring& path, long long size) {
  ScopedHandle h(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(h.valid());
  LARGE_INTEGER at;
  at.QuadPart = size;
  ASSERT_TRUE(SetFilePointerEx(h, at, nullptr, FILE_BEGIN));
  ASSERT_TRUE(SetEndOfFile(h));
}

TEST(WholeFiles, ReadStopsAbove256MiB) {
  TempDir tmp;
  makeFileOfSize(tmp.file(L"big"), 268435457);
  std::string data;
  EXPECT_FALSE(readWholeFile(tmp.file(L"big"), data));
}

TEST(AtomicReplace, ReplacesAndLeavesNoTemporary) {
  TempDir tmp;
  const std::wstring target = tmp.file(L"settings.json");
  ASSERT_TRUE(replaceFileAtomic(target, "one"));
  ASSERT_TRUE(replaceFileAtomic(target, "two"));
  EXPECT_EQ(readFileText(target), "two");
  EXPECT_FALSE(fileExists(target + L".tmp"));
}

TEST(AtomicReplace, TargetHeldOpenFailsAfterRetriesAndKeepsOldContent) {
  TempDir tmp;
  const std::wstring target = tmp.file(L"Config.lua");
  ASSERT_TRUE(writeWholeFile(target, "old"));
  ScopedHandle holder(CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(holder.valid());
  const ULONGLONG begin = GetTickCount64();
  EXPECT_FALSE(replaceFileAtomic(target, "new"));
  EXPECT_GE(GetTickCount64() - begin, 900u);  // it kept trying for about a second
  holder.reset();
  EXPECT_EQ(readFileText(target), "old");
  EXPECT_FALSE(fileExists(target + L".tmp"));
}

TEST(AtomicReplace, FailedWriteLeavesTargetAlone) {
  TempDir tmp;
  const std::wstring target = tmp.file(L"t");
  ASSERT_TRUE(writeWholeFile(target, "old"));
  ASSERT_TRUE(CreateDirectoryW((target + L".tmp").c_str(), nullptr));  // temp name unusable
  EXPECT_FALSE(replaceFileAtomic(target, "new"));
  EXPECT_EQ(readFileText(target), "old");
}

TEST(RemoveTree, RemovesNestedReadOnlyAndHiddenFiles) {
  TempDir tmp;
  const std::wstring root = tmp.file(L"tree");
  ASSERT_TRUE(makeDirs(root + L"\\a\\b"));
  ASSERT_TRUE(writeWholeFile(root + L"\\ro.txt", "x"));
  ASSERT_TRUE(writeWholeFile(root + L"\\a\\b\\deep.txt", "x"));
  ASSERT_TRUE(writeWholeFile(root + L"\\a\\hidden", "x"));
  SetFileAttributesW((root + L"\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesW((root + L"\\a\\b\\deep.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesW((root + L"\\a\\hidden").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  EXPECT_TRUE(removeTree(root));
  EXPECT_FALSE(fileExists(root));
  ASSERT_TRUE(writeWholeFile(tmp.file(L"file"), "x"));
  EXPECT_FALSE(removeTree(tmp.file(L"file")));  // only a folder is a tree
  EXPECT_TRUE(fileExists(tmp.file(L"file")));
}

TEST(RemoveTree, FileInUseKeepsTheFolderAndReportsIt) {
  TempDir tmp;
  const std::wstring root = tmp.file(L"tree");
  ASSERT_TRUE(makeDirs(root));
  ASSERT_TRUE(writeWholeFile(root + L"\\busy", "x"));
  ASSERT_TRUE(writeWholeFile(root + L"\\free", "x"));
  {
    ScopedHandle busy(CreateFileW((root + L"\\busy").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(busy.valid());
    EXPECT_FALSE(removeTree(root));
    EXPECT_TRUE(fileExists(root + L"\\busy"));
    EXPECT_FALSE(fileExists(root + L"\\free"));
  }
  EXPECT_TRUE(removeTree(root));
  EXPECT_FALSE(removeTree(root));  // nothing left to remove
}

// A folder another program holds open (its current folder, say) stays,
// but loses what is in it; once let go, it goes too.
TEST(RemoveTree, AFolderHeldOpenIsEmptiedAndGoesOnceLetGo) {
  TempDir tmp;
  const std::wstring root = tmp.file(L"tree");
  ASSERT_TRUE(makeDirs(root + L"\\held\\deeper"));
  ASSERT_TRUE(writeWholeFile(root + L"\\held\\deeper\\file", "x"));
  {
    ScopedHandle holder(CreateFileW((root + L"\\held").c_str(), FILE_LIST_DIRECTORY,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(holder.valid());
    EXPECT_FALSE(removeTree(root));
    EXPECT_TRUE(isDirectory(root + L"\\held"));
    EXPECT_FALSE(fileExists(root + L"\\held\\deeper"));
  }
  EXPECT_TRUE(removeTree(root));
  EXPECT_FALSE(fileExists(root));
}

struct MountPointBuffer {
  DWORD tag;
  WORD dataLength;
  WORD reserved;
  WORD substituteOffset;
  WORD substituteLength;
  WORD printOffset;
  WORD printLength;
  wchar_t paths[512];
};

bool isLink(const std::wstring& path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// A junction, made the way mklink /J does, for systems without symlink rights.
bool makeJunction(const std::wstring& link, const std::wstring& target) {
  if (!CreateDirectoryW(link.c_str(), nullptr)) return false;
  ScopedHandle h(CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  const std::wstring substitute = L"\\??\\" + target;
  MountPointBuffer b = {};
  const size_t subBytes = substitute.size() * sizeof(wchar_t);
  const size_t printBytes = target.size() * sizeof(wchar_t);
  b.tag = IO_REPARSE_TAG_MOUNT_POINT;
  b.substituteLength = static_cast<WORD>(subBytes);
  b.printOffset = static_cast<WORD>(subBytes + sizeof(wchar_t));
  b.printLength = static_cast<WORD>(printBytes);
  substitute.copy(b.paths, substitute.size());
  target.copy(b.paths + substitute.size() + 1, target.size());
  b.dataLength = static_cast<WORD>(8 + subBytes + printBytes + 2 * sizeof(wchar_t));
  DWORD unused = 0;
  const bool ok = h.valid() && DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, &b, 8u + b.dataLength,
                                               nullptr, 0, &unused, nullptr);
  h.reset();
  if (!ok) RemoveDirectoryW(link.c_str());
  return ok;
}

// A directory link inside the tree whose target holds the user's data: a
// symbolic link or a junction, and under Wine (which makes neither) a Unix
// symbolic link, which its listings report as a reparse point.
bool makeDirectoryLink(const std::wstring& link, const std::wstring& target) {
  const DWORD flags = SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
  if (CreateSymbolicLinkW(link.c_str(), target.c_str(), flags) && isLink(link)) return true;
  RemoveDirectoryW(link.c_str());
  if (makeJunction(link, target) && isLink(link)) return true;
  return makeLink(link, target, true) && isLink(link);
}

// A link is removed itself where the system opens it as itself (Windows);
// where it opens the target instead (Wine's Unix links), the link stays,
// and either way the target is never entered.
TEST(RemoveTree, NeverFollowsALinkOutOfTheTree) {
  TempDir tmp;
  const std::wstring outside = tmp.file(L"keep");
  const std::wstring root = tmp.file(L"tree");
  ASSERT_TRUE(makeDirs(outside + L"\\sub"));
  ASSERT_TRUE(writeWholeFile(outside + L"\\precious.txt", "x"));
  ASSERT_TRUE(writeWholeFile(outside + L"\\sub\\more.txt", "x"));
  ASSERT_TRUE(makeDirs(root));
  ASSERT_TRUE(writeWholeFile(root + L"\\own.txt", "x"));
  if (!makeDirectoryLink(root + L"\\link", outside)) {
    GTEST_SKIP() << "this system cannot create directory links (" << GetLastError() << ")";
  }
  const bool linkGoes = linksOpenAsThemselves();
  EXPECT_EQ(removeTree(root), linkGoes);
  EXPECT_EQ(fileExists(root), !linkGoes);
  EXPECT_FALSE(fileExists(root + L"\\own.txt"));
  EXPECT_TRUE(fileExists(outside + L"\\precious.txt"));
  EXPECT_TRUE(fileExists(outside + L"\\sub\\more.txt"));
  if (!linkGoes) {
    EXPECT_TRUE(removeLinkItself(root + L"\\link"));
  }
}

TEST(RemoveTree, ALinkGivenAsTheRootIsRemovedWithoutItsTarget) {
  TempDir tmp;
  const std::wstring outside = tmp.file(L"keep");
  ASSERT_TRUE(makeDirs(outside));
  ASSERT_TRUE(writeWholeFile(outside + L"\\precious.txt", "x"));
  if (!makeDirectoryLink(tmp.file(L"link"), outside)) {
    GTEST_SKIP() << "this system cannot create directory links (" << GetLastError() << ")";
  }
  const bool linkGoes = linksOpenAsThemselves();
  EXPECT_EQ(removeTree(tmp.file(L"link")), linkGoes);
  EXPECT_EQ(fileExists(tmp.file(L"link")), !linkGoes);
  EXPECT_TRUE(fileExists(outside + L"\\precious.txt"));
  if (!linkGoes) {
    EXPECT_TRUE(removeLinkItself(tmp.file(L"link")));
  }
}

// Someone who may write in the tree swaps an entry for a link to the user's
// own files after the walk listed its folder: the walk opens what is there
// now, sees it is not what it listed, and leaves it.
TEST(RemoveTree, AnEntrySwappedForALinkAfterTheListingLeadsNowhere) {
  const struct {
    const char* name;
    const wchar_t* entry;   // in the tree, swapped
    const wchar_t* target;  // outside, what the link points at
    bool folder;
  } cases[] = {
      {"folder", L"sub", L"", true},
      {"file", L"notes.txt", L"precious.txt", false},
  };
  const bool linkGoes = linksOpenAsThemselves();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir tmp;
    const std::wstring outside = tmp.file(L"user"), root = tmp.file(L"tree");
    const std::wstring entry = joinPath(root, c.entry), moved = tmp.file(L"moved");
    ASSERT_TRUE(makeDirs(outside + L"\\deeper"));
    ASSERT_TRUE(writeWholeFile(outside + L"\\precious.txt", "x"));
    ASSERT_TRUE(writeWholeFile(outside + L"\\deeper\\more.txt", "x"));
    ASSERT_TRUE(makeDirs(root + L"\\sub\\deeper"));
    ASSERT_TRUE(writeWholeFile(root + L"\\sub\\deeper\\more.txt", "x"));
    ASSERT_TRUE(writeWholeFile(root + L"\\notes.txt", "x"));
    bool swapped = false;
    const bool removed = removeTree(root, [&](const std::wstring& folder) {
      if (folder != root || swapped) return;
      swapped = MoveFileW(entry.c_str(), moved.c_str()) &&
                makeLink(entry, joinPath(outside, c.target), c.folder);
    });
    if (!swapped) {
      GTEST_SKIP() << "this system cannot create links (" << GetLastError() << ")";
    }
    EXPECT_TRUE(fileExists(outside + L"\\precious.txt"));
    EXPECT_TRUE(fileExists(outside + L"\\deeper\\more.txt"));
    EXPECT_TRUE(fileExists(moved));  // it left the tree before its turn
    EXPECT_EQ(removed, linkGoes);
    if (!linkGoes) {
      EXPECT_TRUE(removeLinkItself(entry));
    }
  }
}

// Where links cannot be made (Wine), the walk is fed a listing that marks a
// real folder as a link: it stands in for the link's target, which the walk
// must neither enter nor empty.
TEST(RemoveTree, AnEntryListedAsALinkIsNeverEntered) {
  const struct {
    const char* name;
    unsigned long attributes;
    bool targetKept;
  } cases[] = {
      {"directory link", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, true},
      {"file link", FILE_ATTRIBUTE_REPARSE_POINT, true},
      {"plain folder", FILE_ATTRIBUTE_DIRECTORY, false},
  };
  for (const auto& c : cases) {
    TempDir tmp;
    const std::wstring root = tmp.file(L"tree");
    ASSERT_TRUE(makeDirs(root + L"\\link\\sub"));
    ASSERT_TRUE(writeWholeFile(root + L"\\link\\precious.txt", "x"));
    ASSERT_TRUE(writeWholeFile(root + L"\\link\\sub\\more.txt", "x"));
    EXPECT_EQ(removeFolderEntries(root, {{L"link", c.attributes}}), !c.targetKept) << c.name;
    EXPECT_EQ(fileExists(root + L"\\link\\precious.txt"), c.targetKept) << c.name;
    EXPECT_EQ(fileExists(root + L"\\link\\sub\\more.txt"), c.targetKept) << c.name;
  }
}

// A process id that no process has now (ids are multiples of four).
DWORD endedProcessId() {
  for (DWORD id = 4000000;; id += 4) {
    ScopedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
    if (!process.valid() && GetLastError() == ERROR_INVALID_PARAMETER) return id;
  }
}

// What a crash leaves of the replacing writes goes at the next start, and
// nothing else: no other name, no running process's file, no folder, no
// link and nothing behind one.
TEST(LeftoverTemporaries, OnlyOurOwnFilesOfEndedProcessesGo) {
  TempDir tmp;
  const std::wstring root = tmp.file(L"addon"), outside = tmp.file(L"user");
  const std::wstring ended = std::to_wstring(endedProcessId());
  const std::wstring running = std::to_wstring(GetCurrentProcessId());
  const std::wstring removed[] = {L"settings.json.tmp", L"Config.lua." + ended + L"-0.tmp",
                                  L"Locales\\de.lua." + ended + L"-15.tmp"};
  const std::wstring kept[] = {L"settings.json",
                               L"other.json.tmp",
                               L"notes.tmp",
                               L"Config.lua." + running + L"-0.tmp",
                               L"Config.lua." + ended + L"-16.tmp",
                               L"Config.lua.x" + ended + L"-1.tmp",
                               L"Config.lua." + ended + L"-.tmp",
                               L"." + ended + L"-1.tmp",
                               L"Config.lua.tmp.bak"};
  ASSERT_TRUE(makeDirs(root + L"\\Locales"));
  ASSERT_TRUE(makeDirs(outside));
  for (const auto& name : removed) ASSERT_TRUE(writeWholeFile(joinPath(root, name), "x"));
  for (const auto& name : kept) ASSERT_TRUE(writeWholeFile(joinPath(root, name), "x"));
  const std::wstring folderOfThatName = joinPath(root, L"Cairn.lua." + ended + L"-1.tmp");
  ASSERT_TRUE(makeDirs(folderOfThatName));
  const std::wstring behindALink = joinPath(outside, L"Config.lua." + ended + L"-2.tmp");
  ASSERT_TRUE(writeWholeFile(behindALink, "x"));
  const std::wstring link = joinPath(root, L"Linked." + ended + L"-3.tmp");
  const bool linked = makeDirectoryLink(link, outside);
  ASSERT_TRUE(makeDirectoryLink(root + L"\\linked", outside) || !linked);
  // Wine reports a Unix link to a file as the file itself: there only
  // Windows shows such a link kept.
  const std::wstring fileLink = joinPath(root, L"Config.lua." + ended + L"-4.tmp");
  const bool fileLinked = makeLink(fileLink, behindALink, false);
  const bool fileLinkSeen = fileLinked && reportedAsLink(fileLink);
  if (fileLinked && !fileLinkSeen) {
    ASSERT_TRUE(removeLinkItself(fileLink));
  }

  EXPECT_EQ(removeLeftoverTemporaries(root, {L"settings.json"}), 3);
  for (const auto& name : removed) EXPECT_FALSE(fileExists(joinPath(root, name))) << name;
  for (const auto& name : kept) EXPECT_TRUE(fileExists(joinPath(root, name))) << name;
  EXPECT_TRUE(isDirectory(folderOfThatName));
  EXPECT_TRUE(fileExists(behindALink));
  if (fileLinkSeen) {
    EXPECT_TRUE(reportedAsLink(fileLink));
    EXPECT_TRUE(removeLinkItself(fileLink));
  }
  if (linked) {
    EXPECT_TRUE(reportedAsLink(link));
    EXPECT_TRUE(removeLinkItself(link));
    EXPECT_TRUE(removeLinkItself(root + L"\\linked"));
  }
  EXPECT_EQ(removeLeftoverTemporaries(root, {L"settings.json"}), 0);
  EXPECT_EQ(removeLeftoverTemporaries(tmp.file(L"none"), {L"settings.json"}), 0);
}

TEST(NumberedFolders, OnlyPrefix001To150) {
  TempDir tmp;
  const wchar_t* kept[] = {L"X000", L"X151", L"X1", L"X0001", L"Y001", L"X01"};
  const wchar_t* removed[] = {L"X001", L"X099", L"X150"};
  for (const wchar_t* n : kept) ASSERT_TRUE(makeDirs(tmp.file(n)));
  for (const wchar_t* n : removed) ASSERT_TRUE(makeDirs(tmp.file(std::wstring(n) + L"\\inner")));
  ASSERT_TRUE(writeWholeFile(tmp.file(L"X002"), "a file, not a folder"));
  EXPECT_EQ(removeNumberedFolders(tmp.path(), L"X"), 3);
  for (const wchar_t* n : removed) EXPECT_FALSE(fileExists(tmp.file(n))) << n;
  for (const wchar_t* n : kept) EXPECT_TRUE(isDirectory(tmp.file(n))) << n;
  EXPECT_TRUE(fileExists(tmp.file(L"X002")));
  EXPECT_EQ(removeNumberedFolders(tmp.path(), L"X"), 0);
}

}  // namespace
