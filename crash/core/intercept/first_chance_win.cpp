#include "crash/core/intercept/first_chance_win.h"

#include "crash/core/intercept/thread_slots.h"

#include <algorithm>
#include <cstring>

namespace crash {
namespace {

// The frames between a fault and the catch that turns it into an object are rarely more.
constexpr uint32_t StackKept = 16 << 10;

struct TEntry
{
    volatile LONG ThreadId; // 0: free
    DWORD Code;
    void* Address;
    CONTEXT Context;
    uint32_t StackLength;
    uint8_t Stack[StackKept];
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
    // The stack from the faulting Esp up, when it lies within this thread's stack (committed
    // from there to its top).
    uint32_t top, bottom; // the thread information block's StackBase and StackLimit
    asm volatile("movl %%fs:4, %0" : "=r"(top));
    asm volatile("movl %%fs:8, %0" : "=r"(bottom));
    entry->StackLength =
        context.Esp >= bottom && context.Esp < top ? std::min<uint32_t>(top - context.Esp, StackKept) : 0;
    std::memcpy(entry->Stack, reinterpret_cast<const void*>(static_cast<uintptr_t>(context.Esp)),
                entry->StackLength);
}

bool FirstChanceContext(const EXCEPTION_RECORD& record, CONTEXT& context,
                        std::vector<uint8_t>* stack) noexcept
{
    const TEntry* entry = Table.Find(::GetCurrentThreadId());
    if (!entry || entry->Code != record.ExceptionCode || entry->Address != record.ExceptionAddress)
        return false;
    std::memcpy(&context, &entry->Context, sizeof context);
    if (stack) {
        try {
            stack->assign(entry->Stack, entry->Stack + entry->StackLength);
        } catch (...) { // no memory for it: without
            stack->clear();
        }
    }
    return true;
}

void ForgetFirstChance() noexcept
{
    if (TEntry* entry = Table.Find(::GetCurrentThreadId()))
        entry->ThreadId = 0;
}

} // namespace crash
