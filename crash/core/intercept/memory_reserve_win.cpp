#include "crash/core/intercept/memory_reserve_win.h"

namespace crash {

void TOutOfMemoryReserve::Establish()
{
    const std::lock_guard<base::SrwLock> lock(FLock);
    for (int k = 0; k < 8; ++k)
        if (!FBlocks[k])
            FBlocks[k].Reset(
                k < 4 ? ::VirtualAlloc(nullptr, 4 << 20, MEM_RESERVE, PAGE_NOACCESS)
                      : ::VirtualAlloc(nullptr, 512 << 10, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS));
}

void TOutOfMemoryReserve::Release()
{
    const std::lock_guard<base::SrwLock> lock(FLock);
    for (base::VirtualMemory& block : FBlocks)
        block.Reset();
}

int TOutOfMemoryReserve::Held() const
{
    const std::lock_guard<base::SrwLock> lock(FLock);
    int held = 0;
    for (const base::VirtualMemory& block : FBlocks)
        held += block.Valid();
    return held;
}

} // namespace crash
