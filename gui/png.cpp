#include "gui/png.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace png {
namespace {

constexpr int kMaxCodeBits = 15;
constexpr int kLiteralCodes = 288;  // the fixed table's count; a block may use 286
constexpr int kDistanceCodes = 30;
constexpr int kCodeLengthCodes = 19;
constexpr int kEndOfBlock = 256;

struct Span {
  const std::uint8_t* data;
  std::size_t size;
};

// Bits in the order deflate packs them, from each byte's lowest bit up, out
// of one or more pieces of data (a PNG's image data chunks). Up to 64 are
// held ahead, so that a code can be looked up before its length is known.
class BitReader {
 public:
  explicit BitReader(std::vector<Span> spans) : spans_(std::move(spans)) {}

  // The next `count` bits (at most 32), zeros past the end of the data.
  std::uint32_t peek(int count) {
    if (held_ <= 56) refill();
    return static_cast<std::uint32_t>(buffer_ & ((std::uint64_t{1} << count) - 1));
  }
  bool skip(int count) {
    if (count > held_) return false;  // past the end of the data
    buffer_ >>= count;
    held_ -= count;
    return true;
  }
  bool take(int count, std::uint32_t& value) {
    value = peek(count);
    return skip(count);
  }
  // The rest of the current byte is dropped.
  void alignToByte() { skip(held_ % 8); }
  bool byte(std::uint8_t& value) {
    std::uint32_t bits;
    if (!take(8, bits)) return false;
    value = static_cast<std::uint8_t>(bits);
    return true;
  }

 private:
  // Eight bytes at a time while a piece has them, else byte by byte.
  void refill() {
    if (span_ < spans_.size() && spans_[span_].size - next_ >= 8) {
      std::uint64_t word;  // little-endian, as on every target of this program
      std::memcpy(&word, spans_[span_].data + next_, sizeof word);
      const int bytes = (63 - held_) / 8;  // that fit whole
      buffer_ |= (word & ((std::uint64_t{1} << (bytes * 8)) - 1)) << held_;
      next_ += bytes;
      held_ += bytes * 8;
      return;
    }
    while (held_ <= 56 && more()) {
      buffer_ |= static_cast<std::uint64_t>(spans_[span_].data[next_++]) << held_;
      held_ += 8;
    }
  }
  bool more() {
    while (span_ < spans_.size() && next_ >= spans_[span_].size) {
      ++span_;
      next_ = 0;
    }
    return span_ < spans_.size();
  }

