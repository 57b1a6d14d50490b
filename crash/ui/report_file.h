#pragma once
// The report file's contents with one more report: UTF-8, reports one after another, each
// followed by an empty line. The newest earlier report with the same duplicate key (and the
// same program) is taken out and the new one carries a "count" line instead; a file over its
// size limit loses its oldest reports, cut at a report's start. Platform-free: the file is
// read and written by the caller.

#include <cstdint>
#include <string>

namespace crash {

// The part of a "callstack crc" value that tells duplicates apart under DupDef (0: the
// first checksum, 1: the first two, else all three); empty for a value that is not 31
// characters long.
std::string DuplicateKey(const std::string& callstackCrc, int32_t dupDef);

struct TAppendRules
{
    bool MergeDuplicates = false; // NoDupExcepts or NoDupFreezes, as the report is
    int32_t DupDef = 2;           // DupExceptDef or DupFreezeDef
    uint64_t SizeLimit = 0;       // 0: none
};

// The file's new contents: `file` with `report` (UTF-8, without the trailing empty line)
// appended as the rules say.
std::string AppendReport(std::string file, std::string report, const TAppendRules& rules);

} // namespace crash
