#include "update/install.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>

#include "base/languages.h"
#include "base/paths.h"
#include "base/scoped_handle.h"
#include "base/text.h"
#include "update/download.h"

namespace {

constexpr ULONG kStartMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
constexpr DWORD kFinalPathChars = 32768;
constexpr wchar_t kLongPrefix[] = L"\\\\?\\";
constexpr wchar_t kLongUncPrefix[] = L"\\\\?\\UNC\\";

// The same file: volume serial and the whole 128-bit file id (ReFS ids do
// not fit the 64 bits of the older file index).
bool sameFile(HANDLE a, HANDLE b) {
  FILE_ID_INFO first = {}, second = {};
  return GetFileInformationByHandleEx(a, FileIdInfo, &first, sizeof first) &&
         GetFileInformationByHandleEx(b, FileIdInfo, &second, sizeof second) &&
         first.VolumeSerialNumber == second.VolumeSerialNumber &&
         memcmp(&first.FileId, &second.FileId, sizeof first.FileId) == 0;
}

// "\\?\C:\x" as "C:\x" and "\\?\UNC\srv\x" as "\\srv\x".
std::wstring withoutLongPrefix(const std::wstring& path) {
  if (path.rfind(kLongUncPrefix, 0) == 0) return L"\\\\" + path.substr(wcslen(kLongUncPrefix));
  if (path.rfind(kLongPrefix, 0) == 0) return path.substr(wcslen(kLongPrefix));
  return path;
}

// Where the checked file is now, from its own handle, in a form the shell
// takes, once the file found there is the checked one; empty otherwise.
std::wstring checkedFilePath(HANDLE checked, std::string& error) {
  std::wstring path(kFinalPathChars, L'\0');
  const DWORD chars = GetFinalPathNameByHandleW(checked, &path[0], kFinalPathChars,
                                                FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (chars == 0 || chars >= kFinalPathChars) {
    error = sformat("cannot tell where the checked installer is (%lu)", GetLastError());
    return {};
  }
  path.resize(chars);
  const ShellPath shell = shellPath(path);
  if (!shell) {
    error = sformat(
        "the installer's path is too long for the shell (%zu characters) and has no "
        "short form (%lu)",
        shell.plainChars, shell.error);
    return {};
  }
  ScopedHandle found(CreateFileW(shell.path.c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!found.valid() || !sameFile(found, checked)) {
    error = "the file at the installer's path is not the checked installer";
    return {};
  }
  return shell.path;
}

}  // namespace

ShellPath shellPath(const std::wstring& finalPath) {
  ShellPath out;
  const std::wstring plain = withoutLongPrefix(finalPath);
  out.plainChars = plain.size();
  if (plain.size() < MAX_PATH) {
    out.path = plain;
    return out;
  }
  // The short (8.3) names, where the volume keeps them; asked of the long
  // form, which has no length limit.
  std::wstring shortForm(kFinalPathChars, L'\0');
  const DWORD chars = GetShortPathNameW(finalPath.c_str(), &shortForm[0], kFinalPathChars);
  if (chars == 0 || chars >= kFinalPathChars) {
    out.error = chars == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
    return out;
  }
  shortForm.resize(chars);
  shortForm = withoutLongPrefix(shortForm);
  if (shortForm.size() >= MAX_PATH) {
    out.error = ERROR_FILENAME_EXCED_RANGE;
    return out;
  }
  out.path = shortForm;
  return out;
}

std::wstring installerArgs(const std::wstring& gameFolder, const std::string& language,
                           bool autostart) {
  std::wstring args = L"/S /UPDATE";
  // A quote inside the folder would end the quoted value early. The
  // installer's switch scanner does not honour quotes at all: " /S" or
  // " /D=" inside the folder would read as switches. With every '/' turned
  // into a backslash, which names the same Windows folder, no part can.
  if (!gameFolder.empty() && gameFolder.find(L'"') == std::wstring::npos) {
    std::wstring folder = gameFolder;
    std::replace(folder.begin(), folder.end(), L'/', L'\\');
    args += L" /FOREVER=\"" + folder + L"\"";
  }
  args += L" /MAINLANG=" + toWide(knownOrEnglish(language));
  if (!autostart) args += L" /NOAUTOSTART";
  return args;
}

InstallResult startInstaller(HANDLE checkedFile, HWND owner, const std::wstring& parameters,
                             ScopedHandle& process, std::string& error) {
  process.reset();
  if (checkedFile == INVALID_HANDLE_VALUE) {
    error = "no checked installer";
    return InstallResult::Failed;
  }
  if (updateDirHoldsLink()) {
    error = "the update folder is reached through a link";
    return InstallResult::Failed;
  }
  // The checked handle stays open, so the file can be neither changed nor
  // moved; it is started by the path the handle itself names.
  const std::wstring checkedPath = checkedFilePath(checkedFile, error);
  if (checkedPath.empty()) return InstallResult::Failed;
  const std::wstring folder = parentPath(checkedPath);
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof info;
  info.fMask = kStartMask;
  info.hwnd = owner;
  info.lpVerb = L"runas";
  info.lpFile = checkedPath.c_str();
  info.lpParameters = parameters.c_str();
  info.lpDirectory = folder.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (ShellExecuteExW(&info)) {
    if (info.hProcess) {
      process.reset(info.hProcess);
      return InstallResult::Started;
    }
    error = "the installer started without a process handle";
    return InstallResult::Failed;
  }
  const DWORD code = GetLastError();
  if (code == ERROR_CANCELLED) return InstallResult::Declined;
  error = sformat("cannot start the installer (%lu)", code);
  return InstallResult::Failed;
}
