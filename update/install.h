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

// "/S /UPDATE", the quoted game folder (left out when empty or holding a
// quote), the main language ("en" unless known) and "/NOAUTOSTART".
std::wstring installerArgs(const std::wstring& gameFolder, const std::string& language,
                           bool autostart);
// Starts the verified installer elevated ("runas") by the path its open
// handle `checkedFile` names, once the file there is that same file; the
// handle keeps it locked while it runs. Nothing starts from an update folder
// reached through a link. Started hands out the process handle; Failed
// sets error.
InstallResult startInstaller(HANDLE checkedFile, HWND owner, const std::wstring& parameters,
                             ScopedHandle& process, std::string& error);
