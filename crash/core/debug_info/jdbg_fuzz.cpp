#include "crash/core/debug_info/jdbg_reader.h"

#include <cstdint>
#include <vector>

// Any bytes as a JCL debug file, also with the checksum flag cleared so that the lists are
// read; then lookups.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    crash::TModuleRanges ranges;
    ranges.BaseOfCode = 0x401000;
    ranges.TopOfCode = 0x500000;
    std::vector<uint8_t> file(data, data + size);
    for (int pass = 0; pass < 2; ++pass) {
        crash::TMapFile map(ranges);
        crash::ReadJdbg(file, map);
        for (uint32_t a = 0x400000; a < 0x410000; a += 0x333) {
            (void)map.FindPublic(a);
            (void)map.FindLine(a);
        }
        if (file.size() > 5)
            file[5] = 0;
    }
    return 0;
}
