#include "crash/core/sysinfo/process_information.h"

#include <cstdlib>

// Any buffer, read as if it had been at address 0x10000 (names may point into it).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto processes = crash::ParseProcessInformation({data, size}, 0x10000);
    // Every entry after the first starts at least one byte further on.
    if (processes.size() > size)
        std::abort();
    return 0;
}
