// Compiled with -O2 -fomit-frame-pointer: no frame pointers. Each call is followed by an
// empty asm statement so that it stays a call (and is not turned into a jump), except in
// the tail-call case.

#include "crash/core/stack/testing/accuracy_chains.h"

#include <windows.h>

namespace accuracy {

#define KEEP_CALL asm volatile("" ::: "memory")

__attribute__((noinline)) void O2Level10()
{
    Blocked();
    KEEP_CALL;
}
__attribute__((noinline)) void O2Level9()
{
    O2Level10();
    KEEP_CALL;
}
__attribute__((noinline)) void O2Level8()
{
    O2Level9();
    KEEP_CALL;
}
__attribute__((noinline)) void O2Level7()
{
    O2Level8();
    KEEP_CALL;
}
__attribute__((noinline)) void O2Level6()
{
    O2Level7();
    KEEP_CALL;
}
__attribute__((noinline)) void O2Level5()
{
    O2Level6();
    KEEP_CALL;
}
__attribute__((noinline)) void O2Level4()
{
    O2Level5();
    KEEP_CALL;
}
__attribute__((noinline)) void O2Level3()
{
    O2Level4();
    KEEP_CALL;
}
__attribute__((noinline)) void O2Level2()
{
    O2Level3();
    KEEP_CALL;
}
__attribute__((noinline)) void O2Level1()
{
    O2Level2();
    KEEP_CALL;
}
void O2Chain()
{
    O2Level1();
    KEEP_CALL;
}

// --- through pointers and virtual methods

__attribute__((noinline)) void PointerTarget()
{
    Blocked();
    KEEP_CALL;
}
void (*volatile Pointer)() = &PointerTarget;

struct TStep
{
    virtual ~TStep() = default;
    virtual void Step() = 0;
};
struct TLastStep : TStep
{
    __attribute__((noinline)) void Step() override
    {
        Pointer();
        KEEP_CALL;
    }
};
struct TFirstStep : TStep
{
    explicit TFirstStep(TStep& next) : Next(next) {}
    __attribute__((noinline)) void Step() override
    {
        Next.Step();
        KEEP_CALL;
    }
    TStep& Next;
};
__attribute__((noinline)) void VirtualCaller(TStep& step)
{
    step.Step();
    KEEP_CALL;
}
void IndirectChain()
{
    TLastStep last;
    TFirstStep first(last);
    TStep* volatile start = &first;
    VirtualCaller(*start);
    KEEP_CALL;
}

// --- recursion

__attribute__((noinline)) int Recurse(int n)
{
    if (n == 0)
        Blocked();
    else
        Recurse(n - 1);
    KEEP_CALL;
    return n;
}
void DirectRecursion()
{
    Recurse(10);
    KEEP_CALL;
}

__attribute__((noinline)) int Odd(int n);
__attribute__((noinline)) int Even(int n)
{
    if (n == 0)
        Blocked();
    else
        Odd(n - 1);
    KEEP_CALL;
    return n;
}
__attribute__((noinline)) int Odd(int n)
{
    Even(n - 1);
    KEEP_CALL;
    return n;
}
void MutualRecursion()
{
    Even(8);
    KEEP_CALL;
}

// --- a tail call

__attribute__((noinline)) void TailCallee()
{
    Blocked();
    KEEP_CALL;
}
__attribute__((noinline)) void TailCaller()
{
    TailCallee(); // a jump at -O2
}
__attribute__((noinline)) void TailChainStart()
{
    TailCaller();
    KEEP_CALL;
}
void TailChain()
{
    TailChainStart();
    KEEP_CALL;
}

// --- code addresses in local variables

__attribute__((noinline)) void* ReturnAddressOfCaller()
{
    return __builtin_return_address(0);
}
__attribute__((noinline)) void* DecoyCall()
{
    void* inside = ReturnAddressOfCaller(); // an address right after a call, in DecoyCall
    KEEP_CALL;
    return inside;
}
__attribute__((noinline)) void HoldsCodeAddresses()
{
    void* volatile kept[4] = {DecoyCall(), reinterpret_cast<void*>(&O2Level5), DecoyCall(),
                              reinterpret_cast<void*>(&Recurse)};
    asm volatile("" : : "r"(kept) : "memory");
    Blocked();
    KEEP_CALL;
}
void FalseCandidates()
{
    HoldsCodeAddresses();
    KEEP_CALL;
}

// --- a library without debug information, and the system

extern "C" __declspec(dllimport) void ForwardCall(void (*callback)(void*), void* argument);

__attribute__((noinline)) void LibraryCallback(void*)
{
    Blocked();
    KEEP_CALL;
}
void LibraryChain()
{
    ForwardCall(&LibraryCallback, nullptr);
    KEEP_CALL;
}

__attribute__((noinline)) BOOL CALLBACK CodePageCallback(LPWSTR)
{
    Blocked();
    KEEP_CALL;
    return FALSE; // one is enough
}
void SystemCallbackChain()
{
    ::EnumSystemCodePagesW(&CodePageCallback, CP_INSTALLED);
    KEEP_CALL;
}

} // namespace accuracy
