// Compiled with -O0: every function keeps its frame pointer.

#include "crash/core/stack/testing/accuracy_chains.h"

#include <cstring>

namespace accuracy {

__attribute__((noinline)) void O0Level10()
{
    Blocked();
}
__attribute__((noinline)) void O0Level9()
{
    O0Level10();
}
__attribute__((noinline)) void O0Level8()
{
    O0Level9();
}
__attribute__((noinline)) void O0Level7()
{
    O0Level8();
}
__attribute__((noinline)) void O0Level6()
{
    O0Level7();
}
__attribute__((noinline)) void O0Level5()
{
    O0Level6();
}
__attribute__((noinline)) void O0Level4()
{
    O0Level5();
}
__attribute__((noinline)) void O0Level3()
{
    O0Level4();
}
__attribute__((noinline)) void O0Level2()
{
    O0Level3();
}
__attribute__((noinline)) void O0Level1()
{
    O0Level2();
}
void O0Chain()
{
    O0Level1();
}

// Twenty frames deep, then back: their return addresses stay below the live frames.
__attribute__((noinline)) int DeepFill(int n)
{
    volatile char pad[16];
    pad[0] = static_cast<char>(n);
    return n > 0 ? DeepFill(n - 1) + pad[0] : 0;
}

__attribute__((noinline)) void ShallowWithBuffer()
{
    char buffer[2048]; // left uninitialized on purpose: it holds what DeepFill left
    asm volatile("" : : "r"(buffer) : "memory");
    Blocked();
}

void StaleChain()
{
    DeepFill(20);
    ShallowWithBuffer();
}

} // namespace accuracy
