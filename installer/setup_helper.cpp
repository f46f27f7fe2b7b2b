// The helper that Cairnstone-Setup and its uninstaller unpack and run for the
// two things NSIS cannot do by itself:
//
//   setup_helper quit PROGRAM MS
//       Asks the running Cairnstone to quit (PROGRAM --quit, again every second
//       in case it was still starting and had no window yet) and waits up to
//       MS milliseconds until no process of PROGRAM runs in this session.
//       Exit code 0 when none runs any more, 1 when one still does.
//   setup_helper start PROGRAM
//       Starts PROGRAM as the signed-in user. An elevated setup must not hand
//       its administrator token to the program (with over-the-shoulder
//       elevation that token is even another user's, with another profile and
//       other settings), so an elevated helper asks the desktop shell, which
//       runs as the signed-in user, to start it. Exit code 0 when started,
//       1 when not: the program is then never started elevated instead.
//
// Exit code 2 means a usage error.
#include <windows.h>

#include <exdisp.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <string>

// shellapi.h's macro would rename IShellDispatch2's method.
#undef ShellExecute

namespace {

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr DWORD kQuitRepeatMs = 1000;  // how often --quit is asked again
constexpr DWORD kPollMs = 100;
constexpr DWORD kQuitRunMs = 5000;  // a --quit run only posts a message
constexpr int kShellAttempts = 3;
constexpr DWORD kShellRetryMs = 1000;
constexpr DWORD kStartSeenMs = 10000;  // how long a started program may take to show up

std::wstring fullPath(const std::wstring& path) {
  wchar_t buffer[MAX_PATH * 2];
  const DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH * 2, buffer, nullptr);
  return n > 0 && n < MAX_PATH * 2 ? std::wstring(buffer, n) : path;
}

bool samePath(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Whether a process started from `program` runs in this session. Instances
// in other users' sessions cannot be asked to quit from here; the installer
// replaces the file under them instead.
bool runsInThisSession(const std::wstring& program) {
  DWORD mySession = 0;
  ProcessIdToSessionId(GetCurrentProcessId(), &mySession);
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  bool found = false;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
       more = Process32NextW(snapshot, &entry)) {
    DWORD session = 0;
    if (!ProcessIdToSessionId(entry.th32ProcessID, &session) || session != mySession) continue;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
    if (!process) continue;
    wchar_t image[MAX_PATH * 2];
    DWORD size = MAX_PATH * 2;
    if (QueryFullProcessImageNameW(process, 0, image, &size)) {
      // A process that has ended but whose handle someone still holds is no
      // obstacle: its image is no longer in use.
      DWORD code = 0;
      found = samePath(std::wstring(image, size), program) && GetExitCodeProcess(process, &code) &&
              code == STILL_ACTIVE;
    }
    CloseHandle(process);
  }
  CloseHandle(snapshot);
  return found;
}

void askToQuit(const std::wstring& program) {
  std::wstring commandLine = L"\"" + program + L"\" --quit";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &info)) {
    return;
  }
  WaitForSingleObject(info.hProcess, kQuitRunMs);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
}

int quit(const std::wstring& program, DWORD timeoutMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  ULONGLONG nextAsk = 0;
  while (runsInThisSession(program)) {
    const ULONGLONG now = GetTickCount64();
    if (now >= end) return kFailed;
    if (now >= nextAsk) {
      askToQuit(program);
      nextAsk = now + kQuitRepeatMs;
    }
    Sleep(kPollMs);
  }
  return kDone;
}

bool seenRunning(const std::wstring& program) {
  const ULONGLONG end = GetTickCount64() + kStartSeenMs;
  while (!runsInThisSession(program)) {
    if (GetTickCount64() >= end) return false;
    Sleep(kPollMs);
  }
  return true;
}

bool elevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const bool result = GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation),
                                          &size) &&
                      elevation.TokenIsElevated != 0;
  CloseHandle(token);
  return result;
}

