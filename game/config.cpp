#include "game/config.h"

#include <mutex>

#include "base/paths.h"
#include "base/text.h"
#include "game/addon.h"
#include "game/held_path.h"
#include "i18n/i18n.h"
#include "storage/files.h"

namespace {

std::wstring configPath(const std::wstring& folder) {
  return joinPath(addonDir(folder), L"Config.lua");
}

std::string langField(const std::string& code) { return "lang = \"" + code + "\""; }

// A hold that did not succeed, as the write's outcome.
ConfigWrite notHeld(const HoldResult& held) {
  ConfigWrite result;
  result.path = held.path;
  switch (held.outcome) {
    case HoldOutcome::Refused:
      result.outcome = ConfigOutcome::LinkRefused;
      result.owner = held.owner;
      break;
    case HoldOutcome::Missing:
      result.outcome = ConfigOutcome::NoAddonFolder;
      break;
    case HoldOutcome::Failed:
    case HoldOutcome::Held:
      result.outcome = ConfigOutcome::Failed;
      result.write = {WriteStep::TempFile, held.error};
      break;
  }
  return result;
}

}  // namespace

std::string buildAddonConfig(const std::string& language) {
  const std::string code = knownOrEnglish(language);
  return "CairnInstall = { " + langField(code) + " }\n";
}

ConfigWrite writeAddonConfig(const std::wstring& folder, const std::string& language) {
  // Installing the addon is the copy's job: never create its folder.
  if (folder.empty() || !isDirectory(addonDir(folder))) return {};
  static std::mutex oneWriter;
  std::lock_guard<std::mutex> hold(oneWriter);
  HeldFolders held;
  const std::wstring chain[] = {folder, joinPath(folder, L"Interface"), addOnsDir(folder),
                                addonDir(folder)};
  for (const std::wstring& step : chain) {
    const HoldResult result = held.hold(step);
    if (!result.ok()) return notHeld(result);
  }
  std::wstring target = configPath(folder);
  if (GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
    const HoldResult judged = judgeFile(configPath(folder), target);
    if (!judged.ok()) return notHeld(judged);
  }
  ConfigWrite result;
  result.path = target;
  const std::string content = buildAddonConfig(language);
  std::string existing;
  if (readWholeFile(target, existing) && existing == content) {
    result.outcome = ConfigOutcome::Unchanged;
    return result;
  }
  result.write = replaceFileNoFollow(target, content);
  result.outcome = result.write ? ConfigOutcome::Written : ConfigOutcome::Failed;
  return result;
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
