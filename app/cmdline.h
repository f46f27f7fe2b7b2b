// The command line: exact, case-sensitive switches and their values. Which
// switches there are, and what each does, is in app/switches.h.
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
