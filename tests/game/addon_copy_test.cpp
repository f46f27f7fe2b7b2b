// The addon's copy from beside the program into the game folder: what it
// writes, what it keeps, and that it never writes through a link.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "base/paths.h"
#include "base/scoped_handle.h"
#include "base/text.h"
#include "game/addon.h"
#include "game/addon_copy.h"
#include "game/addon_report.h"
#include "game/held_path.h"
#include "game/owner.h"
#include "storage/files.h"
#include "tests/support/links.h"
#include "tests/support/test_support.h"

namespace {

using Tree = std::map<std::wstring, std::string>;  // relative path -> bytes

// Every file below root with its bytes; links are listed, never entered.
void readTree(const std::wstring& root, const std::wstring& prefix, Tree& out) {
  for (const FolderEntry& entry : listFolder(joinPath(root, prefix))) {
    const std::wstring relative = prefix.empty() ? entry.name : prefix + L"\\" + entry.name;
    if (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      out[relative] = "<link>";
    } else if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) {
      out[relative + L"\\"] = "";
      readTree(root, relative, out);
    } else {
      out[relative] = readFileText(joinPath(root, relative));
    }
  }
}

Tree treeOf(const std::wstring& root) {
  Tree tree;
  readTree(root, L"", tree);
  return tree;
}

const Tree kPayload = {
    {L"Cairn.toc", "## Title: Cairn\n## Version: 2\n"},
    {L"Cairn.lua", "Cairn = {}\n"},
    {L"Config.lua", "CairnInstall = { lang = \"en\" }\n"},
    {L"Locales\\deDE.lua", "L = {}\n"},
};

class AddonCopy : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const auto& [name, bytes] : kPayload) {
      ASSERT_TRUE(makeDirs(parentPath(joinPath(payload, name))));
      ASSERT_TRUE(writeWholeFile(joinPath(payload, name), bytes));
    }
    ASSERT_TRUE(makeDirs(addOnsDir(game)));
    ASSERT_TRUE(makeDirs(outside));
    ASSERT_TRUE(writeWholeFile(joinPath(outside, L"precious.dll"), "the user's own bytes"));
  }
  std::wstring cairn() const { return addonDir(game); }
  Tree installed() const { return treeOf(cairn()); }
  static Tree payloadTree() {
    Tree tree = kPayload;
    tree[L"Locales\\"] = "";
    return tree;
  }

  TempDir tmp;
  const std::wstring payload = tmp.file(L"program\\addon\\Cairn");
  const std::wstring game = tmp.file(L"World of Warcraft\\_forever_");
  const std::wstring outside = tmp.file(L"victim");
};

