// A DLL planted beside a copy of the program under a system DLL's name: when
// loaded, it leaves a mark in the file CAIRN_TEST_PLANTED_MARK names.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t mark[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"CAIRN_TEST_PLANTED_MARK", mark, MAX_PATH) == 0) return TRUE;
  HANDLE file = CreateFileW(mark, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return TRUE;
}
