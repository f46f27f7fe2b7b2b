#include "storage/registry.h"

#include "storage/scoped_win.h"

namespace {

constexpr DWORD kRegStringBytes = 2048;

}  // namespace

std::wstring regString(HKEY root, const wchar_t* subKey, const wchar_t* valueName,
                       REGSAM extraAccess) {
  HKEY raw = nullptr;
  if (RegOpenKeyExW(root, subKey, 0, KEY_READ | extraAccess, &raw) != ERROR_SUCCESS) return {};
  ScopedRegKey key(raw);
  wchar_t buf[kRegStringBytes / sizeof(wchar_t)];
  DWORD type = 0, bytes = sizeof buf;
  if (RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buf), &bytes) !=
          ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return {};
  }
  std::wstring value(buf, bytes / sizeof(wchar_t));
  while (!value.empty() && value.back() == L'\0') value.pop_back();
  return value;
}
