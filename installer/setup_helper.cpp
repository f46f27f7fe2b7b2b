// The helper that Cairnstone-Setup and its uninstaller unpack and run for
// what NSIS cannot do by itself:
//
//   setup_helper quit PROGRAM MS
//       Asks the running Cairnstone to quit by closing its notification-area
//       window (again every second in case it was still starting and had no
//       window yet; PROGRAM itself is never run) and waits up to MS
//       milliseconds until no process of PROGRAM runs in this session.
//       Exit code 0 when none ran, 3 when one ran and has quit, 1 when one
//       still runs.
//   setup_helper place PROGRAM MS
//       Runs PROGRAM --place-addon as the signed-in user (through the shell as
//       start does, by way of this helper's place-as-user, which waits for
//       it) and waits up to MS milliseconds for it to end. Exit code: the
//       program's own (0 to 8, see the installer), 100 when it could not be
//       started, 101 when it did not end in time.
//   setup_helper current FILE
//       Writes to FILE (UTF-16LE, one key=value a line) what the signed-in
//       user has now: "user" (their SID), and, when they have a usable
//       settings.json, each of "language", "forever" (the game folder) and
//       "autostart" (0 or 1: their Run value) that passes its check. Exit code 0 when the
//       user was found, 1 when not (FILE is then not made).
//   setup_helper start PROGRAM [ARGUMENTS]
//       Starts PROGRAM as the signed-in user. An elevated setup must not hand
//       its administrator token to the program (with over-the-shoulder
//       elevation that token is even another user's, with another profile and
//       other settings), so an elevated helper asks the desktop shell, which
//       runs as the signed-in user, to start it. Exit code 0 when started,
//       1 when not: the program is then never started elevated instead.
//   setup_helper unrun
//       Removes the signed-in user's start-with-Windows value, through the
//       shell as for start (the setup's own HKCU may be another user's).
//       Exit code 0 when the value is gone, 1 when it could not be seen gone.
//   setup_helper keep FILE
//       Takes FILE out of the deletions Windows does at the next restart
//       (an uninstaller run in place leaves itself there), so a new
//       installation's file of that name stays. Exit code 0 when none is
//       due any more, 1 when the list could not be changed.
//   setup_helper datafolder FILE
//       Writes the signed-in user's Cairn data folder to FILE (UTF-16LE).
//
// The setup unpacks the helper into the program's folder, which only
// administrators can write, just before each use. Exit code 2 means a usage
// error. What it reads from the user's files and hive is data only: each
// value is checked before it is passed on, and the installer checks it again.
#include <windows.h>

#include <exdisp.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>
#include <shellapi.h>
#include <tlhelp32.h>
#include <sddl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/com_ptr.h"
#include "base/scoped_handle.h"
#include "json/json.h"

// shellapi.h's macro would rename IShellDispatch2's method.
#undef ShellExecute

namespace {

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr int kQuitAfterRunning = 3;
// Apart from the program's own exit codes (0 to 8).
constexpr int kPlaceNotStarted = 100;
constexpr int kPlaceNotEnded = 101;
constexpr wchar_t kPlaceSwitch[] = L"--place-addon";
constexpr wchar_t kPlaceAsUserCommand[] = L"place-as-user";
constexpr DWORD kFindPollMs = 5;
constexpr DWORD kSeenWaitMs = 10000;  // how long the helper run as the user waits to be seen
constexpr DWORD kMaxSettingsBytes = 64 * 1024;
constexpr DWORD kQuitRepeatMs = 1000;  // how often the windows are asked again
constexpr DWORD kPollMs = 100;
constexpr wchar_t kTrayWindowClass[] = L"CairnTrayWnd";
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kRunValue[] = L"Cairn";
constexpr DWORD kUnrunSeenMs = 10000;  // how long reg.exe may take to remove the value
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

// The processes started from `program` that run in this session. Instances
// in other users' sessions cannot be asked to quit from here; the installer
// replaces the file under them instead.
std::vector<DWORD> processesInThisSession(const std::wstring& program) {
  std::vector<DWORD> found;
  DWORD mySession = 0;
  ProcessIdToSessionId(GetCurrentProcessId(), &mySession);
  ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.valid()) return found;
  const size_t slash = program.find_last_of(L'\\');
  const std::wstring name = slash == std::wstring::npos ? program : program.substr(slash + 1);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    DWORD session = 0;
    // The image's name first: opening every process would be slow.
    if (!samePath(entry.szExeFile, name) ||
        !ProcessIdToSessionId(entry.th32ProcessID, &session) || session != mySession) {
      continue;
    }
    ScopedHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    if (!process.valid()) continue;
    wchar_t image[MAX_PATH * 2];
    DWORD size = MAX_PATH * 2;
    // A process that has ended but whose handle someone still holds is no
    // obstacle: its image is no longer in use.
    DWORD code = 0;
    if (QueryFullProcessImageNameW(process, 0, image, &size) &&
        samePath(std::wstring(image, size), program) && GetExitCodeProcess(process, &code) &&
        code == STILL_ACTIVE) {
      found.push_back(entry.th32ProcessID);
    }
  }
  return found;
}

