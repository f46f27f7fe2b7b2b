#include "game/addon_copy.h"

#include <windows.h>

#include <utility>
#include <vector>

#include "base/paths.h"
#include "base/text.h"
#include "game/addon.h"
#include "game/held_path.h"
#include "storage/files.h"

namespace {

constexpr wchar_t kPayloadFolder[] = L"addon\\Cairn";
constexpr wchar_t kUserConfig[] = L"config.lua";  // compared in lower case
constexpr int kMaxDepth = 8;

struct PlannedFile {
  std::wstring target;  // where the bytes go: a followed link's own file
  std::string bytes;
};

// What the copy will do, found before anything is written.
struct Plan {
  std::vector<std::wstring> foldersToMake;  // parents first
  std::vector<PlannedFile> files;
};

bool isLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

// One run of the copy: the folders it holds open and the first problem met.
class Copy {
 public:
  explicit Copy(AddonCopyResult& result) : result_(result) {}

  bool hold(const std::wstring& path) { return take(folders_.hold(path)); }

  // A folder of the destination below one that exists (`parentExists`) or
  // will be made: held when it is there, else planned. `exists` tells which.
  bool visit(const std::wstring& path, bool parentExists, Plan& plan, bool& exists) {
    exists = parentExists && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (exists) return hold(path);
    plan.foldersToMake.push_back(path);
    return true;
  }

  bool planFile(const std::wstring& source, const std::wstring& target, bool targetFolderExists,
                bool userFile, Plan& plan) {
    const bool present =
        targetFolderExists && GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES;
    std::wstring writeTo = target;
    if (present && !take(judgeFile(target, writeTo))) return false;
    if (userFile && present) return true;  // the user's own settings stay
    std::string bytes;
    if (!readWholeFile(source, bytes)) return fail(source, GetLastError());
    std::string current;
    if (present && readWholeFile(writeTo, current) && current == bytes) return true;
    plan.files.push_back({writeTo, std::move(bytes)});
    return true;
  }

  // Plans the copy of one payload folder into `target`.
  bool planFolder(const std::wstring& source, const std::wstring& target, bool targetExists,
                  int depth, Plan& plan) {
    if (depth > kMaxDepth) return fail(source, ERROR_BUFFER_OVERFLOW);
    for (const FolderEntry& entry : listFolder(source)) {
      if (isLink(entry.attributes)) continue;  // the installer never puts one there
      const std::wstring from = joinPath(source, entry.name);
      const std::wstring to = joinPath(target, entry.name);
      bool ok;
      if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) {
        bool exists = false;
        ok = visit(to, targetExists, plan, exists) &&
             planFolder(from, to, exists, depth + 1, plan);
      } else {
        const bool userFile = depth == 0 && lowerWide(entry.name) == kUserConfig;
        ok = planFile(from, to, targetExists, userFile, plan);
      }
      if (!ok) return false;
    }
    return true;
  }

  // Makes a planned folder and holds it; one that appeared meanwhile is
  // judged like any other.
  bool make(const std::wstring& path) {
    if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      return fail(path, GetLastError());
    }
    return hold(path);
  }

  bool write(const PlannedFile& file) {
    const WriteResult written = replaceFileNoFollow(file.target, file.bytes);
    if (!written) {
      result_.replacing = written.failedAt == WriteStep::Replace;
      return fail(file.target, written.error);
    }
    ++result_.filesWritten;
    return true;
  }

 private:
  bool take(const HoldResult& held) {
    switch (held.outcome) {
      case HoldOutcome::Held:
        return true;
      case HoldOutcome::Refused:
        result_.outcome = AddonCopyOutcome::LinkRefused;
        result_.path = held.path;
        result_.owner = held.owner;
        return false;
      case HoldOutcome::Missing:
      case HoldOutcome::Failed:
        break;
    }
    return fail(held.path, held.error);
  }
  bool fail(const std::wstring& path, unsigned long error) {
    result_.outcome = AddonCopyOutcome::Failed;
    result_.path = path;
    result_.error = error;
    return false;
  }

  AddonCopyResult& result_;
  HeldFolders folders_;
};

}  // namespace

std::wstring addonPayloadDir() { return joinPath(parentPath(exePath()), kPayloadFolder); }

AddonCopyResult copyAddon(const std::wstring& payload, const std::wstring& gameFolder) {
  AddonCopyResult result;
  if (payload.empty() || !isDirectory(payload)) return result;
  Copy copy(result);
  Plan plan;
  // The game folder itself is held and judged too: it may be a junction.
  if (!copy.hold(gameFolder)) return result;
  const std::wstring chain[] = {joinPath(gameFolder, L"Interface"), addOnsDir(gameFolder),
                                addonDir(gameFolder)};
  bool exists = true;
  for (const std::wstring& folder : chain) {
    if (!copy.visit(folder, exists, plan, exists)) return result;
  }
  if (!copy.planFolder(payload, addonDir(gameFolder), exists, 0, plan)) return result;
  if (plan.foldersToMake.empty() && plan.files.empty()) {
    result.outcome = AddonCopyOutcome::UpToDate;
    return result;
  }
  for (const std::wstring& folder : plan.foldersToMake) {
    if (!copy.make(folder)) return result;
  }
  for (const PlannedFile& file : plan.files) {
    if (!copy.write(file)) return result;
  }
  result.outcome = AddonCopyOutcome::Copied;
  return result;
}
