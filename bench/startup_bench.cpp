// Start-up benchmarks against a minimal Win32 program, in the same run:
//  - from process creation until the instance's window can be found (what
//    `Cairnstone.exe --running` looks for), for --background;
//  - from process creation until the main window is shown and painted (its
//    update region empty), for --open, against one empty window;
//  - the peak working set of a running instance after the main window and
//    the wizard were each opened and closed once, against the empty window.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/messages.h"
#include "bench/bench_timing.h"
#include "gui/theme.h"
#include "storage/files.h"

namespace {

constexpr int kDefaultRuns = 15;
constexpr DWORD kGiveUpMs = 30000;

// The shell may still be removing the last program's notification-area icon
// (under Wine that takes seconds); the next start must not pay for it.
void settleShell() {
  if (HWND shell = FindWindowW(L"Shell_TrayWnd", nullptr)) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(shell, WM_NULL, 0, 0, SMTO_NORMAL, kGiveUpMs, &ignored);
  }
}

struct Started {
  PROCESS_INFORMATION pi = {};
  double begin = 0;
  bool ok = false;
};

Started startProgram(const std::wstring& exe, const std::wstring& args) {
  Started s;
  std::wstring line = L"\"" + exe + L"\" " + args;
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  s.begin = nowMs();
  s.ok = CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &s.pi) != FALSE;
  return s;
}

// Ends the program through its instance window and lets go of it.
void endProgram(Started& s) {
  if (!s.ok) return;
  if (HWND tray = FindWindowW(kTrayWindowClass, nullptr)) PostMessageW(tray, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(s.pi.hProcess, kGiveUpMs) != WAIT_OBJECT_0) {
    TerminateProcess(s.pi.hProcess, 1);
  }
  CloseHandle(s.pi.hThread);
  CloseHandle(s.pi.hProcess);
  settleShell();
}

// One start; returns the milliseconds until the window appeared, or -1.
double timeOneStart(const std::wstring& exe, const std::wstring& args) {
  Started s = startProgram(exe, args);
  double elapsed = -1;
  while (s.ok && nowMs() - s.begin < kGiveUpMs) {
    if (FindWindowW(kTrayWindowClass, nullptr)) {
      elapsed = nowMs() - s.begin;
      break;
    }
    Sleep(1);
  }
  endProgram(s);
  return elapsed;
}

// A shown window of the class whose paint has run: nothing left to update.
HWND paintedWindow(const wchar_t* className) {
  HWND w = FindWindowW(className, nullptr);
  return w && IsWindowVisible(w) && !GetUpdateRect(w, nullptr, FALSE) ? w : nullptr;
}

HWND waitForPainted(const wchar_t* className, double since, double* elapsed) {
  while (nowMs() - since < kGiveUpMs) {
    if (HWND w = paintedWindow(className)) {
      if (elapsed) *elapsed = nowMs() - since;
      return w;
    }
    Sleep(1);
  }
  return nullptr;
}

bool waitForGone(const wchar_t* className) {
  const double since = nowMs();
  while (FindWindowW(className, nullptr)) {
    if (nowMs() - since > kGiveUpMs) return false;
    Sleep(5);
  }
  return true;
}

// Milliseconds until the main window is painted, or -1.
double timeOneOpen(const std::wstring& exe, const std::wstring& args) {
  Started s = startProgram(exe, args);
  double elapsed = -1;
  if (s.ok) waitForPainted(gui::kMainWindowClass, s.begin, &elapsed);
  endProgram(s);
  return elapsed;
}

// Opens and closes one window of the running instance through its messages.
bool openAndClose(HWND tray, UINT message, WPARAM wParam, const wchar_t* className) {
  PostMessageW(tray, message, wParam, 0);
  HWND w = waitForPainted(className, nowMs(), nullptr);
  if (!w) return false;
  PostMessageW(w, WM_CLOSE, 0, 0);
  return waitForGone(className);
}

// Peak working set in KiB after the windows were shown, or -1.
double peakAfterWindows(const std::wstring& exe, bool cairnstone) {
  Started s = startProgram(exe, cairnstone ? L"--background" : L"--open");
  bool shown = s.ok;
  if (shown && cairnstone) {
    HWND tray = nullptr;
    while (!(tray = FindWindowW(kTrayWindowClass, nullptr)) && nowMs() - s.begin < kGiveUpMs) {
      Sleep(5);
    }
    shown = tray && openAndClose(tray, WM_APP_OPEN, 1, gui::kMainWindowClass) &&
            openAndClose(tray, WM_APP_SETUP, 0, gui::kSetupWindowClass);
  } else if (shown) {
    shown = waitForPainted(gui::kMainWindowClass, s.begin, nullptr) != nullptr;
  }
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  const bool read = shown && GetProcessMemoryInfo(s.pi.hProcess, &counters, sizeof counters);
  endProgram(s);
  return read ? static_cast<double>(counters.PeakWorkingSetSize) / 1024.0 : -1;
}

void report(const char* what, const char* ours, const char* baseline, const char* unit, int runs,
            const std::vector<double>& cairn, const std::vector<double>& minimal) {
  const double mc = median(cairn), mm = median(minimal);
  printf("%s, median of %d runs: %s %.1f %s, %s %.1f %s, ratio %.2f\n", what, runs, ours, mc,
         unit, baseline, mm, unit, mm > 0 ? mc / mm : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : kDefaultRuns;
  const std::wstring folder = parentPath(exePath());
  const std::wstring cairn = joinPath(folder, L"Cairnstone.exe");
  const std::wstring minimal = joinPath(folder, L"minimal_window.exe");
  std::vector<double> cairnTimes, minimalTimes;
  // Interleaved, so that a slower moment of the machine hits both alike.
  for (int i = 0; i < runs; ++i) {
    const double m = timeOneStart(minimal, L"");
    const double c = timeOneStart(cairn, L"--background");
    if (m < 0 || c < 0) {
      fprintf(stderr, "startup bench: a start did not show its window\n");
      return 1;
    }
    minimalTimes.push_back(m);
    cairnTimes.push_back(c);
  }
  report("start until found", "Cairnstone.exe --background", "minimal window", "ms", runs,
         cairnTimes, minimalTimes);

  std::vector<double> cairnOpen, minimalOpen, cairnPeak, minimalPeak;
  for (int i = 0; i < runs; ++i) {
    const double m = timeOneOpen(minimal, L"--open");
    const double c = timeOneOpen(cairn, L"--open");
    const double mp = peakAfterWindows(minimal, false);
    const double cp = peakAfterWindows(cairn, true);
    if (m < 0 || c < 0 || mp < 0 || cp < 0) {
      fprintf(stderr, "startup bench: a window was not painted, or its memory not read\n");
      return 1;
    }
    minimalOpen.push_back(m);
    cairnOpen.push_back(c);
    minimalPeak.push_back(mp);
    cairnPeak.push_back(cp);
  }
  report("start until the main window is painted", "Cairnstone.exe --open",
         "one empty window", "ms", runs, cairnOpen, minimalOpen);
  report("peak working set", "after opening and closing the main window and the wizard",
         "one empty window", "KiB", runs, cairnPeak, minimalPeak);
  return 0;
}
