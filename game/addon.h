// What is installed in a WoW Forever folder, and whether the game runs from
// it. Plain queries, repeated on every refresh; every failure reads as false.
#pragma once

#include <string>


std::wstring addOnsDir(const std::wstring& folder);  // folder\Interface\AddOns
std::wstring addonDir(const std::wstring& folder);   // folder\Interface\AddOns\Cairn
// The addon counts as installed exactly when its Cairn.toc exists.
bool addonPresent(const std::wstring& folder);
bool questiePresent(const std::wstring& folder);
// True when another process runs an executable from inside the folder.
bool gameRunning(const std::wstring& folder);

// What the windows show of a game folder. Reading it may block for as long as
// the folder's drive takes to answer (a network share), so windows read it on
// a worker (ui/game_check.h).
struct GameState {
  std::wstring folder;
  bool folderOk = false;  // a game folder (isGameFolder)
  bool gameActive = false;
  bool addonOk = false;
  bool questieOk = false;
};
// The addon, Questie and game are looked for only in a valid game folder.
GameState readGameState(const std::wstring& folder);
