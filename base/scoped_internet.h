// Owners of WinHTTP session, connection and request handles.
#pragma once

#include <windows.h>

#include <winhttp.h>

#include "base/scoped_handle.h"

using ScopedInternet = ScopedHandleOf<HINTERNET, NullHandleTraits<HINTERNET, WinHttpCloseHandle>>;
