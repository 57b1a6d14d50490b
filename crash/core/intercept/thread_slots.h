#pragma once
// A fixed table of per-thread entries, found by thread id: for state that a thread keeps on
// the crash path, where nothing may be allocated (a thread that just faulted, a heap that
// may be damaged). An entry is free while its ThreadId is 0. Threads that end without
// freeing their entry (ExitThread, threads the reporter did not start) leave it taken
// until a full table reclaims it.

#include "base/win_handle.h"

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
    // As Claim, but when every entry is taken the entries of threads that have ended are
    // freed first (`release` lets go of what such an entry holds).
    template <class Release> TEntry* ClaimReclaiming(DWORD thread, Release release) noexcept
    {
        if (TEntry* entry = Claim(thread))
            return entry;
        for (TEntry& e : FEntries) {
            const DWORD owner = static_cast<DWORD>(e.ThreadId);
            if (owner && owner != thread && Ended(owner)) {
                release(e);
                ::InterlockedCompareExchange(&e.ThreadId, 0, static_cast<LONG>(owner));
            }
        }
        return Claim(thread);
    }
    TEntry& operator[](size_t k) noexcept { return FEntries[k % N]; }

private:
    static bool Ended(DWORD thread) noexcept
    {
        const base::KernelHandle h(::OpenThread(SYNCHRONIZE, FALSE, thread));
        if (!h)
            return ::GetLastError() == ERROR_INVALID_PARAMETER; // no such thread any more
        return ::WaitForSingleObject(h.Get(), 0) == WAIT_OBJECT_0;
    }

    TEntry FEntries[N] = {};
};

} // namespace crash
