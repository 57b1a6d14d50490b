#include "crash/core/debug_info/map_file.h"
#include "crash/core/debug_info/map_text_reader.h"
#include "crash/core/debug_info/testing/sample_ranges.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace crash {
namespace {

TEST(MapFile, UnmanglingDelphiNames)
{
    EXPECT_EQ(Unmangle("@Unit1@TForm1@Button1Click$qqrp14System@TObject").Unit, "Unit1");
    EXPECT_EQ(Unmangle("@Unit1@TForm1@Button1Click$qqrp14System@TObject").Name, "TForm1.Button1Click");
    EXPECT_EQ(Unmangle("@System@TObject@$bdtr$qqrv").Name, "TObject.Destroy");
    EXPECT_EQ(Unmangle("@System@TObject@$bctr$qqrv").Name, "TObject.Create");
    EXPECT_EQ(Unmangle("@Halt0").Name, "@Halt0"); // no unit and no parameters: left as it is
    EXPECT_EQ(Unmangle("@Halt0").Unit, "");
    EXPECT_EQ(Unmangle("app::TForm1::FormCreate()").Name, "app.TForm1.FormCreate()");
    EXPECT_EQ(Unmangle("").Name, "");
    // C++ names of this toolchain, with and without i686's underscore.
    EXPECT_EQ(Unmangle("__ZN5crash8TMapFile8FindLineEj").Name, "crash.TMapFile.FindLine(unsigned int)");
    EXPECT_EQ(Unmangle("_ZN9framework7TThread10ThreadProcEPv@4").Name,
              "framework.TThread.ThreadProc(void*)@4");
    EXPECT_EQ(Unmangle("__ZN5crash8TMapFile8FindLineEj").Unit, "");
    EXPECT_EQ(Unmangle("_Znot_really").Name, "_Znot_really");
    EXPECT_EQ(Unmangle("@").Name, "@");
}

using testing::SampleRanges;

TEST(MapFile, LookupsOfSegmentsPublicsAndLines)
{
    TMapFile map(SampleRanges());
    map.AddSegment(true, 0x000, 0x100, "System.pas");
    map.AddSegment(true, 0x100, 0x80, "Unit1");
    map.AddSegment(true, 0x180, 0x80, "unit1");
    map.AddSegment(false, 0x0, 0x40, "System");
    map.AddPublic(true, "@System@@Halt0$qqrv", 0x10);
    map.AddPublic(true, "@Unit1@TForm1@Button1Click$qqrp14System@TObject", 0x120);
    map.AddPublic(true, "Unit1", 0x100);
    map.AddPublic(true, "@$xp$7TObject", 0x140);
    map.AddPublic(false, "@System@Output", 0x20);
    map.AddLine(10, 0x401120);
    map.AddLine(11, 0x401128);
    map.Finish();
    ASSERT_EQ(map.Segments().size(), 3u); // the two Unit1 parts merged, and the data segment
    EXPECT_EQ(map.FindSegment(true, 0x401000)->Unit_, "System");
    EXPECT_EQ(map.FindSegment(true, 0x401150)->Unit_, "Unit1");
    EXPECT_EQ(map.FindSegment(true, 0x401150)->Length, 0x100u);
    EXPECT_EQ(map.FindSegment(false, 0x411020)->Unit_, "System");
    EXPECT_EQ(map.FindSegment(true, 0x401300), nullptr);

    EXPECT_EQ(map.FindPublic(0x401000u), nullptr); // below the first public
    EXPECT_EQ(map.FindPublic(0x401010u)->Name, "@Halt0");
    EXPECT_EQ(map.FindPublic(0x401105u)->Name, "initialization");
    EXPECT_EQ(map.FindPublic(0x401125u)->Name, "TForm1.Button1Click");
    EXPECT_EQ(map.FindPublic(0x40FFFFu)->Name, "TForm1.Button1Click");
    EXPECT_EQ(map.FindPublic(0x410000u), nullptr); // at the top of the code
    EXPECT_EQ(map.FindPublic(true, "unit1", "tform1.button1click", false), 0x401120u);
    EXPECT_EQ(map.FindPublic(true, "Unit1", "tform1.button1click", true), 0u);
    EXPECT_EQ(map.FindAddress("System", "@Halt0"), 0x401010u);

    uint32_t next = 0;
    EXPECT_EQ(map.FindLine(0x401124, next), 10);
    EXPECT_EQ(next, 0x401128u);
    EXPECT_EQ(map.FindLine(0x401130), 11);
    EXPECT_EQ(map.FindLine(0x401050), 0); // System has no lines

    TMapFile codeOnly(SampleRanges(), true);
    codeOnly.AddSegment(false, 0, 0x10, "System");
    codeOnly.AddPublic(false, "Output", 0);
    codeOnly.Finish();
    EXPECT_TRUE(codeOnly.Segments().empty());
    EXPECT_TRUE(codeOnly.Publics().empty());

    TMapFile flagged(SampleRanges());
    flagged.AddSegment(true, 0, 0x10, "System", false, true);
    flagged.Finish();
    EXPECT_EQ(flagged.FindLine(0x401004), -1);
}

// A map file as the linker writes it, in its columns.
std::string Map(bool skipSegmentTwo = false)
{
    char line[160];
    std::string map = "\r\n Start         Length     Name                   Class\r\n";
    auto segment = [&](int n, uint32_t start, uint32_t length, const char* name, const char* cls) {
        std::snprintf(line, sizeof line, " %04X:%08X %08XH %-23s%s\r\n", n, start, length, name, cls);
        map += line;
    };
    segment(1, 0x401000, 0x2000, "CODE", "CODE");
    segment(skipSegmentTwo ? 3 : 2, 0x403000, 0x1000, "ICODE", "ICODE");
    segment(skipSegmentTwo ? 4 : 3, 0x411000, 0x800, "DATA", "DATA");
    map += "\r\n\r\nDetailed map of segments\r\n\r\n";
    auto detail = [&](int n, uint32_t offset, uint32_t length, const char* cls, const char* unit) {
        std::snprintf(line, sizeof line, " %04X:%08X %08X C=%-8s S=.text    G=(none)   M=%-10s ACBP=A9\r\n",
                      n, offset, length, cls, unit);
        map += line;
    };
    detail(1, 0, 0x1000, "CODE", "System");
    detail(1, 0x1000, 0x1000, "CODE", "Unit1");
    detail(3, 0, 0x800, "DATA", "System");
    map += "\r\n\r\n  Address             Publics by Value\r\n\r\n";
    auto pub = [&](int n, uint32_t offset, const char* name) {
        std::snprintf(line, sizeof line, " %04X:%08X       %s\r\n", n, offset, name);
        map += line;
    };
    pub(1, 0x10, "System.@Halt0");
    pub(1, 0x1020, "Unit1.TForm1.Button1Click");
    pub(3, 0x4, "System.Output (data)");
    map += "\r\n\r\nLine numbers for Unit1(Unit1.pas) segment CODE\r\n\r\n";
    map += "    27 0001:00001020    28 0001:00001024    29 0001:0000102C\r\n";
    map += "    30 0001:00001020    31 0001:00001030\r\n"; // 30 is not above the last address: dropped
    map += "\r\n\r\nBound resource files\r\n\r\n Program entry point at 0001:00001040\r\n";
    return map;
}

std::string Layout(const TMapFile& map)
{
    std::string out;
    for (const TMfSegment& s : map.Segments())
        out += (out.empty() ? "" : " ") + s.Unit_ + ":" + std::to_string(s.StartAddress - 0x401000) + "+" +
               std::to_string(s.Length);
    return out;
}

TEST(MapFile, SegmentOptimizationWithAndWithoutGaps)
{
    TMapFile map(SampleRanges());
    map.AddSegment(true, 0, 10, "A");
    map.AddSegment(true, 20, 0, "Empty"); // empty: gives way
    map.AddSegment(true, 20, 10, "B");
    map.AddSegment(true, 25, 2, "b"); // inside B, same unit: does not shorten it
    map.AddSegment(true, 40, 5, "C");
    map.AddSegment(true, 40, 8, "D"); // starts where C starts: C gives way
    map.AddSegment(true, 44, 4, "E");
    map.SortSegments(false);
    EXPECT_EQ(Layout(map), "A:0+10 B:20+10 D:40+4 E:44+4"); // the gaps stay, overlaps are cut
    map.SortSegments(true);
    EXPECT_EQ(Layout(map), "A:0+20 B:20+20 D:40+4 E:44+4"); // the gaps are closed
    map.ExtendLastSegmentToTopOfCode();
    EXPECT_EQ(map.Segments().back().Length, 0x410000u - 0x40102Cu);
}

TEST(MapFile, Td32MergingAndPublicsOutsideTheSegments)
{
    TMapFile map(SampleRanges());
    map.AddMergedSegment(true, 0x10, 0x10, "Unit1.pas");
    map.AddMergedSegment(true, 0x22, 0x10, "Unit1"); // 2 bytes past the end: lengthens it
    map.AddMergedSegment(true, 0x40, 0x10, "Unit1"); // further away: a segment of its own
    map.AddMergedSegment(true, 0x50, 0x10, "Unit2");
    map.SortSegments(false);
    EXPECT_EQ(Layout(map), "Unit1:16+34 Unit1:64+16 Unit2:80+16");
    map.AddTd32Public(true, "@Unit2@Late$qqrv", 0x70); // beyond Unit2: it reaches the public
    map.AddTd32Public(true, "@Unit0@Early$qqrv", 0x4); // before every segment: one byte of its unit
    map.AddTd32Public(true, "Plain", 0x2);             // no unit to name such a segment
    map.Finish();
    EXPECT_EQ(map.FindSegment(true, 0x401070)->Unit_, "Unit2");
    EXPECT_EQ(map.FindSegment(true, 0x401004)->Unit_, "Unit0");
    EXPECT_EQ(map.FindPublic(0x401070u)->Name, "Late");
    EXPECT_EQ(map.FindPublic(0x401004u)->Name, "Early");
    EXPECT_EQ(map.FindSegment(true, 0x401002), nullptr);
}

TEST(MapFile, TheLinkersTextMap)
{
    TMapFile map(SampleRanges());
    ASSERT_TRUE(ReadTextMap(Map(), map));
    EXPECT_EQ(map.FindSegment(true, 0x402010)->Unit_, "Unit1");
    EXPECT_EQ(map.FindSegment(true, 0x400FFF + 1)->Unit_, "System");
    EXPECT_EQ(map.FindSegment(false, 0x411010)->Unit_, "System");
    EXPECT_EQ(map.FindPublic(0x401020u)->Name, "@Halt0");
    EXPECT_EQ(map.FindPublic(0x402030u)->Name, "TForm1.Button1Click");
    EXPECT_EQ(map.FindLine(0x402026), 28);
    EXPECT_EQ(map.FindLine(0x402030), 31);
    EXPECT_EQ(map.Lines().size(), 4u);
    EXPECT_EQ(map.EntryPoint(), 0x402040u);

    // A gap in the segment numbering keeps only the segments before it.
    TMapFile gap(SampleRanges());
    ReadTextMap(Map(true), gap);
    EXPECT_EQ(gap.FindSegment(false, 0x411010), nullptr);
    EXPECT_NE(gap.FindSegment(true, 0x401010), nullptr);

    TMapFile nothing(SampleRanges());
    EXPECT_FALSE(ReadTextMap("no map here\r\n", nothing));
}

} // namespace
} // namespace crash
