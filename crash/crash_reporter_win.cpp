#include "crash/crash_reporter_win.h"

#include "crash/core/freeze/freeze_watch_win.h"
#include "crash/core/intercept/framework_hooks_win.h"
#include "crash/core/pipeline/process_handoff_win.h"
#include "crash/reporter_services_win.h"

namespace crash {

TCrashReporter::TCrashReporter()
{
    State = StartReporter({.Processor = &ProcessHandoff,
                           .StartPipeline = &StartPipeline,
                           .StopPipeline = &StopPipeline,
                           .InstallApplicationHooks = &InstallFrameworkHooks,
                           .CheckSynchronize = &CheckFrameworkSynchronize,
                           .StartFreezeDetector = &StartFreezeWatch,
                           .PauseFreezeDetector = &PauseFreezeWatch,
                           .StopFreezeDetector = &StopFreezeWatch});
    if (State == TReporterStart::Enabled)
        InstallReporterServices();
}

TCrashReporter::~TCrashReporter()
{
    StopReporter();
}

} // namespace crash
