#pragma once
// Address space and memory kept back for the crash reporter: four reservations of 4 MB
// (reserved only) and four committed blocks of 512 KB without access. A dispatch releases
// them first, so that a program that ran out of memory still leaves room for its report,
// and establishes them again afterwards.

#include "base/srw_lock.h"
#include "base/win_handle.h"

#include <mutex>

namespace crash {

class TOutOfMemoryReserve
{
public:
    TOutOfMemoryReserve() = default;
    TOutOfMemoryReserve(const TOutOfMemoryReserve&) = delete;
    TOutOfMemoryReserve& operator=(const TOutOfMemoryReserve&) = delete;

    // Takes what is not held yet; blocks the system cannot give are simply missing.
    void Establish();
    void Release();
    // How many of the eight blocks are held.
    int Held() const;

private:
    mutable base::SrwLock FLock;
    base::VirtualMemory FBlocks[8]; // the four reservations, then the four committed blocks
};

} // namespace crash
