#include "gui/shell.h"

#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <type_traits>

#include "base/com_ptr.h"
#include "gui/theme.h"
#include "storage/files.h"

namespace gui {
namespace {

void openPickerAt(IFileOpenDialog* dialog, const std::wstring& folder) {
  if (folder.empty()) return;
  ComPtr<IShellItem> item;
  if (SUCCEEDED(SHCreateItemFromParsingName(folder.c_str(), nullptr, IID_PPV_ARGS(item.put()))) &&
      item) {
    dialog->SetFolder(item.get());
  }
}

// The older picker's way to the same: select the folder once it is shown.
int CALLBACK browseCallback(HWND window, UINT message, LPARAM, LPARAM folder) {
  if (message == BFFM_INITIALIZED && folder) SendMessageW(window, BFFM_SETSELECTIONW, TRUE, folder);
  return 0;
}

// The shell's folder picker; false when this system has none that works, so
// that the older one asks instead. `chosen` stays empty when nothing was.
bool pickWithDialog(HWND owner, const std::wstring& title, const std::wstring& at,
                    std::wstring& chosen) {
  constexpr FILEOPENDIALOGOPTIONS kFolderOptions =
      FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST;
  ComPtr<IFileOpenDialog> dialog;
  const HRESULT made = CoCreateInstance(__uuidof(FileOpenDialog), nullptr, CLSCTX_INPROC_SERVER,
                                        __uuidof(IFileOpenDialog),
                                        reinterpret_cast<void**>(dialog.put()));
  if (FAILED(made) || !dialog) return false;
  FILEOPENDIALOGOPTIONS options = 0;
  dialog->GetOptions(&options);
  dialog->SetOptions(options | kFolderOptions);
  dialog->SetTitle(title.c_str());
  openPickerAt(dialog.get(), at);
  const HRESULT shown = dialog->Show(owner);
  if (shown == E_NOTIMPL || shown == E_NOINTERFACE) return false;
  ComPtr<IShellItem> item;
  if (FAILED(shown) || FAILED(dialog->GetResult(item.put())) || !item) return true;
  PWSTR path = nullptr;
  if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &path)) && path) {
    const ScopedCoTaskMem<wchar_t> owned(path);
    chosen = path;
  }
  return true;
}

std::wstring pickWithBrowser(HWND owner, const std::wstring& title, const std::wstring& at) {
  BROWSEINFOW browse = {};
  browse.hwndOwner = owner;
  browse.lpszTitle = title.c_str();
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  if (!at.empty()) {
    browse.lpfn = browseCallback;
    browse.lParam = reinterpret_cast<LPARAM>(at.c_str());
  }
  const ScopedCoTaskMem<std::remove_pointer_t<PIDLIST_ABSOLUTE>> list(SHBrowseForFolderW(&browse));
  if (!list.valid()) return std::wstring();
  wchar_t path[MAX_PATH] = {};
  return SHGetPathFromIDListW(list, path) ? std::wstring(path) : std::wstring();
}

}  // namespace

std::wstring pickFolder(HWND owner, const std::wstring& title, const std::wstring& start) {
  const std::wstring at = !start.empty() && isDirectory(start) ? start : std::wstring();
  startCom();
  std::wstring chosen;
  if (pickWithDialog(owner, title, at, chosen)) return chosen;
  return pickWithBrowser(owner, title, at);
}

void openInShell(const std::wstring& target, const std::wstring& parameters) {
  startCom();  // the shell may hand the request to its extensions
  ShellExecuteW(nullptr, L"open", target.c_str(), parameters.empty() ? nullptr : parameters.c_str(),
                nullptr, SW_SHOWNORMAL);
}

}  // namespace gui
