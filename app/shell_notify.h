// Requests to the notification area, each on a short-lived thread: a hung
// shell can delay the caller by the time-out at most, never freeze it.
#pragma once

#include <windows.h>

#include <shellapi.h>

namespace ui {

constexpr DWORD kShellTimeoutMs = 2000;        // add, set version, modify
constexpr DWORD kShellDeleteTimeoutMs = 1500;  // at exit

// Shell_NotifyIconW(operation, data) on its own thread; waits at most
// timeoutMs and logs when the shell did not answer in time.
void shellNotify(DWORD operation, const NOTIFYICONDATAW& data, DWORD timeoutMs);

// The call shellNotify makes; tests put a recorder (or a hung shell) here.
using ShellNotifyFunction = BOOL(WINAPI*)(DWORD operation, PNOTIFYICONDATAW data);
void setShellNotifyFunction(ShellNotifyFunction function);  // null: the real shell

}  // namespace ui
