#pragma once
// The module the debug-information tests place their tables in: loaded at 0x400000, code
// from 0x401000 to 0x410000, data from 0x411000 to 0x412000.

#include "crash/core/debug_info/map_file.h"

namespace crash::testing {

inline TModuleRanges SampleRanges()
{
    TModuleRanges r;
    r.HInstance = 0x400000;
    r.BaseOfCode = 0x401000;
    r.TopOfCode = 0x410000;
    r.BaseOfData = 0x411000;
    r.TopOfData = 0x412000;
    return r;
}

} // namespace crash::testing
