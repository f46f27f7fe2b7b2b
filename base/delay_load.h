// Delay-loaded system DLLs (cmake/delay_load.cmake): a DLL that cannot be
// loaded when its first function is called, or that lacks a function, makes
// the call fail the way that function reports failure on its own (an error
// result the caller already handles) instead of ending the program.
#pragma once

#include <windows.h>

// A function that stands in for every function of `dll` and returns that
// DLL's failure result; null for a DLL that is not delay-loaded.
FARPROC delayLoadFallback(const char* dll);

// Lets go of a delay-loaded DLL (or of the stand-ins it got when it could not
// be loaded): its functions load it again at their next call. The caller
// makes sure that no thread is in one of its functions or about to call one,
// and that nothing the DLL made is still alive. False when it was not loaded.
bool unloadDelayLoaded(const char* dll);
