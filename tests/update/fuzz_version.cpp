// libFuzzer target for version texts, built natively with sanitizers by
// tests/json/fuzz.sh. The input is two texts split at the first line feed.
// Properties: no crash or sanitizer report; isVersion agrees with
// parseVersion; comparison is reflexive and antisymmetric and treats a
// version like itself with ".0" appended.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "update/version.h"

namespace {

void violated(const char* what, const std::string& a, const std::string& b) {
  std::fprintf(stderr, "property violated: %s\na=%s\nb=%s\n", what, a.c_str(), b.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\n');
  const std::string a = input.substr(0, split);
  const std::string b = split == std::string::npos ? std::string() : input.substr(split + 1);

  const ParsedVersion parsed = parseVersion(a);
  if (parsed.valid != isVersion(a)) violated("isVersion differs from parseVersion", a, b);
  if (parsed.valid && (parsed.numbers.size() < 2 || parsed.numbers.size() > 4)) {
    violated("a version has 2 to 4 numbers", a, b);
  }
  if (compareVersions(a, a) != 0) violated("a version equals itself", a, b);
  const int ab = compareVersions(a, b);
  if (ab < -1 || ab > 1 || ab != -compareVersions(b, a)) violated("antisymmetry", a, b);
  if (parsed.valid && parsed.numbers.size() < 4 && compareVersions(a, a + ".0") != 0) {
    violated("a missing number counts as 0", a, b);
  }
  return 0;
}
