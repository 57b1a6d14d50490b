// A windowed program that fails on purpose under the whole handling pipeline, with recorders
// in place of the crash dialog, the saving, the delivery and the clipboard:
//     pipeline_child SCENARIO [NAME=VALUE ...] LOG
// NAME=VALUE pairs change the program's settings first (stored property names; "true" and
// "false" are switches, digits numbers, anything else text). What happens is appended to LOG
// line by line:
//   "dialog S report R shot H class C" when the crash dialog would show (S the show setting,
//   R and H whether a report and a screenshot are made, C the exception's class);
//   "save auto", "send background hidden", "clipboard", "screenshot" from the recorders;
//   "handler P T" when an exception handler runs (P the phase, T "main" or "other");
//   "hidden", "went on", and what a scenario adds. A restarted process writes only
//   "restarted N" (N the recent exceptions it took over) into LOG.2.
// Scenarios: "thread" (an OS exception on a thread), "main" (an access violation on the main
// thread), "ten" (ten failing threads one after another), "handled" (a quick-filtering
// handler handles it), "throwing" (a handler that throws), "sync-modal" (a handler for the
// main thread while the main thread is in a message box), "no-answer" (the main thread does
// not answer), "caught" (an exception the program catches, without hidden handlers),
// "hidden" and "hidden-report" (a caught exception and a hidden handler that lets it go or
// has it reported), "frozen" (a freeze report), "filter" (a std::out_of_range
// thrown on a thread), "pause" (a thread that retrieves messages while another fails),
// "save" and "save-cancel" (the dialog's save button, the user finishing or cancelling the
// save assistant; "action A" for each action the action handler sees, "assistant N"). Built
// as a console program too (pipeline_console_child), whose report goes to standard output.

#include "base/win_handle.h"
#include "crash/core/intercept/dispatch_win.h"
#include "crash/core/intercept/testing/child_log.h"
#include "crash/core/pipeline/handlers_win.h"
#include "crash/core/pipeline/pipeline_services.h"
#include "crash/core/pipeline/testing/pipeline_reporter.h"
#include "crash/settings/module_settings.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {

char Log[MAX_PATH];
std::string Scenario;
volatile LONG Counter = 0;
volatile bool Stop = false;
volatile LONG TempFoldersCleared = 0; // by the pipeline, at the start of each handling

void Line(const std::string& text)
{
    crash::testing::AppendLine(Log, text);
}

std::string Where()
{
    return ::GetCurrentThreadId() == crash::MainThreadId() ? "main" : "other";
}

// Closes this process's message box, if one is open.
void CloseMessageBox()
{
    ::EnumWindows(
        [](HWND window, LPARAM) WINAPI -> BOOL {
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            wchar_t name[16];
            if (owner == ::GetCurrentProcessId() && ::GetClassNameW(window, name, 16) &&
                std::wstring(name) == L"#32770")
                ::PostMessageW(window, WM_COMMAND, IDOK, 0);
            return TRUE;
        },
        0);
}

void ShowDialog(crash::IExceptionReport& report, crash::ShowSetting show)
{
    char line[256];
    const std::u16string cls = report.GetExceptClass();
    std::snprintf(line, sizeof line, "dialog %d report %d shot %d class %s", static_cast<int>(show),
                  report.GetCreateBugReport(), report.GetCreateScreenShot(),
                  std::string(cls.begin(), cls.end()).c_str());
    Line(line);
    if (Scenario == "pause") {
        const LONG before = Counter;
        ::Sleep(300);
        Line(Counter == before ? "paused" : "running");
    }
    CloseMessageBox();
    if (Scenario == "save" || Scenario == "save-cancel")
        Line(std::string("saved ") + (report.SaveBugReport(::GetDesktopWindow()) ? "yes" : "no"));
}

crash::TAssistantRun Assistant(crash::IExceptionReport&, const std::u16string& name, HWND)
{
    Line("assistant " + std::string(name.begin(), name.end()));
    return {true, Scenario != "save-cancel"};
}

bool Save(crash::IExceptionReport&, HWND, bool automatic)
{
    Line(automatic ? "save auto" : "save");
    return true;
}

