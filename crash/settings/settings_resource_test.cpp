// This program's settings block as the build embeds it: in this test program and in the
// shipped lumigate.exe (named by LUMIGATE_EXE).

#include "crash/settings/settings_resource.h"

#include "base/property_stream.h"
#include "base/win_handle.h"
#include "crash/settings/testing/settings_table.h"

#include <gtest/gtest.h>

#include <set>

namespace crash {
namespace {

void ExpectStoredValues(const TSettingsList& s)
{
    EXPECT_EQ(s.Count(), 138u); // SmtpPort is stored twice: the first record counts
    EXPECT_EQ(s.Find("SmtpPort")->IntValue, 25);
    testing::ExpectEverySetting(s, testing::TSettingsTable::Stored);
}

void ExpectOnlyTheShippedKinds(std::span<const uint8_t> block)
{
    const base::TStreamReadResult read = base::ReadPropertyStream(block);
    ASSERT_EQ(read.Status, base::TStreamStatus::Ok);
    std::set<int> kinds;
    for (const auto& p : read.Root.Properties)
        kinds.insert(p.Kind);
    EXPECT_EQ(kinds, (std::set<int>{4, 8, 9, 12}));
}

TEST(SettingsResource, EmbeddedInThisProgram)
{
    const std::span<const uint8_t> block = SettingsResource(::GetModuleHandleW(nullptr));
    ASSERT_FALSE(block.empty());
    ExpectOnlyTheShippedKinds(block);
    const TSettingsParse parse = LoadModuleSettings(::GetModuleHandleW(nullptr));
    EXPECT_TRUE(parse.HeaderOk);
    ExpectStoredValues(parse.List);
}

TEST(SettingsResource, CarriedByTheShippedExe)
{
    char path[MAX_PATH] = {};
    ASSERT_TRUE(::GetEnvironmentVariableA("LUMIGATE_EXE", path, MAX_PATH));
    std::string windows = path;
    for (char& c : windows)
        if (c == '/')
            c = '\\';
    if (windows[0] == '\\')
        windows = "Z:" + windows;
    base::Module exe(::LoadLibraryExA(windows.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(exe.Valid()) << windows;
    const std::span<const uint8_t> block = SettingsResource(exe.Get());
    ASSERT_FALSE(block.empty());
    ExpectOnlyTheShippedKinds(block);
    ExpectStoredValues(ParseSettingsBlock(block).List);
}

TEST(SettingsResource, AModuleWithoutABlockGivesNothing)
{
    EXPECT_TRUE(SettingsResource(::GetModuleHandleW(L"kernel32.dll")).empty());
    const TSettingsParse parse = LoadModuleSettings(::GetModuleHandleW(L"kernel32.dll"));
    EXPECT_FALSE(parse.HeaderOk);
    EXPECT_EQ(parse.List.Count(), 0u);
}

} // namespace
} // namespace crash
