// This program's settings block as the build embeds it: in this test program and in the
// shipped lumigate.exe (named by LUMIGATE_EXE).

#include "crash/settings/settings_resource.h"

#include "base/property_stream.h"
#include "base/win_handle.h"

#include <gtest/gtest.h>

#include <set>

namespace crash {
namespace {

void ExpectStoredValues(const TSettingsList& s)
{
    ASSERT_EQ(s.Count(), 137u);
    auto flag = [&](const char* name) {
        const SettingsProperty* p = s.Find(name);
        EXPECT_TRUE(p && p->Type == ptBoolean) << name;
        return p && p->BoolValue;
    };
    auto number = [&](const char* name) {
        const SettingsProperty* p = s.Find(name);
        EXPECT_TRUE(p && p->Type == ptInteger) << name;
        return p ? p->IntValue : -1;
    };
    auto text = [&](const char* name) {
        const SettingsProperty* p = s.Find(name);
        EXPECT_TRUE(p && p->Type == ptString) << name;
        return p ? p->StrValue : u"<absent>";
    };
    EXPECT_TRUE(flag("Enabled"));
    EXPECT_FALSE(flag("NoSettings"));
    EXPECT_TRUE(flag("CheckFileCrc"));
    EXPECT_EQ(number("FreezeTimeout"), 60000);
    EXPECT_FALSE(flag("CrashOnBuffer"));
    EXPECT_TRUE(flag("AutoSave"));
    EXPECT_FALSE(flag("AutoClip"));
    EXPECT_FALSE(flag("SendBtnVis"));
    EXPECT_TRUE(flag("SaveBtnVis"));
    EXPECT_EQ(number("FocusedBtn"), 1);
    EXPECT_EQ(text("SendAssis"), u"SendAssistant");
    EXPECT_EQ(text("TitleBar"), u"%appname%");
    EXPECT_EQ(text("OkBtnTxt"), u"&OK");
    EXPECT_EQ(number("SmtpPort"), 25); // stored twice, the first counts
    EXPECT_EQ(number("HttpPort"), 80);
    EXPECT_EQ(text("MailSubj"), u"%appname% - Bug report");
    EXPECT_EQ(text("BugTrDescr"), u"error details: \r\n%errorDetails%");
    EXPECT_EQ(text("PrepAttMsg"), u"Preparing attachments...");
    EXPECT_EQ(text("SendFailMsg"), u"Sorry, sending the bug report didn't work.");
    EXPECT_EQ(text("BugRepFile"), u"bugreport.txt");
    EXPECT_EQ(number("ScrShotDepth"), 8);
    EXPECT_FALSE(flag("ScrShotAppOnly"));
    EXPECT_EQ(number("DupExceptDef"), 1);
    EXPECT_EQ(number("DupFreezeDef"), 2);
    EXPECT_EQ(number("LimitDisAsm"), 5);
    EXPECT_EQ(text("Plugins"), u"modules|processes|hardware");
    EXPECT_EQ(text("F1Classes"), u"EDBEditError");
    EXPECT_TRUE(flag("F1NoSuspend"));
    EXPECT_EQ(number("F1ShowCfg"), 3);
    EXPECT_EQ(number("GnShowCfg"), 0);
    EXPECT_EQ(text("Assistant1"), u"SendAssistant|Send Assistant|ContactForm|DetailsForm|ScrShotForm");
    EXPECT_EQ(text("Assistant3"), u"PrintAssistant|Print Assistant|ContactForm|DetailsForm");
    for (const char* absent : {"MinDebugInfo", "AutoDelay", "MailFrom", "AddFields", "VersionVar"})
        EXPECT_EQ(s.Find(absent), nullptr) << absent;
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
