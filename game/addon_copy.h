// Bringing the addon that came with the program into the game folder. The
// installer leaves the addon's files beside Cairnstone.exe (addon\Cairn),
// where only administrators can write; the program copies them into the game
// folder as the signed-in user, because that folder is one any user may be
// able to change. A link on the way is judged by who made it (the player's
// own is followed, another account's refused); each file is written under a
// temporary name first, and the user's Config.lua is kept.
#pragma once

#include <string>

#include "game/owner.h"

enum class AddonCopyOutcome {
  NoPayload,    // no addon beside the program (a development build): nothing to do
  UpToDate,     // the game folder already holds the addon's bytes
  Copied,       // files were written
  LinkRefused,  // a link another account made where the copy would write: nothing was written
  Failed,       // a folder or file could not be read, made or written
};

struct AddonCopyResult {
  AddonCopyOutcome outcome = AddonCopyOutcome::NoPayload;
  int filesWritten = 0;
  std::wstring path;        // the link, or what could not be read or written
  FileOwner owner;          // of a refused link
  unsigned long error = 0;  // Windows' error code of a failure
  bool replacing = false;   // it failed moving a written file over one there
};

// <folder of Cairnstone.exe>\addon\Cairn
std::wstring addonPayloadDir();

// Makes gameFolder\Interface\AddOns\Cairn hold every file of `payload` with
// the same bytes, making the folders it needs. Only files that differ are
// written; a Config.lua the game folder already has is never replaced (the
// program writes it itself). A refused link anywhere from the game folder
// down stops the copy before any file is written, and is left as it is.
[[nodiscard]] AddonCopyResult copyAddon(const std::wstring& payload,
                                        const std::wstring& gameFolder);
