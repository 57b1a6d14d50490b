// Benchmark of the stack tracer: a thread deep in a recursion that fills about 1 MB of its
// stack, and twenty threads of a busy process each waiting somewhere in a chain of calls,
// traced from their captured contexts; dbghelp's StackWalk64 on the same contexts gives
// the ratio. The first trace of a kind fills the process's caches (cold); the later ones
// find them filled (warm). Prints; never fails on time.

#include "base/win_handle.h"
#include "crash/core/stack/stack_tracer_win.h"
#include "crash/core/stack/testing/stack_walk64.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

std::atomic<int> Arrived{0};
std::atomic<bool> Released{false};

__attribute__((noinline)) void Wait()
{
    ++Arrived;
    while (!Released)
        ::Sleep(1);
    asm volatile("" ::: "memory");
}

// About 160 bytes of stack a level.
__attribute__((noinline)) int Deep(int n)
{
    volatile char pad[128];
    pad[0] = static_cast<char>(n);
    if (n == 0)
        Wait();
    else
        Deep(n - 1);
    asm volatile("" ::: "memory");
    return pad[0];
}

__attribute__((noinline)) void Busy(int n)
{
    if (n == 0)
        Wait();
    else
        Busy(n - 1);
    asm volatile("" ::: "memory");
}

DWORD WINAPI DeepThread(void*)
{
    Deep(6000);
    return 0;
}

DWORD WINAPI BusyThread(void* depth)
{
    Busy(static_cast<int>(reinterpret_cast<uintptr_t>(depth)));
    return 0;
}

struct TCaptured
{
    base::KernelHandle Thread;
    CONTEXT Context{};
    uint32_t StackTop = 0;
};

std::vector<TCaptured> Start(int count, LPTHREAD_START_ROUTINE routine, SIZE_T stack)
{
    Arrived = 0;
    Released = false;
    std::vector<TCaptured> threads(static_cast<size_t>(count));
    for (int k = 0; k < count; ++k)
        threads[static_cast<size_t>(k)].Thread.Reset(::CreateThread(
            nullptr, stack, routine, reinterpret_cast<void*>(static_cast<uintptr_t>(5 + 3 * k)),
            STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    while (Arrived < count)
        ::Sleep(1);
    for (TCaptured& t : threads) {
        ::SuspendThread(t.Thread.Get());
        t.Context.ContextFlags = CONTEXT_FULL;
        ::GetThreadContext(t.Thread.Get(), &t.Context);
        t.StackTop = crash::StackTopOf(t.Thread.Get());
    }
    return threads;
}

void Finish(std::vector<TCaptured>& threads)
{
    Released = true;
    for (TCaptured& t : threads) {
        ::ResumeThread(t.Thread.Get());
        ::WaitForSingleObject(t.Thread.Get(), INFINITE);
    }
}

struct TTimes
{
    double Ours = 0, Walk = 0;
    size_t OurFrames = 0, WalkFrames = 0;
};

TTimes Measure(std::vector<TCaptured>& threads)
{
    TTimes times;
    for (TCaptured& t : threads) {
        auto start = Clock::now();
        const crash::TTraceResult r = crash::TraceContext(t.Context, t.StackTop, {});
        times.Ours += Milliseconds(start);
        times.OurFrames += r.Lines.size();
        start = Clock::now();
        times.WalkFrames += crash::testing::StackWalk64Names(t.Thread.Get(), t.Context).size();
        times.Walk += Milliseconds(start);
    }
    return times;
}

void Print(const char* what, const TTimes& t, size_t threads)
{
    std::printf("%-28s ours %8.2f ms (%5.2f ms a thread, %4zu frames), StackWalk64 %8.2f ms (%4zu frames), "
                "ratio %.2f\n",
                what, t.Ours, t.Ours / static_cast<double>(threads), t.OurFrames, t.Walk, t.WalkFrames,
                t.Walk > 0 ? t.Ours / t.Walk : 0.0);
}

} // namespace

int main()
{
    std::vector<TCaptured> deep = Start(1, &DeepThread, 4 << 20);
    const uint32_t used = deep[0].StackTop - deep[0].Context.Esp;
    std::printf("deep recursion: %u KB of stack in use\n", used / 1024);
    Print("deep recursion, cold", Measure(deep), 1);
    Print("deep recursion, warm", Measure(deep), 1);
    Finish(deep);

    std::vector<TCaptured> busy = Start(20, &BusyThread, 256 << 10);
    Print("20 threads, cold", Measure(busy), busy.size());
    Print("20 threads, warm", Measure(busy), busy.size());
    Finish(busy);
    return 0;
}
