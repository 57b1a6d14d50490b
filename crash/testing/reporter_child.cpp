// A windowed program with the reporter's layers wired together, that fails on a thread:
//     reporter_child [send] LOG
// The crash dialog shows; its continue button lets the program go on, and the report is saved
// beside it as its settings ask. "went on" is logged then. With "send" the report takes a
// screenshot and the dialog offers sending (through the Send Assistant with its screenshot
// form).

#include "base/win_handle.h"
#include "crash/core/intercept/testing/child_log.h"
#include "crash/core/pipeline/handlers_win.h"
#include "crash/core/pipeline/testing/pipeline_reporter.h"
#include "crash/reporter_services_win.h"

#include <windows.h>

#include <cstring>

namespace {

__attribute__((init_priority(101))) crash::testing::TPipelineReporter Reporter;

[[gnu::noinline]] DWORD WINAPI FailOnThread(void*)
{
    ::RaiseException(0xE0004321, 0, 0, nullptr);
    return 0;
}

void OfferSending(crash::IExceptionReport* report, bool&)
{
    report->SetSendBtnVisible(true);
    report->SetScreenShotDepth(8);
    report->SetCreateScreenShot(true);
    report->SetAppendScreenShot(true);
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    if (Reporter.State != crash::TReporterStart::Enabled || __argc < 2)
        return 4;
    crash::InstallReporterServices();
    if (__argc > 2 && std::strcmp(__argv[1], "send") == 0)
        crash::RegisterExceptionHandler(&OfferSending, crash::stDontSync, crash::epMainPhase);
    const base::KernelHandle thread(::CreateThread(nullptr, 0, &FailOnThread, nullptr, 0, nullptr));
    ::WaitForSingleObject(thread.Get(), INFINITE);
    crash::testing::AppendLine(__argv[__argc - 1], "went on");
    return 0;
}
