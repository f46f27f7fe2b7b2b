// Bringing the addon that came with the program into the game folder. The
// installer leaves the addon's files beside Cairnstone.exe (addon\Cairn),
// where only administrators can write; the program copies them into the game
// folder as the signed-in user, because that folder is one any user may be
// able to change. The copy never follows a link, writes each file under a
// temporary name first and keeps the user's Config.lua.
#pragma once

#include <string>

enum class AddonCopyOutcome {
  NoPayload,    // no addon beside the program (a development build): nothing to do
  UpToDate,     // the game folder already holds the addon's bytes
  Copied,       // files were written
  LinkRefused,  // a link where the copy would write: nothing was written
  Failed,       // a folder or file could not be read, made or written
};

struct AddonCopyResult {
  AddonCopyOutcome outcome = AddonCopyOutcome::NoPayload;
  int filesWritten = 0;
  std::wstring path;        // the link, or what could not be read or written
  unsigned long error = 0;  // Windows' error code of a failure
};

// <folder of Cairnstone.exe>\addon\Cairn
std::wstring addonPayloadDir();

// Makes gameFolder\Interface\AddOns\Cairn hold every file of `payload` with
// the same bytes, making the folders it needs. Only files that differ are
// written; a Config.lua the game folder already has is never replaced (the
// program writes it itself). A link (junction, symbolic link) anywhere below
// the game folder where the copy would look or write stops it before any
// file is written, and is left as it is.
AddonCopyResult copyAddon(const std::wstring& payload, const std::wstring& gameFolder);

// True when Interface, AddOns, Cairn or Cairn\Config.lua below the game
// folder is a link: Config.lua is then not written either.
bool addonPathHasLink(const std::wstring& gameFolder);
