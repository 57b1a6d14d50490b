#include "crash/settings/text_variables.h"

#include <gtest/gtest.h>

namespace crash {
namespace {

TTextVariables Values(int& asked)
{
    TTextVariables v;
    v.AppName = u"lumigate.exe";
    v.ModName = u"module.dll";
    v.AppVersion = [&asked] {
        ++asked;
        return std::u16string();
    };
    v.ModVersion = [] { return std::u16string(u"1.2.3.4"); };
    v.Now = {2026, 3, 7, 9, 5, 3, 7};
    v.ComputerName = [&asked] {
        ++asked;
        return std::u16string(u"BUILDBOX");
    };
    return v;
}

TEST(TextVariables, EachVariableInAnyLetterCase)
{
    int asked = 0;
    const TTextVariables v = Values(asked);
    EXPECT_EQ(ExpandTextVariables(u"%APPNAME% / %ModName%", v), u"lumigate.exe / module.dll");
    EXPECT_EQ(ExpandTextVariables(u"%time%", v), u"09:05:03, 7ms");
    EXPECT_EQ(ExpandTextVariables(u"%date%|%datetime%", v), u"2026-03-07|2026-03-07, 09:05:03, 7ms");
    EXPECT_EQ(ExpandTextVariables(u"a%lf%b", v), u"a\r\nb");
    EXPECT_EQ(ExpandTextVariables(u"%exceptMsg%", v), u"Unknown");
    EXPECT_EQ(ExpandTextVariables(u"v%modversion% v%appversion%", v), u"v1.2.3.4 v?");
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(ExpandTextVariables(u"%computername%%computername%", v), u"BUILDBOXBUILDBOX");
    EXPECT_EQ(asked, 2); // asked once per expansion, and only when present
}

TEST(TextVariables, UnknownVariablesAndLonePercentSignsStay)
{
    int asked = 0;
    const TTextVariables v = Values(asked);
    EXPECT_EQ(ExpandTextVariables(u"%nosuch% 100% %", v), u"%nosuch% 100% %");
    EXPECT_EQ(ExpandTextVariables(u"%%appname%%", v), u"%lumigate.exe%");
    EXPECT_EQ(ExpandTextVariables(u"", v), u"");
    EXPECT_EQ(asked, 0);
}

TEST(TextVariables, APlainSettingsObjectKeepsTheReportsVariables)
{
    int asked = 0;
    TTextVariables v = Values(asked);
    v.KeepReportVariables();
    EXPECT_EQ(ExpandTextVariables(u"%appname%, %exceptMsg% %ExceptClass% %bugReport% %errorDetails%", v),
              u"lumigate.exe, %exceptMsg% %exceptClass% %bugReport% %errorDetails%");
    v.ExceptMsg = u"Access violation";
    v.ErrorDetails = u"details";
    EXPECT_EQ(ExpandTextVariables(u"%exceptMsg%: %errorDetails%", v), u"Access violation: details");
}

} // namespace
} // namespace crash
