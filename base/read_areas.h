#pragma once
// The readability classes of the guarded memory reader, and the table of areas it keeps
// for one reading session. Platform-free: the regions come from the caller.

#include <cstdint>
#include <vector>

namespace base {

enum TReadClass : uint8_t
{
    rcNotReadable = 0,
    rcExecuteOnly = 1,
    rcReadable = 2
};

struct TTryRead
{
    uintptr_t AreaBegin; // first address
    uintptr_t AreaEnd;   // last address (inclusive)
    uint8_t Flags;       // a TReadClass
};

// The class of a region from its state (committed or not) and its protection: committed
// memory with a readable or executable bit (mask 0x7E) that is no guard page is readable
// when a readable bit (mask 0x6E) is set, else execute-only.
TReadClass ReadClass(bool committed, uint32_t protect);

// Appends a region to the table, merged with the last area when both have the same class.
void AddRegion(std::vector<TTryRead>& areas, uintptr_t begin, uintptr_t size, TReadClass readClass);

// The area that holds the whole range [address, address + count), or null when the range
// leaves its area (a read spanning two areas fails) or lies in none.
const TTryRead* AreaOf(const std::vector<TTryRead>& areas, uintptr_t address, uintptr_t count);

} // namespace base
