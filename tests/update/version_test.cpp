#include <gtest/gtest.h>

#include "update/version.h"

namespace {

TEST(Version, Grammar) {
  for (const char* good : {"1.0", "1.2.3", "1.2.3.4", "01.002", "999999.0", "0.0"}) {
    EXPECT_TRUE(isVersion(good)) << good;
  }
  for (const char* bad : {"1", "1.2.3.4.5", "1.2.", ".1.2", "1..2", "1.2a", "1.-2", "1000000.0", "",
                          " 1.2", "1.2 ", "+1.2", "1,2", "v1.2"}) {
    EXPECT_FALSE(isVersion(bad)) << bad;
  }
}

TEST(Version, NumbersBeforeABadPieceAreKept) {
  const ParsedVersion v = parseVersion("1.2.x.4");
  EXPECT_FALSE(v.valid);
  EXPECT_EQ(v.numbers, (std::vector<std::int64_t>{1, 2}));
  EXPECT_EQ(parseVersion("007.999999").numbers, (std::vector<std::int64_t>{7, 999999}));
}

TEST(Version, Comparison) {
  struct Case {
    const char* a;
    const char* b;
    int expected;
  } cases[] = {
      {"1.3.0", "1.3", 0},      {"1.3.1", "1.3.0", 1},       {"1.9", "1.10", -1},
      {"2.0", "1.99.99.99", 1}, {"1.2.3.4.5", "1.2.3.4", 0}, {"1.2.0.0", "1.2", 0},
      {"beta", "1.3.0", -1},    {"1.4.0", "1.3.0", 1},       {"01.3", "1.3", 0},
      // Only the fourth number differs: a 1.4.0.1 release is newer than 1.4.0.
      {"1.4.0.1", "1.4.0", 1},  {"1.4.0.1", "1.4.0.2", -1},  {"1.3.0.10", "1.3.0.9", 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(compareVersions(c.a, c.b), c.expected) << c.a << " vs " << c.b;
    EXPECT_EQ(compareVersions(c.b, c.a), -c.expected) << c.b << " vs " << c.a;
  }
}

}  // namespace
