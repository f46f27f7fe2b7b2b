// libFuzzer target for the PNG decoder, built natively with sanitizers by
// tests/json/fuzz.sh. Properties: no crash or sanitizer report; rows come
// once each, top-down, within the header's size; a decoded picture handed
// over every row. The input is also inflated as a bare zlib stream.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "gui/png.h"

namespace {

void violated(const char* what) {
  std::fprintf(stderr, "property violated: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kInflateLimit = 1 << 20;
  std::size_t inflated = 0;
  if (png::inflate(data, size, kInflateLimit, [&](const std::uint8_t* bytes, std::size_t count) {
        if (!bytes && count > 0) violated("null bytes");
        inflated += count;
      }) &&
      inflated > kInflateLimit) {
    violated("inflated past the limit");
  }
  png::Size picture;
  const bool sized = png::readSize(data, size, picture);
  int next = 0;
  const bool decoded = png::decode(data, size, [&](int y, const std::uint8_t* bgra) {
    if (!sized || y != next || y >= picture.height) violated("a row out of order or range");
    volatile std::uint8_t last = bgra[static_cast<std::size_t>(picture.width) * 4 - 1];
    (void)last;
    ++next;
  });
  if (decoded && (!sized || next != picture.height)) violated("decoded without every row");
  return 0;
}
