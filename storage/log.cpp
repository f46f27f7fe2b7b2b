#include "storage/log.h"

#include <windows.h>

#include <cstdio>
#include <mutex>

#include "base/paths.h"
#include "base/scoped_handle.h"
#include "base/text.h"
#include "storage/files.h"

namespace {

std::mutex& logLock() {
  static std::mutex lock;
  return lock;
}

// Lines that could not be written since the last one that was (a full disk,
// a log held by another program); under the log lock.
unsigned long lostLines = 0;
// The last write stopped inside its line: the next one starts a line anew.
bool brokenLine = false;

// One WriteFile of the whole text; true only when all of it landed.
bool appendText(HANDLE file, const std::string& text) {
  DWORD written = 0;
  const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  if (written > 0) brokenLine = written < text.size();
  return ok && written == text.size();
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
  if (!h.valid()) {
    ++lostLines;
    return;
  }
  const std::string stamp = nowStamp() + "  ";
  std::string text = brokenLine ? "\r\n" : "";
  if (lostLines > 0) {
    // One write with the line itself: the count is told once, where it fits.
    text += stamp + sformat("%lu log line(s) could not be written before this one", lostLines) +
            "\r\n";
  }
  text += stamp + message + "\r\n";
  lostLines = appendText(h, text) ? 0 : lostLines + 1;
}

void logLineW(const std::wstring& message) { logLine(toUtf8(message)); }
