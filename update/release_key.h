// The public half of the release key pair: the P-256 point's X then Y, 32
// bytes each, big-endian. It is linked in from a key file chosen at build
// time (the product's release key, or the tests' own key); all zero means no
// key, and then every signature is refused.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t kReleaseKeyBytes = 64;

extern const std::uint8_t releaseKey[kReleaseKeyBytes];
