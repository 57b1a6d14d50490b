// A second module with the reporter and the freeze check on, loaded by freeze_child's
// "modules" mode: its watchdog must wait for the program's, so that a freeze is reported once.
// Its reports log "module report" through the log the program gives it (and let the
// program's main thread go on). A pause of the watch in this module holds the program's
// watchdog too, also once this module's watch has stopped.

#include "base/win_handle.h"
#include "crash/core/freeze/freeze_watch_win.h"
#include "crash/core/freeze/testing/go_on_event.h"
#include "crash/core/intercept/testing/child_log.h"
#include "crash/core/pipeline/pipeline_services.h"
#include "crash/core/pipeline/testing/pipeline_reporter.h"

#include <windows.h>

#include <string>

namespace {

const char* Log = "";

__attribute__((init_priority(101)))
crash::testing::TPipelineReporter Reporter({.StartFreezeDetector = &crash::StartFreezeWatch,
                                            .PauseFreezeDetector = &crash::PauseFreezeWatch,
                                            .StopFreezeDetector = &crash::StopFreezeWatch});

} // namespace

// Whether this module's reporter and watchdog started; its reports are logged into `log`.
extern "C" __declspec(dllexport) bool ModuleWatches(const char* log)
{
    Log = log;
    crash::TPipelineServices services;
    services.ShowCrashDialog = [](crash::IExceptionReport& report, crash::ShowSetting) {
        const std::u16string cls = report.GetExceptClass();
        crash::testing::AppendLine(Log, "module report " + std::to_string(report.GetExceptType()) + " " +
                                            std::to_string(report.GetSource()) + " " +
                                            std::string(cls.begin(), cls.end()));
        if (const base::KernelHandle goOn{
                ::OpenEventW(EVENT_MODIFY_STATE, FALSE, crash::testing::GoOnEventName().c_str())})
            ::SetEvent(goOn.Get());
    };
    crash::SetPipelineServices(services);
    return Reporter.State == crash::TReporterStart::Enabled && crash::FreezeProbeInterval() != 0;
}

extern "C" __declspec(dllexport) void ModulePauses(bool paused)
{
    crash::PauseFreezeWatch(paused);
}

extern "C" __declspec(dllexport) void ModuleWatching(bool on)
{
    if (on)
        crash::StartFreezeWatch(500);
    else
        crash::StopFreezeWatch();
}