bool runsInThisSession(const std::wstring& program) {
  return !processesInThisSession(program).empty();
}

// Closing the notification-area window is what the program's own --quit
// does. Running that program here would run it elevated, so the windows are
// asked directly (a higher process may post to a lower one); each one of the
// class is asked, whichever copy of Cairnstone owns it.
BOOL CALLBACK closeTrayWindow(HWND window, LPARAM) {
  wchar_t name[64] = {};
  if (GetClassNameW(window, name, 64) > 0 && lstrcmpW(name, kTrayWindowClass) == 0) {
    PostMessageW(window, WM_CLOSE, 0, 0);
  }
  return TRUE;
}

void askToQuit() { EnumWindows(closeTrayWindow, 0); }

int quit(const std::wstring& program, DWORD timeoutMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  ULONGLONG nextAsk = 0;
  // The setup starts it again after a silent run only when it was running.
  const bool wasRunning = runsInThisSession(program);
  while (runsInThisSession(program)) {
    const ULONGLONG now = GetTickCount64();
    if (now >= end) return kFailed;
    if (now >= nextAsk) {
      askToQuit();
      nextAsk = now + kQuitRepeatMs;
    }
    Sleep(kPollMs);
  }
  return wasRunning ? kQuitAfterRunning : kDone;
}

template <typename Cond>
bool waitUntil(Cond cond, DWORD timeoutMs, DWORD pollMs = kPollMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  while (!cond()) {
    if (GetTickCount64() >= end) return false;
    Sleep(pollMs);
  }
  return true;
}

bool seenRunning(const std::wstring& program) {
  return waitUntil([&] { return runsInThisSession(program); }, kStartSeenMs);
}

bool elevated() {
  ScopedHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  return GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size) &&
         elevation.TokenIsElevated != 0;
}

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

// The desktop shell's automation object and its process: the desktop
// window's shell view hands out the object, which starts programs in the
// shell's process and so with the signed-in user's token.
bool desktopShell(ComPtr<IShellDispatch2>& shell, DWORD& processId) {
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
  HWND browserWindow = nullptr;
  if (FAILED(desktop->QueryInterface(IID_IServiceProvider, services.putVoid())) ||
      FAILED(services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.putVoid())) ||
      FAILED(browser->QueryActiveShellView(view.put())) ||
      FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.putVoid())) ||
      FAILED(background->QueryInterface(IID_IShellFolderViewDual, folderView.putVoid())) ||
      FAILED(folderView->get_Application(application.put())) ||
      FAILED(application->QueryInterface(IID_IShellDispatch2, shell.putVoid()))) {
    return false;
  }
  // The desktop window the shell named, when its browser does not say.
  if (FAILED(browser->GetWindow(&browserWindow)) || !browserWindow) {
    browserWindow = reinterpret_cast<HWND>(static_cast<LONG_PTR>(window));
  }
  processId = 0;
  GetWindowThreadProcessId(browserWindow, &processId);
  return true;
}

bool shellExecuteAsDesktopUser(const std::wstring& program, const std::wstring& arguments,
                               const std::wstring& folder, int showMode) {
  ComPtr<IShellDispatch2> shell;
  DWORD processId = 0;
  if (!desktopShell(shell, processId)) return false;
  BSTR file = SysAllocStringLen(program.data(), static_cast<UINT>(program.size()));
  const TextVariant parameters(arguments), directory(folder), defaultVerb(L"");
  VARIANT show;
  VariantInit(&show);
  show.vt = VT_I4;
  show.lVal = showMode;
  const HRESULT hr =
      shell->ShellExecute(file, parameters.get(), directory.get(), defaultVerb.get(), show);
  SysFreeString(file);
  return SUCCEEDED(hr);
}

