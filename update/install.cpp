#include "update/install.h"

#include <shellapi.h>

#include "i18n/i18n.h"
#include "storage/files.h"

namespace {

constexpr ULONG kStartMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;

}  // namespace

std::wstring installerArgs(const std::wstring& gameFolder, const std::string& language,
                           bool autostart) {
  std::wstring args = L"/S /UPDATE";
  // A quote inside the folder would end the quoted value early.
  if (!gameFolder.empty() && gameFolder.find(L'"') == std::wstring::npos) {
    args += L" /FOREVER=\"" + gameFolder + L"\"";
  }
  args += L" /MAINLANG=" + toWide(isKnownLanguage(language) ? language : "en");
  if (!autostart) args += L" /NOAUTOSTART";
  return args;
}

int startInstaller(const std::wstring& path, HANDLE checkedFile, HWND owner,
                   const std::wstring& parameters, HANDLE& process, std::string& error) {
  process = nullptr;
  if (checkedFile == INVALID_HANDLE_VALUE) {
    error = "no checked installer";
    return kInstallFailed;
  }
  const std::wstring folder = parentPath(path);
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof info;
  info.fMask = kStartMask;
  info.hwnd = owner;
  info.lpVerb = L"runas";
  info.lpFile = path.c_str();
  info.lpParameters = parameters.c_str();
  info.lpDirectory = folder.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (ShellExecuteExW(&info)) {
    if (info.hProcess) {
      process = info.hProcess;
      return kInstallStarted;
    }
    error = "the installer started without a process handle";
    return kInstallFailed;
  }
  const DWORD code = GetLastError();
  if (code == ERROR_CANCELLED) return kInstallDeclined;
  error = sformat("cannot start the installer (%lu)", code);
  return kInstallFailed;
}
