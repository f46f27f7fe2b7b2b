#include "gui/shell.h"

#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "gui/theme.h"
#include "storage/files.h"

namespace gui {
namespace {

void openPickerAt(IFileOpenDialog* dialog, const std::wstring& folder) {
  if (folder.empty()) return;
  IShellItem* item = nullptr;
  if (SUCCEEDED(SHCreateItemFromParsingName(folder.c_str(), nullptr, IID_PPV_ARGS(&item))) &&
      item) {
    dialog->SetFolder(item);
    item->Release();
  }
}

// The older picker's way to the same: select the folder once it is shown.
int CALLBACK browseCallback(HWND window, UINT message, LPARAM, LPARAM folder) {
  if (message == BFFM_INITIALIZED && folder) SendMessageW(window, BFFM_SETSELECTIONW, TRUE, folder);
  return 0;
}

}  // namespace

std::wstring pickFolder(HWND owner, const std::wstring& title, const std::wstring& start) {
  constexpr FILEOPENDIALOGOPTIONS kFolderOptions =
      FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST;
  const std::wstring at = !start.empty() && isDirectory(start) ? start : std::wstring();
  startCom();
  IFileOpenDialog* dialog = nullptr;
  HRESULT hr = CoCreateInstance(__uuidof(FileOpenDialog), nullptr, CLSCTX_INPROC_SERVER,
                                __uuidof(IFileOpenDialog), reinterpret_cast<void**>(&dialog));
  bool fallback = FAILED(hr) || !dialog;
  std::wstring chosen;
  if (!fallback) {
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    dialog->SetOptions(options | kFolderOptions);
    dialog->SetTitle(title.c_str());
    openPickerAt(dialog, at);
    hr = dialog->Show(owner);
    if (hr == E_NOTIMPL || hr == E_NOINTERFACE) {
      fallback = true;
    } else if (SUCCEEDED(hr)) {
      IShellItem* item = nullptr;
      if (SUCCEEDED(dialog->GetResult(&item)) && item) {
        PWSTR path = nullptr;
        if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &path)) && path) {
          chosen = path;
          CoTaskMemFree(path);
        }
        item->Release();
      }
    }
    dialog->Release();
  }
  if (!fallback) return chosen;
  BROWSEINFOW browse = {};
  browse.hwndOwner = owner;
  browse.lpszTitle = title.c_str();
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  if (!at.empty()) {
    browse.lpfn = browseCallback;
    browse.lParam = reinterpret_cast<LPARAM>(at.c_str());
  }
  PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&browse);
  if (!list) return std::wstring();
  wchar_t path[MAX_PATH] = {};
  if (SHGetPathFromIDListW(list, path)) chosen = path;
  CoTaskMemFree(list);
  return chosen;
}

void openInShell(const std::wstring& target, const std::wstring& parameters) {
  startCom();  // the shell may hand the request to its extensions
  ShellExecuteW(nullptr, L"open", target.c_str(), parameters.empty() ? nullptr : parameters.c_str(),
                nullptr, SW_SHOWNORMAL);
}

}  // namespace gui