// Releases a COM interface pointer at the end of its scope.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() {
    if (p_) p_->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  T** put() { return &p_; }
  void** putVoid() { return reinterpret_cast<void**>(&p_); }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

// A BSTR variant, freed at the end of its scope.
class TextVariant {
 public:
  explicit TextVariant(const std::wstring& text) {
    VariantInit(&v_);
    v_.vt = VT_BSTR;
    v_.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  }
  ~TextVariant() { VariantClear(&v_); }
  TextVariant(const TextVariant&) = delete;
  TextVariant& operator=(const TextVariant&) = delete;
  const VARIANT& get() const { return v_; }

 private:
  VARIANT v_;
};

// The desktop shell's own ShellExecute: the desktop window's shell view
// hands out the shell's automation object, which starts programs in the
// shell's process and so with the signed-in user's token.
bool shellExecuteAsDesktopUser(const std::wstring& program, const std::wstring& folder) {
  ComPtr<IShellWindows> windows;
  if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                              windows.putVoid()))) {
    return false;
  }
  VARIANT location, root;
  VariantInit(&location);
  VariantInit(&root);
  long window = 0;
  ComPtr<IDispatch> desktop;
  if (windows->FindWindowSW(&location, &root, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH,
                            desktop.put()) != S_OK ||
      !desktop) {
    return false;
  }
  ComPtr<IServiceProvider> services;
  ComPtr<IShellBrowser> browser;
  ComPtr<IShellView> view;
  ComPtr<IDispatch> background;
  ComPtr<IShellFolderViewDual> folderView;
  ComPtr<IDispatch> application;
  ComPtr<IShellDispatch2> shell;
  if (FAILED(desktop->QueryInterface(IID_IServiceProvider, services.putVoid())) ||
      FAILED(services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.putVoid())) ||
      FAILED(browser->QueryActiveShellView(view.put())) ||
      FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.putVoid())) ||
      FAILED(background->QueryInterface(IID_IShellFolderViewDual, folderView.putVoid())) ||
      FAILED(folderView->get_Application(application.put())) ||
      FAILED(application->QueryInterface(IID_IShellDispatch2, shell.putVoid()))) {
    return false;
  }
  BSTR file = SysAllocStringLen(program.data(), static_cast<UINT>(program.size()));
  const TextVariant noArguments(L""), directory(folder), defaultVerb(L"");
  VARIANT show;
  VariantInit(&show);
  show.vt = VT_I4;
  show.lVal = SW_SHOWNORMAL;
  const HRESULT hr =
      shell->ShellExecute(file, noArguments.get(), directory.get(), defaultVerb.get(), show);
  SysFreeString(file);
  return SUCCEEDED(hr);
}

std::wstring folderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

int start(const std::wstring& program) {
  const std::wstring folder = folderOf(program);
  if (!elevated()) {
    // Already the user's own token: start it directly.
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", program.c_str(), nullptr, folder.c_str(), SW_SHOWNORMAL));
    return result > 32 ? kDone : kFailed;
  }
  // The shell starts programs without handing out a process: a start counts
  // once the program is seen running. The shell may be starting or restarting
  // (as Explorer does after some updates), so it is asked again a few times.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  bool started = false;
  for (int attempt = 0; attempt < kShellAttempts && !started; ++attempt) {
    if (attempt > 0) Sleep(kShellRetryMs);
    started = shellExecuteAsDesktopUser(program, folder) && seenRunning(program);
  }
  CoUninitialize();
  return started ? kDone : kFailed;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return kUsage;
  int code = kUsage;
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"quit" && argc == 4) {
    code = quit(fullPath(argv[2]), static_cast<DWORD>(_wtoi(argv[3])));
  } else if (command == L"start" && argc == 3) {
    code = start(fullPath(argv[2]));
  }
  LocalFree(argv);
  return code;
}
