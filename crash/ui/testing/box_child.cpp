// A windowed program that fails on a thread under the reporter with the real crash dialog:
//     box_child MODE LOG
// MODE changes the report's settings in an exception handler before the dialog shows:
//   full       this program's settings as they are;
//   simple     the simple box, with a long message;
//   autoclose  AutoClose 1 with a delay of one second (the program ends by itself);
//   countdown  AutoClose 1 with a delay of two seconds;
//   shown      the report shown in tabs from the start;
//   bad        shown, with sections that are hard to list (a very long line, 10,000 lines,
//              no columns, lines that only look like a call stack);
//   frozen     nothing fails: the main thread, watched with a timeout of half a second,
//              answers nothing until the freeze's dialog shows, then processes its messages
//              again; "dialog closed" when the dialog closed by itself on that answer.
// An idle thread runs beside the failing one, so the report has three threads. "went on" is
// logged when the program goes on after the dialog, "help" when the dialog asks for help.

#include "base/win_handle.h"
#include "crash/core/freeze/freeze_watch_win.h"
#include "crash/core/intercept/testing/child_log.h"
#include "crash/core/pipeline/handlers_win.h"
#include "crash/core/pipeline/pipeline_services.h"
#include "crash/core/pipeline/testing/pipeline_reporter.h"
#include "crash/core/report/report_assembly_win.h"
#include "crash/ui/exception_box_win.h"

#include <windows.h>

#include <cstring>
#include <string>

namespace {

std::string Mode;

__attribute__((init_priority(101))) crash::testing::TPipelineReporter Reporter;

void Configure(crash::IExceptionReport* report, bool&)
{
    if (Mode == "simple") {
        report->SetShowSetting(crash::ssSimpleBox);
        report->SetExceptMessage(u"The file could not be read. It may be in use by another program. "
                                 u"Close it and try again.");
    } else if (Mode == "autoclose") {
        report->SetAutoClose(1);
        report->SetAutoDelay(1);
    } else if (Mode == "countdown") {
        report->SetAutoClose(1);
        report->SetAutoDelay(2);
    } else if (Mode == "shown" || Mode == "bad") {
        report->SetAutoShowBugReport(true);
    }
    if (Mode == "bad") {
        report->GetBugReport(false); // the report's own sections first
        const base::ComPtr<crash::IReportFields> sections = report->GetBugReportSections();
        sections->Add(u"long line", std::u16string(200000, u'x') + u"\r\nshort\r\nshort");
        std::u16string many;
        for (int i = 0; i < 10000; ++i)
            many += u"row " + std::u16string(static_cast<size_t>(i % 7), u'-') + u" \tcell\r\n";
        sections->Add(u"many lines", many);
        sections->Add(u"no columns", u"one two three\r\nfour\r\nfive six");
        sections->Add(u"fake stack", u">> internal error in a test:\r\ndeadbeef this is not a stack "
                                     u"line\r\n0000000g no\r\n12345678 +zz ?? 1 2 3 4 5");
    }
}

// F1 in the dialog asks the program for help.
void Help(crash::TExceptAction action, crash::IExceptionReport*, bool& handled)
{
    if (action == crash::eaHelp) {
        crash::testing::AppendLine(__argv[__argc - 1], "help");
        handled = true;
    }
}

[[gnu::noinline]] DWORD WINAPI FailOnThread(void*)
{
    ::RaiseException(0xE0004321, 0, 0, nullptr);
    return 0;
}

DWORD WINAPI Idle(void* stop)
{
    ::WaitForSingleObject(stop, INFINITE);
    return 0;
}

HWND CrashDialog()
{
    const HWND dialog = ::FindWindowW(crash::CrashDialogClass, nullptr);
    DWORD process = 0;
    ::GetWindowThreadProcessId(dialog, &process);
    return process == ::GetCurrentProcessId() && ::IsWindowVisible(dialog) ? dialog : nullptr;
}

// The main thread answers nothing until the freeze's dialog shows, then processes its
// messages until the dialog is gone.
bool FrozenUntilTheDialogShows()
{
    for (int k = 0; k < 400 && !CrashDialog(); ++k)
        ::Sleep(50);
    ::Sleep(300);
    MSG msg;
    for (int k = 0; k < 200 && CrashDialog(); ++k) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageW(&msg);
    }
    return !CrashDialog();
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    if (Reporter.State != crash::TReporterStart::Enabled || __argc < 3)
        return 4;
    Mode = __argv[1];
    crash::TPipelineServices services;
    services.ShowCrashDialog = &crash::ShowCrashDialog;
    services.ReportText = &crash::AssembledReportText;
    crash::SetPipelineServices(services);
    crash::RegisterExceptionHandler(&Configure, crash::stDontSync, crash::epMainPhase);
    crash::RegisterActionHandler(&Help, crash::stDontSync);

    if (Mode == "frozen") {
        crash::StartFreezeWatch(500);
        if (FrozenUntilTheDialogShows())
            crash::testing::AppendLine(__argv[__argc - 1], "dialog closed");
        crash::StopFreezeWatch();
        crash::testing::AppendLine(__argv[__argc - 1], "went on");
        return 0;
    }
    const base::KernelHandle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const base::KernelHandle idle(::CreateThread(nullptr, 0, &Idle, stop.Get(), 0, nullptr));
    const base::KernelHandle thread(::CreateThread(nullptr, 0, &FailOnThread, nullptr, 0, nullptr));
    ::WaitForSingleObject(thread.Get(), INFINITE);
    ::SetEvent(stop.Get());
    ::WaitForSingleObject(idle.Get(), INFINITE);
    crash::testing::AppendLine(__argv[__argc - 1], "went on");
    return 0;
}
