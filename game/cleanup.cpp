#include "game/cleanup.h"

#include <windows.h>

#include "base/paths.h"
#include "base/scoped_handle.h"
#include "base/text.h"
#include "storage/files.h"
#include "storage/log.h"
#include "storage/settings.h"

namespace {

constexpr wchar_t kPredecessorWindowClass[] = L"BrindleTrayWnd";
constexpr wchar_t kPredecessorRunValue[] = L"Brindle";
// Time for the old app to quit and let go of its addon files.
constexpr DWORD kPredecessorQuitMs = 1500;

bool deleteDataFile(const wchar_t* name) {
  const std::wstring path = joinPath(dataDir(), name);
  return fileExists(path) && DeleteFileW(path.c_str());
}

bool askPredecessorToQuit() {
  HWND window = FindWindowW(kPredecessorWindowClass, nullptr);
  if (!window) return false;
  PostMessageW(window, WM_CLOSE, 0, 0);
  logLine("asked the old Brindle app to quit");
  return true;
}

void removePredecessorAutostart() {
  ScopedRegKey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) {
    return;
  }
  if (RegDeleteValueW(key, kPredecessorRunValue) == ERROR_SUCCESS) {
    logLine("removed the old Brindle start-with-Windows entry");
  }
}

// The game folder's own folders, reached through no link: the game folder
// may be shared with other accounts, which could plant one.
PlaceBelow addOnsPlace(const std::wstring& gameFolder) {
  return {gameFolder, {L"Interface", L"AddOns"}};
}
PlaceBelow below(PlaceBelow place, const wchar_t* name) {
  place.names.push_back(name);
  return place;
}

// Removes the folder there; 1 when it went entirely.
int removeFolderCounted(const PlaceBelow& folder) { return removeTree(folder) ? 1 : 0; }

}  // namespace

void removeOldDataFolder() {
  if (!envVar(L"CAIRN_DATA_DIR").empty()) return;
  const std::wstring appData = envVar(L"APPDATA");
  if (appData.empty()) return;
  const std::wstring path = joinPath(appData, L"Brindle");
  if (isDirectory(path) && removeTree(path)) logLine("removed the old Brindle app data");
}

void removeObsoleteDataFiles() {
  for (const wchar_t* name : {L"history.jsonl", L"usage.json"}) {
    if (deleteDataFile(name)) {
      logLineW(std::wstring(L"removed ") + name + L": Cairnstone no longer asks questions");
    }
  }
}

void removeObsoleteKeyFile() {
  if (deleteDataFile(L"key.dat")) {
    logLine("removed the old Claude API key (key.dat): Cairnstone no longer uses it");
  }
}

void retirePredecessor(const std::wstring& gameFolder) {
  const bool asked = askPredecessorToQuit();
  removePredecessorAutostart();
  if (gameFolder.empty()) return;
  if (asked) Sleep(kPredecessorQuitMs);
  const int removed = removeBrindleAddonFolders(gameFolder);
  if (removed > 0) logLine(sformat("removed %d old Brindle addon folders", removed));
}

int removeBrindleAddonFolders(const std::wstring& gameFolder) {
  if (gameFolder.empty()) return 0;
  const PlaceBelow addOns = addOnsPlace(gameFolder);
  return removeFolderCounted(below(addOns, L"Brindle")) +
         removeNumberedFolders(addOns, L"BrindlePost");
}

int removeOldAnswerFolders(const std::wstring& gameFolder) {
  if (gameFolder.empty()) return 0;
  const PlaceBelow addOns = addOnsPlace(gameFolder);
  return removeFolderCounted(below(below(addOns, L"Cairn"), L"Bridge")) +
         removeNumberedFolders(addOns, L"CairnPost");
}

void removeOwnLeftovers(const std::wstring& gameFolder) {
  const int inData = removeLeftoverTemporaries(dataDir(), {L"settings.json"});
  if (inData > 0)
    logLine(sformat("removed %d leftover temporary files in the data folder", inData));
  if (gameFolder.empty()) return;
  const int inAddon = removeLeftoverTemporaries(below(addOnsPlace(gameFolder), L"Cairn"), {});
  if (inAddon > 0) {
    logLine(sformat("removed %d leftover temporary files in the addon folder", inAddon));
  }
}
