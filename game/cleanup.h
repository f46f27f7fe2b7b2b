// Leftovers of the predecessor app (Brindle) and of earlier releases, looked
// for anew at every start. Each removal is idempotent and logged only when
// it happened.
#pragma once

#include <string>

// %APPDATA%\Brindle, unless the data folder is overridden.
void removeOldDataFolder();
// history.jsonl and usage.json in the data folder.
void removeObsoleteDataFiles();
// key.dat in the data folder.
void removeObsoleteKeyFile();
// Asks a running Brindle to quit, removes its autostart entry and, when the
// game folder is known, its addon folders.
void retirePredecessor(const std::wstring& gameFolder);
int removeBrindleAddonFolders(const std::wstring& gameFolder);
int removeOldAnswerFolders(const std::wstring& gameFolder);
// Temporary files of our own replacing writes that a crash left: in the
// data folder (settings.json's) and, when the game folder is known, in the
// addon folder and below (Config.lua's and the addon copy's). Call at start
// before this run writes either.
void removeOwnLeftovers(const std::wstring& gameFolder);