  std::vector<Span> spans_;
  std::size_t span_ = 0;
  std::size_t next_ = 0;
  std::uint64_t buffer_ = 0;
  int held_ = 0;
};

// A canonical Huffman code: how many codes each length has and the symbols
// ordered by code, and a table that decodes the codes of up to kFastBits
// bits at one look (the bits as they arrive index it).
constexpr int kFastBits = 11;

struct Code {
  std::uint16_t count[kMaxCodeBits + 1] = {};
  std::uint16_t symbol[kLiteralCodes] = {};
  std::uint16_t fast[1 << kFastBits] = {};  // symbol << 4 | length; 0 for a longer code
};

std::uint32_t reversed(std::uint32_t code, int bits) {
  std::uint32_t out = 0;
  for (int i = 0; i < bits; ++i, code >>= 1) out = out << 1 | (code & 1);
  return out;
}

void buildFastTable(Code& code, const std::uint8_t* lengths, int symbols) {
  std::memset(code.fast, 0, sizeof code.fast);
  std::uint32_t next[kMaxCodeBits + 2] = {};
  for (int bits = 1; bits <= kMaxCodeBits; ++bits) {
    next[bits + 1] = (next[bits] + code.count[bits]) << 1;
  }
  for (int s = 0; s < symbols; ++s) {
    const int bits = lengths[s];
    if (bits == 0) continue;
    const std::uint32_t value = next[bits]++;
    if (bits > kFastBits) continue;
    const auto entry = static_cast<std::uint16_t>(s << 4 | bits);
    for (std::uint32_t i = reversed(value, bits); i < (1u << kFastBits); i += 1u << bits) {
      code.fast[i] = entry;
    }
  }
}

// Negative when the lengths over-subscribe the code space, positive when
// they leave some of it unused, 0 when complete.
int buildCode(Code& code, const std::uint8_t* lengths, int symbols) {
  std::memset(code.count, 0, sizeof code.count);
  for (int s = 0; s < symbols; ++s) ++code.count[lengths[s]];
  if (code.count[0] == symbols) {  // no codes: any use of it fails
    std::memset(code.fast, 0, sizeof code.fast);
    return 0;
  }
  int left = 1;
  for (int bits = 1; bits <= kMaxCodeBits; ++bits) {
    left = (left << 1) - code.count[bits];
    if (left < 0) return left;
  }
  std::uint16_t offset[kMaxCodeBits + 1] = {};
  for (int bits = 1; bits < kMaxCodeBits; ++bits) offset[bits + 1] = offset[bits] + code.count[bits];
  for (int s = 0; s < symbols; ++s) {
    if (lengths[s] != 0) code.symbol[offset[lengths[s]]++] = static_cast<std::uint16_t>(s);
  }
  buildFastTable(code, lengths, symbols);
  return left;
}

// Codes longer than the table, bit by bit.
bool readLongSymbol(BitReader& in, const Code& code, int& symbol) {
  int value = 0, first = 0, index = 0;
  for (int bits = 1; bits <= kMaxCodeBits; ++bits) {
    std::uint32_t bit;
    if (!in.take(1, bit)) return false;
    value |= static_cast<int>(bit);
    const int count = code.count[bits];
    if (value - first < count) {
      symbol = code.symbol[index + value - first];
      return true;
    }
    index += count;
    first = (first + count) << 1;
    value <<= 1;
  }
  return false;
}

bool readSymbol(BitReader& in, const Code& code, int& symbol) {
  const std::uint16_t entry = code.fast[in.peek(kFastBits)];
  if (entry == 0) return readLongSymbol(in, code, symbol);
  symbol = entry >> 4;
  return in.skip(entry & 0xF);
}

constexpr std::uint16_t kLengthBase[] = {3,  4,  5,  6,  7,  8,  9,  10,  11,  13,
                                         15, 17, 19, 23, 27, 31, 35, 43,  51,  59,
                                         67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::uint8_t kLengthExtra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                         2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint16_t kDistanceBase[] = {1,    2,    3,    4,    5,    7,     9,     13,
                                           17,   25,   33,   49,   65,   97,    129,   193,
                                           257,  385,  513,  769,  1025, 1537,  2049,  3073,
                                           4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::uint8_t kDistanceExtra[] = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,
                                           6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

std::uint32_t adler32(std::uint32_t adler, const std::uint8_t* bytes, std::size_t count) {
  constexpr std::uint32_t kModulus = 65521;
  constexpr std::size_t kSafeRun = 5552;  // the sums cannot overflow within it
  std::uint32_t a = adler & 0xFFFF, b = adler >> 16;
  while (count > 0) {
    const std::size_t run = std::min(count, kSafeRun);
    for (std::size_t i = 0; i < run; ++i) {
      a += bytes[i];
      b += a;
    }
    a %= kModulus;
    b %= kModulus;
    bytes += run;
    count -= run;
  }
  return b << 16 | a;
}

// The last 32 KB, as far back as a match reaches; each time it fills, it is
// handed to the sink before it is written over.
class Output {
 public:
  Output(std::size_t limit, const ByteSink& sink) : window_(kWindow), limit_(limit), sink_(sink) {}

  bool put(std::uint8_t value) {
    if (total_ >= limit_) return false;
    window_[total_++ & kMask] = value;
    if ((total_ & kMask) == 0) flush();
    return true;
  }
  bool copy(std::size_t distance, std::size_t length) {
    if (distance > total_ || distance > kWindow || limit_ - total_ < length) return false;
    while (length > 0) {
      // A run that wraps neither end of the window.
      const std::size_t to = total_ & kMask, from = (total_ - distance) & kMask;
      const std::size_t run = std::min({length, kWindow - to, kWindow - from});
      std::uint8_t* window = window_.data();
      if (distance >= run) {
        // The source may lie just ahead in the ring (a match reaching back
        // nearly the whole window), so the two runs can overlap.
        std::memmove(window + to, window + from, run);
      } else {  // a match overlapping what it copies repeats it, byte by byte
        for (std::size_t i = 0; i < run; ++i) window[to + i] = window[from + i];
      }
      total_ += run;
      length -= run;
      if ((total_ & kMask) == 0) flush();
    }
    return true;
  }
  void flush() {
    const std::size_t from = flushed_ & kMask, count = total_ - flushed_;
    if (count == 0) return;
    adler_ = adler32(adler_, window_.data() + from, count);
    sink_(window_.data() + from, count);
    flushed_ = total_;
  }
  std::uint32_t adler() const { return adler_; }

 private:
  static constexpr std::size_t kWindow = 32768, kMask = kWindow - 1;
  std::vector<std::uint8_t> window_;
  std::size_t total_ = 0, flushed_ = 0;
  std::size_t limit_;
  const ByteSink& sink_;
  std::uint32_t adler_ = 1;
};

bool copyMatch(BitReader& in, const Code& distances, int lengthSymbol, Output& out) {
  if (lengthSymbol >= 29) return false;
  std::uint32_t extra;
  if (!in.take(kLengthExtra[lengthSymbol], extra)) return false;
  const std::size_t length = kLengthBase[lengthSymbol] + extra;
  int distanceSymbol;
  if (!readSymbol(in, distances, distanceSymbol) || distanceSymbol >= kDistanceCodes) return false;
  if (!in.take(kDistanceExtra[distanceSymbol], extra)) return false;
  const std::size_t distance = kDistanceBase[distanceSymbol] + extra;
  return out.copy(distance, length);
}

bool inflateCodes(BitReader& in, const Code& literals, const Code& distances, Output& out) {
  for (;;) {
    int symbol;
    if (!readSymbol(in, literals, symbol)) return false;
    if (symbol == kEndOfBlock) return true;
    if (symbol < kEndOfBlock) {
      if (!out.put(static_cast<std::uint8_t>(symbol))) return false;
    } else if (!copyMatch(in, distances, symbol - kEndOfBlock - 1, out)) {
      return false;
    }
  }
}

bool inflateStored(BitReader& in, Output& out) {
  in.alignToByte();
  std::uint8_t header[4];
  for (std::uint8_t& b : header) {
    if (!in.byte(b)) return false;
  }
  const std::size_t length = static_cast<std::size_t>(header[0] | header[1] << 8);
  const std::size_t complement = static_cast<std::size_t>(header[2] | header[3] << 8);
  if (complement != (length ^ 0xFFFF)) return false;
  for (std::size_t i = 0; i < length; ++i) {
    std::uint8_t b;
    if (!in.byte(b) || !out.put(b)) return false;
  }
  return true;
}

bool inflateFixed(BitReader& in, Output& out) {
  static const struct Fixed {
    Code literals, distances;
    Fixed() {
      std::uint8_t lengths[kLiteralCodes];
      std::memset(lengths, 8, 144);
      std::memset(lengths + 144, 9, 112);
      std::memset(lengths + 256, 7, 24);
      std::memset(lengths + 280, 8, 8);
      buildCode(literals, lengths, kLiteralCodes);
      std::memset(lengths, 5, kDistanceCodes);
      buildCode(distances, lengths, kDistanceCodes);
    }
  } fixed;
  return inflateCodes(in, fixed.literals, fixed.distances, out);
}

// The code lengths of a dynamic block, themselves coded.
bool readCodeLengths(BitReader& in, std::uint8_t* lengths, int total) {
  static const std::uint8_t kOrder[kCodeLengthCodes] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                         11, 4,  12, 3, 13, 2, 14, 1, 15};
  std::uint32_t count;
  if (!in.take(4, count)) return false;
  std::uint8_t codeLengths[kCodeLengthCodes] = {};
  for (std::uint32_t i = 0; i < count + 4; ++i) {
    std::uint32_t length;
    if (!in.take(3, length)) return false;
    codeLengths[kOrder[i]] = static_cast<std::uint8_t>(length);
  }
  Code lengthCode;
  if (buildCode(lengthCode, codeLengths, kCodeLengthCodes) != 0) return false;
  for (int index = 0; index < total;) {
    int symbol;
    if (!readSymbol(in, lengthCode, symbol)) return false;
    if (symbol < 16) {
      lengths[index++] = static_cast<std::uint8_t>(symbol);
      continue;
    }
    std::uint8_t repeated = 0;
    std::uint32_t times;
    if (symbol == 16) {
      if (index == 0 || !in.take(2, times)) return false;
      repeated = lengths[index - 1];
      times += 3;
    } else if (!in.take(symbol == 17 ? 3 : 7, times)) {
      return false;
    } else {
      times += symbol == 17 ? 3 : 11;
    }
    if (static_cast<int>(times) > total - index) return false;
    std::memset(lengths + index, repeated, times);
    index += static_cast<int>(times);
  }
  return true;
}

// An incomplete code is allowed only when it has a single code.
bool usableCode(Code& code, const std::uint8_t* lengths, int symbols) {
  const int left = buildCode(code, lengths, symbols);
  return left == 0 || (left > 0 && symbols - code.count[0] == 1);
}

bool inflateDynamic(BitReader& in, Output& out) {
  std::uint32_t literalCount, distanceCount;
  if (!in.take(5, literalCount) || !in.take(5, distanceCount)) return false;
  literalCount += 257;
  distanceCount += 1;
  if (literalCount > 286 || distanceCount > kDistanceCodes) return false;
  std::uint8_t lengths[kLiteralCodes + kDistanceCodes] = {};
  const int total = static_cast<int>(literalCount + distanceCount);
  if (!readCodeLengths(in, lengths, total) || lengths[kEndOfBlock] == 0) return false;
  Code literals, distances;
  if (!usableCode(literals, lengths, static_cast<int>(literalCount)) ||
      !usableCode(distances, lengths + literalCount, static_cast<int>(distanceCount))) {
    return false;
  }
  return inflateCodes(in, literals, distances, out);
}

std::uint32_t bigEndian(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

// The distances of left + up - upLeft to each, written without it.
int paeth(int left, int up, int upLeft) {
  const int toLeft = std::abs(up - upLeft), toUp = std::abs(left - upLeft),
            toUpLeft = std::abs(left + up - 2 * upLeft);
  if (toLeft <= toUp && toLeft <= toUpLeft) return left;
  return toUp <= toUpLeft ? up : upLeft;
}

// Undoes one row's filter in place; `previous` is all zeros for the first row.
bool unfilterRow(int filter, std::uint8_t* row, const std::uint8_t* previous, std::size_t length,
                 std::size_t pixelBytes) {
  const auto add = [&](auto predict) {
    const std::size_t first = std::min(pixelBytes, length);  // nothing left of these
    for (std::size_t i = 0; i < first; ++i) {
      row[i] = static_cast<std::uint8_t>(row[i] + predict(0, previous[i], 0));
    }
    for (std::size_t i = first; i < length; ++i) {
      row[i] = static_cast<std::uint8_t>(
          row[i] + predict(row[i - pixelBytes], previous[i], previous[i - pixelBytes]));
    }
  };
  switch (filter) {
    case 0: return true;
    case 1: add([](int left, int, int) { return left; }); return true;
    case 2: add([](int, int up, int) { return up; }); return true;
    case 3: add([](int left, int up, int) { return (left + up) / 2; }); return true;
    case 4: add(paeth); return true;
    default: return false;
  }
}

struct Header {
  std::uint32_t width = 0, height = 0;
  std::size_t channels = 0;
};

bool readHeader(const std::uint8_t* data, std::uint32_t length, Header& header) {
  constexpr std::uint8_t kDepth8 = 8, kRgb = 2, kRgba = 6;
  if (length != 13) return false;
  header.width = bigEndian(data);
  header.height = bigEndian(data + 4);
  const std::uint8_t depth = data[8], colour = data[9];
  const bool plain = data[10] == 0 && data[11] == 0 && data[12] == 0;  // deflate, filters, no interlace
  if (!plain || depth != kDepth8 || (colour != kRgb && colour != kRgba)) return false;
  if (header.width == 0 || header.height == 0 ||
      static_cast<std::uint64_t>(header.width) * header.height > kMaxPixels) {
    return false;
  }
  header.channels = colour == kRgba ? 4 : 3;
  return true;
}

// The header and where the image data lies; any other chunk is skipped,
// unless a reader must understand it (upper-case first letter) and this
// one does not.
bool readChunks(const std::uint8_t* data, std::size_t size, Header& header,
                std::vector<Span>* imageData) {
  static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (!data || size < sizeof kSignature || std::memcmp(data, kSignature, sizeof kSignature) != 0) {
    return false;
  }
  bool headerRead = false;
  for (std::size_t at = sizeof kSignature; size - at >= 12;) {
    const std::uint32_t length = bigEndian(data + at);
    const std::uint8_t* type = data + at + 4;
    const std::uint8_t* body = data + at + 8;
    if (length > size - at - 12) return false;
    at += 12 + static_cast<std::size_t>(length);  // with the CRC, not checked: Adler-32 is
    if (!headerRead) {
      if (std::memcmp(type, "IHDR", 4) != 0 || !readHeader(body, length, header)) return false;
      if (!imageData) return true;
      headerRead = true;
    } else if (std::memcmp(type, "IDAT", 4) == 0) {
      imageData->push_back({body, length});
    } else if (std::memcmp(type, "IEND", 4) == 0) {
      return true;
    } else if (std::memcmp(type, "PLTE", 4) != 0 && (type[0] & 0x20) == 0) {
      return false;
    }
  }
  return false;  // no IEND
}

bool inflateSpans(std::vector<Span> spans, std::size_t maxBytes, const ByteSink& sink) {
  constexpr int kDeflate = 8;
  constexpr std::uint8_t kPresetDictionary = 0x20;
  BitReader in(std::move(spans));
  std::uint8_t method, flags;
  if (!in.byte(method) || !in.byte(flags) || (method & 0x0F) != kDeflate || (method >> 4) > 7 ||
      (method << 8 | flags) % 31 != 0 || (flags & kPresetDictionary)) {
    return false;
  }
  Output output(maxBytes, sink);
  for (std::uint32_t last = 0; !last;) {
    std::uint32_t type;
    if (!in.take(1, last) || !in.take(2, type)) return false;
    const bool ok = type == 0   ? inflateStored(in, output)
                    : type == 1 ? inflateFixed(in, output)
                    : type == 2 ? inflateDynamic(in, output)
                                : false;
    if (!ok) return false;
  }
  output.flush();
  in.alignToByte();  // the checksum starts on a byte of its own
  std::uint8_t check[4];
  for (std::uint8_t& b : check) {
    if (!in.byte(b)) return false;
  }
  return bigEndian(check) == output.adler();
}

// Gathers inflated bytes into rows, undoes their filters and hands them on.
class RowAssembler {
 public:
  RowAssembler(const Header& header, const RowSink& sink)
      : header_(header),
        rowBytes_(header.width * header.channels),
        current_(rowBytes_ + 1),
        previous_(rowBytes_ + 1),
        bgra_(static_cast<std::size_t>(header.width) * 4),
        sink_(sink) {}

  void add(const std::uint8_t* bytes, std::size_t count) {
    while (count > 0 && !broken_) {
      const std::size_t room = current_.size() - filled_;
      const std::size_t taken = std::min(room, count);
      std::memcpy(current_.data() + filled_, bytes, taken);
      filled_ += taken;
      bytes += taken;
      count -= taken;
      if (filled_ == current_.size()) finishRow();
    }
  }
  bool complete() const { return !broken_ && row_ == header_.height && filled_ == 0; }

 private:
  void finishRow() {
    std::uint8_t* pixels = current_.data() + 1;
    if (!unfilterRow(current_[0], pixels, previous_.data() + 1, rowBytes_, header_.channels)) {
      broken_ = true;
      return;
    }
    std::uint8_t* out = bgra_.data();
    const std::uint8_t* const end = pixels + rowBytes_;
    if (header_.channels == 4) {
      for (const std::uint8_t* in = pixels; in < end; in += 4, out += 4) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
        out[3] = in[3];
      }
    } else {
      for (const std::uint8_t* in = pixels; in < end; in += 3, out += 4) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
        out[3] = 0xFF;
      }
    }
    sink_(static_cast<int>(row_), bgra_.data());
    current_.swap(previous_);
    filled_ = 0;
    ++row_;
  }

  const Header& header_;
  const std::size_t rowBytes_;
  std::vector<std::uint8_t> current_, previous_, bgra_;
  const RowSink& sink_;
  std::size_t filled_ = 0;
  std::uint32_t row_ = 0;
  bool broken_ = false;
};

}  // namespace

bool readSize(const std::uint8_t* data, std::size_t size, Size& out) {
  Header header;
  if (!readChunks(data, size, header, nullptr)) return false;
  out = {static_cast<int>(header.width), static_cast<int>(header.height)};
  return true;
}

bool decode(const std::uint8_t* data, std::size_t size, const RowSink& row) {
  Header header;
  std::vector<Span> imageData;
  if (!readChunks(data, size, header, &imageData)) return false;
  RowAssembler rows(header, row);
  const std::size_t expected = header.height * (header.width * header.channels + 1);
  const ByteSink add = [&rows](const std::uint8_t* bytes, std::size_t count) {
    rows.add(bytes, count);
  };
  return inflateSpans(std::move(imageData), expected, add) && rows.complete();
}

bool inflate(const std::uint8_t* data, std::size_t size, std::size_t maxBytes,
             const ByteSink& out) {
  if (!data) return false;
  return inflateSpans({{data, size}}, maxBytes, out);
}

}  // namespace png
