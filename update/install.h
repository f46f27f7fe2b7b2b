// Running a verified installer: its command line, and the elevated start.
#pragma once

#include <windows.h>

#include <string>

#include "base/scoped_handle.h"

enum class InstallResult {
  Started,   // started, or one started earlier still runs
  Declined,  // the user declined the elevation prompt
  Failed,    // could not be started
  NothingReady,
};

// A path in a form ShellExecuteEx takes (shorter than MAX_PATH), or none.
struct ShellPath {
  std::wstring path;        // empty when there is none
  size_t plainChars = 0;    // the length without the \\?\ prefix
  unsigned long error = 0;  // why there is no short form
  explicit operator bool() const { return !path.empty(); }
};
// The shell's form of a final path (\\?\ or \\?\UNC\ as
// GetFinalPathNameByHandleW gives it): without the prefix when that is
// shorter than MAX_PATH, else its short (8.3) form when that is; none else.
[[nodiscard]] ShellPath shellPath(const std::wstring& finalPath);

// "/S /UPDATE", the quoted game folder (left out when empty or holding a
// quote), the main language ("en" unless known) and "/NOAUTOSTART".
std::wstring installerArgs(const std::wstring& gameFolder, const std::string& language,
                           bool autostart);
// Starts the verified installer elevated ("runas") by the path its open
// handle `checkedFile` names, once the file there is that same file; the
// handle keeps it locked while it runs. Nothing starts from an update folder
// reached through a link, nor one whose path the shell cannot take. Started
// hands out the process handle; Failed sets error.
InstallResult startInstaller(HANDLE checkedFile, HWND owner, const std::wstring& parameters,
                             ScopedHandle& process, std::string& error);
