// What the installer tests share: the built installers (this version and the
// next, around programs that trust the tests' release key), running them as
// the program and Windows do, reading what they leave behind, and putting the
// machine back to "nothing installed". The tests run in a Wine prefix of their
// own (in_prefix.sh), with the data folder where a user's is.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <sddl.h>

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "base/paths.h"
#include "base/text.h"
#include "i18n/i18n.h"
#include "storage/files.h"
#include "storage/registry.h"
#include "storage/settings.h"
#include "tests/support/links.h"
#include "tests/support/test_support.h"
#include "update/download.h"

namespace setup {

constexpr char kCurrent[] = CAIRN_TEST_CURRENT_VERSION;
constexpr char kNext[] = CAIRN_TEST_NEXT_VERSION;
constexpr DWORD kSetupMs = 120000;
constexpr DWORD kProgramMs = 30000;
constexpr DWORD kStartRetryMs = 200;
constexpr wchar_t kSettingsKey[] = L"SOFTWARE\\Cairn";
constexpr wchar_t kUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Cairnstone";
constexpr wchar_t kSessionManagerKey[] = L"System\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingRenames[] = L"PendingFileRenameOperations";

inline std::wstring folderOf(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  std::wstring out;
  if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path))) out = path;
  CoTaskMemFree(path);
  return out;
}
inline std::wstring installDir() { return joinPath(folderOf(FOLDERID_ProgramFiles), L"Cairnstone"); }
inline std::wstring installed(const wchar_t* name) { return joinPath(installDir(), name); }
inline std::wstring installedExe() { return installed(L"Cairnstone.exe"); }
inline std::wstring installedAddon(const wchar_t* name) {
  return installed((std::wstring(L"addon\\Cairn\\") + name).c_str());
}
inline std::wstring shortcut() {
  return joinPath(folderOf(FOLDERID_CommonPrograms), L"Cairnstone.lnk");
}
// What the Start-menu entry starts: its target and its arguments.
inline std::wstring shortcutCommand() {
  std::wstring out;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IShellLinkW* link = nullptr;
  IPersistFile* file = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link))) &&
      SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
      SUCCEEDED(file->Load(shortcut().c_str(), STGM_READ))) {
    wchar_t target[MAX_PATH] = {}, arguments[MAX_PATH] = {};
    if (SUCCEEDED(link->GetPath(target, MAX_PATH, nullptr, 0)) &&
        SUCCEEDED(link->GetArguments(arguments, MAX_PATH))) {
      out = std::wstring(target) + L" " + arguments;
    }
  }
  if (file) file->Release();
  if (link) link->Release();
  CoUninitialize();
  return out;
}
inline std::wstring setupExe(const char* version) {
  return joinPath(binFolder(), L"installers\\Cairnstone-Setup-" + toWide(version) + L".exe");
}

inline std::wstring hklm(const wchar_t* key, const wchar_t* name) {
  return regString(HKEY_LOCAL_MACHINE, key, name, KEY_WOW64_64KEY);
}
// A REG_DWORD in the 64-bit view; -1 when missing or of another type.
inline long long hklmDword(const wchar_t* key, const wchar_t* name) {
  DWORD value = 0, bytes = sizeof value;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_DWORD | RRF_SUBKEY_WOW6464KEY,
                   nullptr, &value, &bytes) != ERROR_SUCCESS) {
    return -1;
  }
  return value;
}
inline bool hklmKeyExists(const wchar_t* key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ | KEY_WOW64_64KEY, &handle) !=
      ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(handle);
  return true;
}
inline std::wstring stamp() { return hklm(kSettingsKey, L"InstallStamp"); }

// The version record's ProductVersion of an executable.
inline std::string productVersion(const std::wstring& exe) {
  DWORD ignored = 0;
  std::vector<unsigned char> info(GetFileVersionInfoSizeW(exe.c_str(), &ignored));
  wchar_t* text = nullptr;
  UINT chars = 0;
  if (info.empty() || !GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(info.size()), info.data()) ||
      !VerQueryValueW(info.data(), L"\\StringFileInfo\\040904B0\\ProductVersion",
                      reinterpret_cast<void**>(&text), &chars)) {
    return {};
  }
  return toUtf8(std::wstring(text, chars > 0 ? chars - 1 : 0));
}

