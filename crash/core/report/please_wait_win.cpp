#include "crash/core/report/please_wait_win.h"

#include "base/seh_frame.h"
#include "crash/core/pipeline/exception_report_win.h"

#include <algorithm>

namespace crash {
namespace {

// How long a wait lasts before the window shows.
constexpr ULONGLONG ShowAfterMs = 50;

} // namespace

TPleaseWait::TPleaseWait(ExceptionReport& report, TCompletionProgress& progress, HANDLE completionThread)
    : FProgress(progress), FCompletionThread(completionThread), FStart(::GetTickCount64())
{
    if (report.GetShowPleaseWaitBox() && !progress.WindowTaken.exchange(true)) {
        FAlert = &report.PleaseWaitAlert();
        FTitle = report.GetPleaseWaitTitle(); // a handler may have changed it for this report
        FText = report.GetPleaseWaitText();
    }
}

TPleaseWait::~TPleaseWait()
{
    if (!FAlert)
        return;
    if (FShown)
        base::Guarded([&] { FAlert->Close(); });
    FProgress.WindowTaken = false;
}

void TPleaseWait::Tick()
{
    if (!FAlert || (!FShown && ::GetTickCount64() - FStart < ShowAfterMs))
        return;
    base::Guarded([&] {
        if (!FShown) {
            FAlert->SetTitle(std::wstring(FTitle.begin(), FTitle.end()));
            FAlert->ClearAreas();
            const int areas = std::max(1, FProgress.Areas.load());
            for (int k = 0; k < areas; ++k)
                FAlert->AddArea(1000, k ? L"" : std::wstring(FText.begin(), FText.end()));
            // The window this thread works in (the crash dialog) is disabled meanwhile and
            // active again afterwards.
            FShown = FAlert->Show(::GetActiveWindow(), false);
            if (FShown && FCompletionThread)
                ::SetThreadPriority(FCompletionThread, THREAD_PRIORITY_HIGHEST);
        }
        if (!FShown)
            return;
        FAlert->SetCurrentArea(FProgress.Area);
        FAlert->SetPosition(FProgress.Permille);
        FAlert->ProcessMessages();
    });
}

} // namespace crash
