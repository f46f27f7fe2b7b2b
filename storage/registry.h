// Reading the registry's values.
#pragma once

#include <windows.h>

#include <string>

// A REG_SZ or REG_EXPAND_SZ value (not expanded) without trailing NULs;
// empty when missing, of another type or larger than 2,048 bytes.
std::wstring regString(HKEY root, const wchar_t* subKey, const wchar_t* valueName,
                       REGSAM extraAccess);
