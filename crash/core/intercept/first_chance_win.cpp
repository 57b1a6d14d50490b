#include "crash/core/intercept/first_chance_win.h"

#include "crash/core/intercept/thread_slots.h"

#include <algorithm>
#include <cstring>

namespace crash {
namespace {

// As much of the stack as a report's trace of the failing thread rarely needs more of; of
// a stack that overflowed, the last part of it holds the stack's outermost bytes.
constexpr uint32_t StackKept = 64 << 10;
constexpr uint32_t OutermostKept = 16 << 10;
constexpr size_t Entries = 64;

struct TEntry
{
    volatile LONG ThreadId; // 0: free
    DWORD Code;
    void* Address;
    CONTEXT Context;
    uint8_t* Stack; // the entry's part of the stacks' region, committed on its first use
    uint32_t StackLength;
    uint32_t OutermostLength; // behind the newest bytes, when the stack overflowed
    uint32_t Top;
};

// More threads than entries fault at once only in a process that is failing everywhere;
// then the entries are taken over in turn.
constinit TThreadSlots<TEntry, Entries> Table;
volatile LONG NextTakeover = 0;
// The copies of the stacks, one part per entry: reserved on the first fault, so that only
// the entries of threads that faulted take memory.
uint8_t* volatile Stacks = nullptr;

// The entry's part of the region, committed; null when there is no memory for it.
uint8_t* StackOf(TEntry& entry) noexcept
{
    if (entry.Stack)
        return entry.Stack;
    if (!Stacks) {
        void* region = ::VirtualAlloc(nullptr, Entries * StackKept, MEM_RESERVE, PAGE_NOACCESS);
        if (region &&
            ::InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&Stacks), region, nullptr))
            ::VirtualFree(region, 0, MEM_RELEASE); // another thread's came first
    }
    uint8_t* part = Stacks ? Stacks + static_cast<size_t>(&entry - &Table[0]) * StackKept : nullptr;
    if (part && ::VirtualAlloc(part, StackKept, MEM_COMMIT, PAGE_READWRITE))
        entry.Stack = part;
    return entry.Stack;
}

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
    uint8_t* copy = StackOf(*entry);
    const uint32_t length = copy && context.Esp >= bottom && context.Esp < top ? top - context.Esp : 0;
    const bool overflowed = record.ExceptionCode == EXCEPTION_STACK_OVERFLOW && length > StackKept;
    entry->StackLength = overflowed ? StackKept - OutermostKept : std::min(length, StackKept);
    entry->OutermostLength = overflowed ? OutermostKept : 0;
    entry->Top = top;
    const auto bytesAt = [](uint32_t address) { return reinterpret_cast<const void*>(uintptr_t{address}); };
    if (entry->StackLength)
        std::memcpy(copy, bytesAt(context.Esp), entry->StackLength);
    if (entry->OutermostLength)
        std::memcpy(copy + entry->StackLength, bytesAt(top - OutermostKept), OutermostKept);
}

bool FirstChanceContext(const EXCEPTION_RECORD& record, CONTEXT& context, TFirstChanceStack* stack) noexcept
{
    const TEntry* entry = Table.Find(::GetCurrentThreadId());
    if (!entry || entry->Code != record.ExceptionCode || entry->Address != record.ExceptionAddress)
        return false;
    std::memcpy(&context, &entry->Context, sizeof context);
    if (stack) {
        const uint8_t* outermost = entry->Stack + entry->StackLength;
        try {
            stack->Newest.assign(static_cast<const uint8_t*>(entry->Stack), outermost);
            stack->Outermost.assign(outermost, outermost + entry->OutermostLength);
            stack->Top = entry->OutermostLength ? entry->Top : 0;
        } catch (...) { // no memory for it: without
            *stack = {};
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
