// Owners of CNG algorithm providers, hashes and keys.
#pragma once

#include <windows.h>

#include <bcrypt.h>

#include "base/scoped_handle.h"

inline void closeAlgProvider(BCRYPT_ALG_HANDLE h) { BCryptCloseAlgorithmProvider(h, 0); }
using ScopedAlgProvider =
    ScopedHandleOf<BCRYPT_ALG_HANDLE, NullHandleTraits<BCRYPT_ALG_HANDLE, closeAlgProvider>>;
using ScopedHash =
    ScopedHandleOf<BCRYPT_HASH_HANDLE, NullHandleTraits<BCRYPT_HASH_HANDLE, BCryptDestroyHash>>;
using ScopedCryptKey =
    ScopedHandleOf<BCRYPT_KEY_HANDLE, NullHandleTraits<BCRYPT_KEY_HANDLE, BCryptDestroyKey>>;