// Runs an installer or uninstaller with exactly these parameters: its exit
// code, or -1 when it did not start or did not end in time (said on the
// output, so that a -1 of its own is told apart).
inline long run(const std::wstring& exe, const std::wstring& parameters) {
  Child child = Child::startLine(exe, parameters);
  if (!child.started()) {
    // Seen once in CI: a start that failed at once, no log written. The
    // error is kept for the next time; one more try tells a passing fault
    // from a lasting one.
    std::cout << "could not start " << toUtf8(exe) << ": error " << child.startError() << "\n";
    Sleep(kStartRetryMs);
    child = Child::startLine(exe, parameters);
    if (!child.started()) {
      std::cout << "nor a second time: error " << child.startError() << "\n";
      return -1;
    }
  }
  if (WaitForSingleObject(child.handle(), kSetupMs) != WAIT_OBJECT_0) {
    std::cout << toUtf8(exe) << " did not end in " << kSetupMs << " ms\n";
    child.kill();
    return -1;
  }
  DWORD code = 0;
  GetExitCodeProcess(child.handle(), &code);
  return static_cast<long>(code);
}
inline std::wstring tempFile(const wchar_t* name) {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  return joinPath(temp, name);
}
// The installer's (or uninstaller's) account of its last run (UTF-16 in the
// temp folder).
inline std::string setupLog(const wchar_t* name = L"Cairnstone-Setup.log") {
  const std::string bytes = readFileText(tempFile(name));
  std::wstring text(bytes.size() / 2, L'\0');
  if (!text.empty()) memcpy(&text[0], bytes.data(), text.size() * 2);
  return toUtf8(text.substr(text.empty() ? 0 : 1));
}
inline long install(const char* version, const std::wstring& parameters) {
  const long code = run(setupExe(version), parameters);
  if (code != 0) {
    std::cout << "Cairnstone-Setup-" << version << " ended with " << code << " (0x" << std::hex
              << static_cast<unsigned long>(code) << std::dec << "):\n"
              << setupLog();
  }
  return code;
}
// The signed-in user's own data folder, where a program the shell started
// keeps its settings (the tests' CAIRN_DATA_DIR does not reach it).
inline std::wstring userDataDir() {
  return joinPath(folderOf(FOLDERID_RoamingAppData), L"Cairn");
}
// This account's SID as text: the signed-in user's (Wine has one user).
inline std::wstring mySid() {
  HANDLE token = nullptr;
  unsigned char buffer[256];
  DWORD size = 0;
  PWSTR text = nullptr;
  std::wstring sid;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
      GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) &&
      ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
    sid = text;
  }
  LocalFree(text);
  if (token) CloseHandle(token);
  return sid;
}
inline std::wstring helperExe() { return joinPath(binFolder(), L"setup_helper.exe"); }
// Wine's desktop shell, started just before the tests (in_prefix.sh), may
// take many seconds before it answers, and was seen (rarely, on a busy
// machine) not to answer at all in a run; on Windows it is there at
// sign-in. Waits until the setup helper reaches it, starting Wine's desktop
// once more when it stays silent, and lists the processes when it never
// answers, for the next time.
inline void waitForTheDesktopShell() {
  constexpr DWORD kFirstWaitMs = 20000;
  constexpr DWORD kSecondWaitMs = 100000;
  TempDir scratch;
  const std::wstring file = scratch.file(L"ready.txt");
  const auto answers = [&] {
    DeleteFileW(file.c_str());
    return run(helperExe(), L"current \"" + file + L"\"") == 0;
  };
  if (waitFor(answers, kFirstWaitMs)) return;
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  runToEnd(joinPath(system, L"rundll32.exe"), {L"user32.dll,GetDesktopWindow"});
  if (waitFor(answers, kSecondWaitMs)) return;
  std::cout << "the desktop shell did not answer in " << kFirstWaitMs + kSecondWaitMs
            << " ms; the processes:";
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    std::cout << " " << toUtf8(entry.szExeFile) << " (" << entry.th32ProcessID << ")";
  }
  std::cout << "\n";
  CloseHandle(snapshot);
}

// Runs a command line and waits for that process alone: its exit code, or
// -1 when it did not start or end in time.
inline long runCommandLine(std::wstring commandLine) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    return -1;
  }
  CloseHandle(info.hThread);
  DWORD code = 0;
  const bool ended = WaitForSingleObject(info.hProcess, kSetupMs) == WAIT_OBJECT_0 &&
                     GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hProcess);
  return ended ? static_cast<long>(code) : -1;
}

