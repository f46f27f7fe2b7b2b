#include "game/config.h"

#include <mutex>

#include "base/paths.h"
#include "base/text.h"
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
  const std::string code = knownOrEnglish(language);
  return "CairnInstall = { " + langField(code) + " }\n";
}

ConfigWrite writeAddonConfig(const std::wstring& folder, const std::string& language) {
  ConfigWrite result;
  // Installing the addon is the installer's job: never create its folder.
  if (folder.empty() || !isDirectory(addonDir(folder))) return result;
  // Never written through a link another account may have put there.
  if (addonPathHasLink(folder)) return result;
  static std::mutex oneWriter;
  std::lock_guard<std::mutex> hold(oneWriter);
  const std::string content = buildAddonConfig(language);
  std::string existing;
  if (readWholeFile(configPath(folder), existing) && existing == content) {
    result.outcome = ConfigOutcome::Unchanged;
    return result;
  }
  result.write = replaceFileNoFollow(configPath(folder), content);
  result.outcome = result.write ? ConfigOutcome::Written : ConfigOutcome::Failed;
  return result;
}

std::wstring describeConfigFailure(const ConfigWrite& result, const std::wstring& folder) {
  return L"cannot write " + configPath(folder) + L": " + toWide(describeWrite(result.write));
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