bool Send(crash::IExceptionReport&, HWND, bool background, bool hidden)
{
    Line(std::string("send") + (background ? " background" : "") + (hidden ? " hidden" : ""));
    return true;
}

void Clipboard(const std::u16string&)
{
    Line("clipboard");
}

base::ComPtr<crash::IVxBitmap> ScreenShot(crash::IExceptionReport&)
{
    Line("screenshot");
    return nullptr;
}

std::u16string Text(crash::IExceptionReport&, bool mustBeComplete, bool& complete)
{
    complete = mustBeComplete; // made at once
    return u"the report";
}

__attribute__((init_priority(101))) crash::testing::TPipelineReporter Reporter;

DWORD WINAPI RaiseOnThread(void*)
{
    ::RaiseException(0xE0001234, 0, 0, nullptr);
    return 0;
}

DWORD WINAPI ThrowOnThread(void*)
{
    throw std::out_of_range("out of range");
}

DWORD WINAPI RetrieveMessages(void*)
{
    MSG msg;
    while (!Stop) {
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);
        ::InterlockedIncrement(&Counter);
        ::Sleep(5);
    }
    return 0;
}

void RunThread(LPTHREAD_START_ROUTINE routine)
{
    const base::KernelHandle thread(::CreateThread(nullptr, 0, routine, nullptr, 0, nullptr));
    ::WaitForSingleObject(thread.Get(), INFINITE);
}

// The program's settings, kept: the changes live in the settings block as long as an object
// holds it.
base::ComPtr<crash::ReportSettings> Settings;

void Apply(const std::string& pair)
{
    const size_t eq = pair.find('=');
    const std::string name = pair.substr(0, eq), value = pair.substr(eq + 1);
    if (!Settings)
        Settings = crash::ModuleSettingsFor(nullptr);
    const base::ComPtr<crash::ReportSettings>& settings = Settings;
    if (value == "true" || value == "false")
        settings->SetPropBool(name, value == "true");
    else if (!value.empty() && value.find_first_not_of("0123456789") == std::string::npos)
        settings->SetPropInt(name, std::stoi(value));
    else
        settings->SetPropStr(name, std::u16string(value.begin(), value.end()));
}

