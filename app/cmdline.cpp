#include "app/cmdline.h"

#include <shellapi.h>

#include <cwchar>
#include <cstdlib>

#include "app/messages.h"
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

RunMode selectRunMode(const Args& args) {
  if (commandLineHas(args, L"--jsontest") || commandLineHas(args, L"--update-check") ||
      commandLineHas(args, L"--verify-release")) {
    return RunMode::Diagnostic;
  }
  if (commandLineHas(args, L"--running")) return RunMode::Running;
  if (commandLineHas(args, L"--quit")) return RunMode::Quit;
  if (commandLineHas(args, L"--endsession")) return RunMode::EndSession;
  return RunMode::Ordinary;
}

DiagnosticJob selectDiagnosticJob(const Args& args) {
  if (commandLineHas(args, L"--jsontest")) return DiagnosticJob::JsonTest;
  if (commandLineHas(args, L"--update-check")) return DiagnosticJob::UpdateCheck;
  return DiagnosticJob::VerifyRelease;
}

StartRequest readStartRequest(const Args& args) {
  StartRequest r;
  r.background = commandLineHas(args, L"--background");
  const bool settings = commandLineHas(args, L"--settings");
  r.open = settings || commandLineHas(args, L"--open");
  if (settings) {
    r.tab = 1;
  } else if (commandLineHas(args, L"--tab")) {
    r.tab = commandLineNumber(args, L"--tab");
  }
  r.setup = commandLineHas(args, L"--setup");
  if (commandLineHas(args, L"--step")) r.page = commandLineNumber(args, L"--step");
  r.installNow = commandLineHas(args, L"--install-update");
  return r;
}

bool forwardedMessageFor(const StartRequest& request, ForwardedMessage& out) {
  if (request.installNow) {
    out = {WM_APP_INSTALL, 0};
  } else if (request.setup) {
    out = {WM_APP_SETUP, static_cast<WPARAM>(request.page)};
  } else if (request.open) {
    out = {WM_APP_OPEN, static_cast<WPARAM>(request.tab + 1)};
  } else if (!request.background) {
    out = {WM_APP_OPEN, 0};
  } else {
    return false;
  }
  return true;
}
