// Owners of WinHTTP session, connection and request handles.
#pragma once

#include <windows.h>

#include <winhttp.h>

#include "base/scoped_handle.h"

struct InternetTraits {
  static HINTERNET invalid() { return nullptr; }
  static bool valid(HINTERNET h) { return h != nullptr; }
  static void close(HINTERNET h) { WinHttpCloseHandle(h); }
};
using ScopedInternet = ScopedHandleOf<HINTERNET, InternetTraits>;