void LogPhase(crash::IExceptionReport* report, bool&)
{
    Line("handler " + std::to_string(report->GetPhase()) + " " + Where());
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    if (Reporter.State != crash::TReporterStart::Enabled)
        return 4;
    if (__argc < 3)
        return 2;
    std::strncpy(Log, __argv[__argc - 1], sizeof Log - 1);
    // A process restarted without the ring (the hand-shake failed) must not fail again.
    if (::GetEnvironmentVariableW(L"PIPELINE_CHILD_FAILED", nullptr, 0) && !crash::InheritedExceptionRing()) {
        std::strncat(Log, ".2", sizeof Log - std::strlen(Log) - 1);
        Line("restarted without the ring");
        return 0;
    }
    if (const auto& ring = crash::InheritedExceptionRing()) {
        std::strncat(Log, ".2", sizeof Log - std::strlen(Log) - 1); // the parent reads the first log at once
        int set = 0;
        for (int k = 0; k < 10; ++k)
            set += (*ring)[8 * k] || (*ring)[8 * k + 1];
        Line("restarted " + std::to_string(set));
        return 0;
    }
    for (int k = 2; k < __argc - 1; ++k)
        Apply(__argv[k]);
    crash::TPipelineServices services;
    services.ShowCrashDialog = &ShowDialog;
    services.SaveBugReport = &Save;
    services.SendBugReport = &Send;
    services.CopyToClipboard = &Clipboard;
    services.CaptureScreenShot = &ScreenShot;
    services.ReportText = &Text;
    services.RunAssistant = &Assistant;
    services.ClearTempFolder = [] { ::InterlockedIncrement(&TempFoldersCleared); };
    crash::SetPipelineServices(services);

    const std::string& scenario = Scenario = __argv[1];
    if (scenario == "thread") {
        RunThread(&RaiseOnThread);
    } else if (scenario == "main") {
        ::SetEnvironmentVariableW(L"PIPELINE_CHILD_FAILED", L"1"); // for a restarted process
        *static_cast<volatile int*>(nullptr) = 1;
    } else if (scenario == "ten") {
        for (int k = 1; k <= 10; ++k) {
            RunThread(&RaiseOnThread);
            Line("went on " + std::to_string(k));
            Line("temporary folder cleared " + std::to_string(TempFoldersCleared) + " times");
        }
        return 0;
    } else if (scenario == "handled" || scenario == "throwing") {
        crash::RegisterExceptionHandler(
            scenario == "handled" ? crash::TExceptEvent([](crash::IExceptionReport*, bool& handled) {
                Line("handled");
                handled = true;
            })
                                  : crash::TExceptEvent([](crash::IExceptionReport*, bool&) {
                                        Line("throws");
                                        throw std::runtime_error("from a handler");
                                    }),
            crash::stDontSync, crash::epQuickFiltering);
        RunThread(&RaiseOnThread);
    } else if (scenario == "sync-modal") {
        crash::RegisterExceptionHandler(&LogPhase, crash::stTrySyncCallOnSuccess, crash::epQuickFiltering);
        const base::KernelHandle thread(::CreateThread(nullptr, 0, &RaiseOnThread, nullptr, 0, nullptr));
        ::MessageBoxW(nullptr, L"modal", L"pipeline_child", MB_OK);
        ::WaitForSingleObject(thread.Get(), INFINITE);
    } else if (scenario == "no-answer") {
        crash::RegisterExceptionHandler(&LogPhase, crash::stTrySyncCallOnSuccess, crash::epQuickFiltering);
        crash::RegisterExceptionHandler([](crash::IExceptionReport*, bool&) { Line("always " + Where()); },
                                        crash::stTrySyncCallAlways, crash::epQuickFiltering);
        const base::KernelHandle thread(::CreateThread(nullptr, 0, &RaiseOnThread, nullptr, 0, nullptr));
        ::WaitForSingleObject(thread.Get(), INFINITE); // without retrieving messages
    } else if (scenario == "caught") {
        try {
            throw std::runtime_error("handled by the program");
        } catch (const std::exception&) {
        }
    } else if (scenario == "hidden" || scenario == "hidden-report") {
        crash::RegisterHiddenExceptionHandler(
            scenario == "hidden"
                ? crash::TExceptEvent([](crash::IExceptionReport*, bool&) { Line("hidden"); })
                : crash::TExceptEvent([](crash::IExceptionReport*, bool& handled) {
                      Line("hidden");
                      handled = false;
                  }),
            crash::stDontSync);
        try {
            throw std::runtime_error("handled by the program");
        } catch (const std::exception&) {
        }
    } else if (scenario == "frozen") {
        crash::RegisterExceptionHandler(&LogPhase, crash::stTrySyncCallOnSuccess, crash::epQuickFiltering);
        const base::KernelHandle thread(::CreateThread(
            nullptr, 0,
            [](void*) WINAPI -> DWORD {
                crash::TDispatchRequest request;
                request.Type = crash::etFrozen;
                request.Source = crash::esAntiFreezeCheck;
                crash::DispatchException(request);
                return 0;
            },
            nullptr, 0, nullptr));
        MSG msg;
        const HANDLE waited = thread.Get();
        while (::MsgWaitForMultipleObjects(1, &waited, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0)
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                ::DispatchMessageW(&msg);
    } else if (scenario == "save" || scenario == "save-cancel") {
        crash::RegisterActionHandler([](crash::TExceptAction action, crash::IExceptionReport*,
                                        bool&) { Line("action " + std::to_string(action)); },
                                     crash::stDontSync);
        RunThread(&RaiseOnThread);
    } else if (scenario == "filter") {
        RunThread(&ThrowOnThread);
    } else if (scenario == "pause") {
        const base::KernelHandle worker(::CreateThread(nullptr, 0, &RetrieveMessages, nullptr, 0, nullptr));
        ::Sleep(100);
        RunThread(&RaiseOnThread);
        const LONG before = Counter;
        ::Sleep(300);
        Line(Counter != before ? "resumed" : "still paused");
        Stop = true;
        ::WaitForSingleObject(worker.Get(), INFINITE);
    }
    Line("went on");
    return 0;
}
