// The folders from the game folder down to the addon, held open while the
// addon or Config.lua is written: a folder that is held cannot be renamed or
// removed and put back as a link meanwhile. Each is judged by the link rule
// (game/owner.h) as it is opened: the player's own junction is followed, one
// another account made is refused.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "base/scoped_handle.h"
#include "game/owner.h"

enum class HoldOutcome { Held, Missing, Refused, Failed };

struct HoldResult {
  HoldOutcome outcome = HoldOutcome::Held;
  std::wstring path;        // the folder or file refused, missing or failed
  FileOwner owner;          // of a refused link
  unsigned long error = 0;  // Windows' error of a failure
  bool ok() const { return outcome == HoldOutcome::Held; }
};

class HeldFolders {
 public:
  // Opens the existing folder `path`, judges it and keeps it (and, for a
  // followed link, the folder it leads to) open until this object goes.
  [[nodiscard]] HoldResult hold(const std::wstring& path);

 private:
  std::vector<ScopedHandle> held_;
};

// Judges an existing file the same way. `writeTo` is where a write goes: the
// path itself, or for a followed link the file it leads to, so the player's
// link stays a link.
[[nodiscard]] HoldResult judgeFile(const std::wstring& path, std::wstring& writeTo);

// Who owns a file or folder, read as the link rule reads it.
[[nodiscard]] FileOwner ownerOfPath(const std::wstring& path);

// Where tests put another account's links (Wine reports every file as this
// user's); null: the file system's answer.
using OwnerReader = FileOwner (*)(HANDLE file);
void setOwnerReader(OwnerReader reader);
