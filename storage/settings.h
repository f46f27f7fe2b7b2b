// The user's settings in settings.json, the values the installer leaves in
// the registry, and the per-user autostart entry.
#pragma once

#include <windows.h>

#include <string>

struct Settings {
  std::string language;    // one of the six codes, or empty when none was chosen
  std::wstring foreverDir;  // the WoW Forever folder, or empty
  bool autostart = true;
  bool wizardDone = false;
  std::string installStamp;  // the installer run whose values were taken over
  std::string lastVersion;   // the version that last ran
};

struct InstallerValues {
  bool present = false;  // the installer left a stamp
  std::string installStamp;
  bool autostart = true;
  std::string language;  // empty unless a known code
};

std::wstring settingsPath();
// Fills settings from settings.json; a missing or bad file leaves defaults.
void loadSettings(Settings& settings);
// Writes the whole record atomically; true on success.
bool saveSettings(const Settings& settings);

InstallerValues readInstallerValues();
// Writes or removes the per-user Run value "Cairn".
bool setAutostart(bool on);
bool autostartEnabled();
// A REG_SZ or REG_EXPAND_SZ value (not expanded) without trailing NULs;
// empty when missing, of another type or larger than 2,048 bytes.
std::wstring regString(HKEY root, const wchar_t* subKey, const wchar_t* valueName,
                       REGSAM extraAccess);

// Registry places, shared with the tests and the game-folder search.
constexpr wchar_t kInstallerKey[] = L"SOFTWARE\\Cairn";
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kRunValue[] = L"Cairn";
