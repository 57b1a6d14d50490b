// A windowed program with freeze detection (a FreezeTimeout of 500 ms):
//     freeze_child blocked|pumping LOG
// "blocked": the main thread answers no messages for two seconds; "pumping": it keeps
// processing them for two seconds. Each report that would show its dialog logs "report T S C"
// (T the exception type, S the source, C the class as the dialog shows it); "went on" when the
// main thread goes on.

#include "crash/core/freeze/freeze_watch_win.h"
#include "crash/core/intercept/testing/child_log.h"
#include "crash/core/pipeline/pipeline_services.h"
#include "crash/core/pipeline/testing/pipeline_reporter.h"

#include <windows.h>

#include <string>

namespace {

const char* Log = "";

void ShowDialog(crash::IExceptionReport& report, crash::ShowSetting)
{
    const std::u16string cls = report.GetExceptClass();
    crash::testing::AppendLine(Log, "report " + std::to_string(report.GetExceptType()) + " " +
                                        std::to_string(report.GetSource()) + " " +
                                        std::string(cls.begin(), cls.end()));
}

__attribute__((init_priority(101)))
crash::testing::TPipelineReporter Reporter({.PauseFreezeDetector = &crash::PauseFreezeWatch,
                                            .StopFreezeDetector = &crash::StopFreezeWatch});

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    if (Reporter.State != crash::TReporterStart::Enabled || __argc < 3)
        return 4;
    Log = __argv[__argc - 1];
    crash::TPipelineServices services;
    services.ShowCrashDialog = &ShowDialog;
    services.ResetFreezeCounter = &crash::ResetFreezeCounter;
    crash::SetPipelineServices(services);
    crash::StartFreezeWatch(500);
    if (std::string(__argv[1]) == "blocked") {
        ::Sleep(2000);
    } else {
        const DWORD end = ::GetTickCount() + 2000;
        MSG msg;
        while (::GetTickCount() < end) {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                ::DispatchMessageW(&msg);
        }
    }
    crash::testing::AppendLine(Log, "went on");
    return 0;
}
