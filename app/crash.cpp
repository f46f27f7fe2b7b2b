#include "app/crash.h"

#include <windows.h>
#include <dbghelp.h>

#include <cstdlib>
#include <cwchar>
#include <string>

#include "base/paths.h"
#include "base/scoped_handle.h"
#include "base/text.h"
#include "base/thread.h"
#include "storage/files.h"
#include "storage/log.h"

namespace {

constexpr wchar_t kCrashFolder[] = L"crash";
// Holds the name of the newest dump until a start has reported it.
constexpr wchar_t kUnreported[] = L"unreported";
constexpr wchar_t kDumpPattern[] = L"*.dmp";
constexpr wchar_t kRestartArguments[] = L"--background";
// "YYYY-MM-DD_hh-mm-ss.dmp"
constexpr size_t kDumpNameChars = 23;
// Paths the handler uses are made at installation; a data folder longer than
// this leaves the program without one.
constexpr size_t kPathChars = 2048;
constexpr size_t kLogLineBytes = 256;
// How long the crashing thread waits for the dump: a writer that hangs does
// not keep the process from ending.
constexpr DWORD kWriterWaitMs = 60000;
// How long installation waits for the writer thread to have started.
constexpr DWORD kWriterStartMs = 5000;
constexpr DWORD kUncaughtCppException = 0xE0637070;  // an uncaught C++ exception ended the program

using WriteDump = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                PMINIDUMP_EXCEPTION_INFORMATION, PMINIDUMP_USER_STREAM_INFORMATION,
                                PMINIDUMP_CALLBACK_INFORMATION);

// Everything the handler touches, in static storage: the heap of a crashed
// process may be what broke.
struct CrashState {
  wchar_t folder[kPathChars];  // <data folder>\crash
  size_t folderChars;
  wchar_t log[kPathChars];
  wchar_t unreported[kPathChars];
  wchar_t dump[kPathChars];  // folder\<name>, made at the crash
  EXCEPTION_POINTERS* exception;
  DWORD threadId;
  SYSTEMTIME at;
  DWORD dumpError;  // 0 when the dump was written
  char line[kLogLineBytes];
  volatile LONG entered;
  volatile LONG noted;
  // Made at installation, so that a crash loads no DLL and starts no thread:
  // both take the loader's lock, which the crashed thread may hold.
  WriteDump writeDump;
  DWORD prepareError;  // why writeDump is missing
  ScopedHandle go;     // the waiting writer thread writes the record when it is set
  ScopedHandle done;   // ... and sets this when it is written
  ScopedHandle started;  // set by the writer thread once it runs
};
CrashState crash;

bool copyPath(wchar_t* to, const std::wstring& from) {
  if (from.size() >= kPathChars) return false;
  wmemcpy(to, from.c_str(), from.size() + 1);
  return true;
}

// Digits into a fixed-width field, most significant first.
template <typename Char>
Char* putDecimal(Char* at, unsigned value, int digits) {
  for (int i = digits - 1; i >= 0; --i, value /= 10) at[i] = static_cast<Char>('0' + value % 10);
  return at + digits;
}

char* putHex(char* at, unsigned long long value, int digits) {
  static const char kHex[] = "0123456789ABCDEF";
  for (int i = digits - 1; i >= 0; --i, value >>= 4) at[i] = kHex[value & 0xF];
  return at + digits;
}

template <typename Char>
Char* putText(Char* at, const char* text) {
  while (*text) *at++ = static_cast<Char>(*text++);
  return at;
}

// "YYYY-MM-DD" and the time of day, with the separators given.
template <typename Char>
Char* putTime(Char* at, const SYSTEMTIME& t, char beforeTime, char inTime) {
  at = putDecimal(at, t.wYear, 4);
  *at++ = '-';
  at = putDecimal(at, t.wMonth, 2);
  *at++ = '-';
  at = putDecimal(at, t.wDay, 2);
  *at++ = static_cast<Char>(beforeTime);
  at = putDecimal(at, t.wHour, 2);
  *at++ = static_cast<Char>(inTime);
  at = putDecimal(at, t.wMinute, 2);
  *at++ = static_cast<Char>(inTime);
  return putDecimal(at, t.wSecond, 2);
}

// "YYYY-MM-DD_hh-mm-ss.dmp": names sort as their times do.
template <typename Char>
Char* putDumpName(Char* at, const SYSTEMTIME& t) {
  return putText(putTime(at, t, '_', '-'), ".dmp");
}

