#include "game/folder.h"

#include "base/paths.h"
#include "base/scoped_handle.h"
#include "base/text.h"
#include "game/addon.h"
#include "game/held_path.h"
#include "storage/files.h"
#include "storage/log.h"
#include "storage/registry.h"
#include "storage/settings.h"

namespace {

constexpr wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr wchar_t kBlizzardKey[] = L"SOFTWARE\\Blizzard Entertainment\\World of Warcraft";
constexpr DWORD kSubKeyNameChars = 256;
constexpr int kUpwardLevels = 4;

const wchar_t* const kDrives[] = {L"C:", L"D:", L"E:", L"F:", L"G:"};
const wchar_t* const kUsualPlaces[] = {
    L"\\Program Files (x86)\\World of Warcraft", L"\\Program Files\\World of Warcraft",
    L"\\World of Warcraft",                      L"\\Games\\World of Warcraft",
    L"\\Blizzard\\World of Warcraft",            L"\\Battle.net\\World of Warcraft",
};

bool isEditionFolderName(const std::wstring& path) {
  return lowerWide(fileName(path)) == kEditionFolder;
}

void addIfPresent(std::vector<std::wstring>& list, const std::wstring& path) {
  if (!path.empty()) list.push_back(path);
}

// The installer's folder is one account's choice: a candidate only for it.
void addInstallerFolder(std::vector<std::wstring>& list, REGSAM view, const std::wstring& self) {
  const std::wstring user = regString(HKEY_LOCAL_MACHINE, kInstallerKey, L"InstallUser", view);
  if (user.empty() || user != self) return;
  addIfPresent(list, regString(HKEY_LOCAL_MACHINE, kInstallerKey, L"ForeverDir", view));
}

}  // namespace

bool isGameFolder(const std::wstring& folder) {
  if (folder.empty() || !isDirectory(folder)) return false;
  if (isDirectory(addOnsDir(folder))) return true;
  WIN32_FIND_DATAW entry;
  ScopedFind find(FindFirstFileW(joinPath(folder, L"Wow*.exe").c_str(), &entry));
  return find.valid();
}

std::wstring resolveForeverDir(const std::wstring& path) {
  const std::wstring d = normalizeFolder(path);
  if (d.empty()) return {};
  if (isEditionFolderName(d)) return isDirectory(d) ? d : std::wstring();
  const std::wstring inside = joinPath(d, kEditionFolder);
  if (isDirectory(inside)) return inside;
  // A folder picked inside the edition folder, such as its Interface\AddOns.
  std::wstring up = d;
  for (int level = 0; level < kUpwardLevels && !up.empty(); ++level) {
    if (isEditionFolderName(up)) return up;
    up = parentPath(up);
  }
  return {};
}

void uninstallLocations(REGSAM view, std::vector<std::wstring>& candidates) {
  ScopedRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ | view, key.put()) !=
      ERROR_SUCCESS) {
    return;
  }
  for (DWORD index = 0;; ++index) {
    wchar_t name[kSubKeyNameChars];
    DWORD nameChars = kSubKeyNameChars;
    if (RegEnumKeyExW(key, index, name, &nameChars, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    const std::wstring entry = joinPath(kUninstallKey, name);
    const std::wstring displayName = regString(HKEY_LOCAL_MACHINE, entry.c_str(), L"DisplayName", view);
    if (displayName.find(L"World of Warcraft") == std::wstring::npos) continue;
    addIfPresent(candidates,
                 regString(HKEY_LOCAL_MACHINE, entry.c_str(), L"InstallLocation", view));
  }
}

std::vector<std::wstring> foreverDirCandidates() {
  std::vector<std::wstring> list;
  const std::wstring self = currentUserSid();
  addInstallerFolder(list, KEY_WOW64_64KEY, self);
  addInstallerFolder(list, KEY_WOW64_32KEY, self);
  uninstallLocations(KEY_WOW64_32KEY, list);
  uninstallLocations(KEY_WOW64_64KEY, list);
  const std::wstring game = regString(HKEY_LOCAL_MACHINE, kBlizzardKey, L"InstallPath", KEY_WOW64_32KEY);
  if (!game.empty()) {
    list.push_back(game);
    list.push_back(parentPath(normalizeFolder(game)));
  }
  for (const wchar_t* drive : kDrives) {
    for (const wchar_t* place : kUsualPlaces) list.push_back(std::wstring(drive) + place);
  }
  return list;
}

// A folder any account can make (on a drive's root) is taken by the search
// only when this user, an administrator or the system made it; the user may
// still pick another account's folder in the windows.
std::wstring detectForeverDir() {
  for (const std::wstring& candidate : foreverDirCandidates()) {
    const std::wstring r = resolveForeverDir(candidate);
    if (!isGameFolder(r)) continue;
    const FileOwner owner = ownerOfPath(r);
    if (ownerTrusted(owner.kind)) return r;
    logLineW(L"WoW Forever folder " + r + L" passed over: made by " +
             (owner.name.empty() ? std::wstring(L"an unknown account") : owner.name));
  }
  return {};
}
