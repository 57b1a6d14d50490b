// The report's tabs as the crash dialog lists them: the texts come from the report's own
// formatters where they exist, so that a change of the report's format shows here.

#include "crash/core/stack/stack_text.h"
#include "crash/core/sysinfo/system_lists.h"
#include "crash/ui/report_view.h"

#include <gtest/gtest.h>

namespace crash {
namespace {

using TCells = std::vector<std::u16string>;

std::vector<std::u16string> Captions(const TReportView& view)
{
    std::vector<std::u16string> out;
    for (const TViewColumn& c : view.Columns)
        out.push_back(c.Caption);
    return out;
}

TTabContent Section(std::u16string name, std::u16string text)
{
    return {TTabKind::Section, std::move(name), std::move(text)};
}

TStackLine Line(uint32_t addr, uint32_t pub, std::u16string module, std::u16string unit, uint32_t line,
                uint32_t publicLine, std::u16string function)
{
    return {addr, pub, std::move(module), std::move(unit), line, publicLine, std::move(function)};
}

TEST(ReportView, CallStacksSplitIntoTheirColumnsWithTitledBlocks)
{
    const TStackTextOptions both{true, true};
    const std::u16string first =
        StackText({Line(0x7b012866, 0x7b012810, u"kernelbase.dll", u"", 0, 0, u"RaiseException"),
                   Line(0x004015d2, 0x004015b0, u"box_child.exe", u"box_child.cpp", 76, 75,
                        u"(anonymous namespace).Fail(void*)@4"),
                   Line(0x0040e000, 0, u"", u"", 0, 0, u"")},
                  both);
    const std::u16string second = StackText(
        {Line(0x00401b19, 0x00401a60, u"box_child.exe", u"box_child.cpp", 92, 84, u"WinMain@16")}, both);
    const std::u16string text =
        u">> thread $118\r\n" + first + u"\r\n\r\n>> main thread ($110)\r\n" + second +
        u"\r\n>> created by main thread ($110) at:\r\n00401b19 +b9 box_child.exe box_child.cpp 92 "
        u"+8 WinMain@16";
    const TReportView view = PrepareReportView({TTabKind::CallStack, u"", text});
    ASSERT_TRUE(view.ThreadView);
    EXPECT_EQ(Captions(view), (std::vector<std::u16string>{u"address", u"rel.", u"module", u"unit", u"line",
                                                           u"rel.", u"function"}));
    EXPECT_TRUE(view.Columns[0].UpperCase);
    EXPECT_TRUE(view.Columns[1].UpperCase);
    EXPECT_EQ(view.Columns[1].Align, TViewAlign::Right);
    EXPECT_EQ(view.Columns[4].Align, TViewAlign::Right);
    EXPECT_EQ(view.Columns[6].Align, TViewAlign::Left);
    ASSERT_EQ(view.Rows.size(), 9u);
    EXPECT_TRUE(view.Rows[0].Title);
    EXPECT_EQ(view.Rows[0].Colour, WhiteColour);
    EXPECT_EQ(view.Rows[1].Cells,
              (TCells{u"7b012866", u"056", u"kernelbase.dll", u"", u"", u"", u"RaiseException"}));
    EXPECT_EQ(view.Rows[2].Cells, (TCells{u"004015d2", u"022", u"box_child.exe", u"box_child.cpp", u"76",
                                          u"+1", u"(anonymous namespace).Fail(void*)@4"}));
    EXPECT_EQ(view.Rows[3].Cells, (TCells{u"0040e000", u"000", u"???", u"", u"", u"", u""}));
    EXPECT_EQ(view.Rows[4].Colour, WhiteColour); // the empty line between the blocks
    EXPECT_TRUE(view.Rows[5].Title);
    EXPECT_EQ(view.Rows[6].Cells,
              (TCells{u"00401b19", u"0b9", u"box_child.exe", u"box_child.cpp", u"92", u"+8", u"WinMain@16"}));
    EXPECT_FALSE(view.Rows[7].Title); // ">> created by" follows a stack line
    EXPECT_TRUE(RowIsAcross(view.Rows[7]));
    // The creator's location is a line of single blanks.
    EXPECT_EQ(view.Rows[8].Cells,
              (TCells{u"00401b19", u"b9", u"box_child.exe", u"box_child.cpp", u"92", u"+8", u"WinMain@16"}));
    EXPECT_EQ(view.Rows[2].Line, text.substr(text.find(u"004015d2"), view.Rows[2].Line.size()));
}

TEST(ReportView, StacksWithoutOptionalColumnsOnlyListWhatTheyHave)
{
    // Neither relative addresses nor relative lines; one line without a unit.
    const std::u16string text =
        u">> main thread\r\n" +
        StackText({Line(0x00401000, 0x00401000, u"a.exe", u"a.cpp", 12, 0, u"Run"),
                   Line(0x7bc5ca04, 0x7bc5c9f0, u"ntdll.dll", u"", 0, 0, u"Start Thread")},
                  {});
    const TReportView view = PrepareReportView({TTabKind::CallStack, u"", text});
    EXPECT_EQ(Captions(view),
              (std::vector<std::u16string>{u"address", u"module", u"unit", u"line", u"function"}));
    EXPECT_EQ(view.Rows[1].Cells, (TCells{u"00401000", u"a.exe", u"a.cpp", u"12", u"Run"}));
    EXPECT_EQ(view.Rows[2].Cells, (TCells{u"7bc5ca04", u"ntdll.dll", u"", u"", u"Start Thread"}));

    // A placeholder: the location line, then the promise.
    const TReportView soon = PrepareReportView(
        {TTabKind::CallStack, u"", u">> thread $1\r\n00401000 +0 ???\r\n>> stack will be calculated soon"});
    EXPECT_EQ(soon.Rows[1].Cells, (TCells{u"00401000", u"0", u"???"}));
    EXPECT_FALSE(soon.Rows[2].Title);

    // An internal error alone is not a title.
    const TReportView failed =
        PrepareReportView({TTabKind::Section, u"", u">> internal error in FillFinalOutput:\r\n00401000 ???"});
    EXPECT_TRUE(failed.ThreadView);
    EXPECT_FALSE(failed.Rows[0].Title);
}

TEST(ReportView, SectionsOfTheReportHaveTheirColumns)
{
    const TReportView header = PrepareReportView(
        {TTabKind::Header, u"", u"date/time\t2026-12-10\r\nexception number\t1\r\nbroken line"});
    EXPECT_EQ(Captions(header), (std::vector<std::u16string>{u"description", u"value"}));
    EXPECT_EQ(header.Rows[1].Cells, (TCells{u"exception number", u"1"}));
    EXPECT_EQ(header.Rows[2].Cells, (TCells{u"broken line", u""}));

    const TReportView registers =
        PrepareReportView(Section(u"cpu registers", u"eax = 0012ff00\r\nebx = 00000000"));
    EXPECT_EQ(registers.Rows[0].Cells, (TCells{u"eax", u"0012ff00"}));

    const TReportView dump = PrepareReportView(Section(
        u"stack dump", u"0012ff00  41 42 43 20 00 00 00 00 - 00 00 00 00 00 00 00 00  ABC ............\r\n"
                       u"0012ff10  41 42" +
                           std::u16string(61 - 15, u' ') + u"AB"));
    EXPECT_EQ(Captions(dump),
              (std::vector<std::u16string>{u"address", u"data - hexadecimal", u"data - chars"}));
    EXPECT_EQ(dump.Rows[0].Cells, (TCells{u"0012ff00", u"41 42 43 20 00 00 00 00 - 00 00 00 00 00 00 00 00",
                                          u"ABC ............"}));
    EXPECT_EQ(dump.Rows[1].Cells, (TCells{u"0012ff10", u"41 42", u"AB"}));
    EXPECT_TRUE(dump.FixedFont);
}

TEST(ReportView, ModulesAndProcessesFindTheirColumnsWhateverIsMissing)
{
    std::vector<TModuleEntry> modules{{0x00400000, u"box_child.exe", u"Z:\\build\\my programs\\", u""},
                                      {0x7b000000, u"kernel32.dll", u"C:\\windows\\system32\\", u"10.0.0.0"}};
    TReportView view = PrepareReportView(Section(u"modules", ModulesText(modules)));
    EXPECT_EQ(Captions(view), (std::vector<std::u16string>{u"handle", u"file name", u"version", u"path"}));
    EXPECT_EQ(view.Columns[2].Align, TViewAlign::Right);
    EXPECT_EQ(view.Rows[0].Cells, (TCells{u"00400000", u"box_child.exe", u"", u"Z:\\build\\my programs\\"}));
    EXPECT_EQ(view.Rows[1].Cells,
              (TCells{u"7b000000", u"kernel32.dll", u"10.0.0.0", u"C:\\windows\\system32\\"}));
    modules[1].Version.clear(); // no version anywhere: the path is no version
    view = PrepareReportView(Section(u"modules", ModulesText(modules)));
    EXPECT_EQ(view.Rows[1].Cells, (TCells{u"7b000000", u"kernel32.dll", u"", u"C:\\windows\\system32\\"}));

    std::vector<TProcessEntry> processes{
        {u"explorer.exe", u"C:\\windows", 0x20, 0, 0x20, 12, 30},
        {u"My Tool.exe", u"C:\\Program Files\\Tool", 0x1a4, 0, 0x4000, 5, 7}};
    view = PrepareReportView(Section(u"processes", ProcessesText(processes)));
    EXPECT_EQ(Captions(view), (std::vector<std::u16string>{u"id", u"file name", u"gdi objects",
                                                           u"user objects", u"priority", u"path"}));
    EXPECT_EQ(view.Rows[1].Cells,
              (TCells{u"1a4", u"My Tool.exe", u"5", u"7", u"below normal", u"C:\\Program Files\\Tool"}));
    processes[1].SessionId = 2;
    view = PrepareReportView(Section(u"processes", ProcessesText(processes)));
    EXPECT_EQ(Captions(view), (std::vector<std::u16string>{u"id", u"file name", u"session", u"gdi objects",
                                                           u"user objects", u"priority", u"path"}));
    EXPECT_EQ(view.Rows[1].Cells, (TCells{u"1a4", u"My Tool.exe", u"2", u"5", u"7", u"below normal",
                                          u"C:\\Program Files\\Tool"}));
}

TEST(ReportView, DisassemblyMarksTheExceptionLine)
{
    const std::u16string withLines =
        u"00401000 public Fail:                   ; function entry point\r\n"
        u"00401000 075   push ebp\r\n"
        u"00401001       mov ebp, esp\r\n"
        u"00401003 076 > call RaiseException      ; RaiseException (kernelbase.dll)\r\n"
        u"00401008\r\n"
        u"00401008 ; ---------------------------------------------------------\r\n"
        u"[...]";
    const TReportView view = PrepareReportView(Section(u"disassembling", withLines));
    EXPECT_EQ(Captions(view), (std::vector<std::u16string>{u"address", u"line", u"asm code", u"comments"}));
    EXPECT_EQ(view.Rows[0].Cells, (TCells{u"00401000", u"", u"public Fail:", u"function entry point"}));
    EXPECT_EQ(view.Rows[1].Cells, (TCells{u"00401000", u"075", u"push ebp", u""}));
    EXPECT_EQ(view.Rows[2].Cells, (TCells{u"00401001", u"", u"mov ebp, esp", u""}));
    EXPECT_EQ(view.Rows[3].Cells,
              (TCells{u"00401003", u"076", u"call RaiseException", u"RaiseException (kernelbase.dll)"}));
    EXPECT_EQ(view.Rows[3].Colour, MarkedLineColour);
    EXPECT_EQ(view.Rows[2].Colour, 0u);
    EXPECT_EQ(view.Rows[5].Cells[3], u"---------------------------------------------------------");
    EXPECT_EQ(view.Rows[6].Cells[2], u"[...]");

    const TReportView plain =
        PrepareReportView(Section(u"disassembling", u"00401000   push ebp\r\n00401001 > int3"));
    EXPECT_EQ(Captions(plain), (std::vector<std::u16string>{u"address", u"asm code", u"comments"}));
    EXPECT_EQ(plain.Rows[1].Cells, (TCells{u"00401001", u"int3", u""}));
    EXPECT_EQ(plain.Rows[1].Colour, MarkedLineColour);
}

TEST(ReportView, OtherTextsAreListedByTheirTabsPaddingOrItems)
{
    THardwareList hardware;
    hardware.Add(u"Display adapters", {u"Wine Display", u""});
    hardware.Add(u"Ports", {u"COM1", u"1.0"});
    TReportView view = PrepareReportView(Section(u"hardware", HardwareText(hardware)));
    EXPECT_FALSE(view.Headers);
    EXPECT_TRUE(view.FixedFont);
    ASSERT_EQ(view.Columns.size(), 1u);
    EXPECT_EQ(view.Rows[0].Colour, PlusLineColour);
    EXPECT_EQ(view.Rows[1].Colour, 0u);

    view = PrepareReportView(Section(u"leaks", u"!leaked 12 bytes\r\n+ block\r\n  - owner"));
    EXPECT_EQ(view.Rows[0].Colour, BangLineColour);
    EXPECT_EQ(view.Rows[0].Cells[0], u"leaked 12 bytes");

    view = PrepareReportView(Section(u"plug-in", u"^name\t value\r\nfirst\t1\r\nsecond\t22"));
    EXPECT_TRUE(view.Headers);
    EXPECT_EQ(Captions(view), (std::vector<std::u16string>{u"name", u"value"}));
    EXPECT_EQ(view.Columns[1].Align, TViewAlign::Right);
    EXPECT_EQ(view.Rows[1].Cells, (TCells{u"second", u"22"}));

    view = PrepareReportView(Section(u"plug-in", u"alpha  1   x\r\nbeta   22  y z"));
    EXPECT_FALSE(view.Headers);
    EXPECT_EQ(view.Columns.size(), 4u); // "y z" has a blank that "x" leaves blank too
    EXPECT_EQ(view.Rows[0].Cells, (TCells{u"alpha", u"1", u"x", u""}));

    // One line, mostly long lines, or a placeholder: the raw text.
    EXPECT_TRUE(PrepareReportView(Section(u"plug-in", u"one line")).Columns.empty());
    EXPECT_TRUE(
        PrepareReportView(Section(u"plug-in", std::u16string(81, u'x') + u"\r\nshort")).Columns.empty());
    EXPECT_FALSE(
        PrepareReportView(Section(u"plug-in", std::u16string(81, u'x') + u"\r\na\r\nb\r\nc\r\nd\r\ne\r\nf"))
            .Columns.empty());
    // An empty text is an empty list or the empty raw text, whatever the tab.
    for (const char16_t* name : {u"modules", u"processes", u"disassembling", u"stack dump", u"other"})
        EXPECT_LE(PrepareReportView(Section(name, u"")).Rows.size(), 1u);
    EXPECT_EQ(PrepareReportView({TTabKind::CallStack, u"", u""}).Rows.size(), 1u);
    const TReportView soon = PrepareReportView(Section(u"modules", u">> will be calculated soon"));
    EXPECT_TRUE(soon.Columns.empty());
    EXPECT_TRUE(soon.FixedFont);
}

TEST(ReportView, CellsAreTrimmedAndColouredByColumn)
{
    EXPECT_EQ(CellText(u"  main.exe ", true), u"MAIN.EXE");
    EXPECT_TRUE(LooksLikePath(u"C:\\windows\\system32\\"));
    EXPECT_FALSE(LooksLikePath(u"kernel32.dll"));
    EXPECT_FALSE(LooksLikePath(u"C:"));

    const TViewRow plain;
    TViewRow marked;
    marked.Colour = MarkedLineColour;
    EXPECT_EQ(CellBackground(plain, 0, 4, false, true), PlusLineColour);
    EXPECT_EQ(CellBackground(plain, 1, 4, false, true), WhiteColour);
    EXPECT_EQ(CellBackground(plain, 2, 4, false, true), BangLineColour);
    EXPECT_EQ(CellBackground(plain, 4, 5, false, true), PlusLineColour);
    EXPECT_EQ(CellBackground(plain, 0, 1, false, true), WhiteColour);
    EXPECT_EQ(CellBackground(marked, 1, 4, false, true), MarkedLineColour);
    EXPECT_EQ(CellBackground(marked, 1, 4, true, true), ViewRgb(239, 192, 192));
    EXPECT_EQ(CellBackground(plain, 1, 4, true, true), ViewRgb(239, 239, 239));
    // Few colours: fixed substitutes.
    EXPECT_EQ(CellBackground(marked, 0, 4, false, false), ViewRgb(255, 0, 0));
    EXPECT_EQ(CellBackground(marked, 0, 4, true, false), ViewRgb(128, 0, 0));
    EXPECT_EQ(CellBackground(plain, 2, 4, true, false), ViewRgb(0, 128, 128));
    EXPECT_EQ(CellBackground(plain, 0, 4, false, false), ViewRgb(255, 255, 192));
    EXPECT_EQ(CellBackground(plain, 1, 4, true, false), ViewRgb(192, 192, 192));
    EXPECT_EQ(SelectionFrame(false), ViewRgb(128, 128, 128));
}

} // namespace
} // namespace crash
