#include "gui/png.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::string;

const std::uint8_t* bytesOf(const Bytes& b) { return reinterpret_cast<const std::uint8_t*>(b.data()); }

bool inflateAll(const Bytes& stream, size_t maxBytes, Bytes& out) {
  out.clear();
  return png::inflate(bytesOf(stream), stream.size(), maxBytes,
                      [&](const std::uint8_t* b, size_t n) { out.append(reinterpret_cast<const char*>(b), n); });
}

const Bytes kFixedText = "abcabcabcabcabcabc, hello hello";
const Bytes kFixed(
    "\x78\x01\x4b\x4c\x4a\x4e\x44\x45\x3a\x0a\x19\xa9\x39\x39\xf9\x10\x12\x00\xb8\x5f\x0b\x79", 22);
const Bytes kStored("\x78\x01\x01\x06\x00\xf9\xff\x73\x74\x6f\x72\x65\x64\x09\x3c\x02\x92", 17);

Bytes changed(Bytes b, size_t at, char value) {
  b[at] = value;
  return b;
}

TEST(PngInflate, DecodesOrRefusesEachStream) {
  struct Case {
    const char* what;
    Bytes stream;
    size_t maxBytes;
    bool ok;
    Bytes text;
  };
  const Case cases[] = {
      {"fixed codes, matches that overlap", kFixed, 1000, true, kFixedText},
      {"a stored block", kStored, 1000, true, "stored"},
      {"exactly the limit", kFixed, kFixedText.size(), true, kFixedText},
      {"one byte over the limit", kFixed, kFixedText.size() - 1, false, ""},
      {"Adler-32 off by one", changed(kFixed, 21, '\x7a'), 1000, false, ""},
      {"truncated", kFixed.substr(0, 15), 1000, false, ""},
      {"no checksum", kFixed.substr(0, 18), 1000, false, ""},
      {"not deflate", changed(kFixed, 0, '\x79'), 1000, false, ""},
      {"a preset dictionary", Bytes("\x78\x20", 2) + kFixed.substr(2), 1000, false, ""},
      {"the reserved block type", Bytes("\x78\x01\x07\x00\x00\x00\x00", 7), 1000, false, ""},
      {"stored length and complement disagree", changed(kStored, 5, '\xfa'), 1000, false, ""},
      {"empty", "", 1000, false, ""},
  };
  for (const Case& c : cases) {
    Bytes out;
    EXPECT_EQ(inflateAll(c.stream, c.maxBytes, out), c.ok) << c.what;
    EXPECT_EQ(out, c.ok ? c.text : out) << c.what;
  }
}