std::wstring folderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// Asks the desktop shell a few times: it may be starting or restarting (as
// Explorer does after some updates). `done` says whether the request had its
// effect, as the shell hands out no process to wait for.
template <typename Done>
bool throughTheShell(const std::wstring& file, const std::wstring& arguments,
                     const std::wstring& folder, int showMode, Done done) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  bool ok = false;
  for (int attempt = 0; attempt < kShellAttempts && !ok; ++attempt) {
    if (attempt > 0) Sleep(kShellRetryMs);
    ok = shellExecuteAsDesktopUser(file, arguments, folder, showMode) && done();
  }
  CoUninitialize();
  return ok;
}

int start(const std::wstring& program, const std::wstring& arguments) {
  const std::wstring folder = folderOf(program);
  if (!elevated()) {
    // Already the user's own token: start it directly.
    const auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(
        nullptr, L"open", program.c_str(), arguments.c_str(), folder.c_str(), SW_SHOWNORMAL));
    return result > 32 ? kDone : kFailed;
  }
  return throughTheShell(program, arguments, folder, SW_SHOWNORMAL,
                         [&] { return seenRunning(program); })
             ? kDone
             : kFailed;
}

// A process of `program` in this session that is not among `before`, opened
// to wait for it and read its exit code; invalid when there is none.
ScopedHandle newProcessOf(const std::wstring& program, const std::vector<DWORD>& before) {
  for (DWORD id : processesInThisSession(program)) {
    if (std::find(before.begin(), before.end(), id) != before.end()) continue;
    ScopedHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
    if (process.valid()) return process;
  }
  return ScopedHandle();
}

std::wstring ownPath() {
  wchar_t path[MAX_PATH * 2];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
  return n > 0 && n < MAX_PATH * 2 ? std::wstring(path, n) : std::wstring();
}

// The event by which the elevated helper tells the helper it started as the
// user that it holds that process, which may then end.
std::wstring seenEventName(DWORD relayId) {
  return L"Local\\CairnstoneSetupSeen-" + std::to_wstring(relayId);
}

// As the signed-in user (started by the elevated helper through the shell,
// or run directly by a setup that is not elevated): runs PROGRAM
// --place-addon with a handle to wait on, and ends with its exit code once
// the elevated helper has this process in hand (or after kSeenWaitMs), so
// that code is never lost to a program that ends quickly.
int placeAsUser(const std::wstring& program, DWORD timeoutMs) {
  // Only administrators (the elevated helper) may say so; the creator holds
  // its own handle whatever the list says.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;0x1F0003;;;BA)(A;;0x1F0003;;;SY)",
                                                       SDDL_REVISION_1, &descriptor, nullptr);
  const ScopedLocal ownedDescriptor(descriptor);
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
  const ScopedHandle seen(CreateEventW(descriptor ? &attributes : nullptr, TRUE, FALSE,
                                       seenEventName(GetCurrentProcessId()).c_str()));
  const std::wstring folder = folderOf(program);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = program.c_str();
  info.lpParameters = kPlaceSwitch;
  info.lpDirectory = folder.c_str();
  info.nShow = SW_SHOWNORMAL;
  int code = kPlaceNotStarted;
  if (ShellExecuteExW(&info) && info.hProcess) {
    const ScopedHandle process(info.hProcess);
    DWORD exitCode = 0;
    code = WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0 &&
                   GetExitCodeProcess(process, &exitCode)
               ? static_cast<int>(exitCode)
               : kPlaceNotEnded;
  }
  if (seen.valid()) WaitForSingleObject(seen, kSeenWaitMs);
  return code;
}

// The program places the addon in the game as the user who plays it: the
// elevated setup must not write into a folder that user can change. The
// shell hands out no process, so the helper has it start a copy of this
// helper as the user, which runs the program and waits for it; that copy is
// told from the helpers that ran before, and its exit code is the program's.
int place(const std::wstring& program, DWORD timeoutMs) {
  if (!elevated()) return placeAsUser(program, timeoutMs);
  const std::wstring self = ownPath();
  if (self.empty()) return kPlaceNotStarted;
  const std::vector<DWORD> before = processesInThisSession(self);
  const std::wstring arguments =
      std::wstring(kPlaceAsUserCommand) + L" \"" + program + L"\" " + std::to_wstring(timeoutMs);
  ScopedHandle relay;
  throughTheShell(self, arguments, folderOf(self), SW_HIDE, [&] {
    return waitUntil([&] { return (relay = newProcessOf(self, before)).valid(); }, kStartSeenMs,
                     kFindPollMs);
  });
  if (!relay.valid()) return kPlaceNotStarted;
  const std::wstring seenName = seenEventName(GetProcessId(relay));
  const ULONGLONG end = GetTickCount64() + timeoutMs + kSeenWaitMs;
  bool told = false;
  while (WaitForSingleObject(relay, kPollMs) == WAIT_TIMEOUT) {
    if (!told) {
      const ScopedHandle seen(OpenEventW(EVENT_MODIFY_STATE, FALSE, seenName.c_str()));
      told = seen.valid() && SetEvent(seen);
    }
    if (GetTickCount64() >= end) return kPlaceNotEnded;
  }
  DWORD code = 0;
  return GetExitCodeProcess(relay, &code) ? static_cast<int>(code) : kPlaceNotEnded;
}

