#include "storage/registry.h"

#include "base/scoped_handle.h"


namespace {

constexpr DWORD kRegStringBytes = 2048;

}  // namespace

std::wstring regString(HKEY root, const wchar_t* subKey, const wchar_t* valueName,
                       REGSAM extraAccess) {
  ScopedRegKey key;
  if (RegOpenKeyExW(root, subKey, 0, KEY_READ | extraAccess, key.put()) != ERROR_SUCCESS) return {};
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
