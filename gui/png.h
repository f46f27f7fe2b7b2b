// PNG pictures as this program keeps them among its resources: 8-bit RGB or
// RGBA, not interlaced. Decoded here rather than by GDI+, whose decoders
// load a codec library that stays in the process once loaded. The rows go
// straight to their destination, with only a 32 KB window and two rows in
// between. Only the standard library: it also builds natively, for the fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace png {

// Larger pictures are refused before anything is decoded.
constexpr std::size_t kMaxPixels = 4096 * 4096;

struct Size {
  int width = 0;
  int height = 0;
};

// One row, top-down from y = 0: width * 4 bytes of blue, green, red and alpha
// per pixel, not premultiplied; alpha is 255 in a picture without it.
using RowSink = std::function<void(int y, const std::uint8_t* bgra)>;
// Inflated bytes, in order, in pieces.
using ByteSink = std::function<void(const std::uint8_t* bytes, std::size_t count)>;

// The size in the header; false for anything that is not a PNG of the kind
// above or is larger than kMaxPixels.
bool readSize(const std::uint8_t* data, std::size_t size, Size& out);

// Every row in turn; false when the data is not such a PNG or is broken or
// truncated, and then some rows may already have been handed over.
bool decode(const std::uint8_t* data, std::size_t size, const RowSink& row);

// The data of a zlib stream (RFC 1950 and 1951); false when it is broken,
// fails its Adler-32 or would exceed `maxBytes`.
bool inflate(const std::uint8_t* data, std::size_t size, std::size_t maxBytes,
             const ByteSink& out);

}  // namespace png
