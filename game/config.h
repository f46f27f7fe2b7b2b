// Config.lua in the addon folder: tells the in-game addon the user's main
// language. Written only when its bytes change, never creating the folder.
#pragma once

#include <string>

#include "storage/files.h"

// `CairnInstall = { lang = "xx" }` and a line feed; unknown codes give "en".
std::string buildAddonConfig(const std::string& language);
enum class ConfigOutcome { Unchanged, Written, NoAddonFolder, Failed };
struct ConfigWrite {
  ConfigOutcome outcome = ConfigOutcome::NoAddonFolder;
  WriteResult write;  // why it failed, for Failed
  // The file now holds the wanted content.
  bool current() const {
    return outcome == ConfigOutcome::Unchanged || outcome == ConfigOutcome::Written;
  }
};
// Writes the file unless it already holds the wanted content. Two calls never
// write at once (the window's check and a Save may meet).
ConfigWrite writeAddonConfig(const std::wstring& folder, const std::string& language);
// The log text of a failed write: "cannot write PATH: ...".
std::wstring describeConfigFailure(const ConfigWrite& result, const std::wstring& folder);
// The language an existing file names (the language table's order decides
// between several), or empty.
std::string readAddonConfigLanguage(const std::wstring& folder);
