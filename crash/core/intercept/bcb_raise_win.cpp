#include "crash/core/intercept/bcb_raise_win.h"

#include "crash/core/intercept/base_exception.h"
#include "crash/core/intercept/call_finder_win.h"
#include "crash/core/intercept/raise_state_win.h"
#include "crash/core/intercept/thread_slots.h"
#include "crash/core/stack/stack_tracer_win.h"

#include <cstdint>

namespace crash {
namespace {

struct TEntry
{
    volatile LONG ThreadId; // 0: free
    TRaiseStackInfo* Raise;
    const void* Object; // what it raised
};

// Only its own thread touches an entry (or, once the thread has ended, a thread that
// reclaims it). With every entry taken by live threads a raise is not kept.
constinit TThreadSlots<TEntry, 64> Raises;

using TMalloc = void*(__cdecl*)(size_t);
constinit TMalloc RealMalloc = nullptr;

void Release(TEntry& entry) noexcept
{
    FreeRaiseStackInfo(entry.Raise);
    entry.Raise = nullptr;
    entry.Object = nullptr;
}

void Keep(TRaiseStackInfo* raise, const void* object) noexcept
{
    TEntry* entry = Raises.ClaimReclaiming(::GetCurrentThreadId(), &Release);
    if (!entry) {
        FreeRaiseStackInfo(raise);
        return;
    }
    Release(*entry);
    entry->Raise = raise;
    entry->Object = object;
}

// What the runtime's throw routine calls for the object's copy. The routine keeps a frame
// of its own: the frame pointer this frame saved leads to its frame, whose return address
// is the thrower's.
[[gnu::noinline]] void* __cdecl ThrowAllocation(size_t size)
{
    void* object = RealMalloc(size);
    const auto* own = static_cast<const uint32_t*>(__builtin_frame_address(0));
    const auto* thrower = reinterpret_cast<const uint32_t*>(static_cast<uintptr_t>(own[0]));
    const uint32_t top = StackTopOf(::GetCurrentThread());
    // A routine without a frame leaves something else there: only a frame on this thread's
    // stack above this one counts.
    if (thrower > own && reinterpret_cast<uintptr_t>(thrower + 2) <= top &&
        (reinterpret_cast<uintptr_t>(thrower) & 3) == 0)
        if (TRaiseStackInfo* raise =
                CaptureRaiseStackInfo(reinterpret_cast<const void*>(thrower[1]), thrower))
            Keep(raise, object);
    return object;
}

} // namespace

bool HookBcbThrow(TPatches& patches, void* throwRoutine, void* malloc)
{
    const auto site = FindCall(throwRoutine, {malloc});
    if (!site || !site->Relative)
        return false;
    RealMalloc = reinterpret_cast<TMalloc>(malloc);
    return patches.WriteCall(site->Instruction, reinterpret_cast<const void*>(&ThrowAllocation));
}

TRaiseStackInfo* TakeBcbRaise(const void* object) noexcept
{
    TEntry* entry = Raises.Find(::GetCurrentThreadId());
    if (!entry || !entry->Raise || (object && object != entry->Object))
        return nullptr;
    TRaiseStackInfo* raise = entry->Raise;
    entry->Raise = nullptr;
    entry->Object = nullptr;
    PrepareRaiseStack(raise);
    return raise;
}

void ForgetBcbRaise() noexcept
{
    if (TEntry* entry = Raises.Find(::GetCurrentThreadId())) {
        Release(*entry);
        entry->ThreadId = 0;
    }
}

} // namespace crash
