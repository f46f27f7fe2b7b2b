#include "game/owner.h"

#include <aclapi.h>
#include <sddl.h>

#include "base/scoped_handle.h"
#include "storage/settings.h"

namespace {

// NT SERVICE\TrustedInstaller, which owns what Windows itself installed.
constexpr wchar_t kTrustedInstallerSid[] =
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
constexpr DWORD kMaxSidText = 256;

std::wstring sidText(PSID sid) {
  PWSTR text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return {};
  const ScopedLocal owned(text);
  return text;
}

std::wstring accountName(PSID sid) {
  wchar_t name[kMaxSidText] = {};
  wchar_t domain[kMaxSidText] = {};
  DWORD nameSize = kMaxSidText;
  DWORD domainSize = kMaxSidText;
  SID_NAME_USE use;
  if (!LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use)) {
    return sidText(sid);
  }
  return domainSize > 0 ? std::wstring(domain) + L"\\" + name : std::wstring(name);
}

OwnerKind kindOf(PSID sid) {
  if (!sid || !IsValidSid(sid)) return OwnerKind::Unknown;
  if (sidText(sid) == currentUserSid()) return OwnerKind::ThisUser;
  if (IsWellKnownSid(sid, WinBuiltinAdministratorsSid)) return OwnerKind::Administrators;
  if (IsWellKnownSid(sid, WinLocalSystemSid) || sidText(sid) == kTrustedInstallerSid) {
    return OwnerKind::System;
  }
  return OwnerKind::OtherAccount;
}

}  // namespace

bool ownerTrusted(OwnerKind owner) {
  switch (owner) {
    case OwnerKind::ThisUser:
    case OwnerKind::Administrators:
    case OwnerKind::System:
      return true;
    case OwnerKind::OtherAccount:
    case OwnerKind::Unknown:
      break;
  }
  return false;
}

LinkDecision decideLink(ReparseKind kind, OwnerKind owner) {
  switch (kind) {
    case ReparseKind::None:
    case ReparseKind::Other:
      return LinkDecision::Ordinary;
    case ReparseKind::NameSurrogate:
    case ReparseKind::Unreadable:
      break;
  }
  return ownerTrusted(owner) ? LinkDecision::Follow : LinkDecision::Refuse;
}

FileOwner ownerOf(HANDLE file) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                      nullptr, &descriptor) != ERROR_SUCCESS) {
    return {};
  }
  const ScopedLocal owned(descriptor);
  return {kindOf(owner), owner ? accountName(owner) : std::wstring()};
}

ReparseKind reparseKindOf(HANDLE file, DWORD attributes) {
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return ReparseKind::None;
  FILE_ATTRIBUTE_TAG_INFO tag = {};
  if (!GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag) ||
      tag.ReparseTag == 0) {
    return ReparseKind::Unreadable;
  }
  return IsReparseTagNameSurrogate(tag.ReparseTag) ? ReparseKind::NameSurrogate
                                                   : ReparseKind::Other;
}