// The signed-in user's token: the desktop shell's (COM must be set up),
// opened with only the access its use needs. Empty when there is no shell to
// ask.
constexpr DWORD kTokenForSid = TOKEN_QUERY;
constexpr DWORD kTokenForFolders = TOKEN_QUERY | TOKEN_IMPERSONATE;  // SHGetKnownFolderPath

class ShellToken {
 public:
  explicit ShellToken(DWORD access) {
    ComPtr<IShellDispatch2> shell;
    DWORD id = 0;
    if (!desktopShell(shell, id) || id == 0) return;
    ScopedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
    if (!process.valid()) return;
    // A failed open leaves nothing of its own to close.
    if (!OpenProcessToken(process, access, token_.put())) {
      token_.release();
    }
  }
  HANDLE get() const { return token_; }

  // The user's SID as text ("S-1-5-21-..."), their key under HKEY_USERS.
  std::wstring sid() const {
    unsigned char buffer[256];
    DWORD size = 0;
    PWSTR text = nullptr;
    if (!token_.valid() || !GetTokenInformation(token_, TokenUser, buffer, sizeof(buffer), &size) ||
        !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
      return {};
    }
    ScopedLocal owned(text);
    return std::wstring(text);
  }

 private:
  ScopedHandle token_;
};

// Whether the Run value is there, read (never written) in the user's own
// hive; a hive that cannot be read counts as holding it.
bool runValueThere(HKEY root, const std::wstring& runKey) {
  const LSTATUS status =
      RegGetValueW(root, runKey.c_str(), kRunValue, RRF_RT_ANY, nullptr, nullptr, nullptr);
  return status != ERROR_FILE_NOT_FOUND;
}

// The elevated setup's HKCU may be the administrator's: the signed-in user's
// value is removed as that user, by System32's reg.exe started through the
// shell, and its hive under HKEY_USERS is only read to see it gone.
int removeRunValue() {
  if (!elevated()) {
    const LSTATUS status = RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, kRunValue);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? kDone : kFailed;
  }
  const ShellToken user(kTokenForSid);
  const std::wstring sid = user.sid();
  if (sid.empty()) return kFailed;
  const std::wstring runKey = sid + L"\\" + kRunKey;
  if (!runValueThere(HKEY_USERS, runKey)) return kDone;
  wchar_t system[MAX_PATH] = {};
  const UINT n = GetSystemDirectoryW(system, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return kFailed;
  const std::wstring reg = std::wstring(system) + L"\\reg.exe";
  const std::wstring arguments =
      std::wstring(L"delete \"HKCU\\") + kRunKey + L"\" /v " + kRunValue + L" /f";
  return throughTheShell(reg, arguments, system, SW_HIDE, [&] {
           return waitUntil([&] { return !runValueThere(HKEY_USERS, runKey); }, kUnrunSeenMs);
         })
             ? kDone
             : kFailed;
}

// The data folder that stays after an uninstall: the signed-in user's
// roaming application data, Cairn.
// The user's Cairn data folder (their roaming application data, Cairn), or
// empty.
std::wstring dataFolderOf(HANDLE token) {
  // The block is the caller's to free even when the call fails.
  ScopedCoTaskMem<wchar_t> roaming;
  if (FAILED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, token, roaming.put()))) return {};
  return std::wstring(roaming.get()) + L"\\Cairn";
}

// Makes FILE anew (never through a link) holding `text` as UTF-16LE.
int writeNewFile(const std::wstring& file, const std::wstring& text) {
  ScopedHandle out(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!out.valid()) return kFailed;
  DWORD written = 0;
  const DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  const bool ok = WriteFile(out, text.data(), bytes, &written, nullptr) && written == bytes;
  return ok ? kDone : kFailed;
}

