// Start-up and idle benchmarks against minimal Win32 programs, interleaved in
// one run so that a slower moment of the machine hits both alike:
//  - from process creation until the instance's window can be found (what
//    `Cairnstone.exe --running` looks for), for --background, against a
//    hidden-window program; then the memory of both, idle;
//  - from process creation until the main window has finished painting, for
//    --open, against one empty window;
//  - a click on the icon until the main window has finished painting, with
//    the program running, the first click and a later one; and a first click
//    as a person makes it, the press 100 ms before the release, timed from
//    the release;
//  - the memory after the main window and the wizard were opened and closed
//    and half a minute passed (the first update check included), against the
//    one-window program after it opened and closed its window.
// Memory: the working set from GetProcessMemoryInfo, and private memory from
// the Linux side (RssAnon of the Wine process in /proc/PID/status), because
// Wine 8 reports 0 for PrivateUsage.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/messages.h"
#include "base/paths.h"
#include "base/scoped_handle.h"
#include "base/text.h"
#include "bench/bench_timing.h"
#include "ui/mainwnd.h"
#include "ui/setup.h"

namespace {

constexpr int kDefaultRuns = 11;
constexpr DWORD kGiveUpMs = 30000;
// Each instance lives a little before it is closed, so that one start does
// not overlap the shut-down of the one before.
constexpr DWORD kBeforeCloseMs = 300;
constexpr DWORD kIdleSettleMs = 2000;
constexpr DWORD kAfterWindowsMs = 30000;
constexpr DWORD kPressToReleaseMs = 100;  // a quick click of a person

// The shell may still be removing the last program's notification-area icon
// (under Wine that takes seconds); the next start must not pay for it.
void settleShell() {
  if (HWND shell = FindWindowW(L"Shell_TrayWnd", nullptr)) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(shell, WM_NULL, 0, 0, SMTO_NORMAL, kGiveUpMs, &ignored);
  }
}

struct Program {
  std::wstring exe;
  PROCESS_INFORMATION pi = {};
  double begin = 0;
  bool ok = false;
};

Program startProgram(const std::wstring& exe, const std::wstring& args) {
  Program p;
  p.exe = exe;
  std::wstring line = L"\"" + exe + L"\" " + args;
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  p.begin = nowMs();
  p.ok = CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &p.pi) != FALSE;
  return p;
}

// A top-level window of the class that belongs to the program (the other
// program of a pair may have one of the same class).
HWND windowOf(const Program& p, const wchar_t* className) {
  for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, className, nullptr)) != nullptr;) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == p.pi.dwProcessId) return w;
  }
  return nullptr;
}

HWND waitForWindow(const Program& p, const wchar_t* className) {
  while (p.ok && nowMs() - p.begin < kGiveUpMs) {
    if (HWND w = windowOf(p, className)) return w;
    Sleep(1);
  }
  return nullptr;
}

// Milliseconds from `since` until the program's shown window of the class
// has finished painting, or -1. The update region empties when painting
// starts; a message sent afterwards is answered only once the paint is over.
double waitForPainted(const Program& p, const wchar_t* className, double since) {
  while (nowMs() - since < kGiveUpMs) {
    HWND w = windowOf(p, className);
    if (w && IsWindowVisible(w) && !GetUpdateRect(w, nullptr, FALSE)) {
      DWORD_PTR ignored = 0;
      if (SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_NORMAL, kGiveUpMs, &ignored) &&
          !GetUpdateRect(w, nullptr, FALSE)) {
        return nowMs() - since;
      }
    }
    Sleep(1);
  }
  return -1;
}

bool closeAndWait(const Program& p, const wchar_t* className) {
  if (HWND w = windowOf(p, className)) PostMessageW(w, WM_CLOSE, 0, 0);
  const double since = nowMs();
  while (windowOf(p, className)) {
    if (nowMs() - since > kGiveUpMs) return false;
    Sleep(5);
  }
  return true;
}

// Ends the program through its instance window and lets go of it.
void endProgram(Program& p) {
  if (!p.ok) return;
  Sleep(kBeforeCloseMs);
  if (HWND tray = windowOf(p, kTrayWindowClass)) PostMessageW(tray, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(p.pi.hProcess, kGiveUpMs) != WAIT_OBJECT_0) {
    TerminateProcess(p.pi.hProcess, 1);
  }
  CloseHandle(p.pi.hThread);
  CloseHandle(p.pi.hProcess);
  p.ok = false;
  settleShell();
}

