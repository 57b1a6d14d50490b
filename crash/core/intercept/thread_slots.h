#pragma once
// A fixed table of per-thread entries, found by thread id: for state that a thread keeps on
// the crash path, where nothing may be allocated (a thread that just faulted, a heap that
// may be damaged). An entry is free while its ThreadId is 0.

#include <windows.h>

#include <cstddef>

namespace crash {

template <class TEntry, size_t N> class TThreadSlots
{
public:
    // The thread's entry, or null.
    TEntry* Find(DWORD thread) noexcept
    {
        for (TEntry& e : FEntries)
            if (static_cast<DWORD>(e.ThreadId) == thread)
                return &e;
        return nullptr;
    }
    // The thread's entry, a free one taken for it, or null when every entry is taken.
    TEntry* Claim(DWORD thread) noexcept
    {
        TEntry* entry = Find(thread);
        for (size_t k = 0; !entry && k < N; ++k)
            if (::InterlockedCompareExchange(&FEntries[k].ThreadId, static_cast<LONG>(thread), 0) == 0)
                entry = &FEntries[k];
        return entry;
    }
    TEntry& operator[](size_t k) noexcept { return FEntries[k % N]; }

private:
    TEntry FEntries[N] = {};
};

} // namespace crash
