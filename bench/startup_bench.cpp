// Start-up time: from process creation until the instance's window can be
// found (what `Cairnstone.exe --running` looks for), for Cairnstone.exe
// --background against a minimal hidden-window program, in the same run.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/messages.h"
#include "storage/files.h"

namespace {

constexpr int kDefaultRuns = 15;
constexpr DWORD kGiveUpMs = 30000;

double nowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// One start; returns the milliseconds until the window appeared, or -1.
double timeOneStart(const std::wstring& exe, const std::wstring& args) {
  std::wstring line = L"\"" + exe + L"\" " + args;
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  const double begin = nowMs();
  if (!CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi)) {
    return -1;
  }
  double elapsed = -1;
  HWND window = nullptr;
  while (nowMs() - begin < kGiveUpMs) {
    window = FindWindowW(kTrayWindowClass, nullptr);
    if (window) {
      elapsed = nowMs() - begin;
      break;
    }
    Sleep(1);
  }
  if (window) PostMessageW(window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(pi.hProcess, kGiveUpMs) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return elapsed;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
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
  const double mc = median(cairnTimes), mm = median(minimalTimes);
  printf("start until found, median of %d runs: Cairnstone.exe --background %.1f ms, "
         "minimal window %.1f ms, ratio %.2f\n",
         runs, mc, mm, mm > 0 ? mc / mm : 0.0);
  return 0;
}