// /proc files report no size: read until the end.
std::string readProcFile(const std::wstring& path) {
  ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
  std::string text;
  if (!file.valid()) return text;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) text.append(buffer, read);
  return text;
}

// RssAnon in KiB of the Linux process whose command line starts with the
// program's path (Wine puts the Windows command line there), or -1.
double privateKiB(const Program& p) {
  const std::string exe = toUtf8(p.exe);
  WIN32_FIND_DATAW entry;
  ScopedFind find(FindFirstFileW(L"Z:\\proc\\*", &entry));
  if (!find.valid()) return -1;
  do {
    const std::wstring pid = entry.cFileName;
    if (pid.find_first_not_of(L"0123456789") != std::wstring::npos) continue;
    const std::string line = readProcFile(L"Z:\\proc\\" + pid + L"\\cmdline");
    const std::string first = line.substr(0, line.find('\0'));
    if (first.size() != exe.size() || _stricmp(first.c_str(), exe.c_str()) != 0) continue;
    const std::string status = readProcFile(L"Z:\\proc\\" + pid + L"\\status");
    const size_t at = status.find("RssAnon:");
    if (at != std::string::npos) return atof(status.c_str() + at + 8);
  } while (FindNextFileW(find, &entry));
  return -1;
}

struct Memory {
  double workingSetKiB = -1;
  double privateKiB = -1;
  bool ok() const { return workingSetKiB > 0 && privateKiB > 0; }
};

Memory memoryOf(const Program& p) {
  Memory m;
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  if (GetProcessMemoryInfo(p.pi.hProcess, &counters, sizeof counters)) {
    m.workingSetKiB = static_cast<double>(counters.WorkingSetSize) / 1024.0;
  }
  m.privateKiB = privateKiB(p);
  return m;
}

// One start: the milliseconds until its window can be found, and its memory
// once it has settled.
struct IdleStart {
  double foundMs = -1;
  Memory memory;
};

IdleStart startIdle(const std::wstring& exe, const std::wstring& args) {
  Program p = startProgram(exe, args);
  IdleStart r;
  if (waitForWindow(p, kTrayWindowClass)) r.foundMs = nowMs() - p.begin;
  Sleep(kIdleSettleMs);
  if (r.foundMs >= 0) r.memory = memoryOf(p);
  endProgram(p);
  return r;
}

double startOpen(const std::wstring& exe) {
  Program p = startProgram(exe, L"--open");
  const double ms = p.ok ? waitForPainted(p, ui::mainwnd::kWindowClass, p.begin) : -1;
  endProgram(p);
  return ms;
}

// A left click on the notification-area icon, as the shell reports it: the
// release alone, or the press `pressedMs` before it.
double clickToWindow(const Program& p, HWND tray, DWORD pressedMs = 0) {
  if (pressedMs > 0) {
    PostMessageW(tray, WM_APP_TRAY, 0, MAKELPARAM(WM_LBUTTONDOWN, 0));
    Sleep(pressedMs);
  }
  const double since = nowMs();
  PostMessageW(tray, WM_APP_TRAY, 0, MAKELPARAM(WM_LBUTTONUP, 0));
  const double ms = waitForPainted(p, ui::mainwnd::kWindowClass, since);
  Sleep(kBeforeCloseMs);
  return ms >= 0 && closeAndWait(p, ui::mainwnd::kWindowClass) ? ms : -1;
}

struct WindowsRun {
  double firstClickMs = -1;
  double laterClickMs = -1;
  bool ok = false;
};

// Running in the background: a click, for Cairnstone also the wizard, then
// another click; each window closed again.
WindowsRun useWindows(const Program& p, bool wizard) {
  WindowsRun r;
  HWND tray = waitForWindow(p, kTrayWindowClass);
  if (!tray) return r;
  Sleep(kIdleSettleMs);
  r.firstClickMs = clickToWindow(p, tray);
  if (wizard) {
    PostMessageW(tray, WM_APP_SETUP, 0, 0);
    if (waitForPainted(p, ui::setup::kWindowClass, nowMs()) < 0) return r;
    Sleep(kBeforeCloseMs);
    if (!closeAndWait(p, ui::setup::kWindowClass)) return r;
  }
  r.laterClickMs = clickToWindow(p, tray);
  r.ok = r.firstClickMs >= 0 && r.laterClickMs >= 0;
  return r;
}