bool isDumpName(const wchar_t* name) {
  static const wchar_t kShape[] = L"0000-00-00_00-00-00.dmp";
  for (size_t i = 0; i < kDumpNameChars; ++i) {
    const bool digit = name[i] >= L'0' && name[i] <= L'9';
    if (kShape[i] == L'0' ? !digit : name[i] != kShape[i]) return false;
  }
  return name[kDumpNameChars] == 0;
}

// The log's own line format, appended past the log's lock: the thread that
// crashed may hold it.
void appendLogLine() {
  char* at = putTime(crash.line, crash.at, ' ', ':');
  const EXCEPTION_RECORD* record = crash.exception ? crash.exception->ExceptionRecord : nullptr;
  at = putText(at, "  crash: exception 0x");
  at = putHex(at, record ? record->ExceptionCode : 0, 8);
  at = putText(at, " at 0x");
  at = putHex(at, reinterpret_cast<ULONG_PTR>(record ? record->ExceptionAddress : nullptr), 16);
  if (crash.dumpError == 0) {
    at = putText(at, "; dump crash\\");
    at = putDumpName(at, crash.at);
  } else {
    at = putText(at, "; no dump (error ");
    at = putDecimal(at, crash.dumpError, 10);
    at = putText(at, ")");
  }
  at = putText(at, "\r\n");
  ScopedHandle file(CreateFileW(crash.log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (file.valid()) WriteFile(file, crash.line, static_cast<DWORD>(at - crash.line), &written, nullptr);
}

// The dump's name, for the next start to report (empty: none was written).
void markUnreported() {
  ScopedHandle file(CreateFileW(crash.unreported, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  char name[kDumpNameChars];
  DWORD written = 0;
  if (file.valid() && crash.dumpError == 0) {
    putDumpName(name, crash.at);
    WriteFile(file, name, static_cast<DWORD>(kDumpNameChars), &written, nullptr);
  }
}

DWORD writeDumpFile() {
  if (!crash.writeDump) return crash.prepareError;
  CreateDirectoryW(crash.folder, nullptr);
  DWORD error = 0;
  {
    ScopedHandle file(CreateFileW(crash.dump, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return GetLastError();
    MINIDUMP_EXCEPTION_INFORMATION where = {crash.threadId, crash.exception, FALSE};
    const auto kind =
        static_cast<MINIDUMP_TYPE>(MiniDumpWithThreadInfo | MiniDumpWithUnloadedModules);
    if (!crash.writeDump(GetCurrentProcess(), GetCurrentProcessId(), file, kind, &where, nullptr,
                         nullptr)) {
      error = GetLastError() ? GetLastError() : ERROR_GEN_FAILURE;
    }
  }
  if (error != 0) DeleteFileW(crash.dump);  // nothing half-written stays
  return error;
}

// MiniDumpWriteDump, from the system folder only: never a dbghelp.dll
// planted beside the program. Loaded for good: a crash may come at any time.
void prepareDumpWriter() {
  if (crash.writeDump) return;  // installed before
  HMODULE dbghelp = LoadLibraryExW(L"dbghelp.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!dbghelp) {
    crash.prepareError = GetLastError();
    return;
  }
  crash.writeDump = reinterpret_cast<WriteDump>(
      reinterpret_cast<void*>(GetProcAddress(dbghelp, "MiniDumpWriteDump")));
  if (!crash.writeDump) crash.prepareError = GetLastError();
}

// The mark for the next start and the log line, by whichever thread comes
// first: the writer when its dump is done, or the crashed thread when the
// writer is not done in time.
void noteCrash(DWORD dumpError) {
  if (InterlockedExchange(&crash.noted, 1) != 0) return;
  crash.dumpError = dumpError;
  markUnreported();
  appendLogLine();
}

void writeCrashRecord() {
  const DWORD error = writeDumpFile();
  if (error == 0) pruneDumps(crash.folder, kKeptDumps);
  noteCrash(error);
}

// The writer thread: made at installation, it waits for a crash with its
// whole stack free (the crashed thread's may be what ran out).
void waitToWriteCrashRecord() {
  SetEvent(crash.started);  // it needs the loader's lock no more
  WaitForSingleObject(crash.go, INFINITE);
  writeCrashRecord();
  SetEvent(crash.done);
}

// Events and the thread that waits on them; without them the crashed
// thread writes the record itself.
void prepareWriterThread() {
  if (crash.go.valid()) return;  // installed before
  crash.go.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  crash.done.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  crash.started.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!crash.go.valid() || !crash.done.valid() || !crash.started.valid() ||
      !startDetached(waitToWriteCrashRecord)) {
    crash.go.reset();
    crash.done.reset();
    return;
  }
  // A thread's start takes the loader's lock too: it is over before a
  // crash can need the writer.
  WaitForSingleObject(crash.started, kWriterStartMs);
}

// The dump and the log line of a crash, once per process.
void recordCrash(EXCEPTION_POINTERS* info) {
  if (InterlockedExchange(&crash.entered, 1) != 0) {
    // Another thread crashed first and is writing the dump; the process
    // ends when it is done.
    Sleep(INFINITE);
  }
  crash.exception = info;
  crash.threadId = GetCurrentThreadId();
  GetLocalTime(&crash.at);
  wchar_t* name = crash.dump + crash.folderChars;
  *name++ = L'\\';
  *putDumpName(name, crash.at) = 0;
  if (crash.go.valid()) {
    SetEvent(crash.go);
    // A writer stuck on a lock the crashed thread holds never ends.
    if (WaitForSingleObject(crash.done, kWriterWaitMs) != WAIT_OBJECT_0) noteCrash(WAIT_TIMEOUT);
  } else {
    writeCrashRecord();
  }
}

LONG WINAPI onUnhandledException(EXCEPTION_POINTERS* info) {
  recordCrash(info);
  // Windows' own handling goes on: it ends the process and, for a
  // registered program, starts it again.
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void endWithCrash() {
  // Not raised as an exception: a catch (...) further up would take it and
  // run on after the end. The dump is written here, and the fail-fast end
  // goes past every handler to Windows' error reporting.
  EXCEPTION_RECORD record = {};
  record.ExceptionCode = kUncaughtCppException;
  record.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
  CONTEXT context = {};
  RtlCaptureContext(&context);
  record.ExceptionAddress = reinterpret_cast<void*>(context.Rip);
  EXCEPTION_POINTERS pointers = {&record, &context};
  if (crash.folderChars != 0) recordCrash(&pointers);
  RaiseFailFastException(&record, &context, 0);
  std::abort();  // not reached
}

void installCrashHandler() {
  const std::wstring folder = joinPath(dataDir(), kCrashFolder);
  // The dump's name goes after the folder's.
  if (folder.size() + 1 + kDumpNameChars >= kPathChars) return;
  if (!copyPath(crash.folder, folder) || !copyPath(crash.dump, folder) ||
      !copyPath(crash.log, logPath()) ||
      !copyPath(crash.unreported, joinPath(folder, kUnreported))) {
    return;
  }
  crash.folderChars = folder.size();
  prepareDumpWriter();
  prepareWriterThread();
  SetUnhandledExceptionFilter(onUnhandledException);
}

void reportPreviousCrash() {
  const std::wstring folder = joinPath(dataDir(), kCrashFolder);
  const std::wstring marker = joinPath(folder, kUnreported);
  std::string name;
  if (!readWholeFile(marker, name)) return;
  const std::wstring dump = joinPath(folder, toWide(trimText(name)));
  if (!isDumpName(fileName(dump).c_str()) || !fileExists(dump)) {
    logLine("the previous run ended in a crash; no dump of it was written");
  } else {
    logLineW(L"the previous run ended in a crash; its dump: " + dump);
  }
  DeleteFileW(marker.c_str());
}

void pruneDumps(const wchar_t* folder, int keep) {
  wchar_t path[kPathChars];
  const size_t folderChars = wcslen(folder);
  if (folderChars + kDumpNameChars + 2 > kPathChars) return;
  wmemcpy(path, folder, folderChars);
  path[folderChars] = L'\\';
  wchar_t* name = path + folderChars + 1;
  for (;;) {
    wcscpy(name, kDumpPattern);
    WIN32_FIND_DATAW found;
    ScopedFind search(FindFirstFileW(path, &found));
    if (!search.valid()) return;
    int count = 0;
    wchar_t oldest[kDumpNameChars + 1] = {};
    do {
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !isDumpName(found.cFileName)) {
        continue;
      }
      if (count++ == 0 || wcscmp(found.cFileName, oldest) < 0) wcscpy(oldest, found.cFileName);
    } while (FindNextFileW(search, &found));
    if (count <= keep) return;
    wcscpy(name, oldest);
    if (!DeleteFileW(path)) return;
  }
}

void registerRestart() { RegisterApplicationRestart(kRestartArguments, 0); }

void withdrawRestart() { UnregisterApplicationRestart(); }
