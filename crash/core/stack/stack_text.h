#pragma once
// The text of a traced call stack, and what else a trace gives from its output lines: the
// structured `TStackTrace`, the one-line location of an address, and the two call-stack
// checksums that tell whether two crashes happened at the same place. Platform-free.

#include <cstdint>
#include <string>
#include <vector>

namespace crash {

// What the tracer knows of one output line.
struct TStackLine
{
    uint32_t Addr = 0;
    uint32_t PublicAddr = 0;   // the function's start; 0 when unknown
    std::u16string ModuleName; // the module's file name without folder; empty when unknown
    std::u16string UnitName;
    uint32_t Line = 0;       // the absolute line number; 0 when unknown
    uint32_t PublicLine = 0; // the line of the function's start; 0 when unknown
    std::u16string FunctionName;
};

// One line of a trace as a report hands it out.
struct TStackItem
{
    uint32_t Addr = 0;
    uint32_t relAddr = 0; // Addr minus the start of the function, 0 when unknown
    std::u16string ModuleName;
    std::u16string UnitName;
    uint32_t Line = 0;    // absolute, 0 when unknown
    uint32_t relLine = 0; // relative to the function's first line
    std::u16string FunctionName;
};
using TStackTrace = std::vector<TStackItem>;

struct TStackTextOptions
{
    bool ShowRelativeAddrs = false;
    bool ShowRelativeLines = false;
};

// The trace's text: one line per entry, the innermost first, in columns as wide as their
// longest entry plus one blank, joined by CRLF.
std::u16string StackText(const std::vector<TStackLine>& lines, const TStackTextOptions& options);

// One address on one line (the exception's or a thread creator's location).
std::u16string LocationLine(const TStackLine& line, const TStackTextOptions& options);

TStackItem ToStackItem(const TStackLine& line);

// The checksum value of one line: the relative address chained with the CRC-32 of the
// lower-cased module, unit and function names when the function's start, the module and
// the function are known; else the absolute address.
uint32_t LineChecksum(const TStackLine& line);

struct TStackChecksums
{
    uint32_t First = 0; // checksum 0: the first line's value
    uint32_t All = 0;   // checksum 1: the first line's value chained with every further one's
};
TStackChecksums StackChecksums(const std::vector<TStackLine>& lines);

} // namespace crash
