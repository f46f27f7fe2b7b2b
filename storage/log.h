// The user's log, cairn.log in the data folder: one stamped line per call,
// rotated to cairn.log.1 once it passes 1 MiB. Logging never fails visibly.
#pragma once

#include <string>

constexpr unsigned long long kLogRotateBytes = 0x100000;  // 1 MiB

void logLine(const std::string& message);    // UTF-8
void logLineW(const std::wstring& message);  // UTF-16, for texts with paths
std::wstring logPath();
std::string nowStamp();  // local time, "YYYY-MM-DD hh:mm:ss"