// The folders NSIS makes in the temp folder for an uninstaller's copy
// (~nsu*.tmp).
inline std::vector<std::wstring> uninstallerCopies() {
  std::vector<std::wstring> found;
  WIN32_FIND_DATAW entry{};
  HANDLE search = FindFirstFileW(tempFile(L"~nsu*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return found;
  do {
    found.push_back(entry.cFileName);
  } while (FindNextFileW(search, &entry));
  FindClose(search);
  return found;
}

// The uninstaller copies itself away and returns at once; run from a copy
// and told where the installation is, it does the work itself and its exit
// code is the real one.
inline long uninstallAndWait(const std::wstring& folder) {
  TempDir copyDir;
  const std::wstring copy = copyDir.file(L"uninstall.exe");
  if (!CopyFileW(joinPath(folder, L"uninstall.exe").c_str(), copy.c_str(), FALSE)) return -1;
  return run(copy, L"/S _?=" + folder);
}

// Ids of the processes started from `exe`, with their parents' ids.
struct Process {
  DWORD id;
  DWORD parent;
};
inline std::vector<Process> processesOf(const std::wstring& exe) {
  std::vector<Process> found;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
    if (!process) continue;
    wchar_t image[MAX_PATH];
    DWORD size = MAX_PATH;
    DWORD code = 0;
    if (QueryFullProcessImageNameW(process, 0, image, &size) && GetExitCodeProcess(process, &code) &&
        code == STILL_ACTIVE && lstrcmpiW(image, exe.c_str()) == 0) {
      found.push_back({entry.th32ProcessID, entry.th32ParentProcessID});
    }
    CloseHandle(process);
  }
  CloseHandle(snapshot);
  return found;
}
// The image name of a process ("explorer.exe"), or empty when it is gone.
inline std::wstring imageName(DWORD id) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
  if (!process) return {};
  wchar_t image[MAX_PATH];
  DWORD size = MAX_PATH;
  const bool ok = QueryFullProcessImageNameW(process, 0, image, &size);
  CloseHandle(process);
  return ok ? lowerWide(fileName(image)) : std::wstring();
}
// Ends what a failed test left running from the installation.
inline void endInstalledPrograms() {
  for (const Process& p : processesOf(installedExe())) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, p.id);
    if (!process) continue;
    TerminateProcess(process, 99);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
  }
}

// The folders in `parent` where NSIS unpacked its plug-ins (ns*.tmp
// holding System.dll).
inline std::vector<std::wstring> unpackedPlugins(const std::wstring& parent) {
  std::vector<std::wstring> found;
  WIN32_FIND_DATAW entry{};
  HANDLE search = FindFirstFileW(joinPath(parent, L"ns*.tmp").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return found;
  do {
    const std::wstring folder = joinPath(parent, entry.cFileName);
    if (fileExists(joinPath(folder, L"System.dll"))) found.push_back(folder);
  } while (FindNextFileW(search, &entry));
  FindClose(search);
  return found;
}

// What Windows will delete at its next start (MoveFileEx's delayed
// deletions), lower case, without the "\\??\\" prefix.
inline std::vector<std::wstring> deletionsAtRestart() {
  std::vector<std::wstring> out;
  DWORD bytes = 0;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManagerKey, kPendingRenames, RRF_RT_REG_MULTI_SZ,
                   nullptr, nullptr, &bytes) != ERROR_SUCCESS) {
    return out;
  }
  std::wstring list(bytes / sizeof(wchar_t) + 1, L'\0');
  if (RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManagerKey, kPendingRenames, RRF_RT_REG_MULTI_SZ,
                   nullptr, &list[0], &bytes) != ERROR_SUCCESS) {
    return out;
  }
  // Pairs of source and target; a deletion has an empty target.
  std::vector<std::wstring> items;
  for (size_t at = 0; at < list.size();) {
    const size_t end = list.find(L'\0', at);
    items.push_back(list.substr(at, end - at));
    if (end == std::wstring::npos) break;
    at = end + 1;
  }
  for (size_t i = 0; i + 1 < items.size(); i += 2) {
    if (items[i].empty() || !items[i + 1].empty()) continue;
    std::wstring path = items[i];
    if (path.rfind(L"\\??\\", 0) == 0) path = path.substr(4);
    out.push_back(lowerWide(path));
  }
  return out;
}
inline void forgetDeletionsAtRestart() {
  RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSessionManagerKey, kPendingRenames);
}

// A link as a standard user plants it, in place of whatever had the name; a
// Unix one (tests/support/links.h), which Wine follows as Windows follows a
// link. What it points at need not exist.
inline bool unixLink(const std::wstring& link, const std::wstring& target) {
  return runUnixShell("ln -sfn " + shellQuoted(unixPath(target)) + " " +
                      shellQuoted(unixPath(link)));
}
inline bool removeUnixLink(const std::wstring& link) { return removeLinkItself(link); }

// An executable mapped as an image, as a copy of it running in another
// user's session holds it: it cannot be deleted, only moved aside.
class ImageInUse {
 public:
  explicit ImageInUse(const std::wstring& exe)
      : module_(LoadLibraryExW(exe.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES)) {}
  ~ImageInUse() {
    if (module_) FreeLibrary(module_);
  }
  ImageInUse(const ImageInUse&) = delete;
  ImageInUse& operator=(const ImageInUse&) = delete;
  bool held() const { return module_ != nullptr; }

 private:
  HMODULE module_;
};

