// A second module with the reporter and the freeze check on, loaded by freeze_child's
// "modules" mode: its watchdog must wait for the program's, so that a freeze is reported once.
// Its reports would log "module report" through the log the program gives it.

#include "crash/core/freeze/freeze_watch_win.h"
#include "crash/core/intercept/testing/child_log.h"
#include "crash/core/pipeline/pipeline_services.h"
#include "crash/core/pipeline/testing/pipeline_reporter.h"

#include <windows.h>

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
    services.ShowCrashDialog = [](crash::IExceptionReport&, crash::ShowSetting) {
        crash::testing::AppendLine(Log, "module report");
    };
    crash::SetPipelineServices(services);
    return Reporter.State == crash::TReporterStart::Enabled && crash::FreezeProbeInterval() != 0;
}
