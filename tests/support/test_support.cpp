#include "tests/support/test_support.h"

#include <atomic>

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

Child::Child(Child&& o) noexcept : process_(o.process_) { o.process_ = nullptr; }

Child& Child::operator=(Child&& o) noexcept {
  if (this != &o) {
    if (process_) CloseHandle(process_);
    process_ = o.process_;
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
  std::wstring line = quoteArg(exe);
  for (const std::wstring& a : args) line += L" " + quoteArg(a);
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  Child child;
  if (CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                     &pi)) {
    CloseHandle(pi.hThread);
    child.process_ = pi.hProcess;
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
