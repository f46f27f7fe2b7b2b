#include "update/version.h"

namespace {

constexpr size_t kMaxDigits = 6;
constexpr size_t kMinNumbers = 2;
constexpr size_t kMaxNumbers = 4;

bool isNumberPiece(const std::string& piece) {
  if (piece.empty() || piece.size() > kMaxDigits) return false;
  for (char c : piece) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

ParsedVersion parseVersion(const std::string& text) {
  ParsedVersion v;
  size_t begin = 0;
  for (;;) {
    const size_t dot = text.find('.', begin);
    const std::string piece =
        text.substr(begin, dot == std::string::npos ? std::string::npos : dot - begin);
    if (!isNumberPiece(piece)) return v;
    v.numbers.push_back(std::stoll(piece));
    if (dot == std::string::npos) break;
    begin = dot + 1;
  }
  v.valid = v.numbers.size() >= kMinNumbers && v.numbers.size() <= kMaxNumbers;
  return v;
}

bool isVersion(const std::string& text) { return parseVersion(text).valid; }

int compareVersions(const std::string& a, const std::string& b) {
  std::vector<std::int64_t> x = parseVersion(a).numbers;
  std::vector<std::int64_t> y = parseVersion(b).numbers;
  x.resize(kMaxNumbers, 0);
  y.resize(kMaxNumbers, 0);
  for (size_t i = 0; i < kMaxNumbers; ++i) {
    if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
  }
  return 0;
}
