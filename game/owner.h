// Who made a file or folder, and what that means for a link: the player's
// own junction (theirs, an administrator's or the system's) is followed;
// one that another account planted is refused. The one rule for every place
// that meets a link or adopts a folder others could have made.
#pragma once

#include <windows.h>

#include <string>

enum class OwnerKind { ThisUser, Administrators, System, OtherAccount, Unknown };

// What a reparse point is: a name surrogate (junction, symbolic link) points
// elsewhere; other tags (cloud-file placeholders, deduplicated or compressed
// files) are the file itself. A tag that cannot be read counts as a link.
enum class ReparseKind { None, NameSurrogate, Other, Unreadable };

enum class LinkDecision { Ordinary, Follow, Refuse };

// The rule itself, as a table of kind and owner.
[[nodiscard]] LinkDecision decideLink(ReparseKind kind, OwnerKind owner);
// Whether a folder of this owner may be taken as this user's own without
// being asked (the game-folder search).
[[nodiscard]] bool ownerTrusted(OwnerKind owner);

struct FileOwner {
  OwnerKind kind = OwnerKind::Unknown;
  std::wstring name;  // "DOMAIN\\account", or the SID's text, for the log
};

// For a handle opened with READ_CONTROL (and FILE_FLAG_OPEN_REPARSE_POINT to
// see a link itself).
[[nodiscard]] FileOwner ownerOf(HANDLE file);
// `attributes` as the handle or the listing gave them.
[[nodiscard]] ReparseKind reparseKindOf(HANDLE file, DWORD attributes);

// What one look at an opened path found.
struct LinkCheck {
  LinkDecision decision = LinkDecision::Ordinary;
  FileOwner owner;  // read only for a link
};