TEST_F(AddonCopy, WritesWhatDiffersAndKeepsTheUsersConfig) {
  struct Case {
    const char* name;
    Tree before;  // in the game folder's Cairn, made before the copy
    AddonCopyOutcome outcome;
    int written;
    std::string config;  // Config.lua afterwards
  };
  const Tree same = payloadTree();
  Tree changed = same;
  changed[L"Cairn.lua"] = "Cairn = { old = true }\n";
  Tree userConfig = same;
  userConfig[L"Config.lua"] = "CairnInstall = { lang = \"pl\" }\n";
  userConfig[L"Cairn.toc"] = "## Title: Cairn\n## Version: 1\n";
  Tree noConfig = same;
  noConfig.erase(L"Config.lua");
  Tree extra = same;
  extra[L"Old.lua"] = "kept\n";
  const Case cases[] = {
      {"fresh", {}, AddonCopyOutcome::Copied, 4, kPayload.at(L"Config.lua")},
      {"unchanged", same, AddonCopyOutcome::UpToDate, 0, kPayload.at(L"Config.lua")},
      {"one file changed", changed, AddonCopyOutcome::Copied, 1, kPayload.at(L"Config.lua")},
      {"the user's Config.lua", userConfig, AddonCopyOutcome::Copied, 1,
       "CairnInstall = { lang = \"pl\" }\n"},
      {"no Config.lua yet", noConfig, AddonCopyOutcome::Copied, 1, kPayload.at(L"Config.lua")},
      {"a file the payload lacks", extra, AddonCopyOutcome::UpToDate, 0,
       kPayload.at(L"Config.lua")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    removeTree(cairn());
    for (const auto& [name, bytes] : c.before) {
      if (name.back() == L'\\') continue;
      ASSERT_TRUE(makeDirs(parentPath(joinPath(cairn(), name))));
      ASSERT_TRUE(writeWholeFile(joinPath(cairn(), name), bytes));
    }
    const AddonCopyResult result = copyAddon(payload, game);
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(result.filesWritten, c.written);
    Tree expected = payloadTree();
    expected[L"Config.lua"] = c.config;
    if (c.before.count(L"Old.lua")) expected[L"Old.lua"] = "kept\n";
    EXPECT_EQ(installed(), expected);
    EXPECT_TRUE(addonPresent(game));
  }
}

TEST_F(AddonCopy, MakesTheFoldersAGameFolderLacks) {
  ASSERT_TRUE(removeTree(joinPath(game, L"Interface")));
  const AddonCopyResult result = copyAddon(payload, game);
  EXPECT_EQ(result.outcome, AddonCopyOutcome::Copied);
  EXPECT_EQ(installed(), payloadTree());
  EXPECT_EQ(copyAddon(payload, game).outcome, AddonCopyOutcome::UpToDate);
}

TEST_F(AddonCopy, WithoutAPayloadNothingHappens) {
  for (const std::wstring& none : {std::wstring(), tmp.file(L"program\\addon\\Missing")}) {
    const AddonCopyResult result = copyAddon(none, game);
    EXPECT_EQ(result.outcome, AddonCopyOutcome::NoPayload);
    EXPECT_EQ(treeOf(game), (Tree{{L"Interface\\", ""}, {L"Interface\\AddOns\\", ""}}));
  }
}

// Another account's link, wherever Wine reports a link (it reports every
// file as this user's).
FileOwner otherAccount(HANDLE) { return {OwnerKind::OtherAccount, L"HOST\\mallory"}; }

// A link at each place from the game folder down, pointing at a folder (or
// file) outside it. The player's own is followed: the addon lands where it
// leads and the link stays a link. Another account's stops the copy before
// anything is written, and neither the link nor what it points at changes.
TEST_F(AddonCopy, ALinkIsFollowedWhenThePlayerMadeItAndRefusedWhenAnotherAccountDid) {
  struct Place {
    const wchar_t* link;  // below the game folder's parent
    bool folder;
  };
  const Place places[] = {
      {L"_forever_", true},
      {L"_forever_\\Interface", true},
      {L"_forever_\\Interface\\AddOns", true},
      {L"_forever_\\Interface\\AddOns\\Cairn", true},
      {L"_forever_\\Interface\\AddOns\\Cairn\\Locales", true},
      {L"_forever_\\Interface\\AddOns\\Cairn\\Cairn.toc", false},
  };
  for (const bool planted : {false, true}) {
    setOwnerReader(planted ? otherAccount : nullptr);
    for (const Place& p : places) {
      SCOPED_TRACE(toUtf8(p.link) + (planted ? " planted" : " the player's"));
      removeTree(game);
      removeTree(outside);
      ASSERT_TRUE(makeDirs(outside));
      ASSERT_TRUE(writeWholeFile(joinPath(outside, L"precious.dll"), "the user's own bytes"));
      const std::wstring link = joinPath(parentPath(game), p.link);
      ASSERT_TRUE(makeDirs(parentPath(link)));
      const std::wstring target = p.folder ? outside : joinPath(outside, L"precious.dll");
      ASSERT_TRUE(makeLink(link, target, p.folder)) << "no link could be made";
      if (!reportedAsLink(link)) {
        // Wine reports a Unix link to a file as the file itself: only the
        // decision table below speaks for that place there.
        ASSERT_FALSE(p.folder) << "a link to a folder must be reported";
        removeLinkItself(link);
        continue;
      }
      const Tree outsideBefore = treeOf(outside);
      const AddonCopyResult result = copyAddon(payload, game);
      EXPECT_TRUE(reportedAsLink(link));  // a link stays a link either way
      if (planted) {
        EXPECT_EQ(result.outcome, AddonCopyOutcome::LinkRefused);
        EXPECT_EQ(result.path, link);
        EXPECT_EQ(result.owner.name, L"HOST\\mallory");
        EXPECT_EQ(result.filesWritten, 0);
        EXPECT_EQ(treeOf(outside), outsideBefore);
      } else {
        EXPECT_EQ(result.outcome, AddonCopyOutcome::Copied);
        for (const auto& [name, bytes] : kPayload) {
          EXPECT_EQ(readFileText(joinPath(cairn(), name)), bytes);  // read through the link
        }
      }
      removeLinkItself(link);
    }
  }
  setOwnerReader(nullptr);
}

// The rule itself: what kind of reparse point, made by whom.
TEST(LinkRule, FollowsThePlayersOwnLinksAndRefusesOtherAccounts) {
  const OwnerKind owners[] = {OwnerKind::ThisUser, OwnerKind::Administrators, OwnerKind::System,
                              OwnerKind::OtherAccount, OwnerKind::Unknown};
  const bool trusted[] = {true, true, true, false, false};
  for (size_t i = 0; i < std::size(owners); ++i) {
    SCOPED_TRACE(i);
    const LinkDecision link = trusted[i] ? LinkDecision::Follow : LinkDecision::Refuse;
    EXPECT_EQ(decideLink(ReparseKind::NameSurrogate, owners[i]), link);
    EXPECT_EQ(decideLink(ReparseKind::Unreadable, owners[i]), link);  // Wine's folder links
    // A placeholder or a deduplicated file is the file itself, whoever owns it.
    EXPECT_EQ(decideLink(ReparseKind::Other, owners[i]), LinkDecision::Ordinary);
    EXPECT_EQ(decideLink(ReparseKind::None, owners[i]), LinkDecision::Ordinary);
    EXPECT_EQ(ownerTrusted(owners[i]), trusted[i]);
  }
}

// Links planted at the temporary names the copy tries first are passed
// over: neither they nor what they point at change.
TEST_F(AddonCopy, ALinkAtATemporaryNameIsNeverWrittenThrough) {
  ASSERT_TRUE(makeDirs(cairn()));
  const std::wstring precious = joinPath(outside, L"precious.dll");
  std::vector<std::wstring> planted;
  for (const auto& [name, bytes] : kPayload) {
    if (name.find(L'\\') != std::wstring::npos) continue;
    for (int attempt : {0, 1}) {
      planted.push_back(temporaryName(joinPath(cairn(), name), attempt));
      ASSERT_TRUE(makeLink(planted.back(), precious, false));
    }
  }
  EXPECT_EQ(copyAddon(payload, game).outcome, AddonCopyOutcome::Copied);
  EXPECT_EQ(readFileText(precious), "the user's own bytes");
  for (const std::wstring& link : planted) {
    EXPECT_TRUE(fileExists(link));
    removeLinkItself(link);
  }
  EXPECT_EQ(installed(), payloadTree());
}

// A failure leaves the file as it was and no temporary file behind.
TEST_F(AddonCopy, AFileThatCannotBeReplacedFailsAndLeavesNoTemporaryFile) {
  ASSERT_EQ(copyAddon(payload, game).outcome, AddonCopyOutcome::Copied);
  const std::wstring lua = joinPath(cairn(), L"Cairn.lua");
  ASSERT_TRUE(writeWholeFile(lua, "Cairn = { old = true }\n"));
  {
    // The game (or a virus scanner) holds the file open without sharing.
    ScopedHandle busy(CreateFileW(lua.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(busy.valid());
    const AddonCopyResult result = copyAddon(payload, game);
    EXPECT_EQ(result.outcome, AddonCopyOutcome::Failed);
    EXPECT_EQ(result.path, lua);
    EXPECT_NE(result.error, 0u);
  }
  Tree expected = payloadTree();
  expected[L"Cairn.lua"] = "Cairn = { old = true }\n";
  EXPECT_EQ(installed(), expected);  // no Cairn.lua.tmp
  // The next start tries again.
  EXPECT_EQ(copyAddon(payload, game).outcome, AddonCopyOutcome::Copied);
  EXPECT_EQ(installed(), payloadTree());
}

TEST_F(AddonCopy, AFileWhereTheAddonNeedsAFolderStopsTheCopyBeforeAnyWrite) {
  ASSERT_TRUE(makeDirs(cairn()));
  ASSERT_TRUE(writeWholeFile(joinPath(cairn(), L"Locales"), "not a folder"));
  const AddonCopyResult result = copyAddon(payload, game);
  EXPECT_EQ(result.outcome, AddonCopyOutcome::Failed);
  EXPECT_EQ(result.path, joinPath(cairn(), L"Locales"));
  EXPECT_EQ(installed(), (Tree{{L"Locales", "not a folder"}}));
}

}  // namespace

namespace {

// What a user is told of a failed placing, by Windows' error and the step.
TEST(AddonReport, SaysWhatTheUserCanActOn) {
  struct Case {
    unsigned long error;
    bool replacing;
    AddonProblem problem;
  };
  const Case cases[] = {
      {ERROR_ACCESS_DENIED, false, AddonProblem::AccessDenied},
      {ERROR_ACCESS_DENIED, true, AddonProblem::InUse},  // the folder took the new file
      {ERROR_WRITE_PROTECT, true, AddonProblem::AccessDenied},
      {ERROR_DISK_FULL, false, AddonProblem::DiskFull},
      {ERROR_HANDLE_DISK_FULL, true, AddonProblem::DiskFull},
      {ERROR_SHARING_VIOLATION, true, AddonProblem::InUse},
      {ERROR_LOCK_VIOLATION, false, AddonProblem::InUse},
      {ERROR_PATH_NOT_FOUND, false, AddonProblem::Failed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    EXPECT_EQ(problemOfError(c.error, c.replacing), c.problem);
  }
  // The copy's problem comes first; Config.lua's only after a copy that went well.
  AddonCopyResult refused;
  refused.outcome = AddonCopyOutcome::LinkRefused;
  refused.path = L"C:\\game\\Interface";
  ConfigWrite failed;
  failed.outcome = ConfigOutcome::Failed;
  failed.write = {WriteStep::TempFile, ERROR_DISK_FULL};
  EXPECT_EQ(reportOf(L"C:\\game", refused, failed).problem, AddonProblem::LinkRefused);
  AddonCopyResult copied;
  copied.outcome = AddonCopyOutcome::Copied;
  EXPECT_EQ(reportOf(L"C:\\game", copied, failed).problem, AddonProblem::DiskFull);
  EXPECT_FALSE(blocksAddon(reportOf(L"C:\\game", copied, ConfigWrite()).problem));
}

}  // namespace
