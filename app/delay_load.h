// Delay-loaded system DLLs (cmake/delay_load.cmake): a DLL that cannot be
// loaded when its first function is called, or that lacks a function, makes
// the call fail the way that function reports failure on its own (an error
// result the caller already handles) instead of ending the program.
#pragma once

#include <windows.h>

// A function that stands in for every function of `dll` and returns that
// DLL's failure result; null for a DLL that is not delay-loaded.
FARPROC delayLoadFallback(const char* dll);
