#include "framework/ini_file.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace framework {
namespace {

TEST(IniFile, IntegersInTheirThreeSpellingsAndWhatIsNotOne)
{
    EXPECT_EQ(ParseIniInteger(L"42"), 42);
    EXPECT_EQ(ParseIniInteger(L" -17 "), -17);
    EXPECT_EQ(ParseIniInteger(L"$1F"), 31);
    EXPECT_EQ(ParseIniInteger(L"0xff000005"), static_cast<int>(0xFF000005));
    EXPECT_EQ(ParseIniInteger(L"2147483647"), 2147483647);
    EXPECT_EQ(ParseIniInteger(L"-2147483648"), static_cast<int>(0x80000000));
    EXPECT_FALSE(ParseIniInteger(L"2147483648"));
    EXPECT_FALSE(ParseIniInteger(L"$100000000"));
    EXPECT_FALSE(ParseIniInteger(L""));
    EXPECT_FALSE(ParseIniInteger(L"-"));
    EXPECT_FALSE(ParseIniInteger(L"12a"));
    EXPECT_FALSE(ParseIniInteger(L"ten"));
}

TEST(IniFile, MissingKeysLongValuesAndNumbers)
{
    wchar_t folder[MAX_PATH];
    ::GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"lumigate_ini_test.ini";
    ::DeleteFileW(path.c_str());
    TIniFile ini(path);
    EXPECT_FALSE(ini.Read(L"S", L"Missing"));
    EXPECT_EQ(ini.ReadInteger(L"S", L"Missing", 7), 7);
    ASSERT_TRUE(ini.WriteString(L"S", L"Empty", L""));
    EXPECT_EQ(ini.Read(L"S", L"Empty"), L"");
    const std::wstring longText(100000, L'A');
    ASSERT_TRUE(ini.WriteString(L"S", L"Long", longText));
    EXPECT_EQ(ini.ReadString(L"S", L"Long", L""), longText);
    ASSERT_TRUE(ini.WriteInteger(L"S", L"Number", -5));
    EXPECT_EQ(ini.ReadInteger(L"S", L"Number", 0), -5);
    ASSERT_TRUE(ini.WriteString(L"S", L"Junk", L"5x"));
    EXPECT_EQ(ini.ReadInteger(L"S", L"Junk", 3), 3);
    ::DeleteFileW(path.c_str());
}

} // namespace
} // namespace framework
