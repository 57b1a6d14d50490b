#include "crash/core/debug_info/map_text_reader.h"

#include <cstdint>
#include <string_view>

// Any text as a map file: the reader takes what passes its column tests and the lookups
// answer for any address.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    crash::TModuleRanges ranges;
    ranges.BaseOfCode = 0x401000;
    ranges.TopOfCode = 0x500000;
    crash::TMapFile map(ranges);
    crash::ReadTextMap(std::string_view(reinterpret_cast<const char*>(data), size), map);
    for (uint32_t a = 0x400000; a < 0x410000; a += 0x777) {
        (void)map.FindPublic(a);
        (void)map.FindSegment(true, a);
        uint32_t next;
        (void)map.FindLine(a, next);
    }
    return 0;
}
