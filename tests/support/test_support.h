// Helpers for tests that touch the file system or start the real program.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A fresh folder under the temp folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::wstring& path() const { return path_; }
  std::wstring file(const std::wstring& name) const;

 private:
  std::wstring path_;
};

// Sets an environment variable for this process (and its children) for the
// scope's life, restoring the old value after.
class ScopedEnv {
 public:
  ScopedEnv(const wchar_t* name, const std::wstring& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::wstring name_;
  std::wstring old_;
  bool had_ = false;
};

// The folder that holds the running test program (and Cairnstone.exe).
std::wstring binFolder();
std::wstring cairnstoneExe();

// A started child process.
class Child {
 public:
  Child() = default;
  ~Child();
  Child(Child&& o) noexcept;
  Child& operator=(Child&& o) noexcept;
  bool started() const { return process_ != nullptr; }
  // Why CreateProcess failed, when it did.
  DWORD startError() const { return startError_; }
  // Waits up to timeoutMs; returns the exit code, or -1 on time-out.
  long wait(DWORD timeoutMs);
  void kill();
  HANDLE handle() const { return process_; }

  static Child start(const std::wstring& exe, const std::vector<std::wstring>& args);
  // With the parameters exactly as given, as ShellExecute passes them.
  static Child startLine(const std::wstring& exe, const std::wstring& parameters);

 private:
  HANDLE process_ = nullptr;
  DWORD startError_ = 0;
};

// Runs the program to its end (at most timeoutMs); -1 on time-out, and also
// when it could not be started (Child tells the two apart).
long runToEnd(const std::wstring& exe, const std::vector<std::wstring>& args,
              DWORD timeoutMs = 30000);

std::string readFileText(const std::wstring& path);

// The messages of a log text, in order, without their time stamps.
std::vector<std::string> logMessages(const std::string& log);
bool writeFileText(const std::wstring& path, const std::string& text);
// The files in folder whose names end in ".tmp": what a write left behind.
int temporaryFiles(const std::wstring& folder);
// How often `what` occurs in text (overlapping occurrences count).
int countOf(const std::string& text, const std::string& what);

// Polls cond every 20 ms until it holds or timeoutMs passes.
template <typename Cond>
bool waitFor(Cond cond, DWORD timeoutMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  while (!cond()) {
    if (GetTickCount64() > end) return false;
    Sleep(20);
  }
  return true;
}

// A registry key the test fills and that is deleted (with its values) at the
// end, e.g. the installer's HKLM\SOFTWARE\Cairn in a chosen registry view.
class ScopedRegistryKey {
 public:
  ScopedRegistryKey(HKEY root, const wchar_t* subKey, REGSAM view = KEY_WOW64_64KEY);
  ~ScopedRegistryKey();
  ScopedRegistryKey(const ScopedRegistryKey&) = delete;
  ScopedRegistryKey& operator=(const ScopedRegistryKey&) = delete;
  bool setString(const wchar_t* name, const std::wstring& value, DWORD type = REG_SZ);
  // Raw bytes, for values with trailing NULs or odd types.
  bool setBytes(const wchar_t* name, DWORD type, const void* data, DWORD bytes);
  bool setDword(const wchar_t* name, DWORD value);

 private:
  HKEY root_;
  std::wstring subKey_;
  REGSAM view_;
  HKEY key_ = nullptr;
};

// Keeps a registry value as it was before the test and puts it back after.
class SavedRegistryValue {
 public:
  SavedRegistryValue(HKEY root, const wchar_t* subKey, const wchar_t* name);
  ~SavedRegistryValue();
  SavedRegistryValue(const SavedRegistryValue&) = delete;
  SavedRegistryValue& operator=(const SavedRegistryValue&) = delete;

 private:
  HKEY root_;
  std::wstring subKey_, name_;
  bool existed_ = false;
  DWORD type_ = 0;
  std::vector<unsigned char> data_;
};

// A hidden top-level window of a given class, owned by the test thread, that
// stands in for another program's window and collects what is posted to it.
class FakeWindow {
 public:
  explicit FakeWindow(const wchar_t* className);
  ~FakeWindow();
  FakeWindow(const FakeWindow&) = delete;
  FakeWindow& operator=(const FakeWindow&) = delete;
  void create();
  void destroy();
  HWND get() const { return window_; }
  // The waiting messages in [first, last], in order, taken off the queue.
  std::vector<MSG> posted(UINT first, UINT last);

 private:
  std::wstring className_;
  HWND window_ = nullptr;
};
