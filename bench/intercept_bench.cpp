// The interception's costs under Wine: a throw-and-catch loop without and with the
// interception installed (the ratio), the time the reporter's start-up takes and the memory
// it commits besides the out-of-memory reserve, and the time from a fault on a thread to
// its record reaching the processor.
// Driven by bench/intercept.sh; never fails on time.

#include "base/win_handle.h"
#include "crash/core/intercept/dispatch_win.h"
#include "crash/core/intercept/integrity_check_win.h"
#include "crash/core/intercept/memory_reserve_win.h"
#include "crash/core/intercept/startup_win.h"

#include "bench/win_clock.h"

#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <utility>

namespace {

SIZE_T Committed()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return counters.PagefileUsage;
}

[[gnu::noinline]] void Thrower(int i)
{
    if (i >= 0)
        throw std::runtime_error("bench");
}

double ThrowLoop(int count)
{
    const double start = bench::Now();
    for (int i = 0; i < count; ++i) {
        try {
            Thrower(i);
        } catch (const std::exception&) {
        }
    }
    return (bench::Now() - start) / count;
}

volatile double Arrived = 0;
void Record(const crash::THandoffRecord&)
{
    Arrived = bench::Now();
}

volatile double Faulted = 0;
DWORD WINAPI Fault(void*)
{
    Faulted = bench::Now();
    ::RaiseException(0xE0000042, 0, 0, nullptr);
    return 0;
}

} // namespace

int main()
{
    constexpr int Throws = 20000;
    const double bare = ThrowLoop(Throws);
    SIZE_T before = Committed();
    SIZE_T reserve = 0;
    {
        crash::TOutOfMemoryReserve alone;
        alone.Establish();
        reserve = Committed() - before;
    }
    before = Committed();
    const double start = bench::Now();
    if (crash::StartReporter({&Record}) != crash::TReporterStart::Enabled)
        return 1;
    const double startup = bench::Now() - start;
    const SIZE_T committed = Committed() - before - reserve;
    const double hooked = ThrowLoop(Throws);

    double total = 0;
    constexpr int Faults = 20;
    for (int i = 0; i < Faults; ++i) {
        const base::KernelHandle thread(::CreateThread(nullptr, 0, &Fault, nullptr, 0, nullptr));
        ::WaitForSingleObject(thread.Get(), INFINITE);
        total += Arrived - Faulted;
    }
    crash::StopReporter();

    std::printf("throw and catch: %.2f us without, %.2f us with the interception (ratio %.2f)\n", bare * 1e6,
                hooked * 1e6, hooked / bare);
    std::printf("start-up: %.2f ms, %lu KB committed besides the reserve (%lu KB)\n", startup * 1e3,
                static_cast<unsigned long>(committed / 1024), static_cast<unsigned long>(reserve / 1024));
    std::printf("fault on a thread to its record at the processor: %.2f ms (mean of %d)\n",
                total / Faults * 1e3, Faults);

    // The integrity check is part of the start-up: its share for this program (unstripped,
    // large) and what it costs the shipped one.
    wchar_t path[MAX_PATH];
    const std::wstring own(path, ::GetModuleFileNameW(nullptr, path, MAX_PATH));
    const auto timeCheck = [](const std::wstring& file) {
        const double t = bench::Now();
        const bool intact = crash::FileIsIntact(file.c_str());
        return std::pair{(bench::Now() - t) * 1e3, intact};
    };
    const auto [ownCheck, ownIntact] = timeCheck(own);
    const auto [shippedCheck, shippedIntact] =
        timeCheck(own.substr(0, own.find_last_of(L'\\')) + L"\\..\\app\\lumigate.exe");
    std::printf(
        "integrity check at start: %.2f ms of the start-up for this program, %.2f ms for lumigate.exe "
        "(%s, %s)\n",
        ownCheck, shippedCheck, ownIntact ? "intact" : "damaged", shippedIntact ? "intact" : "damaged");
    return 0;
}
