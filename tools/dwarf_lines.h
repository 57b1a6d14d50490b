#pragma once
// The decoder of a DWARF line table (.debug_line, versions 2 to 5): runs every line
// program's state machine and gives its rows. Every read is checked against the section;
// a damaged unit ends the decoding with the rows decoded so far.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tools {

struct TLineRow
{
    uint32_t Address = 0;
    int32_t Line = 0;
    std::string File; // as the table names it, directory included when it gives one
    bool EndSequence = false;
};

struct TDwarfSections
{
    std::span<const uint8_t> Line, LineStr, Str;
};

std::vector<TLineRow> DecodeLineTable(const TDwarfSections& sections);

} // namespace tools
