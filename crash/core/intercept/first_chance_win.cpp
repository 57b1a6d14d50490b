#include "crash/core/intercept/first_chance_win.h"

#include <cstddef>
#include <cstring>

namespace crash {
namespace {

struct TEntry
{
    volatile LONG ThreadId; // 0: free
    DWORD Code;
    void* Address;
    CONTEXT Context;
};

// More threads than entries fault at once only in a process that is failing everywhere;
// then the entries are taken over in turn.
constexpr size_t Entries = 64;
constinit TEntry Table[Entries];
volatile LONG NextTakeover = 0;

TEntry* Find(DWORD thread)
{
    for (TEntry& e : Table)
        if (static_cast<DWORD>(e.ThreadId) == thread)
            return &e;
    return nullptr;
}

} // namespace

void RememberFirstChance(const EXCEPTION_RECORD& record, const CONTEXT& context) noexcept
{
    const DWORD me = ::GetCurrentThreadId();
    TEntry* entry = Find(me);
    for (size_t k = 0; !entry && k < Entries; ++k)
        if (::InterlockedCompareExchange(&Table[k].ThreadId, static_cast<LONG>(me), 0) == 0)
            entry = &Table[k];
    if (!entry) {
        entry = &Table[static_cast<size_t>(::InterlockedIncrement(&NextTakeover)) % Entries];
        entry->ThreadId = static_cast<LONG>(me);
    }
    entry->Code = record.ExceptionCode;
    entry->Address = record.ExceptionAddress;
    std::memcpy(&entry->Context, &context, sizeof context);
}

bool FirstChanceContext(const EXCEPTION_RECORD& record, CONTEXT& context) noexcept
{
    const TEntry* entry = Find(::GetCurrentThreadId());
    if (!entry || entry->Code != record.ExceptionCode || entry->Address != record.ExceptionAddress)
        return false;
    std::memcpy(&context, &entry->Context, sizeof context);
    return true;
}

void ForgetFirstChance() noexcept
{
    if (TEntry* entry = Find(::GetCurrentThreadId()))
        entry->ThreadId = 0;
}

} // namespace crash
