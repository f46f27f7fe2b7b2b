// Config.lua in the addon folder: tells the in-game addon the user's main
// language. Written only when its bytes change, never creating the folder.
#pragma once

#include <string>

// `CairnInstall = { lang = "xx" }` and a line feed; unknown codes give "en".
std::string buildAddonConfig(const std::string& language);
// True when the file now holds the wanted content; changed tells whether it
// had to be written.
bool writeAddonConfig(const std::wstring& folder, const std::string& language, bool& changed);
// The language an existing file names (the language table's order decides
// between several), or empty.
std::string readAddonConfigLanguage(const std::wstring& folder);