int writeDataFolder(const std::wstring& file) {
  const ShellToken user(kTokenForFolders);
  const std::wstring folder = dataFolderOf(user.get());
  return folder.empty() ? kFailed : writeNewFile(file, folder);
}


// --- What the signed-in user has now. Their files and hive are theirs to
// change: every value is checked here as a hostile answer would be.

bool isLanguageCode(const std::string& code) {
  for (const char* known : {"en", "nl", "de", "es", "it", "pl"}) {
    if (code == known) return true;
  }
  return false;
}

// A folder the setup may look at: a full path on a drive ("D:\\..."), no
// control characters, no network or device path (an elevated setup would
// reach it with its own rights), no "." or ".." parts, not overlong.
bool isLocalFolder(const std::wstring& path) {
  constexpr size_t kMaxChars = 1024;
  if (path.size() < 3 || path.size() > kMaxChars || path[1] != L':' || path[2] != L'\\' ||
      !((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'))) {
    return false;
  }
  for (wchar_t c : path) {
    if (c < 0x20 || c == 0x7F || c == L'/' || c == L'"' || c == L'*' || c == L'?' || c == L'<' ||
        c == L'>' || c == L'|') {
      return false;
    }
  }
  if (path.find(L':', 2) != std::wstring::npos) return false;  // a stream name
  const std::wstring parts = path + L"\\";
  return parts.find(L"\\.\\") == std::wstring::npos &&
         parts.find(L"\\..\\") == std::wstring::npos &&
         parts.find(L"\\\\") == std::wstring::npos;
}

bool isLinkOrOdd(DWORD attributes, bool folder) {
  return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
         ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != folder;
}

// Whether the folder listing shows `path` itself as a link (a system may
// report one there and not through a handle).
bool listedAsLinkOrOdd(const std::wstring& path, bool folder) {
  WIN32_FIND_DATAW entry{};
  const ScopedFind find(FindFirstFileW(path.c_str(), &entry));
  return !find.valid() || isLinkOrOdd(entry.dwFileAttributes, folder);
}

// The bytes of `file` in `folder`, neither reached through a link, at most
// kMaxSettingsBytes; false otherwise.
bool readUserFile(const std::wstring& folder, const std::wstring& file, std::string& bytes) {
  if (listedAsLinkOrOdd(folder, true) || listedAsLinkOrOdd(file, false)) return false;
  ScopedHandle in(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!in.valid() || !GetFileInformationByHandle(in, &info) ||
      isLinkOrOdd(info.dwFileAttributes, false) || info.nFileSizeHigh != 0 ||
      info.nFileSizeLow > kMaxSettingsBytes) {
    return false;
  }
  DWORD read = 0;
  // One byte more than the size said: a file that grew meanwhile is refused.
  std::string buffer(kMaxSettingsBytes + 1, '\0');
  if (!ReadFile(in, &buffer[0], static_cast<DWORD>(buffer.size()), &read, nullptr) ||
      read > kMaxSettingsBytes) {
    return false;
  }
  bytes.assign(buffer.data(), read);
  return true;
}

// Strict UTF-8 to UTF-16; false for bytes that are not UTF-8.
bool fromUtf8(const std::string& text, std::wstring& out) {
  out.clear();
  if (text.empty()) return true;
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                    static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return false;
  out.resize(static_cast<size_t>(n));
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                             static_cast<int>(text.size()), &out[0], n) == n;
}

// 1 or 0 when the user's Run key could be read (the value is there and
// names something, or not), -1 when it could not.
int runValueState(const std::wstring& sid) {
  const std::wstring key = sid + L"\\" + kRunKey;
  DWORD bytes = 0;
  const LSTATUS status = RegGetValueW(HKEY_USERS, key.c_str(), kRunValue,
                                      RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr,
                                      nullptr, &bytes);
  if (status == ERROR_SUCCESS) return bytes > sizeof(wchar_t) ? 1 : 0;
  if (status == ERROR_FILE_NOT_FOUND) {
    // The value is missing, or the key (or the whole hive) is: only a key
    // that opens says the former.
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_USERS, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) {
      return -1;
    }
    RegCloseKey(handle);
    return 0;
  }
  return -1;
}

