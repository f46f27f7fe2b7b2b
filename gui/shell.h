// What the windows ask of the shell: a folder, a page or a program opened.
// Both start COM on the calling thread first.
#pragma once

#include <windows.h>

#include <string>

namespace gui {

// The shell's folder picker, open at `start` when that is a folder; empty
// when nothing was chosen.
std::wstring pickFolder(HWND owner, const std::wstring& title,
                        const std::wstring& start = std::wstring());
// Opens a web page or starts a program through the shell.
void openInShell(const std::wstring& target, const std::wstring& parameters = std::wstring());

}  // namespace gui