// A zlib stream of one block in deflate's fixed codes, written here, and
// the bytes it stands for.
class FixedCodes {
 public:
  FixedCodes() : stream_("\x78\x01", 2) { put(0b011, 3); }  // the last block, fixed codes
  void literal(unsigned char c) {
    if (c < 144) {
      code(0x30 + c, 8);
    } else {
      code(0x190 + c - 144, 9);
    }
    text_ += static_cast<char>(c);
  }
  // A match as LZ77 means it: byte by byte, so that it may overlap itself.
  void match(unsigned length, unsigned distance) {
    static const unsigned kLengths[] = {3,  4,  5,  6,  7,  8,  9,  10,  11,  13,  15,  17,  19,  23, 27,
                                        31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static const unsigned kDistances[] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                          33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                          1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    unsigned l = 28;
    while (kLengths[l] > length) --l;
    const unsigned symbol = 257 + l;
    if (symbol < 280) {
      code(symbol - 256, 7);
    } else {
      code(0xC0 + symbol - 280, 8);
    }
    put(length - kLengths[l], l < 8 || l == 28 ? 0 : (l - 4) / 4);
    unsigned d = 29;
    while (kDistances[d] > distance) --d;
    code(d, 5);
    put(distance - kDistances[d], d < 4 ? 0 : (d - 2) / 2);
    for (unsigned i = 0; i < length; ++i) text_ += text_[text_.size() - distance];
  }
  Bytes finish() {
    code(0, 7);  // the end of the block
    if (used_ > 0) stream_ += static_cast<char>(pending_);
    std::uint32_t a = 1, b = 0;
    for (unsigned char c : text_) {
      a = (a + c) % 65521;
      b = (b + a) % 65521;
    }
    const std::uint32_t adler = b << 16 | a;
    for (int shift = 24; shift >= 0; shift -= 8) stream_ += static_cast<char>(adler >> shift);
    return stream_;
  }
  const Bytes& text() const { return text_; }

 private:
  void put(std::uint32_t value, unsigned count) {  // from the lowest bit up
    for (unsigned i = 0; i < count; ++i) {
      pending_ |= ((value >> i) & 1) << used_;
      if (++used_ == 8) {
        stream_ += static_cast<char>(pending_);
        pending_ = used_ = 0;
      }
    }
  }
  void code(std::uint32_t value, unsigned count) {  // Huffman codes go highest bit first
    for (unsigned i = count; i-- > 0;) put(value >> i & 1, 1);
  }
  Bytes stream_, text_;
  std::uint32_t pending_ = 0;
  unsigned used_ = 0;
};

// Matches of every kind around the two ends of the 32 KB window the inflater
// keeps: reaching back the whole window, overlapping themselves, and running
// over the window's end while the bytes before it are handed on.
TEST(PngInflate, MatchesAcrossTheWindowGiveTheirBytes) {
  FixedCodes codes;
  std::uint32_t noise = 12345;
  const auto literals = [&](size_t until) {
    while (codes.text().size() < until) {
      noise = noise * 1103515245 + 12345;
      codes.literal(static_cast<unsigned char>(noise >> 16));
    }
  };
  literals(32768 - 100);
  codes.match(258, 1);  // over the window's end, repeating one byte
  codes.match(258, 32768);  // from where the window now begins
  literals(65536 - 7);
  codes.match(100, 3);  // a pattern of three over the end again
  codes.match(258, 32768 - 5);
  codes.match(258, 2049);
  const Bytes stream = codes.finish();
  Bytes out;
  ASSERT_TRUE(inflateAll(stream, codes.text().size(), out));
  EXPECT_TRUE(out == codes.text());
}

// A PNG around filtered rows, in a stored zlib block (the CRCs are not read).
Bytes bigEndian(std::uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}
Bytes chunk(const char* type, const Bytes& body) { return bigEndian(static_cast<std::uint32_t>(body.size())) + type + body + bigEndian(0); }
Bytes zlibStored(const Bytes& raw) {
  std::uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  const auto n = static_cast<std::uint16_t>(raw.size());
  const std::uint16_t inverse = static_cast<std::uint16_t>(~n);
  return Bytes("\x78\x01\x01", 3) + static_cast<char>(n & 0xFF) + static_cast<char>(n >> 8) +
         static_cast<char>(inverse & 0xFF) + static_cast<char>(inverse >> 8) + raw +
         bigEndian(b << 16 | a);
}
struct Header {
  std::uint32_t width = 2, height = 2;
  char depth = 8, colour = 2, interlace = 0;
};
Bytes pngOf(const Header& h, const Bytes& raw, const Bytes& before = "", const Bytes& after = "") {
  const Bytes ihdr = bigEndian(h.width) + bigEndian(h.height) + h.depth + h.colour + '\0' + '\0' +
                     h.interlace;
  return Bytes("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", ihdr) + before +
         chunk("IDAT", zlibStored(raw)) + after + chunk("IEND", "");
}

// Every row as R,G,B(,A) bytes, in the order the rows came.
bool decodeAll(const Bytes& file, std::vector<int>& order, Bytes& rgba) {
  png::Size size;
  if (!png::readSize(bytesOf(file), file.size(), size)) return false;
  order.clear();
  rgba.clear();
  return png::decode(bytesOf(file), file.size(), [&](int y, const std::uint8_t* bgra) {
    order.push_back(y);
    for (int x = 0; x < size.width; ++x, bgra += 4) {
      rgba += {static_cast<char>(bgra[2]), static_cast<char>(bgra[1]), static_cast<char>(bgra[0]),
               static_cast<char>(bgra[3])};
    }
  });
}

// Row 0 is unfiltered; row 1 is 1,2,3 4,5,6 (the Sub row starts at 250)
// under each filter, worked out by hand.
TEST(PngDecode, UndoesEachFilter) {
  const Bytes first("\0\x0a\x14\x1e\x09\x14\x1e", 7);  // 10,20,30  9,20,30
  struct Case {
    char filter;
    Bytes secondRow;  // R,G,B of both pixels
  };
  const Case cases[] = {
      {0, Bytes("\x01\x02\x03\x04\x05\x06", 6)},
      {1, Bytes("\xfa\x02\x03\x04\x07\x09", 6)},  // 250 + 10 wraps to 4
      {2, Bytes("\x0b\x16\x21\x0d\x19\x24", 6)},  // 11,22,33 13,25,36
      {3, Bytes("\x06\x0c\x12\x0b\x15\x1e", 6)},  // 6,12,18 11,21,30
      {4, Bytes("\x0b\x16\x21\x0e\x1b\x27", 6)},  // up, up, up; corner, left, left
  };
  for (const Case& c : cases) {
    const Bytes rowBytes = c.filter == 1 ? Bytes("\xfa\x02\x03\x0a\x05\x06", 6)
                                         : Bytes("\x01\x02\x03\x04\x05\x06", 6);
    std::vector<int> order;
    Bytes rgba;
    ASSERT_TRUE(decodeAll(pngOf({}, first + c.filter + rowBytes), order, rgba)) << int{c.filter};
    EXPECT_EQ(order, (std::vector<int>{0, 1}));
    const Bytes& s = c.secondRow;
    const Bytes expected = Bytes("\x0a\x14\x1e\xff\x09\x14\x1e\xff", 8) + s.substr(0, 3) + '\xff' +
                           s.substr(3, 3) + '\xff';
    EXPECT_EQ(rgba, expected) << "filter " << int{c.filter};
  }
}

TEST(PngDecode, ReadsAlphaAndSkipsWhatItNeedNotRead) {
  Header rgba;
  rgba.width = 1;
  rgba.height = 1;
  rgba.colour = 6;
  const Bytes pixel("\0\x11\x22\x33\x44", 5);
  std::vector<int> order;
  Bytes out;
  ASSERT_TRUE(decodeAll(pngOf(rgba, pixel, chunk("PLTE", "abc") + chunk("tEXt", "a\0b")), order, out));
  EXPECT_EQ(out, Bytes("\x11\x22\x33\x44", 4));
  // The image data split over two chunks.
  const Bytes stream = zlibStored(pixel);
  const Bytes split = Bytes("\x89PNG\r\n\x1a\n", 8) +
                      chunk("IHDR", bigEndian(1) + bigEndian(1) + Bytes("\x08\x06\0\0\0", 5)) +
                      chunk("IDAT", stream.substr(0, 4)) + chunk("IDAT", stream.substr(4)) +
                      chunk("IEND", "");
  ASSERT_TRUE(decodeAll(split, order, out));
  EXPECT_EQ(out, Bytes("\x11\x22\x33\x44", 4));
}

TEST(PngDecode, RefusesWhatItCannotReadWhole) {
  const Bytes rows("\0\1\2\3\4\5\6\0\1\2\3\4\5\6", 14);
  const auto header = [](auto change) {
    Header h;
    change(h);
    return h;
  };
  struct Case {
    const char* what;
    Bytes file;
  };
  const Case cases[] = {
      {"a palette", pngOf(header([](Header& h) { h.colour = 3; }), rows)},
      {"16 bits", pngOf(header([](Header& h) { h.depth = 16; }), rows)},
      {"interlaced", pngOf(header([](Header& h) { h.interlace = 1; }), rows)},
      {"no width", pngOf(header([](Header& h) { h.width = 0; }), rows)},
      {"too many pixels", pngOf(header([](Header& h) { h.width = h.height = 5000; }), rows)},
      {"an unknown critical chunk", pngOf({}, rows, chunk("ZZZZ", "x"))},
      {"a row short", pngOf({}, rows.substr(0, 13))},
      {"a byte too many", pngOf({}, rows + '\0')},
      {"an unknown filter", pngOf({}, Bytes("\x05", 1) + rows.substr(1))},
      {"no end", pngOf({}, rows).substr(0, pngOf({}, rows).size() - 12)},
      {"a chunk longer than the file", pngOf({}, rows).substr(0, 40)},
      {"not a PNG", "GIF89a"},
  };
  for (const Case& c : cases) {
    std::vector<int> order;
    Bytes out;
    EXPECT_FALSE(decodeAll(c.file, order, out)) << c.what;
  }
  std::vector<int> order;
  Bytes out;
  EXPECT_TRUE(decodeAll(pngOf({}, rows), order, out));  // the file the cases above break
}

}  // namespace
