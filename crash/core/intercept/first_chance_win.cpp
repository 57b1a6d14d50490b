#include "crash/core/intercept/first_chance_win.h"

#include "crash/core/intercept/thread_slots.h"

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
constinit TThreadSlots<TEntry, 64> Table;
volatile LONG NextTakeover = 0;

} // namespace

void RememberFirstChance(const EXCEPTION_RECORD& record, const CONTEXT& context) noexcept
{
    const DWORD me = ::GetCurrentThreadId();
    TEntry* entry = Table.ClaimReclaiming(me, [](TEntry&) {});
    if (!entry) {
        entry = &Table[static_cast<size_t>(::InterlockedIncrement(&NextTakeover))];
        entry->ThreadId = static_cast<LONG>(me);
    }
    entry->Code = record.ExceptionCode;
    entry->Address = record.ExceptionAddress;
    std::memcpy(&entry->Context, &context, sizeof context);
}

bool FirstChanceContext(const EXCEPTION_RECORD& record, CONTEXT& context) noexcept
{
    const TEntry* entry = Table.Find(::GetCurrentThreadId());
    if (!entry || entry->Code != record.ExceptionCode || entry->Address != record.ExceptionAddress)
        return false;
    std::memcpy(&context, &entry->Context, sizeof context);
    return true;
}

void ForgetFirstChance() noexcept
{
    if (TEntry* entry = Table.Find(::GetCurrentThreadId()))
        entry->ThreadId = 0;
}

} // namespace crash
