// A windowed program with the reporter's layers wired together, that fails on a thread:
//     reporter_child [send] LOG
// The crash dialog shows; its continue button lets the program go on, and the report is saved
// beside it as its settings ask. "went on" is logged then; a save the user went through the
// Save Assistant for logs "save after the assistant" first. With "send" the report takes a
// screenshot to be attached and the dialog offers sending (through the Send Assistant with
// its screenshot form); what the assistant leaves for the sending is logged ("send from
// MAILFROM screenshot yes|no"), and the sending itself is left out.
//     reporter_child handlers LOG
// logs which of the form handlers below a form could name (and fails nothing).

#include "base/utf.h"
#include "base/win_handle.h"
#include "crash/core/intercept/testing/child_log.h"
#include "crash/core/pipeline/handlers_win.h"
#include "crash/core/pipeline/testing/pipeline_reporter.h"
#include "crash/dialogs/assistant_win.h"
#include "crash/reporter_services_win.h"

#include <windows.h>

#include <cstring>
#include <utility>

// Handlers a form resource could name as "formtest.CountingAction"; the other is no handler.
namespace formtest {
void CountingAction(crash::TNVForm&, crash::TNVAction, crash::TNVItem*, crash::ReportSettings*) {}
void OtherKind(int) {}
} // namespace formtest

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

const char* Log = "";

void AfterTheAssistant(crash::TExceptAction action, crash::IExceptionReport* report, bool& handled)
{
    if (action == crash::eaSaveBugReport2)
        crash::testing::AppendLine(Log, "save after the assistant");
    if (action != crash::eaSendBugReport2)
        return;
    const std::u16string from = report->GetMailFrom();
    crash::testing::AppendLine(Log, "send from " + base::Utf16ToUtf8(from) + " screenshot " +
                                        (report->GetAppendScreenShot() ? "yes" : "no"));
    handled = true;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    if (Reporter.State != crash::TReporterStart::Enabled || __argc < 2)
        return 4;
    crash::InstallReporterServices();
    Log = __argv[__argc - 1];
    if (__argc > 2 && std::strcmp(__argv[1], "handlers") == 0) {
        const HMODULE self = ::GetModuleHandleW(nullptr);
        const std::pair<const char16_t*, crash::TNVActionHandler> cases[] = {
            {u"formtest.CountingAction", &formtest::CountingAction},
            {u"FORMTEST.countingaction", &formtest::CountingAction},
            {u"formtest.OtherKind", nullptr},
            {u"formtest.Missing", nullptr},
            {u"CountingAction", nullptr}};
        for (const auto& [name, expected] : cases)
            crash::testing::AppendLine(Log, crash::FormActionNamed(self, name) == expected ? "as expected"
                                                                                           : "wrong");
        return 0;
    }
    crash::RegisterActionHandler(&AfterTheAssistant, crash::stDontSync);
    if (__argc > 2 && std::strcmp(__argv[1], "send") == 0)
        crash::RegisterExceptionHandler(&OfferSending, crash::stDontSync, crash::epMainPhase);
    const base::KernelHandle thread(::CreateThread(nullptr, 0, &FailOnThread, nullptr, 0, nullptr));
    ::WaitForSingleObject(thread.Get(), INFINITE);
    crash::testing::AppendLine(Log, "went on");
    return 0;
}
