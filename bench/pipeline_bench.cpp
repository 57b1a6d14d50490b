// Benchmark of the handling pipeline under Wine: the time from a dispatch on a thread to the
// moment the crash dialog would show (a stand-in that only notes the time), and to the end of
// the pipeline when the settings show nothing. Prints its figures; never fails on time.

#include "base/win_handle.h"
#include "crash/core/intercept/dispatch_win.h"
#include "crash/core/intercept/startup_win.h"
#include "crash/core/pipeline/pipeline_services.h"
#include "crash/core/pipeline/process_handoff_win.h"
#include "crash/settings/module_settings.h"

#include "bench/win_clock.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace {

double Shown = 0;

void ShowDialog(crash::IExceptionReport&, crash::ShowSetting)
{
    Shown = bench::Now();
}

DWORD WINAPI Dispatch(void* started)
{
    *static_cast<double*>(started) = bench::Now();
    crash::TDispatchRequest request;
    request.Source = crash::esManual;
    crash::DispatchException(request);
    return 0;
}

// The median of `runs` dispatches on threads: to the dialog, or to the pipeline's end.
double Median(int runs, bool toDialog)
{
    std::vector<double> times;
    for (int k = 0; k < runs; ++k) {
        double started = 0;
        Shown = 0;
        const base::KernelHandle thread(::CreateThread(nullptr, 0, &Dispatch, &started, 0, nullptr));
        ::WaitForSingleObject(thread.Get(), INFINITE);
        times.push_back((toDialog ? Shown : bench::Now()) - started);
    }
    return bench::Median(std::move(times));
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    if (crash::StartReporter({.Processor = &crash::ProcessHandoff,
                              .StartPipeline = &crash::StartPipeline,
                              .StopPipeline = &crash::StopPipeline}) != crash::TReporterStart::Enabled)
        return 1;
    crash::TPipelineServices services;
    services.ShowCrashDialog = &ShowDialog;
    crash::SetPipelineServices(services);
    constexpr int Runs = 21;
    const double toDialog = Median(Runs, true);
    const base::ComPtr<crash::ReportSettings> settings = crash::ModuleSettingsFor(nullptr);
    settings->SetGeneralShowSetting(crash::ssNothing);
    const double toEnd = Median(Runs, false);
    crash::StopReporter();
    std::printf("dispatch on a thread to the crash dialog: %.2f ms (median of %d; goal under 100 ms)\n",
                toDialog * 1e3, Runs);
    std::printf("dispatch on a thread to the end of the pipeline, showing nothing: %.2f ms (median of %d)\n",
                toEnd * 1e3, Runs);
    return 0;
}
