// Version texts: 2 to 4 dot-separated numbers of 1 to 6 digits each.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ParsedVersion {
  std::vector<std::int64_t> numbers;  // those read before any bad piece
  bool valid = false;
};

ParsedVersion parseVersion(const std::string& text);
bool isVersion(const std::string& text);
// -1, 0 or 1. Compares the first four numbers, missing ones as 0, so 1.2
// equals 1.2.0.0; texts that are not versions compare by what they yield.
int compareVersions(const std::string& a, const std::string& b);
