#include "game/addon.h"

#include <windows.h>

#include <tlhelp32.h>

#include "base/paths.h"
#include "base/scoped_handle.h"
#include "base/text.h"
#include "game/folder.h"
#include "storage/files.h"

namespace {

constexpr DWORD kImagePathChars = 520;

// The Win32 path of a process's executable; empty when it cannot be read.
std::wstring processImage(DWORD pid) {
  ScopedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process.valid()) return {};
  wchar_t path[kImagePathChars];
  DWORD chars = kImagePathChars;
  if (!QueryFullProcessImageNameW(process, 0, path, &chars)) return {};
  return std::wstring(path, chars);
}

}  // namespace

std::wstring addOnsDir(const std::wstring& folder) {
  return joinPath(joinPath(folder, L"Interface"), L"AddOns");
}

std::wstring addonDir(const std::wstring& folder) { return joinPath(addOnsDir(folder), L"Cairn"); }

bool addonPresent(const std::wstring& folder) {
  return !folder.empty() && fileExists(joinPath(addOnsDir(folder), L"Cairn\\Cairn.toc"));
}

bool questiePresent(const std::wstring& folder) {
  if (folder.empty()) return false;
  const std::wstring addOns = addOnsDir(folder);
  return isDirectory(joinPath(addOns, L"QuestieDB")) || isDirectory(joinPath(addOns, L"Questie"));
}

bool gameRunning(const std::wstring& folder) {
  if (folder.empty()) return false;
  // The separator keeps a sibling such as _forever_old from matching.
  const std::wstring prefix = normalizeFolder(folder) + L"\\";
  ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.valid()) return false;
  const DWORD self = GetCurrentProcessId();
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID == 0 || entry.th32ProcessID == self) continue;
    std::wstring image = processImage(entry.th32ProcessID);
    if (image.empty()) continue;
    for (wchar_t& c : image) {
      if (c == L'/') c = L'\\';
    }
    if (startsWithNoCase(image, prefix)) return true;
  }
  return false;
}

GameState readGameState(const std::wstring& folder) {
  GameState state;
  state.folder = folder;
  state.folderOk = !folder.empty() && isGameFolder(folder);
  if (!state.folderOk) return state;
  state.addonOk = addonPresent(folder);
  state.questieOk = questiePresent(folder);
  state.gameActive = gameRunning(folder);
  return state;
}
