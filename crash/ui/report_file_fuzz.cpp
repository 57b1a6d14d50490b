#include "crash/core/report/report_lookup.h"
#include "crash/ui/report_file.h"

#include <cstdint>
#include <string>

// Any bytes as a report file (the part before the first 0xFF byte) and as the new report
// (after it), under every rule: merging by each checksum count, cutting to a limit taken from
// the input's length.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\xff');
    const std::string file = input.substr(0, split);
    const std::string report = split == std::string::npos ? std::string() : input.substr(split + 1);
    for (int32_t dupDef = 0; dupDef < 3; ++dupDef)
        (void)crash::AppendReport(file, report, {true, dupDef, size / 2});
    (void)crash::AppendReport(file, report, {false, 2, 1});
    std::string copy = report;
    crash::InsertHeaderLine(copy, std::string_view("count"), std::string_view("callstack crc"),
                            std::string_view("2"));
    (void)crash::ExtractSection(std::string_view(file), std::string_view("modules"));
    return 0;
}
