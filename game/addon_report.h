// What the last placing of the addon and of Config.lua came to, in the few
// kinds a user can act on; the windows, the tooltip and the log say it.
#pragma once

#include <string>

#include "game/addon_copy.h"
#include "game/config.h"
#include "game/owner.h"

enum class AddonProblem { None, NoPayload, LinkRefused, AccessDenied, DiskFull, InUse, Failed };

struct AddonReport {
  std::wstring folder;  // the game folder it was for; empty before the first
  AddonProblem problem = AddonProblem::None;
  std::wstring path;        // the refused link, or what could not be written
  FileOwner owner;          // of a refused link
  unsigned long error = 0;  // Windows' error code
  bool operator==(const AddonReport& other) const {
    return folder == other.folder && problem == other.problem && path == other.path &&
           error == other.error;
  }
  bool operator!=(const AddonReport& other) const { return !(*this == other); }
};

// The kind of a Windows error met while writing. Refused while replacing a
// file, in a folder where the new file could just be written, means the
// file there is held (the game reads it), not that the folder is closed.
[[nodiscard]] AddonProblem problemOfError(unsigned long error, bool replacing);
// The copy's problem first: Config.lua cannot be right in an addon folder
// that could not be made right.
[[nodiscard]] AddonReport reportOf(const std::wstring& folder, const AddonCopyResult& copied,
                                   const ConfigWrite& config);
// Whether the addon in the game can be counted on as it is (a missing payload
// only matters when the addon is missing too).
[[nodiscard]] inline bool blocksAddon(AddonProblem problem) {
  return problem != AddonProblem::None && problem != AddonProblem::NoPayload;
}
