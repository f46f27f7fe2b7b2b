#include "base/paths.h"

#include <windows.h>

#include <vector>

#include "base/text.h"

namespace {

bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

size_t lastSeparator(const std::wstring& path) { return path.find_last_of(L"\\/"); }

}  // namespace

std::wstring envVar(const wchar_t* name) {
  std::vector<wchar_t> buf(kMaxEnvChars + 1);
  DWORD n = GetEnvironmentVariableW(name, buf.data(), static_cast<DWORD>(buf.size()));
  if (n < 1 || n > kMaxEnvChars) return {};
  return std::wstring(buf.data(), n);
}

std::wstring exePath() {
  wchar_t buf[kExePathChars] = {};
  DWORD n = GetModuleFileNameW(nullptr, buf, kExePathChars);
  return std::wstring(buf, n);
}

std::wstring joinPath(const std::wstring& folder, const std::wstring& name) {
  if (folder.empty()) return name;
  if (isSeparator(folder.back())) return folder + name;
  return folder + L'\\' + name;
}

std::wstring parentPath(const std::wstring& path) {
  size_t at = lastSeparator(path);
  return at == std::wstring::npos ? std::wstring() : path.substr(0, at);
}

std::wstring fileName(const std::wstring& path) {
  size_t at = lastSeparator(path);
  return at == std::wstring::npos ? path : path.substr(at + 1);
}

std::wstring normalizeFolder(const std::wstring& path) {
  std::wstring out = trimWide(path);
  for (wchar_t& c : out) {
    if (c == L'/') c = L'\\';
  }
  while (out.size() > 3 && out.back() == L'\\') out.pop_back();
  return out;
}
