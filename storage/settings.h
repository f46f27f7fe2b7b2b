// The user's settings in settings.json, the values the installer leaves in
// the registry, and the per-user autostart entry.
#pragma once

#include <windows.h>

#include <string>

#include "storage/files.h"

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
  bool autostartGiven = false;  // a run that gave no choice keeps the user's
  bool autostart = true;
  std::string language;      // empty unless a known code
  std::wstring foreverDir;   // the folder chosen in the installer, or empty
  std::wstring installUser;  // the SID of the account that chose it
};

// A settings.json larger than this is not the program's.
constexpr unsigned long long kMaxSettingsBytes = 0x10000;  // 64 KiB

// What loading found. `problem` says why a file there could not be used
// (empty for a file read and for no file); such a file was moved to
// settings.json.bad with a log line, unless `keptAside` is false: then it
// still stands, unread, and must be set aside before anything is saved.
struct SettingsLoad {
  std::string problem;
  bool keptAside = false;
  bool unreadInPlace() const { return !problem.empty() && !keptAside; }
};

std::wstring settingsPath();
// Fills settings from settings.json (a UTF-8 byte-order mark is skipped); a
// missing or unusable file leaves defaults, and an unusable one is kept as
// settings.json.bad.
SettingsLoad loadSettings(Settings& settings);
// Moves the unusable settings.json to settings.json.bad (replacing an older
// file; when a folder has that name, to settings.json.bad.1 and on) and logs
// why and where; 0, or the Windows error when it stays.
unsigned long setAsideSettings(const std::string& problem);
// Writes the whole record atomically.
WriteResult saveSettings(const Settings& settings);

InstallerValues readInstallerValues();
// The SID of the account this program runs as ("S-1-5-21-..."), or empty.
std::wstring currentUserSid();
// Writes or removes the per-user Run value "Cairn".
bool setAutostart(bool on);
bool autostartEnabled();

// Registry places, shared with the tests and the game-folder search.
constexpr wchar_t kInstallerKey[] = L"SOFTWARE\\Cairn";
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kRunValue[] = L"Cairn";
