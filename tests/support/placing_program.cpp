// A stand-in for Cairnstone.exe as the setup helper runs it to place the
// addon. The helper starts it through the desktop shell, so it has the
// shell's environment, not the test's: what it does is told by files beside
// it. It appends its parameters as a line to "placing.txt", waits the
// milliseconds that "placing.ms" holds and exits with the code that
// "placing.exit" holds (0 when a file is missing).
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

std::wstring besideMe(const wchar_t* name) {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, n);
  return folder.substr(0, folder.find_last_of(L'\\') + 1) + name;
}

int numberIn(const wchar_t* name) {
  char text[32] = {};
  HANDLE file = CreateFileW(besideMe(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD read = 0;
  ReadFile(file, text, sizeof text - 1, &read, nullptr);
  CloseHandle(file);
  return atoi(text);
}

// What follows the program's own name on the command line, as UTF-8.
std::string parameters() {
  const wchar_t* p = GetCommandLineW();
  if (*p == L'"') {
    ++p;
    while (*p && *p != L'"') ++p;
    if (*p) ++p;
  } else {
    while (*p && *p != L' ' && *p != L'\t') ++p;
  }
  while (*p == L' ' || *p == L'\t') ++p;
  char text[1024] = {};
  WideCharToMultiByte(CP_UTF8, 0, p, -1, text, sizeof text - 1, nullptr, nullptr);
  return text;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const int code = numberIn(L"placing.exit");
  const int waitMs = numberIn(L"placing.ms");
  HANDLE file = CreateFileW(besideMe(L"placing.txt").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    const std::string line = parameters() + "\n";
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
  }
  if (waitMs > 0) Sleep(static_cast<DWORD>(waitMs));
  return code;
}
