#pragma once
#include <windows.h>
#include <cstdio>
inline void profMark(const char* what) {
  FILETIME c, e, k, u, now;
  GetProcessTimes(GetCurrentProcess(), &c, &e, &k, &u);
  GetSystemTimePreciseAsFileTime(&now);
  ULARGE_INTEGER a, b; a.LowPart = c.dwLowDateTime; a.HighPart = c.dwHighDateTime;
  b.LowPart = now.dwLowDateTime; b.HighPart = now.dwHighDateTime;
  fprintf(stderr, "PROF %-28s %8.2f ms (tid %lu)\n", what, (double)(b.QuadPart - a.QuadPart) / 10000.0, GetCurrentThreadId());
  fflush(stderr);
}
