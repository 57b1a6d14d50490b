#include "crash/core/debug_info/debug_container.h"

#include <cstring>
#include <vector>

// Any bytes as a container, and any bytes as the payload of a well-formed header.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    crash::TModuleRanges ranges;
    ranges.BaseOfCode = 0x401000;
    crash::TMapFile map(ranges);
    crash::ImportContainer({data, size}, map);
    (void)crash::ContainerIdentity({data, size});

    std::vector<uint8_t> wrapped(crash::ContainerSignature, crash::ContainerSignature + 14);
    const uint32_t length = static_cast<uint32_t>(size), version = 2;
    wrapped.insert(wrapped.end(), reinterpret_cast<const uint8_t*>(&length),
                   reinterpret_cast<const uint8_t*>(&length) + 4);
    wrapped.insert(wrapped.end(), reinterpret_cast<const uint8_t*>(&version),
                   reinterpret_cast<const uint8_t*>(&version) + 4);
    wrapped.insert(wrapped.end(), data, data + size);
    crash::TMapFile other(ranges);
    crash::ImportContainer(wrapped, other);
    return 0;
}
