#include "crash/core/stack/stack_text.h"

#include <gtest/gtest.h>

#include <zlib.h>

namespace crash {
namespace {

std::vector<TStackLine> ThreeLines()
{
    return {
        {0x0045a1b2, 0x0045a0ec, u"program.exe", u"Unit1", 123, 118, u"TForm1.Button1Click"},
        {0x00401000, 0, u"program.exe", u"System", 0, 0, u""},
        {0x7c801234, 0x7c801000, u"kernel32.dll", u"", 0, 0, u"CreateThread"},
    };
}

TEST(StackText, ColumnsAreAsWideAsTheirLongestEntryPlusOneBlank)
{
    EXPECT_EQ(StackText(ThreeLines(), {true, true}),
              u"0045a1b2 +0c6 program.exe  Unit1  123 +5 TForm1.Button1Click\r\n"
              u"00401000 +000 program.exe  System        \r\n"
              u"7c801234 +234 kernel32.dll               CreateThread");
    EXPECT_EQ(StackText(ThreeLines(), {false, false}),
              u"0045a1b2 program.exe  Unit1  123 TForm1.Button1Click\r\n"
              u"00401000 program.exe  System     \r\n"
              u"7c801234 kernel32.dll            CreateThread");
    EXPECT_EQ(StackText(ThreeLines(), {true, false}),
              u"0045a1b2 +0c6 program.exe  Unit1  123 TForm1.Button1Click\r\n"
              u"00401000 +000 program.exe  System     \r\n"
              u"7c801234 +234 kernel32.dll            CreateThread");
    EXPECT_EQ(StackText(ThreeLines(), {false, true}),
              u"0045a1b2 program.exe  Unit1  123 +5 TForm1.Button1Click\r\n"
              u"00401000 program.exe  System        \r\n"
              u"7c801234 kernel32.dll               CreateThread");
    // The relative column grows with the longest relative address; an unknown module is
    // "???"; a line whose function start has no line keeps its absolute line.
    std::vector<TStackLine> lines = {{0x10012345, 0x10000000, u"", u"", 77, 0, u"Far"}};
    EXPECT_EQ(StackText(lines, {true, true}), u"10012345 +12345 ???   77 Far");
    EXPECT_EQ(StackText({}, {true, true}), u"");
}

TEST(StackText, LocationLines)
{
    const std::vector<TStackLine> lines = ThreeLines();
    EXPECT_EQ(LocationLine(lines[0], {true, true}),
              u"0045a1b2 +c6 program.exe Unit1 123 +5 TForm1.Button1Click");
    EXPECT_EQ(LocationLine(lines[0], {false, false}), u"0045a1b2 program.exe Unit1 123 TForm1.Button1Click");
    EXPECT_EQ(LocationLine(lines[2], {true, true}), u"7c801234 +234 kernel32.dll  CreateThread");
    TStackLine firstLineUnknown = lines[0];
    firstLineUnknown.PublicLine = 0;
    EXPECT_EQ(LocationLine(firstLineUnknown, {false, true}),
              u"0045a1b2 program.exe Unit1 123 +0 TForm1.Button1Click");
    const TStackLine nothing{0x00400500, 0, u"program.exe", u"", 0, 0, u""};
    EXPECT_EQ(LocationLine(nothing, {true, true}), u"00400500 +0 ???");
    EXPECT_EQ(LocationLine(nothing, {false, false}), u"00400500 ???");
}

TEST(StackText, StructuredItems)
{
    const TStackItem item = ToStackItem(ThreeLines()[0]);
    EXPECT_EQ(item.Addr, 0x0045a1b2u);
    EXPECT_EQ(item.relAddr, 0xc6u);
    EXPECT_EQ(item.Line, 123u);
    EXPECT_EQ(item.relLine, 5u);
    EXPECT_EQ(ToStackItem(ThreeLines()[1]).relAddr, 0u);
}

// The checksums again, with zlib's CRC-32 and a lower case of its own.
uint32_t Independent(const TStackLine& l)
{
    if (!l.PublicAddr || l.ModuleName.empty() || l.FunctionName.empty())
        return l.Addr;
    uLong crc = l.Addr - l.PublicAddr;
    for (const std::u16string* text : {&l.ModuleName, &l.UnitName, &l.FunctionName}) {
        for (char16_t c : *text) {
            if ((c >= u'A' && c <= u'Z') || c == u'\u00c4' || c == u'\u00d6' || c == u'\u00dc')
                c += 32;
            const Bytef bytes[2] = {static_cast<Bytef>(c & 0xFF), static_cast<Bytef>(c >> 8)};
            crc = crc32(crc, bytes, 2);
        }
    }
    return static_cast<uint32_t>(crc);
}

TEST(StackText, ChecksumsAgreeWithAnIndependentComputation)
{
    std::vector<TStackLine> lines = ThreeLines();
    lines.push_back({0x00450010, 0x00450000, u"\u00c4RGER.EXE", u"\u00dcnit\u00c9", 9, 0, u"Stra\u00dfe"});
    uLong all = Independent(lines[0]);
    for (size_t i = 1; i < lines.size(); ++i) {
        const uint32_t v = Independent(lines[i]);
        const Bytef bytes[4] = {static_cast<Bytef>(v), static_cast<Bytef>(v >> 8),
                                static_cast<Bytef>(v >> 16), static_cast<Bytef>(v >> 24)};
        all = crc32(all, bytes, 4);
    }
    const TStackChecksums sums = StackChecksums(lines);
    EXPECT_EQ(sums.First, Independent(lines[0]));
    EXPECT_EQ(sums.All, static_cast<uint32_t>(all));
    EXPECT_EQ(LineChecksum(lines[1]), 0x00401000u); // no function: the address itself
    // Letter case of A to Z and of the umlauts does not count; other letters do.
    TStackLine upper = lines[0];
    upper.ModuleName = u"PROGRAM.EXE";
    EXPECT_EQ(LineChecksum(upper), LineChecksum(lines[0]));
    TStackLine accented = lines[3];
    accented.UnitName = u"\u00dcnit\u00e9";
    EXPECT_NE(LineChecksum(accented), LineChecksum(lines[3]));
    EXPECT_EQ(StackChecksums({}).All, 0u);
}

} // namespace
} // namespace crash
