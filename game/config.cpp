#include "game/config.h"

#include "game/addon.h"
#include "game/addon_copy.h"
#include "i18n/i18n.h"
#include "storage/files.h"

namespace {

std::wstring configPath(const std::wstring& folder) {
  return joinPath(addonDir(folder), L"Config.lua");
}

std::string langField(const std::string& code) { return "lang = \"" + code + "\""; }

}  // namespace

std::string buildAddonConfig(const std::string& language) {
  const std::string code = isKnownLanguage(language) ? language : "en";
  return "CairnInstall = { " + langField(code) + " }\n";
}

bool writeAddonConfig(const std::wstring& folder, const std::string& language, bool& changed) {
  changed = false;
  // Installing the addon is the installer's job: never create its folder.
  if (folder.empty() || !isDirectory(addonDir(folder))) return false;
  // Never written through a link another account may have put there.
  if (addonPathHasLink(folder)) return false;
  const std::string content = buildAddonConfig(language);
  std::string existing;
  if (readWholeFile(configPath(folder), existing) && existing == content) return true;
  unsigned long error = 0;
  if (!replaceFileNoFollow(configPath(folder), content, error)) return false;
  changed = true;
  return true;
}

std::string readAddonConfigLanguage(const std::wstring& folder) {
  if (folder.empty()) return {};
  std::string text;
  if (!readWholeFile(configPath(folder), text)) return {};
  for (const Language& language : languageTable()) {
    if (text.find(langField(language.code)) != std::string::npos) return language.code;
  }
  return {};
}