// A setup's window on the screen (its title holds "Cairnstone"), and what
// its page shows, read as a screen reader would.
class SetupWindow {
 public:
  bool find(DWORD timeoutMs) {
    return waitFor([&] {
      EnumWindows(
          [](HWND w, LPARAM self) {
            wchar_t title[128] = {};
            GetWindowTextW(w, title, 128);
            if (!IsWindowVisible(w) || !wcsstr(title, L"Cairnstone")) return TRUE;
            reinterpret_cast<SetupWindow*>(self)->window_ = w;
            return FALSE;
          },
          reinterpret_cast<LPARAM>(this));
      return window_ != nullptr;
    }, timeoutMs);
  }
  // The default button: Next, Install, Uninstall, Close.
  void pressDefault() {
    SendMessageW(window_, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window_, IDOK)));
  }
  // The page's first visible control of a window class (and, when given,
  // with that text), or null.
  HWND control(const wchar_t* className, const wchar_t* text = nullptr) const {
    struct Search {
      const wchar_t* className;
      const wchar_t* text;
      HWND found;
    } search{className, text, nullptr};
    EnumChildWindows(
        window_,
        [](HWND w, LPARAM param) {
          auto* s = reinterpret_cast<Search*>(param);
          wchar_t name[64] = {}, caption[256] = {};
          GetClassNameW(w, name, 64);
          GetWindowTextW(w, caption, 256);
          if (!IsWindowVisible(w) || lstrcmpiW(name, s->className) != 0 ||
              (s->text && lstrcmpW(caption, s->text) != 0)) {
            return TRUE;
          }
          s->found = w;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
  }
  // The texts of the page's visible controls, one per line.
  std::wstring texts() const {
    std::wstring out;
    EnumChildWindows(
        window_,
        [](HWND w, LPARAM text) {
          wchar_t buffer[1024] = {};
          if (IsWindowVisible(w) && GetWindowTextW(w, buffer, 1024) > 0) {
            *reinterpret_cast<std::wstring*>(text) += std::wstring(buffer) + L"\n";
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&out));
    return out;
  }
  // The lines of the progress page's list (a list view in the setup's own
  // process, so each item is read through memory there).
  std::vector<std::wstring> progressLines() const {
    std::vector<std::wstring> lines;
    HWND list = nullptr;
    EnumChildWindows(
        window_,
        [](HWND w, LPARAM out) {
          wchar_t name[64] = {};
          GetClassNameW(w, name, 64);
          if (lstrcmpW(name, L"SysListView32") != 0) return TRUE;
          *reinterpret_cast<HWND*>(out) = w;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&list));
    DWORD id = 0;
    GetWindowThreadProcessId(window_, &id);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, id);
    if (!list || !process) return lines;
    constexpr int kChars = 512;
    auto* remote = static_cast<char*>(VirtualAllocEx(
        process, nullptr, sizeof(LVITEMW) + kChars * sizeof(wchar_t), MEM_COMMIT, PAGE_READWRITE));
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; remote && i < count; ++i) {
      LVITEMW item{};
      item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
      item.cchTextMax = kChars;
      wchar_t text[kChars] = {};
      if (WriteProcessMemory(process, remote, &item, sizeof item, nullptr) &&
          SendMessageW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(remote)) >= 0 &&
          ReadProcessMemory(process, remote + sizeof(LVITEMW), text, sizeof text, nullptr)) {
        lines.push_back(text);
      }
    }
    if (remote) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return lines;
  }

 private:
  HWND window_ = nullptr;
};

// Nothing installed, no settings, no data: what a fresh machine has.
inline void reset() {
  endInstalledPrograms();
  removeTree(installDir());
  DeleteFileW(shortcut().c_str());
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, kSettingsKey);
  HKEY uninstall = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                    0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &uninstall) == ERROR_SUCCESS) {
    RegDeleteTreeW(uninstall, L"Cairnstone");
    RegCloseKey(uninstall);
  }
  setAutostart(false);
  forgetDeletionsAtRestart();
  removeTree(dataDir());
  removeTree(userDataDir());
  removeTree(parentPath(updateDir()));
}

// A WoW Forever game folder as the game leaves it, under a fresh folder.
class GameFolder {
 public:
  GameFolder() { makeDirs(joinPath(forever(), L"Interface\\AddOns")); }
  std::wstring wow() const { return dir_.file(L"World of Warcraft"); }
  std::wstring forever() const { return joinPath(wow(), L"_forever_"); }
  std::wstring addon(const wchar_t* name) const {
    return joinPath(forever(), std::wstring(L"Interface\\AddOns\\Cairn\\") + name);
  }
  std::wstring file(const std::wstring& name) const { return dir_.file(name); }

 private:
  TempDir dir_;
};

}  // namespace setup
