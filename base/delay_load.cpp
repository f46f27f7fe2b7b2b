#include "base/delay_load.h"

#include <delayimp.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

extern "C" IMAGE_DOS_HEADER __ImageBase;  // this program's image, where the delay tables live

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
    {"dwmapi.dll", failHresult},
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
    return reinterpret_cast<FARPROC>(&__ImageBase);
  }
  return notify == dliFailGetProc ? fallback : nullptr;
}

// A DLL's delay-load table and its import slots as they were before the DLL
// was first loaded, each pointing at the stub that loads it.
struct Unbound {
  PCImgDelayDescr table = nullptr;
  std::vector<FARPROC> slots;
};

std::mutex& unboundLock() {
  static std::mutex lock;
  return lock;
}

std::vector<Unbound>& unboundTables() {
  static std::vector<Unbound> tables;
  return tables;
}

template <typename T>
T* inImage(RVA rva) {
  return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(&__ImageBase) + rva);
}

// Import slots run up to a null entry.
FARPROC* slotsOf(PCImgDelayDescr table) { return inImage<FARPROC>(table->rvaIAT); }
size_t slotCount(PCImgDelayDescr table) {
  size_t count = 0;
  while (slotsOf(table)[count]) ++count;
  return count;
}

// The first load of a DLL meets its slots still unbound: kept, so that
// unloading can put them back. A slot is bound only after this point, and
// only by a thread that passed it, so the first copy is always clean.
void keepUnboundSlots(PCImgDelayDescr table) {
  std::lock_guard<std::mutex> guard(unboundLock());
  auto& tables = unboundTables();
  if (std::any_of(tables.begin(), tables.end(), [&](const Unbound& u) { return u.table == table; })) {
    return;
  }
  FARPROC* slots = slotsOf(table);
  tables.push_back({table, std::vector<FARPROC>(slots, slots + slotCount(table))});
}

FARPROC WINAPI onDelayLoadNotice(unsigned notify, PDelayLoadInfo info) {
  if (notify == dliNotePreLoadLibrary && info && info->pidd) keepUnboundSlots(info->pidd);
  return nullptr;  // the helper goes on as usual
}

}  // namespace

bool unloadDelayLoaded(const char* dll) {
  if (!dll) return false;
  std::lock_guard<std::mutex> guard(unboundLock());
  for (const Unbound& u : unboundTables()) {
    if (_stricmp(inImage<const char>(u.table->rvaDLLName), dll) != 0) continue;
    auto* loadedModule = inImage<HMODULE>(u.table->rvaHmod);
    HMODULE module = *loadedModule;
    if (!module) return false;
    std::copy(u.slots.begin(), u.slots.end(), slotsOf(u.table));
    *loadedModule = nullptr;
    // A DLL that failed to load left this program in its place (the failure
    // hook): its stand-ins are gone now, and nothing is to be freed.
    if (module != reinterpret_cast<HMODULE>(&__ImageBase)) FreeLibrary(module);
    return true;
  }
  return false;
}

FARPROC delayLoadFallback(const char* dll) {
  if (!dll) return nullptr;
  for (const Fallback& f : kFallbacks) {
    if (_stricmp(f.dll, dll) == 0) return reinterpret_cast<FARPROC>(f.function);
  }
  return nullptr;
}

// The delay-load helper's hooks; linked in by name (CMakeLists.txt).
extern "C" {
PfnDliHook __pfnDliFailureHook2 = onDelayLoadFailure;
PfnDliHook __pfnDliNotifyHook2 = onDelayLoadNotice;
}
