#include "game/held_path.h"

#include <utility>

namespace {

// Held without FILE_SHARE_DELETE: while the work runs, no folder it checked
// can be renamed or removed and replaced by a link.
constexpr DWORD kHeldShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kAllShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kLookAccess = FILE_READ_ATTRIBUTES | READ_CONTROL;

OwnerReader ownerReader = nullptr;

HoldResult failed(const std::wstring& path, unsigned long error) {
  const HoldOutcome outcome =
      error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? HoldOutcome::Missing
                                                                     : HoldOutcome::Failed;
  return {outcome, path, {}, error};
}

// The handle's look at a link, with the listing's attributes as well: a
// system may report a link by either.
LinkCheck look(HANDLE file, const std::wstring& path, DWORD byHandle) {
  DWORD attributes = byHandle;
  const DWORD listed = GetFileAttributesW(path.c_str());
  if (listed != INVALID_FILE_ATTRIBUTES) attributes |= listed & FILE_ATTRIBUTE_REPARSE_POINT;
  LinkCheck check;
  const ReparseKind kind = reparseKindOf(file, attributes);
  if (kind == ReparseKind::None || kind == ReparseKind::Other) return check;
  check.owner = ownerReader ? ownerReader(file) : ownerOf(file);
  check.decision = decideLink(kind, check.owner.kind);
  return check;
}

ScopedHandle openItself(const std::wstring& path, DWORD access, DWORD share) {
  return ScopedHandle(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
}

DWORD attributesOf(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info = {};
  return GetFileInformationByHandle(file, &info) ? info.dwFileAttributes
                                                 : INVALID_FILE_ATTRIBUTES;
}

// The full path of what an open handle is, its links resolved.
std::wstring finalPath(HANDLE file) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetFinalPathNameByHandleW(file, &buffer[0], static_cast<DWORD>(buffer.size()),
                                              FILE_NAME_NORMALIZED);
    if (n == 0) return {};
    if (n < buffer.size()) return buffer.substr(0, n);
    buffer.resize(n + 1);
  }
}

}  // namespace

void setOwnerReader(OwnerReader reader) { ownerReader = reader; }

FileOwner ownerOfPath(const std::wstring& path) {
  const ScopedHandle file = openItself(path, kLookAccess, kAllShare);
  if (!file.valid()) return {};
  return ownerReader ? ownerReader(file) : ownerOf(file);
}

HoldResult HeldFolders::hold(const std::wstring& path) {
  ScopedHandle folder = openItself(path, FILE_LIST_DIRECTORY | kLookAccess, kHeldShare);
  if (!folder.valid()) return failed(path, GetLastError());
  const DWORD attributes = attributesOf(folder);
  if (attributes == INVALID_FILE_ATTRIBUTES) return failed(path, GetLastError());
  const LinkCheck check = look(folder, path, attributes);
  if (check.decision == LinkDecision::Refuse) return {HoldOutcome::Refused, path, check.owner, 0};
  if (check.decision == LinkDecision::Follow) {
    // The link itself stays held, so it cannot be swapped, and so does the
    // folder it leads to.
    held_.push_back(std::move(folder));
    folder.reset(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | kLookAccess, kHeldShare, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder.valid()) return failed(path, GetLastError());
  }
  if (!(attributesOf(folder) & FILE_ATTRIBUTE_DIRECTORY)) {
    return {HoldOutcome::Failed, path, {}, ERROR_DIRECTORY};
  }
  held_.push_back(std::move(folder));
  return {};
}

HoldResult judgeFile(const std::wstring& path, std::wstring& writeTo) {
  writeTo = path;
  const ScopedHandle file = openItself(path, kLookAccess, kAllShare);
  if (!file.valid()) return failed(path, GetLastError());
  const DWORD attributes = attributesOf(file);
  if (attributes == INVALID_FILE_ATTRIBUTES) return failed(path, GetLastError());
  const LinkCheck check = look(file, path, attributes);
  if (check.decision == LinkDecision::Refuse) return {HoldOutcome::Refused, path, check.owner, 0};
  if (check.decision == LinkDecision::Follow) {
    const ScopedHandle target(CreateFileW(path.c_str(), kLookAccess, kAllShare, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!target.valid()) return failed(path, GetLastError());
    writeTo = finalPath(target);
    if (writeTo.empty()) return failed(path, GetLastError());
  }
  if (attributesOf(file) & FILE_ATTRIBUTE_DIRECTORY) {
    return {HoldOutcome::Failed, path, {}, ERROR_DIRECTORY};
  }
  return {};
}
