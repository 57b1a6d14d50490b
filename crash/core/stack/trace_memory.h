#pragma once
// The traced process's memory as the stack tracer reads it: bytes (through the guarded
// reader in the process, from an image in tests) and what the system tells about the
// region an address lies in. Platform-free, so that the tracer's steps run on the host
// against synthetic memory.

#include "crash/core/x86/x86_function.h"

#include <cstdint>
#include <optional>

namespace crash {

struct TMemoryRegion
{
    bool Committed = false;
    uint32_t AllocationBase = 0; // 0 when the region has none
    uint32_t Base = 0;           // where the region starts
};

class ITraceMemory : public ICodeMemory
{
public:
    // The region that contains `address`; nothing when the system cannot tell.
    virtual std::optional<TMemoryRegion> Query(uint32_t address) = 0;
};

} // namespace crash
