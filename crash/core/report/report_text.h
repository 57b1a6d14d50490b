#pragma once
// The bug report's text: the header's items aligned under each other, then one block per
// section, and the texts its fields and sections are made of (durations, sizes, the
// exception message, the time of the report, the CPU registers, the stack dump, the
// call-stack checksums). Platform-free.

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace crash {

using TReportItems = std::vector<std::pair<std::u16string, std::u16string>>; // name, content

// The header's lines (each name padded to the longest, ": ", the content on one line),
// then for each section an empty line, its title (with ":" unless it has one) and its
// lines, trailing blanks removed and an empty line written as ".".
std::u16string ReportText(const TReportItems& header, const TReportItems& sections);

// CR and LF as blanks, runs of blanks as one.
std::u16string OneLine(std::u16string_view text);

// The exception message as the header writes it: trimmed, "Unknown" when empty, trailing
// "." and "!" removed and one "." put back.
std::u16string ExceptionMessageText(std::u16string_view message);

// The two leading units of a duration: "3 days 5 hours ", "1 hour 12 minutes ",
// "45 seconds " (each with its trailing blank; empty for 0).
std::u16string DurationText(int64_t seconds);

// "812 Bytes", "1.50 KB", "3.07 MB", "2.00 GB" (two decimals, truncated).
std::u16string SizeText(uint64_t bytes, char16_t decimalSeparator = u'.');

struct TReportTime
{
    int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};
// "2024-05-14, 13:45:07, 123ms".
std::u16string DateTimeText(const TReportTime& t);
// The program's up time: as a duration, or "N milliseconds" below one second.
std::u16string UpTimeText(uint64_t milliseconds);

struct TRegisters
{
    uint32_t Eax = 0, Ebx = 0, Ecx = 0, Edx = 0, Esi = 0, Edi = 0, Eip = 0, Esp = 0, Ebp = 0;
};
// "eax = 0012ff4c" and so on, one register a line.
std::u16string CpuRegistersText(const TRegisters& r);

// At most 20 lines of 16 bytes from `address`: the address, the bytes in hexadecimal ("- "
// before the ninth) and as characters.
std::u16string StackDumpText(uint32_t address, std::span<const uint8_t> bytes);

// The three call-stack checksums as "$1a2b3c4d, $00ff00ff, $0badf00d" (31 characters).
std::u16string CallstackCrcText(uint32_t first, uint32_t all, uint32_t threads);

} // namespace crash
