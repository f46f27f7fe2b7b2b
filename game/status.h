// What the state last read of the configured game folder amounts to: the
// tooltip, the menu and the main window's pill say it.
#pragma once

// Ready only when the addon is in place: a folder without it is no more
// ready for the game than no folder.
enum class AppStatus { Ready, NoGameFolder, NoAddon };
inline AppStatus appStatusOf(bool folderOk, bool addonOk) {
  if (!folderOk) return AppStatus::NoGameFolder;
  return addonOk ? AppStatus::Ready : AppStatus::NoAddon;
}
// The text key that says `status`, among the three given.
inline const char* statusKey(AppStatus status, const char* ready, const char* noFolder,
                             const char* noAddon) {
  switch (status) {
    case AppStatus::Ready: return ready;
    case AppStatus::NoAddon: return noAddon;
    default: return noFolder;
  }
}
