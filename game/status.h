// What the state last read of the configured game folder amounts to: the
// tooltip, the menu and the main window's pill say it.
#pragma once

#include "game/addon_report.h"

// Ready only when the addon is in place and its last placing went well: a
// folder without it is no more ready for the game than no folder, and an
// addon that could not be brought up to date may be an old one.
enum class AppStatus { Ready, NoGameFolder, NoAddon, AddonBlocked };
inline AppStatus appStatusOf(bool folderOk, bool addonOk, AddonProblem problem) {
  if (!folderOk) return AppStatus::NoGameFolder;
  if (!addonOk) return AppStatus::NoAddon;
  return blocksAddon(problem) ? AppStatus::AddonBlocked : AppStatus::Ready;
}
// The text keys of the statuses, in one place for each place that says them.
struct StatusKeys {
  const char* ready;
  const char* noFolder;
  const char* noAddon;
  const char* blocked;
};
inline const char* statusKey(AppStatus status, const StatusKeys& keys) {
  switch (status) {
    case AppStatus::Ready: return keys.ready;
    case AppStatus::NoAddon: return keys.noAddon;
    case AppStatus::AddonBlocked: return keys.blocked;
    case AppStatus::NoGameFolder: break;
  }
  return keys.noFolder;
}
