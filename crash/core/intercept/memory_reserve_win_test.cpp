#include "crash/core/intercept/memory_reserve_win.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace crash {
namespace {

// Bytes of the address space that are reserved or committed.
SIZE_T InUse()
{
    SIZE_T used = 0;
    MEMORY_BASIC_INFORMATION info;
    for (uintptr_t at = 0x10000;
         ::VirtualQuery(reinterpret_cast<void*>(at), &info, sizeof info) == sizeof info;) {
        if (info.State != MEM_FREE)
            used += info.RegionSize;
        const uintptr_t next = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
        if (next <= at)
            break;
        at = next;
    }
    return used;
}

TEST(OutOfMemoryReserve, EighteenMegabytesHeldUntilReleasedAndTakenAgain)
{
    TOutOfMemoryReserve reserve;
    const SIZE_T before = InUse();
    reserve.Establish();
    EXPECT_EQ(reserve.Held(), 8);
    EXPECT_GE(InUse() - before, SIZE_T{18} << 20);
    reserve.Establish(); // nothing more
    EXPECT_LT(InUse() - before, SIZE_T{19} << 20);
    reserve.Release();
    EXPECT_EQ(reserve.Held(), 0);
    EXPECT_LT(InUse(), before + (SIZE_T{1} << 20));
    reserve.Establish();
    EXPECT_EQ(reserve.Held(), 8);
}

} // namespace
} // namespace crash
