#include "app/delay_load.h"

#include <delayimp.h>

#include <cstring>

namespace {

// Each stand-in returns, in the full register, what the DLL's functions
// return on failure; the arguments are not looked at.
INT_PTR WINAPI failWithLastError() {  // BOOL and handle results
  SetLastError(ERROR_MOD_NOT_FOUND);
  return 0;
}
INT_PTR WINAPI failHresult() { return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND); }
INT_PTR WINAPI failNtStatus() { return static_cast<LONG>(0xC0000135); }  // STATUS_DLL_NOT_FOUND
INT_PTR WINAPI failGdiplus() { return 18; }                              // GdiplusNotInitialized

struct Fallback {
  const char* dll;
  INT_PTR(WINAPI* function)();
};

constexpr Fallback kFallbacks[] = {
    {"winhttp.dll", failWithLastError}, {"comctl32.dll", failWithLastError},
    {"bcrypt.dll", failNtStatus},       {"ole32.dll", failHresult},
    {"oleacc.dll", failHresult},        {"gdiplus.dll", failGdiplus},
    // Only the accessible objects call it, and only once oleacc (which
    // cannot load without it) handed them to a screen reader.
    {"oleaut32.dll", failWithLastError},
};

FARPROC WINAPI onDelayLoadFailure(unsigned notify, PDelayLoadInfo info) {
  FARPROC fallback = info ? delayLoadFallback(info->szDll) : nullptr;
  if (!fallback) return nullptr;  // not ours: the helper raises its exception
  if (notify == dliFailLoadLib) {
    // A module that exports nothing: every function of the DLL is then
    // looked up there, fails, and comes back here for its stand-in.
    return reinterpret_cast<FARPROC>(GetModuleHandleW(nullptr));
  }
  return notify == dliFailGetProc ? fallback : nullptr;
}

}  // namespace

FARPROC delayLoadFallback(const char* dll) {
  if (!dll) return nullptr;
  for (const Fallback& f : kFallbacks) {
    if (_stricmp(f.dll, dll) == 0) return reinterpret_cast<FARPROC>(f.function);
  }
  return nullptr;
}

// The delay-load helper's failure hook; linked in by name (CMakeLists.txt).
extern "C" {
PfnDliHook __pfnDliFailureHook2 = onDelayLoadFailure;
}
