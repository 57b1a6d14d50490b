#include "crash/ui/report_tabs.h"

#include <gtest/gtest.h>

namespace crash {
namespace {

TReportParts ThreeThreads()
{
    return {{{u"date/time", u"2026-12-10"}, {u"exception class", u"EAccessViolation"}},
            {{u"thread $114", u"00401000 +000 a.exe"},
             {u"main thread ($10c)", u"00402000 +000 a.exe"},
             {u"thread $120 (idle)", u"00403000 +000 a.exe"},
             {u"modules", u"00400000 a.exe"},
             {u"cpu registers", u"eax = 00000000"},
             {u"thread $130 late", u"x"},
             {u"disassembling", u"00401000 ret"}}};
}

TEST(ReportTabs, ThreadsShareThePluralCallStackTabAndFurtherSectionsGetTheirOwn)
{
    const TReportParts r = ThreeThreads();
    EXPECT_EQ(ReportTabNames(r), (std::vector<std::u16string>{u"general", u"call stacks", u"modules",
                                                              u"cpu regs", u"thread $130 late", u"disasm"}));
    const TTabContent header = ReportTabContent(r, 0);
    EXPECT_EQ(header.Kind, TTabKind::Header);
    EXPECT_EQ(header.Text, u"date/time\t2026-12-10\r\nexception class\tEAccessViolation");
    const TTabContent stacks = ReportTabContent(r, 1);
    EXPECT_EQ(stacks.Kind, TTabKind::CallStack);
    EXPECT_EQ(stacks.Text, u">> thread $114\r\n00401000 +000 a.exe\r\n\r\n>> main thread ($10c)\r\n"
                           u"00402000 +000 a.exe\r\n\r\n>> thread $120 (idle)\r\n00403000 +000 a.exe");
    const TTabContent registers = ReportTabContent(r, 3);
    EXPECT_EQ(registers.Kind, TTabKind::Section);
    EXPECT_EQ(registers.SectionName, u"cpu registers");
    EXPECT_EQ(registers.Text, u"eax = 00000000");
    EXPECT_EQ(ReportTabContent(r, 5).SectionName, u"disassembling");
    EXPECT_TRUE(ReportTabContent(r, 6).Text.empty());
    EXPECT_TRUE(ReportTabContent(r, -1).Text.empty());
}

TEST(ReportTabs, OneThreadEmptyReportsAndLeakReports)
{
    TReportParts one{{{u"a", u"b"}}, {{u"main thread ($10c)", u"x"}, {u"modules", u"m"}}};
    EXPECT_EQ(ReportTabNames(one), (std::vector<std::u16string>{u"general", u"call stack", u"modules"}));
    EXPECT_EQ(ReportTabContent(one, 2).Text, u"m");

    const TReportParts empty;
    EXPECT_EQ(ReportTabNames(empty), (std::vector<std::u16string>{u"general", u"call stack"}));
    EXPECT_TRUE(ReportTabContent(empty, 1).Text.empty());

    // A leak report has no general tab; with a memory dump first, that is its first tab.
    TReportParts leak{{{u"allocation number", u"12"}},
                      {{u"memory dump", u"0012ff00 00"}, {u"modules", u"m"}}};
    EXPECT_EQ(ReportTabNames(leak), (std::vector<std::u16string>{u"memory dump", u"modules"}));
    EXPECT_EQ(ReportTabContent(leak, 0).SectionName, u"memory dump");
    EXPECT_EQ(ReportTabContent(leak, 1).Text, u"m");
    leak.Sections.front() = {u"thread $1", u"t"};
    EXPECT_EQ(ReportTabNames(leak), (std::vector<std::u16string>{u"call stack", u"modules"}));
    EXPECT_EQ(ReportTabContent(leak, 0).Kind, TTabKind::CallStack);
    EXPECT_EQ(ReportTabContent(leak, 1).Text, u"m");
}

} // namespace
} // namespace crash
