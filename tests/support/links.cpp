#include "tests/support/links.h"

#include <windows.h>

#include "base/paths.h"
#include "base/scoped_handle.h"
#include "base/text.h"
#include "storage/files.h"
#include "tests/support/test_support.h"

namespace {

constexpr DWORD kUnixCommandMs = 10000;

using UnixName = char*(CDECL*)(const wchar_t*);
using DosName = wchar_t*(CDECL*)(const char*);

template <typename F>
F wineExport(const char* name) {
  return reinterpret_cast<F>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), name)));
}

}  // namespace

std::string unixPath(const std::wstring& path) {
  const UnixName toUnix = wineExport<UnixName>("wine_get_unix_file_name");
  if (!toUnix) return {};
  char* name = toUnix(path.c_str());
  if (!name) return {};
  std::string out(name);
  HeapFree(GetProcessHeap(), 0, name);
  return out;
}

std::string shellQuoted(const std::string& path) {
  std::string out = "'";
  for (char c : path) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

bool runUnixShell(const std::string& command) {
  const DosName toDos = wineExport<DosName>("wine_get_dos_file_name");
  if (!toDos || command.find('"') != std::string::npos) return false;
  wchar_t* shell = toDos("/bin/sh");
  if (!shell) return false;
  const std::wstring exe = shell;
  HeapFree(GetProcessHeap(), 0, shell);
  // Wine hands out no handle to a Unix process: it says it is done by a file.
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring done = joinPath(temp, L"cairn-unix-" + std::to_wstring(GetCurrentProcessId()) +
                                               L"-" + std::to_wstring(GetTickCount64()));
  const std::string marker = unixPath(done);
  if (marker.empty()) return false;
  std::wstring line = L"sh -c \"(" + toWide(command) + L") && touch " +
                      toWide(shellQuoted(marker)) + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    return false;
  }
  ScopedHandle process(info.hProcess), thread(info.hThread);
  const bool ran = waitFor([&] { return fileExists(done); }, kUnixCommandMs);
  DeleteFileW(done.c_str());
  return ran;
}

bool makeLink(const std::wstring& link, const std::wstring& target, bool folder) {
  const DWORD flags = (folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) |
                      SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
  if (CreateSymbolicLinkW(link.c_str(), target.c_str(), flags) && fileExists(link)) return true;
  const std::string from = unixPath(link), to = unixPath(target);
  return !from.empty() && !to.empty() &&
         runUnixShell("ln -s " + shellQuoted(to) + " " + shellQuoted(from)) && fileExists(link);
}

bool reportedAsLink(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool removeLinkItself(const std::wstring& link) {
  // Under Wine a Unix link goes by rm: Wine's RemoveDirectoryW would remove
  // an empty folder it points at.
  const std::string path = unixPath(link);
  if (!path.empty()) return runUnixShell("rm -f " + shellQuoted(path));
  return RemoveDirectoryW(link.c_str()) || DeleteFileW(link.c_str());
}

bool linksOpenAsThemselves() {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring base =
      joinPath(temp, L"cairn-link-probe-" + std::to_wstring(GetCurrentProcessId()));
  const std::wstring target = base + L"-target", link = base + L"-link";
  CreateDirectoryW(target.c_str(), nullptr);
  bool asItself = false;
  if (makeLink(link, target, true)) {
    ScopedHandle h(CreateFileW(link.c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING,
                               FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    asItself = h.valid() &&
               GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag) &&
               (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    h.reset();
    removeLinkItself(link);
  }
  RemoveDirectoryW(target.c_str());
  return asItself;
}
