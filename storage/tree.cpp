// Tree removal through held handles. A folder others may write in (the
// shared game folder) can change while it is being removed: a sub-folder
// swapped for a link between its listing and its removal must not lead the
// walk out of the tree. So nothing below the given folder is reached by a
// path: each entry is opened relative to its held parent, as itself (a link
// is opened, not followed), checked against what the listing read, and
// deleted by its own handle.
#include <windows.h>
#include <winternl.h>

#include <string>
#include <utility>
#include <vector>

#include "base/paths.h"
#include "base/scoped_handle.h"
#include "base/text.h"
#include "storage/files.h"

namespace {

constexpr int kFirstNumberedFolder = 1;
constexpr int kLastNumberedFolder = 150;
constexpr size_t kNumberDigits = 3;
// Deeper trees are left standing: a tree planted to be deep must not
// exhaust the stack of the start that removes it.
constexpr int kMaxDepth = 256;
constexpr size_t kListingBytes = 64 * 1024;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr ACCESS_MASK kEntryAccess =
    DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;
constexpr ULONG kAsItself =
    FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT | FILE_SYNCHRONOUS_IO_NONALERT;
constexpr NTSTATUS kNameNotFound =
    static_cast<NTSTATUS>(0xC0000034);  // STATUS_OBJECT_NAME_NOT_FOUND
constexpr DWORD kCleared = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
// What may be set at all (not the folder or link bits): SetFileAttributes's mask.
constexpr DWORD kSettable = 0x31A7;  // FILE_ATTRIBUTE_VALID_SET_FLAGS

bool isLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
bool isFolder(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

bool sameName(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// parent\name opened as itself through the held parent; never a path walk.
ScopedHandle openChild(HANDLE parent, const std::wstring& name, ACCESS_MASK access,
                       NTSTATUS* outcome = nullptr) {
  if (name.empty() || name.find_first_of(L"\\/") != std::wstring::npos) return {};
  UNICODE_STRING text;
  text.Buffer = const_cast<wchar_t*>(name.c_str());
  text.Length = text.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  OBJECT_ATTRIBUTES object;
  InitializeObjectAttributes(&object, &text, OBJ_CASE_INSENSITIVE, parent, nullptr);
  IO_STATUS_BLOCK status = {};
  ScopedHandle child;
  const NTSTATUS opened = NtCreateFile(child.put(), access, &object, &status, nullptr, 0, kShareAll,
                                       FILE_OPEN, kAsItself, nullptr, 0);
  if (opened < 0) child.release();  // no handle was made
  if (outcome) *outcome = opened;
  return child;
}

// A folder opened by its path, for listing (its own parent is the caller's).
ScopedHandle openFolderByPath(const std::wstring& path) {
  return ScopedHandle(
      CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// The entries of a held folder, read through its handle.
std::vector<FolderEntry> listHeld(HANDLE folder) {
  std::vector<FolderEntry> entries;
  std::vector<LONGLONG> buffer(kListingBytes / sizeof(LONGLONG));  // the records' alignment
  FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
  while (GetFileInformationByHandleEx(folder, kind, buffer.data(), kListingBytes)) {
    kind = FileIdBothDirectoryInfo;
    const auto* record = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data());
    for (;;) {
      std::wstring name(record->FileName, record->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") {
        entries.push_back({std::move(name), record->FileAttributes,
                           static_cast<unsigned long long>(record->FileId.QuadPart)});
      }
      if (record->NextEntryOffset == 0) break;
      record = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(
          reinterpret_cast<const char*>(record) + record->NextEntryOffset);
    }
  }
  return entries;
}

// What an opened handle is: its attributes and its index (the number a
// folder listing gives as the entry's id).
struct Identity {
  DWORD attributes = 0;
  unsigned long long id = 0;
};
bool identify(HANDLE h, Identity& out) {
  FILE_ATTRIBUTE_TAG_INFO tag = {};
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag) ||
      !GetFileInformationByHandle(h, &info)) {
    return false;
  }
  out.attributes = tag.FileAttributes;
  out.id = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

// Read-only (and hidden, system) would refuse the deletion.
void clearAttributes(HANDLE h, DWORD attributes) {
  if ((attributes & kCleared) == 0) return;
  FILE_BASIC_INFO basic = {};
  basic.FileAttributes = attributes & kSettable & ~kCleared;
  if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic);
}

// Marks the handle's own file, folder or link for deletion; it goes when the
// handle closes.
bool deleteByHandle(HANDLE h, DWORD attributes) {
  clearAttributes(h, attributes);
  FILE_DISPOSITION_INFO disposition = {TRUE};
  return SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// A name still there, also one whose deletion waits for another holder to
// close it, keeps its folder from going.
bool childGone(HANDLE parent, const std::wstring& name) {
  NTSTATUS outcome = 0;
  return !openChild(parent, name, FILE_READ_ATTRIBUTES | SYNCHRONIZE, &outcome).valid() &&
         outcome == kNameNotFound;
}

// The entry opened as itself, only when it is still what was listed and
// no link.
ScopedHandle openAsListed(HANDLE folder, const FolderEntry& entry, ACCESS_MASK access) {
  ScopedHandle h = openChild(folder, entry.name, access);
  Identity found;
  if (!h.valid() || !identify(h, found) || isLink(found.attributes) ||
      isFolder(found.attributes) != isFolder(entry.attributes) ||
      (entry.id != 0 && found.id != entry.id)) {
    return {};
  }
  return h;
}

// The entry of a held folder by that name, as its listing reads it.
bool findEntry(HANDLE folder, const std::wstring& name, FolderEntry& out) {
  for (FolderEntry& entry : listHeld(folder)) {
    if (sameName(entry.name, name)) {
      out = std::move(entry);
      return true;
    }
  }
  return false;
}

constexpr ACCESS_MASK kListAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

// place.base by its path, then each of place.names through the one before,
// never through a link; `path` says where it ended. Invalid when any of
// them is missing, no folder or a link.
ScopedHandle openPlace(const PlaceBelow& place, std::wstring& path) {
  path = place.base;
  ScopedHandle held = openFolderByPath(place.base);
  for (const std::wstring& name : place.names) {
    FolderEntry entry;
    if (!held.valid() || !findEntry(held, name, entry) || !isFolder(entry.attributes) ||
        isLink(entry.attributes)) {
      return {};
    }
    held = openAsListed(held, entry, kListAccess);
    path = joinPath(path, entry.name);
  }
  return held;
}

// A path as its parent and its own name.
PlaceBelow splitPath(const std::wstring& folder) {
  std::wstring path = folder;
  while (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  return {parentPath(path), {fileName(path)}};
}

class TreeRemoval {
 public:
  explicit TreeRemoval(AfterListing afterListing) : afterListing_(std::move(afterListing)) {}

  // Removes one listed entry of the held folder `parent` (whose path is
  // `parentPath`); true when it is gone.
  bool removeEntry(HANDLE parent, const std::wstring& parentPath, const FolderEntry& entry,
                   int depth) {
    const bool listedAsFolder = isFolder(entry.attributes) && !isLink(entry.attributes);
    if (listedAsFolder) {
      // Emptied through a handle that only lists: a folder another program
      // holds open (as its current folder, say) still loses its contents.
      const ScopedHandle listing = openAsListed(parent, entry, kListAccess);
      if (listing.valid()) removeContents(listing, joinPath(parentPath, entry.name), depth + 1);
    }
    {
      ScopedHandle h = openChild(parent, entry.name, kEntryAccess);
      Identity found;
      if (!h.valid() || !identify(h, found)) return false;
      if (isLink(found.attributes)) {
        if (!deleteByHandle(h, found.attributes)) return false;  // the link only
      } else if (isLink(entry.attributes) || (entry.id != 0 && found.id != entry.id) ||
                 isFolder(found.attributes) != listedAsFolder) {
        // Listed as a link but opened as its target, or swapped since the
        // listing: whatever this is now, it is not the tree's to remove.
        return false;
      } else if (!deleteByHandle(h, found.attributes)) {
        return false;
      }
    }
    return childGone(parent, entry.name);
  }

  void removeContents(HANDLE folder, const std::wstring& path, int depth) {
    if (depth > kMaxDepth) return;
    const std::vector<FolderEntry> entries = listHeld(folder);
    if (afterListing_) afterListing_(path);
    removeListed(folder, path, entries, depth);
  }

  void removeListed(HANDLE folder, const std::wstring& path,
                    const std::vector<FolderEntry>& entries, int depth) {
    for (const FolderEntry& entry : entries) removeEntry(folder, path, entry, depth);
  }

 private:
  AfterListing afterListing_;
};

// `name` is prefix followed by a number from 001 to 150, as three digits.
bool isNumberedName(const std::wstring& name, const std::wstring& prefix) {
  if (name.size() != prefix.size() + kNumberDigits ||
      !sameName(name.substr(0, prefix.size()), prefix)) {
    return false;
  }
  int number = 0;
  for (size_t i = prefix.size(); i < name.size(); ++i) {
    if (name[i] < L'0' || name[i] > L'9') return false;
    number = number * 10 + (name[i] - L'0');
  }
  return number >= kFirstNumberedFolder && number <= kLastNumberedFolder;
}

// A process of that id runs (or may: one we may not look at counts).
bool processRuns(DWORD id) {
  ScopedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
  if (!process.valid()) return GetLastError() != ERROR_INVALID_PARAMETER;
  DWORD code = 0;
  return !GetExitCodeProcess(process, &code) || code == STILL_ACTIVE;
}

// Removes the leftover temporary files below one held folder.
class LeftoverSweep {
 public:
  explicit LeftoverSweep(const std::vector<std::wstring>& targets) : targets_(targets) {}

  int sweep(HANDLE folder, int depth) {
    int removed = 0;
    for (const FolderEntry& entry : listHeld(folder)) {
      if (isLink(entry.attributes)) continue;  // neither removed nor entered
      if (isFolder(entry.attributes)) {
        if (depth >= kMaxDepth) continue;
        ScopedHandle child = openAsListed(folder, entry, kListAccess);
        if (child.valid()) removed += sweep(child, depth + 1);
      } else if (isOurs(entry.name)) {
        bool deleted = false;
        {
          ScopedHandle file = openAsListed(folder, entry, kEntryAccess);
          deleted = file.valid() && deleteByHandle(file, entry.attributes);
        }
        if (deleted && childGone(folder, entry.name)) ++removed;
      }
    }
    return removed;
  }

 private:
  bool isOurs(const std::wstring& name) const {
    for (const std::wstring& target : targets_) {
      if (sameName(name, target + L".tmp")) return true;
    }
    const DWORD owner = temporaryNameOwner(name);
    return owner != 0 && !processRuns(owner);
  }

  const std::vector<std::wstring>& targets_;
};

}  // namespace

int removeLeftoverTemporaries(const PlaceBelow& folder, const std::vector<std::wstring>& targets) {
  std::wstring path;
  const ScopedHandle held = openPlace(folder, path);
  return held.valid() ? LeftoverSweep(targets).sweep(held, 0) : 0;
}

int removeLeftoverTemporaries(const std::wstring& folder,
                              const std::vector<std::wstring>& targets) {
  return removeLeftoverTemporaries(PlaceBelow{folder, {}}, targets);
}

bool removeTree(const PlaceBelow& folder, const AfterListing& afterListing) {
  // The folder itself is an entry of its parent, checked as every other.
  if (folder.names.empty()) return false;
  const PlaceBelow parentPlace{folder.base, {folder.names.begin(), folder.names.end() - 1}};
  std::wstring parentFolder;
  const ScopedHandle parent = openPlace(parentPlace, parentFolder);
  FolderEntry entry;
  return parent.valid() && findEntry(parent, folder.names.back(), entry) &&
         isFolder(entry.attributes) &&  // a folder, or a link to one; never a file
         TreeRemoval(afterListing).removeEntry(parent, parentFolder, entry, 0);
}

bool removeTree(const std::wstring& folder, const AfterListing& afterListing) {
  const PlaceBelow place = splitPath(folder);
  return !place.base.empty() && !place.names.back().empty() && removeTree(place, afterListing);
}

bool removeFolderEntries(const std::wstring& folder, const std::vector<FolderEntry>& entries) {
  const PlaceBelow place = splitPath(folder);
  const ScopedHandle parent = openFolderByPath(place.base);
  const std::wstring& name = place.names.back();
  if (!parent.valid()) return false;
  {
    ScopedHandle held = openChild(parent, name, kEntryAccess | FILE_LIST_DIRECTORY);
    Identity found;
    if (!held.valid() || !identify(held, found) || isLink(found.attributes)) return false;
    TreeRemoval(nullptr).removeListed(held, folder, entries, 0);
    if (!deleteByHandle(held, found.attributes)) return false;
  }
  return childGone(parent, name);
}

int removeNumberedFolders(const PlaceBelow& parent, const std::wstring& prefix) {
  std::wstring path;
  const ScopedHandle held = openPlace(parent, path);
  if (!held.valid()) return 0;
  TreeRemoval removal(nullptr);
  int removed = 0;
  for (const FolderEntry& entry : listHeld(held)) {
    if (isFolder(entry.attributes) && isNumberedName(entry.name, prefix) &&
        removal.removeEntry(held, path, entry, 0)) {
      ++removed;
    }
  }
  return removed;
}

int removeNumberedFolders(const std::wstring& parent, const std::wstring& prefix) {
  return removeNumberedFolders(PlaceBelow{parent, {}}, prefix);
}
