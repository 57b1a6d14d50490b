// Benchmark of freeze detection under Wine: what the watchdog costs an idle program (the
// process's CPU time over a minute of waiting for messages: without a watchdog, with one at
// the timeout this program's settings give when the check is turned on (a minute: a probe
// every 6 s), and with one at a timeout of 500 ms (a probe every 50 ms)), and how late a
// freeze is reported after its timeout has passed (a main thread blocked for good, the
// timeout of 500 ms). Prints its figures; never fails on time.

#include "base/win_handle.h"
#include "crash/core/freeze/freeze_watch_win.h"
#include "crash/core/intercept/startup_win.h"
#include "crash/core/pipeline/pipeline_services.h"
#include "crash/core/pipeline/process_handoff_win.h"

#include "bench/win_clock.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace {

constexpr uint32_t TimeoutMs = 500, SettingsTimeoutMs = 60000;
constexpr DWORD IdleMs = 60000;

double Reported = 0;
base::KernelHandle ReportSeen{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};

void ShowDialog(crash::IExceptionReport&, crash::ShowSetting)
{
    Reported = bench::Now();
    ::SetEvent(ReportSeen.Get());
}

// The process's CPU time (kernel and user) in milliseconds.
double CpuMs()
{
    FILETIME created, ended, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &ended, &kernel, &user);
    const auto ms = [](const FILETIME& t) {
        return (static_cast<double>(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) / 10000.0;
    };
    return ms(kernel) + ms(user);
}

// The CPU time of an idle program that waits for its messages for IdleMs.
double IdleCpuMs()
{
    const double before = CpuMs();
    const DWORD start = ::GetTickCount();
    MSG msg;
    for (DWORD waited = 0; waited < IdleMs; waited = ::GetTickCount() - start) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, IdleMs - waited, QS_ALLINPUT);
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageW(&msg);
    }
    return CpuMs() - before;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    if (crash::StartReporter({.Processor = &crash::ProcessHandoff,
                              .StartPipeline = &crash::StartPipeline,
                              .StopPipeline = &crash::StopPipeline,
                              .PauseFreezeDetector = &crash::PauseFreezeWatch,
                              .StopFreezeDetector = &crash::StopFreezeWatch}) !=
        crash::TReporterStart::Enabled)
        return 1;
    crash::TPipelineServices services;
    services.ShowCrashDialog = &ShowDialog;
    services.ResetFreezeCounter = &crash::ResetFreezeCounter;
    crash::SetPipelineServices(services);

    const double without = IdleCpuMs();
    crash::StartFreezeWatch(SettingsTimeoutMs);
    const double settings = IdleCpuMs();
    crash::StopFreezeWatch();
    crash::StartFreezeWatch(TimeoutMs);
    const double with = IdleCpuMs();
    const double blocked = bench::Now(); // the main thread answers nothing from here on
    std::printf("idle for %lu ms, CPU time: %.1f ms without a watchdog, %.1f ms with one probing every %u ms,"
                " %.1f ms with one probing every %u ms\n",
                IdleMs, without, settings, SettingsTimeoutMs / 10, with, TimeoutMs / 10);

    const bool early = ::WaitForSingleObject(ReportSeen.Get(), 0) == WAIT_OBJECT_0;
    ::WaitForSingleObject(ReportSeen.Get(), 10000); // the main thread answers nothing meanwhile
    if (early)
        std::printf("(a freeze was reported while the program waited for its messages)\n");
    std::printf("a blocked main thread reported %.0f ms after its timeout of %u ms\n",
                Reported ? (Reported - blocked) * 1000 - TimeoutMs : -1.0, TimeoutMs);
    crash::StopReporter();
    return 0;
}
