#include "crash/core/debug_info/td32_reader.h"

#include <cstdint>

// Any bytes as TD32 data, with one and with two code sections; then lookups.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    crash::TModuleRanges ranges;
    ranges.BaseOfCode = 0x401000;
    ranges.TopOfCode = 0x500000;
    ranges.BaseOfData = 0x501000;
    for (bool second : {false, true}) {
        crash::TMapFile map(ranges);
        crash::ReadTd32({data, size}, {second, 0x1000}, map);
        for (uint32_t a = 0x400000; a < 0x410000; a += 0x333) {
            (void)map.FindPublic(a);
            (void)map.FindLine(a);
        }
    }
    return 0;
}
