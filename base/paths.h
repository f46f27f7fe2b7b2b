// Path texts and the process's own environment: joining and splitting paths,
// the program's own path, environment variables. Nothing here touches a file.
#pragma once

#include <string>

constexpr size_t kMaxEnvChars = 4095;
constexpr size_t kExePathChars = 520;

std::wstring envVar(const wchar_t* name);  // empty when unset or too long
std::wstring exePath();

std::wstring joinPath(const std::wstring& folder, const std::wstring& name);
std::wstring parentPath(const std::wstring& path);
std::wstring fileName(const std::wstring& path);
// Trimmed, backslashes only, no trailing separator (a drive root keeps it).
std::wstring normalizeFolder(const std::wstring& path);
