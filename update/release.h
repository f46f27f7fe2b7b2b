// The release the service offers: the signed message that binds version,
// size and SHA-256, and the ordered checks that turn an untrusted answer into
// a release worth downloading.
#pragma once

#include <cstdint>
#include <string>

#include "update/service.h"

// A newer release that passed every check.
struct TrustedRelease {
  std::string version;
  std::wstring url;  // the download address
  std::int64_t size = 0;
  std::string sha256;  // 64 lower-case hexadecimal characters
};

constexpr std::int64_t kMaxInstallerBytes = 134217728;  // 128 MiB

// "Cairnstone-Setup\nversion=V\nsize=N\nsha256=H\n", the bytes the release key signs.
std::string releaseMessage(const std::string& version, std::int64_t size,
                           const std::string& sha256);

enum class ReleaseVerdict { NotNewer, Trusted, Refused };

// Trusted fills `out`; Refused appends the reason to `error`.
ReleaseVerdict evaluateRelease(const ReleaseInfo& info, const std::string& currentVersion,
                               TrustedRelease& out, std::string& error);

// Exactly `length` characters, each from "0123456789abcdef".
bool isLowerHex(const std::string& text, std::size_t length);
