// Config.lua in the addon folder: tells the in-game addon the user's main
// language. Written only when its bytes change, never creating the folder.
#pragma once

#include <string>

#include "game/owner.h"
#include "storage/files.h"

// `CairnInstall = { lang = "xx" }` and a line feed; unknown codes give "en".
std::string buildAddonConfig(const std::string& language);
enum class ConfigOutcome { Unchanged, Written, NoAddonFolder, LinkRefused, Failed };
struct ConfigWrite {
  ConfigOutcome outcome = ConfigOutcome::NoAddonFolder;
  WriteResult write;    // why it failed, for Failed
  std::wstring path;    // the refused link, or what could not be opened or written
  FileOwner owner;      // of a refused link
  // The file now holds the wanted content.
  bool current() const {
    return outcome == ConfigOutcome::Unchanged || outcome == ConfigOutcome::Written;
  }
};
// Writes the file unless it already holds the wanted content. The folders
// from the game folder down are judged by the link rule and held while it
// writes; a followed link to Config.lua stays a link. Two calls never write
// at once.
[[nodiscard]] ConfigWrite writeAddonConfig(const std::wstring& folder,
                                           const std::string& language);
// The language an existing file names (the language table's order decides
// between several), or empty.
std::string readAddonConfigLanguage(const std::wstring& folder);
