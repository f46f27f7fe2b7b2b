// The two checks between the service and an installer that runs with
// administrator rights: the release key's signature over the release message,
// and the file's exact size and SHA-256. A file that passes stays open,
// readable by others but locked against writing, renaming and deletion,
// until it is run or dropped.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/scoped_handle.h"
#include "update/release.h"
#include "update/release_key.h"

// A verified installer file. It owns its open handle (moved, never copied);
// destroying it closes the handle and keeps the file.
class ReadyInstaller {
 public:
  std::string version;
  std::wstring path;

  ReadyInstaller() = default;
  ReadyInstaller(ReadyInstaller&& other) noexcept;
  ReadyInstaller& operator=(ReadyInstaller&& other) noexcept;

  // INVALID_HANDLE_VALUE exactly when the record is empty.
  HANDLE handle() const { return file_.valid() ? file_.get() : INVALID_HANDLE_VALUE; }
  bool empty() const { return !file_.valid(); }
  void adopt(std::string version, std::wstring path, HANDLE handle);
  // Closes the handle and empties the record; the file stays (shutdown).
  void close();

 private:
  ScopedHandle file_;
};

// True when `signature` (128 lower-case hex digits, r then s) signs `message`
// under the built-in release key.
bool verifyReleaseSignature(const std::string& message, const std::string& signature);
// The same under a given key; an all-zero key refuses everything.
bool verifyReleaseSignatureWith(const std::uint8_t (&key)[kReleaseKeyBytes],
                                const std::string& message, const std::string& signature);

// True with `out` holding the still-open file; false with `error` set and,
// unless the file could not be opened, the file deleted.
bool verifyInstallerFile(const std::wstring& path, const TrustedRelease& release,
                         ReadyInstaller& out, std::string& error);
// Closes the handle and deletes the file; the record is empty afterwards.
void discardInstaller(ReadyInstaller& installer);

// SHA-256 of the bytes as 64 lower-case hex digits; empty if CNG fails.
std::string sha256Hex(const std::string& bytes);
