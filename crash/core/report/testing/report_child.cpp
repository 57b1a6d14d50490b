// A windowed program that fails on a thread under the pipeline with the real report
// assembly and a stand-in for the crash dialog:  report_child LOG
// The stand-in logs "placeholders" when the report it is shown still has them, then asks for
// the complete report and logs its "callstack crc" line, "section" with the title of the
// failing thread's section, "failing named" when that section names the function that failed
// and "main named" when the main thread's trace names WinMain (the program carries its debug
// information). "callback complete" is logged when a report
// callback hears of the completion; "went on" when the program goes on.

#include "base/win_handle.h"
#include "crash/core/intercept/testing/child_log.h"
#include "crash/core/pipeline/pipeline_services.h"
#include "crash/core/pipeline/testing/pipeline_reporter.h"
#include "crash/core/report/report_assembly_win.h"

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
    const std::string text = Narrow(report.GetBugReport(true));
    Line(LineOf(text, "callstack crc"));
    const size_t section = text.find("\r\n\r\nthread $");
    if (section != std::string::npos)
        Line("section " + LineOf(text.substr(section + 4), ""));
    if (section != std::string::npos &&
        text.find("RaiseOnThread", section) < text.find("\r\n\r\n", section + 4))
        Line("failing named");
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
    crash::TPipelineServices services;
    services.ShowCrashDialog = &ShowDialog;
    services.ReportText = &crash::AssembledReportText;
    crash::SetPipelineServices(services);
    const base::KernelHandle thread(::CreateThread(nullptr, 0, &RaiseOnThread, nullptr, 0, nullptr));
    ::WaitForSingleObject(thread.Get(), INFINITE);
    Line("went on");
    return 0;
}
