#pragma once
// A synthetic address space for the tracer's tests and fuzz target: regions of bytes at
// chosen addresses, each committed or not and with an allocation base, and the code range
// of the "module" each lies in.

#include "crash/core/stack/trace_memory.h"

#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

namespace crash::testing {

class TMemoryImage : public ITraceMemory
{
public:
    struct TRegion
    {
        uint32_t Base = 0;
        std::vector<uint8_t> Bytes;
        bool Committed = true;
        uint32_t AllocationBase = 0;
        std::optional<std::pair<uint32_t, uint32_t>> Code; // the code range of its module
    };

    // Adds a region and returns it for filling.
    TRegion& Add(uint32_t base, size_t size, bool committed = true, uint32_t allocationBase = 0)
    {
        FRegions.push_back(
            {base, std::vector<uint8_t>(size), committed, allocationBase ? allocationBase : base, {}});
        return FRegions.back();
    }
    void Put32(uint32_t address, uint32_t value)
    {
        for (int i = 0; i < 4; ++i)
            PutByte(address + static_cast<uint32_t>(i), static_cast<uint8_t>(value >> (8 * i)));
    }
    void PutBytes(uint32_t address, const std::vector<uint8_t>& bytes)
    {
        for (size_t i = 0; i < bytes.size(); ++i)
            PutByte(address + static_cast<uint32_t>(i), bytes[i]);
    }

    bool Read(uint32_t address, uint8_t* out, size_t size) override
    {
        const TRegion* r = Find(address);
        if (!r || !r->Committed || address - r->Base > r->Bytes.size() ||
            r->Bytes.size() - (address - r->Base) < size)
            return false;
        if (size)
            std::memcpy(out, r->Bytes.data() + (address - r->Base), size);
        return true;
    }
    std::optional<std::pair<uint32_t, uint32_t>> CodeRange(uint32_t address) override
    {
        const TRegion* r = Find(address);
        return r ? r->Code : std::nullopt;
    }
    std::optional<TMemoryRegion> Query(uint32_t address) override
    {
        const TRegion* r = Find(address);
        if (!r)
            return std::nullopt;
        return TMemoryRegion{r->Committed, r->AllocationBase, r->Base};
    }

private:
    const TRegion* Find(uint32_t address) const
    {
        for (const TRegion& r : FRegions)
            if (address >= r.Base && address - r.Base < r.Bytes.size())
                return &r;
        return nullptr;
    }
    void PutByte(uint32_t address, uint8_t value)
    {
        for (TRegion& r : FRegions)
            if (address >= r.Base && address - r.Base < r.Bytes.size())
                r.Bytes[address - r.Base] = value;
    }

    std::vector<TRegion> FRegions;
};

} // namespace crash::testing
