// Path texts, text helpers and the environment: what every folder takes
// from base/.
#include <gtest/gtest.h>
#include <windows.h>

#include "base/paths.h"
#include "base/text.h"
#include "tests/support/test_support.h"

namespace {

struct PathCase {
  const wchar_t* input;
  const wchar_t* expected;
};

TEST(Paths, JoinKeepsWhatTheFolderEndsWith) {
  EXPECT_EQ(joinPath(L"", L"x"), L"x");
  EXPECT_EQ(joinPath(L"C:\\", L"x"), L"C:\\x");
  EXPECT_EQ(joinPath(L"C:/a/", L"x"), L"C:/a/x");
  EXPECT_EQ(joinPath(L"C:\\a", L"x"), L"C:\\a\\x");
  EXPECT_EQ(joinPath(L"C:\\a", L"\\x"), L"C:\\a\\\\x");  // the name is never inspected
}

TEST(Paths, ParentAndFileNameSplitAtEitherSeparator) {
  EXPECT_EQ(parentPath(L"C:\\Games"), L"C:");
  EXPECT_EQ(parentPath(L"Games"), L"");
  EXPECT_EQ(parentPath(L"C:/a\\b/c"), L"C:/a\\b");
  EXPECT_EQ(fileName(L"C:\\Games\\Wow.exe"), L"Wow.exe");
  EXPECT_EQ(fileName(L"Wow.exe"), L"Wow.exe");
  EXPECT_EQ(fileName(L"C:/a/"), L"");
}

TEST(Paths, NormalizeFolder) {
  const PathCase cases[] = {
      {L" \"D:/Games/World of Warcraft/\" ", L"D:\\Games\\World of Warcraft"},
      {L"C:\\", L"C:\\"},
      {L"C:\\\\", L"C:\\"},
      {L"D:\\Games\\WoW\\\\", L"D:\\Games\\WoW"},
      {L"\\\\server\\share\\", L"\\\\server\\share"},
      {L" \" \"\t\r\n", L""},
      {L"\tD:\\in \"side\\x\n", L"D:\\in \"side\\x"},
  };
  for (const PathCase& c : cases) EXPECT_EQ(normalizeFolder(c.input), c.expected) << c.input;
}

TEST(Text, TrimSetsDiffer) {
  EXPECT_EQ(trimWide(L"\" a b \"\r\n"), L"a b");
  EXPECT_EQ(trimText(" \t\"a\"\r\n"), "\"a\"");
  EXPECT_EQ(trimText(" \t\r\n"), "");
}

TEST(Text, CaseInsensitivePrefix) {
  EXPECT_TRUE(startsWithNoCase(L"C:\\Program Files\\X", L"c:\\PROGRAM files"));
  EXPECT_TRUE(startsWithNoCase(L"\u0141\u00f3d\u017a", L"\u0142\u00d3"));  // Polish letters
  EXPECT_FALSE(startsWithNoCase(L"C:", L"C:\\"));
  EXPECT_FALSE(startsWithNoCase(L"D:\\x", L"C:"));
  EXPECT_EQ(lowerWide(L"AbC\u00c9"), L"abc\u00e9");
}

TEST(Text, ConversionRepairsInsteadOfFailing) {
  EXPECT_EQ(toWide("Gda\xc5\x84sk"), L"Gda\u0144sk");
  EXPECT_EQ(toUtf8(L"Gda\u0144sk"), "Gda\xc5\x84sk");
  EXPECT_EQ(toWide("a\xff" "b"), L"a\ufffd" L"b");
  EXPECT_EQ(toUtf8(std::wstring(L"a") + wchar_t(0xD800) + L"b"), "a\xef\xbf\xbd" "b");
  EXPECT_EQ(toWide(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
  EXPECT_EQ(toWide(""), L"");
  EXPECT_EQ(toUtf8(L""), "");
}

TEST(Text, SformatCutsAt2047Bytes) {
  EXPECT_EQ(sformat("cannot connect (%lu)", 12029ul), "cannot connect (12029)");
  EXPECT_EQ(sformat("%s in %s", "Gda\xc5\x84sk", "PL"), "Gda\xc5\x84sk in PL");
  std::string big(5000, 'x');
  EXPECT_EQ(sformat("%s", big.c_str()).size(), 2047u);
}

TEST(Environment, EmptyValueReadsAsUnset) {
  {
    ScopedEnv set(L"CAIRN_TEST_VAR", L"");
    EXPECT_EQ(envVar(L"CAIRN_TEST_VAR"), L"");
  }
  ScopedEnv set(L"CAIRN_TEST_VAR", std::wstring(4095, L'a'));
  EXPECT_EQ(envVar(L"CAIRN_TEST_VAR").size(), 4095u);
  ScopedEnv tooLong(L"CAIRN_TEST_VAR2", std::wstring(4096, L'a'));
  EXPECT_EQ(envVar(L"CAIRN_TEST_VAR2"), L"");
  EXPECT_EQ(envVar(L"CAIRN_NO_SUCH_VARIABLE"), L"");
}

}  // namespace
