// A stand-in for Cairnstone's installer, for tests only: it appends its
// command-line parameters as one UTF-8 line to the file named by
// CAIRN_TEST_INSTALLER_RECORD, waits CAIRN_TEST_INSTALLER_MS milliseconds and
// exits with the code in CAIRN_TEST_INSTALLER_EXIT (0 when unset).
#include <windows.h>

#include <string>

namespace {

std::wstring env(const wchar_t* name) {
  wchar_t value[1024] = {};
  const DWORD n = GetEnvironmentVariableW(name, value, 1024);
  return n > 0 && n < 1024 ? std::wstring(value, n) : std::wstring();
}

// What follows the program's own name on the command line.
std::wstring parameters() {
  const wchar_t* p = GetCommandLineW();
  if (*p == L'"') {
    ++p;
    while (*p && *p != L'"') ++p;
    if (*p) ++p;
  } else {
    while (*p && *p != L' ' && *p != L'\t') ++p;
  }
  while (*p == L' ' || *p == L'\t') ++p;
  return p;
}

void record(const std::wstring& path, const std::wstring& line) {
  if (path.empty()) return;
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()),
                                        nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), &text[0], bytes,
                      nullptr, nullptr);
  text += "\n";
  HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  record(env(L"CAIRN_TEST_INSTALLER_RECORD"), parameters());
  const int waitMs = _wtoi(env(L"CAIRN_TEST_INSTALLER_MS").c_str());
  if (waitMs > 0) Sleep(static_cast<DWORD>(waitMs));
  return _wtoi(env(L"CAIRN_TEST_INSTALLER_EXIT").c_str());
}
