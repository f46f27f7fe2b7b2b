#include "tests/support/test_support.h"

#include <atomic>

#include "base/paths.h"
#include "storage/files.h"

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  wchar_t base[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, base);
  for (;;) {
    std::wstring candidate = joinPath(base, L"cairn-test-" + std::to_wstring(GetCurrentProcessId()) +
                                                L"-" + std::to_wstring(counter++));
    if (CreateDirectoryW(candidate.c_str(), nullptr)) {
      path_ = candidate;
      return;
    }
  }
}

TempDir::~TempDir() { removeTree(path_); }

std::wstring TempDir::file(const std::wstring& name) const { return joinPath(path_, name); }

ScopedEnv::ScopedEnv(const wchar_t* name, const std::wstring& value) : name_(name) {
  old_ = envVar(name);
  had_ = !old_.empty();
  SetEnvironmentVariableW(name, value.c_str());
}

ScopedEnv::~ScopedEnv() { SetEnvironmentVariableW(name_.c_str(), had_ ? old_.c_str() : nullptr); }

std::wstring binFolder() { return parentPath(exePath()); }

std::wstring cairnstoneExe() { return joinPath(binFolder(), L"Cairnstone.exe"); }

namespace {

std::wstring quoteArg(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  for (wchar_t c : arg) {
    if (c == L'"') out += L'\\';
    out += c;
  }
  return out + L"\"";
}

}  // namespace

Child::~Child() {
  if (process_) CloseHandle(process_);
}

Child::Child(Child&& o) noexcept : process_(o.process_), startError_(o.startError_) {
  o.process_ = nullptr;
}

Child& Child::operator=(Child&& o) noexcept {
  if (this != &o) {
    if (process_) CloseHandle(process_);
    process_ = o.process_;
    startError_ = o.startError_;
    o.process_ = nullptr;
  }
  return *this;
}

long Child::wait(DWORD timeoutMs) {
  if (!process_ || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  return static_cast<long>(code);
}

void Child::kill() {
  if (process_) TerminateProcess(process_, 99);
}

Child Child::start(const std::wstring& exe, const std::vector<std::wstring>& args) {
  std::wstring parameters;
  for (const std::wstring& a : args) parameters += L" " + quoteArg(a);
  return startLine(exe, parameters.empty() ? parameters : parameters.substr(1));
}

Child Child::startLine(const std::wstring& exe, const std::wstring& parameters) {
  std::wstring line = quoteArg(exe);
  if (!parameters.empty()) line += L" " + parameters;
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  Child child;
  if (CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                     &pi)) {
    CloseHandle(pi.hThread);
    child.process_ = pi.hProcess;
  } else {
    child.startError_ = GetLastError();
  }
  return child;
}

long runToEnd(const std::wstring& exe, const std::vector<std::wstring>& args, DWORD timeoutMs) {
  Child child = Child::start(exe, args);
  long code = child.wait(timeoutMs);
  if (code == -1) child.kill();
  return code;
}

std::string readFileText(const std::wstring& path) {
  std::string out;
  if (!readWholeFile(path, out)) return {};
  return out;
}

bool writeFileText(const std::wstring& path, const std::string& text) {
  return writeWholeFile(path, text);
}

ScopedRegistryKey::ScopedRegistryKey(HKEY root, const wchar_t* subKey, REGSAM view)
    : root_(root), subKey_(subKey), view_(view) {
  RegCreateKeyExW(root, subKey, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key_, nullptr);
}

ScopedRegistryKey::~ScopedRegistryKey() {
  if (key_) RegCloseKey(key_);
  RegDeleteKeyExW(root_, subKey_.c_str(), view_, 0);
}

bool ScopedRegistryKey::setBytes(const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
  return key_ && RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(data), bytes) ==
                     ERROR_SUCCESS;
}

bool ScopedRegistryKey::setString(const wchar_t* name, const std::wstring& value, DWORD type) {
  return setBytes(name, type, value.c_str(),
                  static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

bool ScopedRegistryKey::setDword(const wchar_t* name, DWORD value) {
  return setBytes(name, REG_DWORD, &value, sizeof value);
}

SavedRegistryValue::SavedRegistryValue(HKEY root, const wchar_t* subKey, const wchar_t* name)
    : root_(root), subKey_(subKey), name_(name) {
  DWORD bytes = 0;
  if (RegGetValueW(root, subKey, name, RRF_RT_ANY | RRF_NOEXPAND, &type_, nullptr, &bytes) !=
      ERROR_SUCCESS) {
    return;
  }
  data_.resize(bytes);
  existed_ = RegGetValueW(root, subKey, name, RRF_RT_ANY | RRF_NOEXPAND, &type_, data_.data(),
                          &bytes) == ERROR_SUCCESS;
}

SavedRegistryValue::~SavedRegistryValue() {
  HKEY key = nullptr;
  if (RegCreateKeyExW(root_, subKey_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  if (existed_) {
    RegSetValueExW(key, name_.c_str(), 0, type_, data_.data(), static_cast<DWORD>(data_.size()));
  } else {
    RegDeleteValueW(key, name_.c_str());
  }
  RegCloseKey(key);
}

FakeWindow::FakeWindow(const wchar_t* className) : className_(className) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = className_.c_str();
  RegisterClassExW(&wc);
}

FakeWindow::~FakeWindow() {
  destroy();
  UnregisterClassW(className_.c_str(), GetModuleHandleW(nullptr));
}

void FakeWindow::create() {
  destroy();
  window_ = CreateWindowExW(0, className_.c_str(), L"", 0, 0, 0, 0, 0, nullptr, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
}

void FakeWindow::destroy() {
  if (window_) DestroyWindow(window_);
  window_ = nullptr;
}

std::vector<MSG> FakeWindow::posted(UINT first, UINT last) {
  std::vector<MSG> out;
  MSG msg;
  // A quit left over from an earlier test comes through any filter: skip it.
  while (window_ && PeekMessageW(&msg, window_, first, last, PM_REMOVE)) {
    if (msg.hwnd == window_) out.push_back(msg);
  }
  return out;
}

std::vector<std::string> logMessages(const std::string& log) {
  constexpr size_t kStampChars = 21;  // "YYYY-MM-DD hh:mm:ss" and two spaces
  std::vector<std::string> out;
  size_t begin = 0;
  for (size_t end; (end = log.find("\r\n", begin)) != std::string::npos; begin = end + 2) {
    out.push_back(log.substr(begin + kStampChars, end - begin - kStampChars));
  }
  return out;
}

int countOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

int temporaryFiles(const std::wstring& folder) {
  int n = 0;
  for (const FolderEntry& entry : listFolder(folder)) {
    const std::wstring& name = entry.name;
    n += name.size() >= 4 && name.compare(name.size() - 4, 4, L".tmp") == 0 ? 1 : 0;
  }
  return n;
}
