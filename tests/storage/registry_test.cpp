#include <gtest/gtest.h>

#include "storage/registry.h"
#include "tests/support/test_support.h"

namespace {

constexpr wchar_t kTestKey[] = L"Software\\CairnTests\\Registry";

TEST(Registry, RegStringTypesAndTrailingNuls) {
  ScopedRegistryKey key(HKEY_CURRENT_USER, kTestKey, 0);
  const wchar_t padded[] = L"C:\\Games\0\0\0";
  ASSERT_TRUE(key.setBytes(L"padded", REG_SZ, padded, sizeof padded));
  ASSERT_TRUE(key.setString(L"expand", L"%APPDATA%\\x", REG_EXPAND_SZ));
  ASSERT_TRUE(key.setDword(L"number", 1));
  ASSERT_TRUE(key.setString(L"multi", L"a", REG_MULTI_SZ));
  ASSERT_TRUE(key.setString(L"fits", std::wstring(1023, L'x')));
  ASSERT_TRUE(key.setString(L"toolong", std::wstring(1024, L'x')));
  ASSERT_TRUE(key.setString(L"empty", L""));
  EXPECT_EQ(regString(HKEY_CURRENT_USER, kTestKey, L"padded", 0), L"C:\\Games");
  EXPECT_EQ(regString(HKEY_CURRENT_USER, kTestKey, L"expand", 0), L"%APPDATA%\\x");
  EXPECT_EQ(regString(HKEY_CURRENT_USER, kTestKey, L"number", 0), L"");
  EXPECT_EQ(regString(HKEY_CURRENT_USER, kTestKey, L"multi", 0), L"");
  EXPECT_EQ(regString(HKEY_CURRENT_USER, kTestKey, L"fits", 0).size(), 1023u);
  EXPECT_EQ(regString(HKEY_CURRENT_USER, kTestKey, L"toolong", 0), L"");
  EXPECT_EQ(regString(HKEY_CURRENT_USER, kTestKey, L"empty", 0), L"");
  EXPECT_EQ(regString(HKEY_CURRENT_USER, kTestKey, L"missing", 0), L"");
  EXPECT_EQ(regString(HKEY_CURRENT_USER, L"Software\\CairnTests\\None", L"x", 0), L"");
}

}  // namespace
