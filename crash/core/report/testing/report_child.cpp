// A windowed program that fails on a thread under the pipeline with the real report
// assembly and a stand-in for the crash dialog:  report_child LOG
// The stand-in logs "placeholders" when the report it is shown still has them, then asks for
// the complete report and logs its "callstack crc" line, "section" with the title of the
// failing thread's section, "failing named" when that section names the function that failed
// and "main named" when the main thread's trace names WinMain (the program carries its debug
// information), "creator named" when the failing thread's trace says that the main thread
// created it. "callback complete" is logged when a report
// callback hears of the completion; "went on" when the program goes on.
//
//   report_child wait LOG: an own-section plug-in runs until the stand-in's wait for the
//   complete report shows the please-wait window, and logs "please wait shown" and
//   "priority highest" (the completion thread is raised meanwhile); the stand-in logs
//   "please wait closed" when the window is gone after the wait.
//   report_child release LOG: the stand-in leaves as soon as the completion is in the slow
//   plug-in, which returns ("slow returned") only when the program went on, by when nobody
//   holds the report any more: the completion stops, so the next plug-in never logs "after
//   ran" and no callback hears of a completion.

#include "base/win_handle.h"
#include "crash/core/intercept/testing/child_log.h"
#include "crash/core/pipeline/pipeline_services.h"
#include "crash/core/pipeline/testing/pipeline_reporter.h"
#include "crash/core/report/report_assembly_win.h"
#include "crash/core/report/report_plugins_win.h"
#include "crash/settings/module_settings.h"

#include <windows.h>

#include <cstring>
#include <string>

namespace {

char Log[MAX_PATH];

void Line(const std::string& text)
{
    crash::testing::AppendLine(Log, text);
}

std::string Narrow(const std::u16string& text)
{
    std::string out;
    for (char16_t c : text)
        out.push_back(c < 128 ? static_cast<char>(c) : '?');
    return out;
}

std::string LineOf(const std::string& text, const std::string& start)
{
    const size_t at = text.find(start);
    return at == std::string::npos ? std::string() : text.substr(at, text.find('\r', at) - at);
}

std::string Mode;
base::KernelHandle WentOn{::CreateEventW(nullptr, TRUE, FALSE, nullptr)},
    SlowStarted{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
DWORD CompletionThread = 0; // written before SlowStarted is set
// The program's settings: changes live as long as an object holds them.
base::ComPtr<crash::ReportSettings> Settings;

bool PleaseWaitShown()
{
    const HWND alert = ::FindWindowW(L"prgrAlertWndClass", nullptr);
    return alert && ::IsWindowVisible(alert);
}

std::u16string SlowPlugin()
{
    CompletionThread = ::GetCurrentThreadId();
    ::SetEvent(SlowStarted.Get());
    if (Mode == "wait") {
        // The wait shows the window first and raises this thread right after.
        const auto raised = [] {
            return ::GetThreadPriority(::GetCurrentThread()) == THREAD_PRIORITY_HIGHEST;
        };
        for (int k = 0; k < 1000 && !(PleaseWaitShown() && raised()); ++k)
            ::Sleep(10);
        if (PleaseWaitShown())
            Line("please wait shown");
        if (raised())
            Line("priority highest");
    } else {
        ::WaitForSingleObject(WentOn.Get(), 10000);
        Line("slow returned");
    }
    return u"slept";
}

void ShowDialog(crash::IExceptionReport& report, crash::ShowSetting)
{
    report.RegisterBugReportCallback(
        [](bool complete, const std::u16string&, crash::IExceptionReport*) {
            if (complete)
                Line("callback complete");
        },
        false);
    if (Narrow(report.GetBugReport(false)).find("will be calculated soon") != std::string::npos)
        Line("placeholders");
    if (Mode == "release") { // leaves once the completion is in the slow plug-in
        ::WaitForSingleObject(SlowStarted.Get(), 10000);
        return;
    }
    const std::string text = Narrow(report.GetBugReport(true));
    if (Mode == "wait" && !PleaseWaitShown())
        Line("please wait closed");
    Line(LineOf(text, "callstack crc"));
    const size_t section = text.find("\r\n\r\nthread $");
    if (section != std::string::npos)
        Line("section " + LineOf(text.substr(section + 4), ""));
    if (section != std::string::npos &&
        text.find("RaiseOnThread", section) < text.find("\r\n\r\n", section + 4))
        Line("failing named");
    if (text.find("\r\n>> created by main thread (") != std::string::npos)
        Line("creator named");
    const size_t main = text.find("\r\n\r\nmain thread");
    if (main != std::string::npos && text.find("WinMain", main) != std::string::npos)
        Line("main named");
}

__attribute__((init_priority(101))) crash::testing::TPipelineReporter Reporter;

[[gnu::noinline]] DWORD WINAPI RaiseOnThread(void*)
{
    ::RaiseException(0xE0004321, 0, 0, nullptr);
    return 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    if (Reporter.State != crash::TReporterStart::Enabled || __argc < 2)
        return 4;
    std::strncpy(Log, __argv[__argc - 1], sizeof Log - 1);
    Mode = __argc > 2 ? __argv[1] : "";
    if (!Mode.empty()) {
        crash::AddReportPlugin(u"slow", u"", crash::TBugReportPluginW(&SlowPlugin), true);
        crash::AddReportPlugin(u"after", u"", crash::TBugReportPluginW([] {
                                   Line("after ran");
                                   return std::u16string(u"ran");
                               }),
                               true);
        Settings = crash::ModuleSettingsFor(nullptr);
        Settings->SetPropStr("Plugins", u"slow|after");
        Settings->SetAutoSave(false); // the pipeline would wait for the complete report to save it
    }
    crash::TPipelineServices services;
    services.ShowCrashDialog = &ShowDialog;
    services.ReportText = &crash::AssembledReportText;
    crash::SetPipelineServices(services);
    const base::KernelHandle thread(::CreateThread(nullptr, 0, &RaiseOnThread, nullptr, 0, nullptr));
    ::WaitForSingleObject(thread.Get(), INFINITE);
    Line("went on");
    if (Mode.empty())
        return 0;
    ::SetEvent(WentOn.Get());
    if (const base::KernelHandle completion{::OpenThread(SYNCHRONIZE, FALSE, CompletionThread)})
        ::WaitForSingleObject(completion.Get(), 10000);
    return 0;
}
