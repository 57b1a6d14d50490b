#include "tools/debug_tables.h"
#include "tools/dwarf_lines.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace tools {
namespace {

TEST(DebugTables, NamesAsTheToolchainShowsThem)
{
    EXPECT_EQ(DemangledName("__ZN5crash8TMapFile8FindLineEj"), "crash::TMapFile::FindLine(unsigned int)");
    EXPECT_EQ(DemangledName("__ZN9framework7TThread10ThreadProcEPv@4"),
              "framework::TThread::ThreadProc(void*)@4");
    EXPECT_EQ(DemangledName("__ZN9framework7TThread10ThreadProcEPv@4.cold"),
              "framework::TThread::ThreadProc(void*)@4.cold");
    EXPECT_EQ(DemangledName("_WinMain@16"), "WinMain@16");
    EXPECT_EQ(DemangledName("_main"), "main");
    EXPECT_EQ(DemangledName("__Znot_mangled_really"), "_Znot_mangled_really"); // not demangled: kept
}

std::vector<uint8_t> Version5Unit(const std::vector<uint8_t>& header, const std::vector<uint8_t>& program);

// A version 5 line table: a directory and a file given through .debug_line_str, one
// sequence of three rows.
std::vector<uint8_t> Version5(std::vector<uint8_t>& lineStr)
{
    lineStr.clear();
    for (const char* s : {"/src", "unit.cpp"})
        lineStr.insert(lineStr.end(), s, s + std::char_traits<char>::length(s) + 1);
    std::vector<uint8_t> header = {
        1, 1, 1,    0xFB, 14,   13, // min length, ops, is_stmt, line base -5, range 14, opcode base 13
        0, 1, 1,    1,    1,    0,  0, 0, 1, 0, 0, 1, // standard opcode lengths
        1, 1, 0x1F,                                   // directories: path as line_strp
        1, 0, 0,    0,    0,                          // one directory at offset 0
        2, 1, 0x1F, 2,    0x0B,                       // files: path, directory index (data1)
        1, 5, 0,    0,    0,    0,                    // one file at offset 5, directory 0
    };
    std::vector<uint8_t> program = {
        0,
        5,
        2,
        0x00,
        0x10,
        0x40,
        0x00, // set_address 0x401000
        4,
        0, // file 0
        3,
        9,               // line += 9 (10)
        1,               // copy: 0x401000 line 10
        13 + 5 + 14 * 4, // special: address += 4, line += 0
        2,
        8,
        3,
        0x7E,
        1, // advance pc 8, line -= 2, copy: 0x40100c line 8
        2,
        4,
        0,
        1,
        1, // advance pc 4, end of sequence at 0x401010
    };
    return Version5Unit(header, program);
}

std::vector<uint8_t> Version5Unit(const std::vector<uint8_t>& header, const std::vector<uint8_t>& program)
{
    std::vector<uint8_t> unit = {5, 0, 4, 0}; // version 5, address size 4, no segment selector
    const uint32_t headerLength = static_cast<uint32_t>(header.size());
    for (int i = 0; i < 4; ++i)
        unit.push_back(static_cast<uint8_t>(headerLength >> (8 * i)));
    unit.insert(unit.end(), header.begin(), header.end());
    unit.insert(unit.end(), program.begin(), program.end());
    std::vector<uint8_t> section;
    const uint32_t length = static_cast<uint32_t>(unit.size());
    for (int i = 0; i < 4; ++i)
        section.push_back(static_cast<uint8_t>(length >> (8 * i)));
    section.insert(section.end(), unit.begin(), unit.end());
    return section;
}

TEST(DwarfLines, Version5RowsAndDamagedUnits)
{
    std::vector<uint8_t> lineStr;
    const auto section = Version5(lineStr);
    const auto rows = DecodeLineTable({section, lineStr, {}});
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].Address, 0x401000u);
    EXPECT_EQ(rows[0].Line, 10);
    EXPECT_EQ(rows[0].File, "/src/unit.cpp");
    EXPECT_EQ(rows[1].Address, 0x401004u);
    EXPECT_EQ(rows[2].Address, 0x40100Cu);
    EXPECT_EQ(rows[2].Line, 8);
    EXPECT_TRUE(rows[3].EndSequence);
    EXPECT_EQ(rows[3].Address, 0x401010u);
    for (size_t cut = 0; cut < section.size(); ++cut)
        (void)DecodeLineTable({{section.data(), cut}, lineStr, {}});
    EXPECT_EQ(DecodeLineTable({section, {}, {}})[0].File, ""); // names outside .debug_line_str
}

TEST(DwarfLines, EntriesWithoutFieldsCannotOutnumberTheHeader)
{
    // Directories with no fields at all, 2^63 of them: the unit is damaged, not a loop that
    // fills memory with empty names.
    const std::vector<uint8_t> header = {
        1, 1,    1,    0xFB, 14,   13,   0,    1,    1,    1,    1,    0, 0, 0, 1, 0, 0, 1, // as above
        0, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01,                      // directories
        0, 0,                                                                               // files: none
    };
    EXPECT_TRUE(DecodeLineTable({Version5Unit(header, {1}), {}, {}}).empty());
    // As many as the header has bytes left is still a table (of nameless directories).
    const std::vector<uint8_t> few = {1, 1, 1, 0xFB, 14, 13, 0, 1, 1, 1, 1, 0, 0, 0, 1, 0, 0, 1, 0, 2, 0, 0};
    EXPECT_EQ(DecodeLineTable({Version5Unit(few, {1}), {}, {}}).size(), 1u);
}

} // namespace
} // namespace tools
