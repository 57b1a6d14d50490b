#include "crash/core/intercept/memory_reserve_win.h"

#include <windows.h>

namespace crash {

void TOutOfMemoryReserve::Establish()
{
    const std::lock_guard<std::mutex> lock(FLock);
    for (void*& block : FReserved)
        if (!block)
            block = ::VirtualAlloc(nullptr, 4 << 20, MEM_RESERVE, PAGE_NOACCESS);
    for (void*& block : FCommitted)
        if (!block)
            block = ::VirtualAlloc(nullptr, 512 << 10, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS);
}

void TOutOfMemoryReserve::Release()
{
    const std::lock_guard<std::mutex> lock(FLock);
    for (void** list : {FReserved, FCommitted})
        for (int k = 0; k < 4; ++k) {
            if (list[k])
                ::VirtualFree(list[k], 0, MEM_RELEASE);
            list[k] = nullptr;
        }
}

int TOutOfMemoryReserve::Held() const
{
    const std::lock_guard<std::mutex> lock(FLock);
    int held = 0;
    for (int k = 0; k < 4; ++k)
        held += (FReserved[k] != nullptr) + (FCommitted[k] != nullptr);
    return held;
}

} // namespace crash
