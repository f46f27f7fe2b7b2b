#include "app/cmdline.h"

#include <shellapi.h>

#include <cwchar>
#include <cstdlib>

#include "base/scoped_handle.h"

Args splitCommandLine(const wchar_t* commandLine) {
  Args args;
  int count = 0;
  LPWSTR* raw = CommandLineToArgvW(commandLine, &count);
  if (!raw) return args;
  ScopedLocal owner(reinterpret_cast<HLOCAL>(raw));
  args.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) args.emplace_back(raw[i]);
  return args;
}

bool commandLineHas(const Args& args, const wchar_t* name) {
  for (const std::wstring& arg : args) {
    if (arg == name) return true;
  }
  return false;
}

std::wstring commandLineValue(const Args& args, const wchar_t* name) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == name) return i + 1 < args.size() ? args[i + 1] : std::wstring();
  }
  return {};
}

int commandLineNumber(const Args& args, const wchar_t* name) {
  return _wtoi(commandLineValue(args, name).c_str());
}
