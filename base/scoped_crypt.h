// Owners of CNG algorithm providers, hashes and keys.
#pragma once

#include <windows.h>

#include <bcrypt.h>

#include "base/scoped_handle.h"

struct AlgProviderTraits {
  static BCRYPT_ALG_HANDLE invalid() { return nullptr; }
  static bool valid(BCRYPT_ALG_HANDLE h) { return h != nullptr; }
  static void close(BCRYPT_ALG_HANDLE h) { BCryptCloseAlgorithmProvider(h, 0); }
};
using ScopedAlgProvider = ScopedHandleOf<BCRYPT_ALG_HANDLE, AlgProviderTraits>;

struct HashTraits {
  static BCRYPT_HASH_HANDLE invalid() { return nullptr; }
  static bool valid(BCRYPT_HASH_HANDLE h) { return h != nullptr; }
  static void close(BCRYPT_HASH_HANDLE h) { BCryptDestroyHash(h); }
};
using ScopedHash = ScopedHandleOf<BCRYPT_HASH_HANDLE, HashTraits>;

struct CryptKeyTraits {
  static BCRYPT_KEY_HANDLE invalid() { return nullptr; }
  static bool valid(BCRYPT_KEY_HANDLE h) { return h != nullptr; }
  static void close(BCRYPT_KEY_HANDLE h) { BCryptDestroyKey(h); }
};
using ScopedCryptKey = ScopedHandleOf<BCRYPT_KEY_HANDLE, CryptKeyTraits>;