// Running in the background, a first click with its press.
double pressedFirstClick(const std::wstring& exe, const std::wstring& args) {
  Program p = startProgram(exe, args);
  HWND tray = waitForWindow(p, kTrayWindowClass);
  double ms = -1;
  if (tray) {
    Sleep(kIdleSettleMs);
    ms = clickToWindow(p, tray, kPressToReleaseMs);
  }
  endProgram(p);
  return ms;
}

struct Series {
  std::vector<double> ours, baseline;
  void add(double o, double b) {
    ours.push_back(o);
    baseline.push_back(b);
  }
  double ratio() const {
    const double b = median(baseline);
    return b > 0 ? median(ours) / b : 0.0;
  }
};

void report(const char* what, const Series& s, const char* unit) {
  printf("  %-58s %9.1f %s  %9.1f %s\n", what, median(s.ours), unit, median(s.baseline), unit);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : kDefaultRuns;
  const std::wstring folder = parentPath(exePath());
  const std::wstring cairn = joinPath(folder, L"Cairnstone.exe");
  const std::wstring minimal = joinPath(folder, L"minimal_window.exe");
  Series found, idleWs, idlePrivate, open, firstClick, laterClick, pressedClick;
  Series afterWs, afterPrivate;
  // The first programs of a Wine server start its services: not measured.
  startIdle(minimal, L"");
  startIdle(cairn, L"--background");
  for (int i = 0; i < runs; ++i) {
    const IdleStart m = startIdle(minimal, L"");
    const IdleStart c = startIdle(cairn, L"--background");
    const double mo = startOpen(minimal), co = startOpen(cairn);
    Program mp = startProgram(minimal, L"");
    const WindowsRun mw = useWindows(mp, false);
    Program cp = startProgram(cairn, L"--background");
    const WindowsRun cw = useWindows(cp, true);
    Sleep(kAfterWindowsMs);
    const Memory ma = memoryOf(mp), ca = memoryOf(cp);
    endProgram(mp);
    endProgram(cp);
    const double mPressed = pressedFirstClick(minimal, L"");
    const double cPressed = pressedFirstClick(cairn, L"--background");
    if (mPressed < 0 || cPressed < 0 || m.foundMs < 0 || c.foundMs < 0 || !m.memory.ok() ||
        !c.memory.ok() || mo < 0 || co < 0 || !mw.ok || !cw.ok || !ma.ok() || !ca.ok()) {
      fprintf(stderr, "startup bench: run %d: a window did not show, or memory was not read\n", i);
      return 1;
    }
    found.add(c.foundMs, m.foundMs);
    idleWs.add(c.memory.workingSetKiB, m.memory.workingSetKiB);
    idlePrivate.add(c.memory.privateKiB, m.memory.privateKiB);
    open.add(co, mo);
    firstClick.add(cw.firstClickMs, mw.firstClickMs);
    laterClick.add(cw.laterClickMs, mw.laterClickMs);
    pressedClick.add(cPressed, mPressed);
    afterWs.add(ca.workingSetKiB, ma.workingSetKiB);
    afterPrivate.add(ca.privateKiB, ma.privateKiB);
  }
  printf("Medians of %d runs; Cairnstone, then the baseline: a minimal hidden-window program\n"
         "(after --background), one empty window (--open, clicks), the one-window program\n"
         "after it opened and closed its window (after windows).\n"
         "Private memory is RssAnon of the Wine process (/proc/PID/status, found by its\n"
         "command line): Wine 8 reports 0 for PrivateUsage.\n",
         runs);
  report("--background until its window can be found", found, "ms ");
  report("idle after --background: working set", idleWs, "KiB");
  report("idle after --background: private memory", idlePrivate, "KiB");
  report("--open until the main window has finished painting", open, "ms ");
  report("click on the icon until the window has finished painting", firstClick, "ms ");
  report("a later click, after the wizard, until painted", laterClick, "ms ");
  report("a first click pressed 100 ms before its release, from it", pressedClick, "ms ");
  report("after windows and 30 s: working set", afterWs, "KiB");
  report("after windows and 30 s: private memory", afterPrivate, "KiB");
  printf("Ratios: start %.2f; idle %.2f / %.2f; --open %.2f; click %.2f, later %.2f, pressed %.2f;"
         " after windows %.2f / %.2f\n",
         found.ratio(), idleWs.ratio(), idlePrivate.ratio(), open.ratio(), firstClick.ratio(),
         laterClick.ratio(), pressedClick.ratio(), afterWs.ratio(), afterPrivate.ratio());
  return 0;
}
