// The WoW Forever folder: the "_forever_" edition folder inside the World of
// Warcraft folder. What counts as one, what a given path means, and where to
// look for one on this machine.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

constexpr wchar_t kEditionFolder[] = L"_forever_";

// An existing folder with Interface\AddOns or a Wow*.exe in it.
bool isGameFolder(const std::wstring& folder);
// The _forever_ folder a picked or configured path means, or empty. The
// result is not checked with isGameFolder.
std::wstring resolveForeverDir(const std::wstring& path);
// Appends InstallLocation of every uninstall entry named "World of Warcraft"
// in the given registry view (KEY_WOW64_32KEY or KEY_WOW64_64KEY).
void uninstallLocations(REGSAM view, std::vector<std::wstring>& candidates);
// The first candidate on this machine that resolves to a game folder made
// by this user, an administrator or the system (another account's is passed
// over, and logged).
std::wstring detectForeverDir();
// The ordered candidates detectForeverDir tests; the installer's folder only
// for the account that chose it.
std::vector<std::wstring> foreverDirCandidates();
