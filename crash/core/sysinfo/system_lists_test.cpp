#include "crash/core/sysinfo/os_description.h"
#include "crash/core/sysinfo/process_information.h"
#include "crash/core/sysinfo/system_lists.h"

#include <gtest/gtest.h>

#include <cstring>

namespace crash {
namespace {

TOsVersionData Nt(uint32_t major, uint32_t minor, bool workstation = true)
{
    TOsVersionData d;
    d.Major = major;
    d.Minor = minor;
    d.Workstation = workstation;
    return d;
}

TOsVersionData Win9x(uint32_t minor, uint32_t build, uint32_t major = 4)
{
    TOsVersionData d;
    d.PlatformId = 1;
    d.Major = major;
    d.Minor = minor;
    d.Build = build;
    return d;
}

TEST(OsDescription, EveryVersionOfTheTable)
{
    struct Case
    {
        TOsVersionData Data;
        TOsEnum Expected;
    };
    const Case cases[] = {
        {Win9x(0, 950), osWin95},       {Win9x(0, 1000), osWin95},
        {Win9x(0, 1111), osWin95osr2},  {Win9x(10, 1998), osWin98},
        {Win9x(10, 2000), osWin98},     {Win9x(10, 2222), osWin98se},
        {Win9x(10, 2700), osWin98se},   {Win9x(10, 3000), osWinME},
        {Win9x(90, 3000), osWinME},     {Win9x(11, 0), osWinME},
        {Win9x(91, 0), osWin9xNew},     {Win9x(0, 0, 5), osWin9xNew},
        {Nt(3, 51), osWinNtOld},        {Nt(0, 0), osWinNtOld},
        {Nt(4, 0), osWinNt4},           {Nt(5, 0), osWin2k},
        {Nt(5, 1, false), osWinXP},     {Nt(5, 2), osWinXP},
        {Nt(5, 2, false), osWin2003},   {Nt(6, 0), osWinVista},
        {Nt(6, 0, false), osWin2008},   {Nt(6, 1), osWin7},
        {Nt(6, 1, false), osWin2008r2}, {Nt(6, 2), osWin8},
        {Nt(6, 2, false), osWin2012},   {Nt(6, 3), osWin81},
        {Nt(6, 3, false), osWin2012r2}, {Nt(6, 4), osWinNtNew},
        {Nt(10, 0), osWin10},           {Nt(10, 0, false), osWin10},
        {Nt(7, 0), osWinNtNew},         {Nt(11, 0), osWinNtNew},
    };
    for (const Case& c : cases) {
        const TOS os = DescribeOs(c.Data);
        EXPECT_EQ(os.Enum, c.Expected)
            << c.Data.PlatformId << " " << c.Data.Major << "." << c.Data.Minor << " " << c.Data.Build;
        EXPECT_EQ(os.description, OsEnumName(c.Expected));
        EXPECT_EQ(c.Data.PlatformId == 1 ? os.win9xEnum : os.winNtEnum, c.Expected);
        EXPECT_EQ(os.win9x, c.Data.PlatformId == 1);
        EXPECT_EQ(os.winNt, c.Data.PlatformId == 2);
    }
    EXPECT_STREQ(OsEnumName(osNone), "None");
    EXPECT_STREQ(OsEnumName(osWin95osr2), "Windows 95 OSR-2");
    EXPECT_STREQ(OsEnumName(osWin2012r2), "Windows 2012 R2");
    EXPECT_STREQ(OsEnumName(osWinNtNew), "Windows NT New");
}

TEST(OsDescription, ServicePacksAndSuffixes)
{
    TOsVersionData xp = Nt(5, 1);
    xp.Build = 2600;
    xp.ServicePack = "Service Pack 3";
    EXPECT_EQ(DescribeOs(xp).spNo, 3u); // parsed from the text
    xp.ServicePack = "Service Pack 12a";
    EXPECT_EQ(DescribeOs(xp).spNo, 12u);
    xp.ServicePack = "Service Pack";
    EXPECT_EQ(DescribeOs(xp).spNo, 0u);
    xp.Extended = true;
    xp.ServicePackMajor = 2;
    xp.ServicePack = "Service Pack 3";
    EXPECT_EQ(DescribeOs(xp).spNo, 2u); // the structure's field wins

    xp.TabletPc = true;
    xp.MediaCenter = true;
    xp.NativeAmd64 = true;
    const TOS described = DescribeOs(xp);
    EXPECT_EQ(described.description, "Windows XP Tablet PC Media Center x64 Service Pack 3");
    EXPECT_EQ(described.x64, 1);
    EXPECT_EQ(described.build, 2600u);
    EXPECT_EQ(described.spStr, "Service Pack 3");

    TOsVersionData server = Nt(5, 2, false);
    server.R2 = true;
    server.Starter = true;
    EXPECT_EQ(DescribeOs(server).description, "Windows 2003 R2 Starter");
    // Media Center only below Vista.
    TOsVersionData seven = Nt(6, 1);
    seven.MediaCenter = true;
    EXPECT_EQ(DescribeOs(seven).description, "Windows 7");
    // Windows 9x keeps its bare name.
    TOsVersionData osr2 = Win9x(0, 1111);
    osr2.ServicePack = " B";
    osr2.NativeAmd64 = true;
    EXPECT_EQ(DescribeOs(osr2).description, "Windows 95 OSR-2");
    EXPECT_EQ(DescribeOs(osr2).x64, 0);
}

TEST(SystemLists, ModuleColumnsFollowTheLongestEntries)
{
    const std::vector<TModuleEntry> modules = {
        {0x00400000, u"lumigate.exe", u"C:\\Program Files\\Lumigate\\", u"1.0.0.0"},
        {0x7b000000, u"kernel32.dll", u"C:\\windows\\system32\\", u"10.0.19041.1"},
        {0x10000000, u"x.dll", u"", u""},
    };
    EXPECT_EQ(ModulesText(modules), u"00400000 lumigate.exe 1.0.0.0      C:\\Program Files\\Lumigate\\\r\n"
                                    u"7b000000 kernel32.dll 10.0.19041.1 C:\\windows\\system32\\\r\n"
                                    u"10000000 x.dll                     ");
    EXPECT_EQ(ModulesText({}), u"");
}

TEST(SystemLists, ProcessColumnsSessionsAndPriorities)
{
    std::vector<TProcessEntry> processes = {
        {u"Idle", u"", 0, 0, -1, 0, 0},
        {u"explorer.exe", u"C:\\windows", 0x1f4, 0, 0x20, 120, 37},
        {u"a.exe", u"", 0x24, 0, 0x12345, 0, 0},
    };
    // No session other than 0: no session column; GDI and USER columns always.
    EXPECT_EQ(ProcessesText(processes), u"000 Idle         0   0         \r\n"
                                        u"1f4 explorer.exe 120 37 normal C:\\windows\r\n"
                                        u"024 a.exe        0   0  74565  ");
    processes[2].SessionId = 12;
    EXPECT_EQ(ProcessesText(processes), u"000 Idle         0  0   0         \r\n"
                                        u"1f4 explorer.exe 0  120 37 normal C:\\windows\r\n"
                                        u"024 a.exe        12 0   0  74565  ");

    // Lists of any length: 100 entries, ids up to 0x3e8 in three digits.
    std::vector<TProcessEntry> many;
    for (uint32_t i = 1; i <= 100; ++i)
        many.push_back({u"p.exe", u"", i * 10, 0, 0x80, 1, 2});
    const std::u16string text = ProcessesText(many);
    EXPECT_EQ(text.substr(0, 18), u"00a p.exe 1 2 high");
    EXPECT_EQ(std::count(text.begin(), text.end(), u'\n'), 99);
    EXPECT_NE(text.find(u"3e8 p.exe"), std::u16string::npos);

    EXPECT_EQ(PriorityText(0x40), u"idle");
    EXPECT_EQ(PriorityText(0x4000), u"below normal");
    EXPECT_EQ(PriorityText(0x8000), u"above normal");
    EXPECT_EQ(PriorityText(0x100), u"realtime");
    EXPECT_EQ(PriorityText(0), u"");
    EXPECT_EQ(PriorityText(-1), u"");
    EXPECT_EQ(PriorityText(7), u"7");
}

TEST(SystemLists, HardwareSortedOnBothLevelsCaseInsensitively)
{
    THardwareList hw;
    hw.Add(u"Sound", {u"Speakers", u""});
    hw.Add(u"display adapters", {u"VGA", u"1.2"});
    hw.Add(u"Display adapters", {u"Another card", u""});
    hw.Add(u"Sound", {u"microphone", u""});
    hw.Add(u"Keyboards", {u"Keyboard", u""});
    hw.Add(u"Sound", {u"Microphone", u""});
    EXPECT_EQ(HardwareText(hw), u"+ display adapters\r\n"
                                u"  - Another card\r\n"
                                u"  - VGA (driver 1.2)\r\n"
                                u"+ Keyboards\r\n"
                                u"  - Keyboard\r\n"
                                u"+ Sound\r\n"
                                u"  - Microphone\r\n"
                                u"  - microphone\r\n"
                                u"  - Speakers");
    EXPECT_EQ(HardwareText({}), u"");

    EXPECT_EQ(ShownDriverVersion(u"Microsoft", u"10.0", u""), u"");
    EXPECT_EQ(ShownDriverVersion(u"(Standard system devices)", u"10.0", u""), u"");
    EXPECT_EQ(ShownDriverVersion(u"", u"10.0", u""), u"");
    EXPECT_EQ(ShownDriverVersion(u"Realtek", u" 6.0.1 ", u"1-1-2020"), u"6.0.1");
    EXPECT_EQ(ShownDriverVersion(u"Realtek", u"  ", u" 1-1-2020"), u"1-1-2020");
}

// A SystemProcessInformation buffer of 32-bit entries at `base`.
struct InfoWriter
{
    std::vector<uint8_t> Data;
    void Entry(uint32_t next, uint32_t id, uint32_t session, uint32_t namePointer, uint16_t nameBytes)
    {
        const size_t at = Data.size();
        Data.resize(at + 84);
        auto put32 = [&](size_t off, uint32_t v) { std::memcpy(&Data[at + off], &v, 4); };
        put32(0, next);
        std::memcpy(&Data[at + 56], &nameBytes, 2);
        put32(60, namePointer);
        put32(68, id);
        put32(80, session);
    }
    void Text(const std::u16string& s)
    {
        for (char16_t c : s) {
            Data.push_back(static_cast<uint8_t>(c));
            Data.push_back(static_cast<uint8_t>(c >> 8));
        }
    }
};

TEST(ProcessInformation, EntriesNamesAndDamage)
{
    constexpr uint32_t Base = 0x200000;
    InfoWriter w;
    w.Entry(84, 0, 0, 0, 0);
    w.Entry(84 + 10, 4, 1, 0, 0);
    w.Text(u"xxxxx");                // padding the second entry's next offset skips
    w.Entry(0, 8, 2, Base + 168, 4); // the padding's first two characters
    auto parsed = ParseProcessInformation(w.Data, Base);
    ASSERT_EQ(parsed.size(), 3u);
    EXPECT_EQ(parsed[0].ImageName, u"Idle");
    EXPECT_EQ(parsed[1].Id, 4u);
    EXPECT_EQ(parsed[1].SessionId, 1u);
    EXPECT_EQ(parsed[2].ImageName, u"xx");

    // Names outside the buffer stay empty; a next offset past the end or a cut entry ends
    // the list.
    InfoWriter bad;
    bad.Entry(84, 1, 0, Base - 2, 4);
    bad.Entry(1000, 2, 0, Base + 200, 100);
    bad.Entry(0, 3, 0, 0, 0);
    parsed = ParseProcessInformation(bad.Data, Base);
    ASSERT_EQ(parsed.size(), 2u);
    EXPECT_EQ(parsed[0].ImageName, u"");
    EXPECT_EQ(parsed[1].ImageName, u"");
    EXPECT_TRUE(ParseProcessInformation({bad.Data.data(), 83}, Base).empty());
}

} // namespace
} // namespace crash
