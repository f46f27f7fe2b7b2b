#include "storage/log.h"

#include <windows.h>

#include <cstdio>
#include <mutex>

#include "storage/files.h"
#include "storage/scoped_win.h"

namespace {

std::mutex& logLock() {
  static std::mutex lock;
  return lock;
}

void rotateIfLarge(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA info;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &info)) return;
  unsigned long long size =
      (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  if (size <= kLogRotateBytes) return;
  const std::wstring previous = path + L".1";
  DeleteFileW(previous.c_str());
  MoveFileW(path.c_str(), previous.c_str());
}

}  // namespace

std::wstring logPath() { return joinPath(dataDir(), L"cairn.log"); }

std::string nowStamp() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  char buf[64];
  snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour,
           t.wMinute, t.wSecond);
  return buf;
}

void logLine(const std::string& message) {
  std::lock_guard<std::mutex> hold(logLock());
  const std::wstring path = logPath();
  rotateIfLarge(path);
  // Append-data access makes every write land at the current end of file,
  // even when another process appends too.
  ScopedHandle h(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.valid()) return;
  const std::string line = nowStamp() + "  " + message + "\r\n";
  DWORD written = 0;
  WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void logLineW(const std::wstring& message) { logLine(toUtf8(message)); }