int writeCurrent(const std::wstring& file) {
  const ShellToken user(kTokenForFolders);
  const std::wstring sid = user.sid();
  if (sid.empty()) return kFailed;
  std::wstring out = L"user=" + sid + L"\r\n";
  JsonValue settings;
  const std::wstring folder = dataFolderOf(user.get());
  std::string bytes;
  // No usable settings: the user has made no choice in the program yet (a
  // missing Run value then says nothing either).
  if (!isLocalFolder(folder) || !readUserFile(folder, folder + L"\\settings.json", bytes) ||
      !jsonParse(bytes, settings) || settings.kind != JsonKind::Object) {
    return writeNewFile(file, out);
  }
  const JsonValue& language = settings.get("language");
  if (language.kind == JsonKind::String && isLanguageCode(language.text)) {
    out += L"language=" + std::wstring(language.text.begin(), language.text.end()) + L"\r\n";
  }
  const JsonValue& forever = settings.get("foreverDir");
  std::wstring path;
  if (forever.kind == JsonKind::String && fromUtf8(forever.text, path) && isLocalFolder(path)) {
    out += L"forever=" + path + L"\r\n";
  }
  // What Windows will do (the Run value) before what the settings say.
  int autostart = runValueState(sid);
  const JsonValue& stored = settings.get("autostart");
  if (autostart < 0 && stored.kind == JsonKind::Boolean) autostart = stored.boolean ? 1 : 0;
  if (autostart >= 0) out += autostart ? L"autostart=1\r\n" : L"autostart=0\r\n";
  return writeNewFile(file, out);
}

// --- Deletions at the next restart (MoveFileEx's list: pairs of source and
// target, a deletion has an empty target).

int keepAtRestart(const std::wstring& file) {
  constexpr wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
  constexpr wchar_t kPending[] = L"PendingFileRenameOperations";
  ScopedRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                    key.put()) != ERROR_SUCCESS) {
    return kFailed;
  }
  DWORD type = 0, bytes = 0;
  LSTATUS status = RegQueryValueExW(key, kPending, nullptr, &type, nullptr, &bytes);
  if (status == ERROR_FILE_NOT_FOUND) return kDone;
  if (status != ERROR_SUCCESS || type != REG_MULTI_SZ) return kFailed;
  std::wstring list(bytes / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(key, kPending, nullptr, &type, reinterpret_cast<BYTE*>(&list[0]), &bytes) !=
      ERROR_SUCCESS) {
    return kFailed;
  }
  list.resize(bytes / sizeof(wchar_t));
  std::vector<std::wstring> items;
  for (size_t at = 0; at < list.size();) {
    const size_t end = std::min(list.find(L'\0', at), list.size());
    items.push_back(list.substr(at, end - at));
    at = end + 1;
  }
  // The list ends with an empty string; the pairs come before it.
  while (!items.empty() && items.back().empty() && items.size() % 2 != 0) items.pop_back();
  const std::wstring mine = L"\\??\\" + file;
  std::wstring kept;
  bool dropped = false;
  for (size_t i = 0; i + 1 < items.size(); i += 2) {
    if (items[i + 1].empty() && samePath(items[i], mine)) {
      dropped = true;
      continue;
    }
    kept += items[i] + L'\0' + items[i + 1] + L'\0';
  }
  if (!dropped) return kDone;
  if (kept.empty()) return RegDeleteValueW(key, kPending) == ERROR_SUCCESS ? kDone : kFailed;
  kept += L'\0';
  status = RegSetValueExW(key, kPending, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kept.data()),
                          static_cast<DWORD>(kept.size() * sizeof(wchar_t)));
  return status == ERROR_SUCCESS ? kDone : kFailed;
}
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return kUsage;
  const ScopedLocal ownedArgv(argv);
  int code = kUsage;
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"quit" && argc == 4) {
    code = quit(fullPath(argv[2]), static_cast<DWORD>(_wtoi(argv[3])));
  } else if (command == L"start" && (argc == 3 || argc == 4)) {
    code = start(fullPath(argv[2]), argc == 4 ? argv[3] : L"");
  } else if (command == L"unrun" && argc == 2) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    code = removeRunValue();
    CoUninitialize();
  } else if (command == L"place" && argc == 4) {
    code = place(fullPath(argv[2]), static_cast<DWORD>(_wtoi(argv[3])));
  } else if (command == kPlaceAsUserCommand && argc == 4) {
    code = placeAsUser(fullPath(argv[2]), static_cast<DWORD>(_wtoi(argv[3])));
  } else if (command == L"current" && argc == 3) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    code = writeCurrent(fullPath(argv[2]));
    CoUninitialize();
  } else if (command == L"keep" && argc == 3) {
    code = keepAtRestart(fullPath(argv[2]));
  } else if (command == L"datafolder" && argc == 3) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    code = writeDataFolder(fullPath(argv[2]));
    CoUninitialize();
  }
  return code;
}
