// The command line: exact, case-sensitive switches, the kind of run they
// ask for, and what a later start forwards to the running instance.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

using Args = std::vector<std::wstring>;

// Splits like the shell does; element 0 (the program) is kept.
Args splitCommandLine(const wchar_t* commandLine);
bool commandLineHas(const Args& args, const wchar_t* name);
// The element after the first match; empty when absent or last.
std::wstring commandLineValue(const Args& args, const wchar_t* name);
// Leading digits with an optional sign; anything else reads as 0.
int commandLineNumber(const Args& args, const wchar_t* name);

enum class RunMode { Diagnostic, Running, Quit, EndSession, Ordinary };
RunMode selectRunMode(const Args& args);

enum class DiagnosticJob { JsonTest, UpdateCheck, VerifyRelease };
DiagnosticJob selectDiagnosticJob(const Args& args);

struct StartRequest {
  bool background = false;
  bool open = false;
  int tab = -1;  // -1: keep the current tab
  bool setup = false;
  int page = 0;
  bool installNow = false;
};
StartRequest readStartRequest(const Args& args);

// The one message a later start sends to the running instance.
struct ForwardedMessage {
  UINT message = 0;
  WPARAM wParam = 0;
};
// False when the request forwards nothing (a plain background start).
bool forwardedMessageFor(const StartRequest& request, ForwardedMessage& out);
