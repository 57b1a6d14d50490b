// A windowed program whose settings turn the freeze check on with a timeout of 500 ms (the
// reporter starts it from its settings), with the real report assembly and a stand-in for the
// crash dialog:
//     freeze_child MODE LOG
// Modes, each ending with "went on" when the main thread goes on:
//   blocked  the main thread sleeps (in MainThreadWaits) until the first report's
//            stand-in has seen the main thread answer again: the stand-in has its window
//            told of the answer as the crash dialog of a freeze is, and logs "main answered";
//            then the main thread processes its messages until the watchdog, answered, probes
//            at its first interval again ("interval back to 50");
//   busy     the main thread computes in a loop (MainThreadComputes) until three reports came;
//   lock     the main thread waits for a lock a worker holds (MainThreadLocks) until a report
//            came;
//   modules  as "blocked" without the answer, with a second module that carries the reporter
//            and the freeze check too (freeze_module.dll; "module watches" when its watchdog
//            started): its watchdog waits for this one's, and no "module report" comes; at the
//            end the module is unloaded ("module unloaded"). First the main thread sleeps
//            for more than a timeout (MainThreadSleepsPaused) while the second module pauses
//            its watch, which holds this module's running watchdog; then again, once the
//            second module has stopped its own watch and only pauses;
//   handover as "modules", but this program stops its watch once the module's waits for
//            it: the module's watchdog takes over and reports the main thread's next wait
//            ("module report ...", which lets the main thread go on);
//   nested   a second start leaves one watchdog ("watchdogs 1"); two pauses and one resume
//            still hold the watch (MainThreadSleepsPaused), a resume without its pause is
//            ignored (the next pause holds the watch again), and after the last resume the
//            main thread's wait (MainThreadWaits) is a freeze;
//   stalls   the main thread stalls five times for half a timeout (MainThreadSleepsPaused's
//            sibling MainThreadStalls), processing its messages in between: no freeze, as
//            the misses of one stall are not added to the next one's;
//   stuck    the freeze's stand-in keeps its dialog open until the main thread, let go on,
//            has stopped the watch: the watchdog (of the highest priority: "watchdog
//            priority highest") waiting for that dialog is ended by force ("watchdog ended",
//            "interval 0", "stopped"), and nothing else hangs;
//   pumping  the main thread keeps processing its messages for two seconds;
//   modal    the main thread shows a message box for two seconds (its modal loop processes
//            the main thread's messages);
//   dialog   a worker fails while the main thread answers nothing for 1.5 s; the failure's
//            stand-in stays open for two seconds, during which no freeze is reported; once
//            the failure is handled the watch goes on: the main thread sleeps again
//            (MainThreadWaits) until a freeze is reported.
// Each report that would show its dialog logs "report T S C" (the exception type, the source,
// the class as the dialog shows it); a freeze report also logs "frozen header" when its header
// has no exception class and the FrozenMsg as its message, "interval N" (the watchdog's
// probe interval when it reported) and "names F" for each of the functions above that the
// complete report names (only the main thread runs them).

#include "base/proc_address.h"
#include "base/win_handle.h"
#include "crash/core/freeze/freeze_watch_win.h"
#include "crash/core/freeze/testing/go_on_event.h"
#include "crash/core/intercept/testing/child_log.h"
#include "crash/core/intercept/thread_registry_win.h"
#include "crash/core/pipeline/pipeline_services.h"
#include "crash/core/pipeline/testing/pipeline_reporter.h"
#include "crash/core/report/report_assembly_win.h"

#include <windows.h>

#include <tlhelp32.h>

#include <string>

namespace {

const char* Log = "";
std::string Mode;
int Reports = 0; // freeze reports seen

base::KernelHandle Enough{::CreateEventW(
    nullptr, TRUE, FALSE, crash::testing::GoOnEventName().c_str())}, // the main thread may go on
    Done{::CreateEventW(nullptr, TRUE, FALSE, nullptr)},             // the stand-in is done
    FailureShown{::CreateEventW(nullptr, TRUE, FALSE, nullptr)},     // a failure's dialog is open
    Released{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};         // a stuck stand-in may end
CRITICAL_SECTION TheLock;

void Line(const std::string& text)
{
    crash::testing::AppendLine(Log, text);
}

// The stand-in's window hears the main thread's answer, as a freeze's crash dialog does.
bool MainThreadAnswers()
{
    const base::Window window(
        ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr));
    crash::AnswerFreezeTo(window.Get());
    ::SetEvent(Enough.Get());
    const DWORD end = ::GetTickCount() + 10000;
    MSG msg;
    while (::GetTickCount() < end) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            if (msg.hwnd == window.Get() && msg.message == WM_NULL && msg.wParam == 777 && msg.lParam == 777)
                return true;
    }
    return false;
}

void ShowDialog(crash::IExceptionReport& report, crash::ShowSetting)
{
    const std::u16string cls = report.GetExceptClass();
    Line("report " + std::to_string(report.GetExceptType()) + " " + std::to_string(report.GetSource()) + " " +
         std::string(cls.begin(), cls.end()));
    if (report.GetExceptType() != crash::etFrozen) {
        ::SetEvent(FailureShown.Get());
        ::Sleep(2000); // the dialog of a failure stays open a while
        return;
    }
    Line("interval " + std::to_string(crash::FreezeProbeInterval()));
    const std::u16string text = report.GetBugReport(true);
    if (text.find(u"\r\nexception class") == std::u16string::npos &&
        text.find(u"\r\nexception message : The application seems to be frozen.\r\n") != std::u16string::npos)
        Line("frozen header");
    for (const char16_t* function :
         {u"MainThreadWaits", u"MainThreadComputes", u"MainThreadLocks", u"MainThreadSleepsPaused"})
        if (text.find(function) != std::u16string::npos)
            Line("names " + std::string(function, function + std::char_traits<char16_t>::length(function)));
    ++Reports;
    if (Mode == "blocked" && Reports == 1) {
        if (MainThreadAnswers())
            Line("main answered");
        ::SetEvent(Done.Get());
    }
    if (Mode == "stuck") {
        ::SetEvent(Enough.Get());
        ::WaitForSingleObject(Released.Get(), 20000);
        ::SetEvent(Done.Get());
    }
    if ((Mode == "busy" && Reports == 3) || Mode == "lock" || Mode == "modules" || Mode == "dialog" ||
        Mode == "nested")
        ::SetEvent(Enough.Get());
}

__attribute__((init_priority(101)))
crash::testing::TPipelineReporter Reporter({.StartFreezeDetector = &crash::StartFreezeWatch,
                                            .PauseFreezeDetector = &crash::PauseFreezeWatch,
                                            .StopFreezeDetector = &crash::StopFreezeWatch});

// The program's own start-up (slow on a busy machine) is no freeze of the kinds the modes
// make: the watch is paused from just after the reporter started it until WinMain runs.
struct TStartUpPause
{
    TStartUpPause() { crash::PauseFreezeWatch(true); }
};
__attribute__((init_priority(102))) TStartUpPause StartUpPause;

// Processes the main thread's messages for `ms` (those waiting when 0), or until `until` is
// set.
void Pump(DWORD ms, HANDLE until = nullptr)
{
    const DWORD end = ::GetTickCount() + ms;
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        ::DispatchMessageW(&msg);
    while (::GetTickCount() < end) {
        if (::MsgWaitForMultipleObjects(until ? 1 : 0, &until, FALSE, 50, QS_ALLINPUT) == WAIT_OBJECT_0 &&
            until)
            return;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageW(&msg);
    }
}

[[gnu::noinline]] void MainThreadWaits()
{
    for (int k = 0; k < 400 && ::WaitForSingleObject(Enough.Get(), 0) == WAIT_TIMEOUT; ++k)
        ::Sleep(50);
}

[[gnu::noinline]] void MainThreadComputes()
{
    volatile unsigned sum = 0;
    const DWORD end = ::GetTickCount() + 20000;
    while (::WaitForSingleObject(Enough.Get(), 0) == WAIT_TIMEOUT && ::GetTickCount() < end)
        for (int k = 0; k < 100000; ++k)
            sum = sum + k;
}

[[gnu::noinline]] void MainThreadLocks()
{
    ::EnterCriticalSection(&TheLock);
    ::LeaveCriticalSection(&TheLock);
}

[[gnu::noinline]] void MainThreadSleepsPaused()
{
    ::Sleep(1200);
}

// Half a timeout: at most six probes go unanswered, however slow the machine.
[[gnu::noinline]] void MainThreadStalls()
{
    ::Sleep(250);
}

// The live threads of this process that the thread registry names as a freeze watchdog (the
// last one's id in `id`).
int Watchdogs(DWORD* id = nullptr)
{
    const base::FileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 thread{};
    thread.dwSize = sizeof thread;
    int watchdogs = 0;
    for (BOOL more = snapshot && ::Thread32First(snapshot.Get(), &thread); more;
         more = ::Thread32Next(snapshot.Get(), &thread))
        if (thread.th32OwnerProcessID == ::GetCurrentProcessId())
            if (const auto info = crash::LookupThreadInfo(thread.th32ThreadID))
                if (info->Name == "Vexcatch - AntiFreezeThread") {
                    ++watchdogs;
                    if (id)
                        *id = thread.th32ThreadID;
                }
    return watchdogs;
}

// Closes the main thread's message box two seconds after it showed.
DWORD WINAPI CloseTheBox(void*)
{
    for (int k = 0; k < 200; ++k) {
        if (const HWND box = ::FindWindowW(L"#32770", L"freeze_child")) {
            ::Sleep(2000);
            ::PostMessageW(box, WM_COMMAND, IDOK, 0);
            return 0;
        }
        ::Sleep(50);
    }
    return 0;
}

DWORD WINAPI HoldTheLock(void* held)
{
    ::EnterCriticalSection(&TheLock);
    ::SetEvent(held);
    ::WaitForSingleObject(Enough.Get(), 20000);
    ::LeaveCriticalSection(&TheLock);
    return 0;
}

DWORD WINAPI Fail(void*)
{
    ::RaiseException(0xE0001234, 0, 0, nullptr);
    return 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    if (Reporter.State != crash::TReporterStart::Enabled || __argc < 3 || !crash::FreezeProbeInterval())
        return 4;
    Log = __argv[__argc - 1];
    Mode = __argv[1];
    crash::TPipelineServices services;
    services.ShowCrashDialog = &ShowDialog;
    services.ReportText = &crash::AssembledReportText;
    services.ResetFreezeCounter = &crash::ResetFreezeCounter;
    crash::SetPipelineServices(services);
    ::InitializeCriticalSection(&TheLock);
    Pump(0);
    crash::PauseFreezeWatch(false); // the probes count from here
    if (Mode == "modules" || Mode == "handover") {
        // Either module's watchdog may run, whichever takes the registry's first mutex first:
        // this program's is let take it, so that the reports come to this program's stand-in.
        for (DWORD got = 0; got != WAIT_TIMEOUT;) {
            got = ::WaitForSingleObject(crash::ThreadRegistryMutex(), 0);
            if (got == WAIT_OBJECT_0 || got == WAIT_ABANDONED)
                ::ReleaseMutex(crash::ThreadRegistryMutex());
            Pump(got == WAIT_TIMEOUT ? 0 : 20);
        }
        crash::PauseFreezeWatch(true); // the second module's start-up may take a while
        const HMODULE module = ::LoadLibraryW(L"freeze_module.dll");
        crash::PauseFreezeWatch(false);
        const auto watches = base::ProcAddress<bool (*)(const char*)>(module, "ModuleWatches");
        const auto pauses = base::ProcAddress<void (*)(bool)>(module, "ModulePauses");
        const auto watching = base::ProcAddress<void (*)(bool)>(module, "ModuleWatching");
        if (!watches || !pauses || !watching)
            return 5;
        if (watches(Log))
            Line("module watches");
        if (Mode == "handover") {
            crash::StopFreezeWatch();
            Line("interval " + std::to_string(crash::FreezeProbeInterval()));
            MainThreadWaits(); // until the module's stand-in has seen the freeze
            Pump(500);
            crash::PauseFreezeWatch(true);
            if (::FreeLibrary(module))
                Line("module unloaded");
            crash::PauseFreezeWatch(false);
            Line("went on");
            return 0;
        }
        pauses(true); // the module's watch waits for this one's
        MainThreadSleepsPaused();
        pauses(false);
        watching(false); // now the module only pauses
        pauses(true);
        MainThreadSleepsPaused();
        pauses(false);
        watching(true); // and watches again, to be unloaded so
        MainThreadWaits();
        Pump(1500); // as long as three more intervals of both watchdogs
        // Unloaded, the module stops its watchdog, which must not run on in code that is gone.
        // (Its reporter's shutdown under the loader lock may take longer than a timeout.)
        Line("watchdogs " + std::to_string(Watchdogs()));
        crash::PauseFreezeWatch(true);
        if (module && ::FreeLibrary(module))
            Line("module unloaded");
        crash::PauseFreezeWatch(false);
        Line("watchdogs " + std::to_string(Watchdogs()));
        Pump(500);
    } else if (Mode == "blocked") {
        MainThreadWaits();
        Pump(10000, Done.Get()); // answers the stand-in
        for (int k = 0; k < 200 && crash::FreezeProbeInterval() != 50; ++k)
            Pump(50);
        if (crash::FreezeProbeInterval() == 50)
            Line("interval back to 50");
    } else if (Mode == "busy") {
        MainThreadComputes();
    } else if (Mode == "lock") {
        const base::KernelHandle held(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        const base::KernelHandle holder(::CreateThread(nullptr, 0, &HoldTheLock, held.Get(), 0, nullptr));
        Pump(10000, held.Get()); // answering until the worker holds the lock
        MainThreadLocks();
        ::WaitForSingleObject(holder.Get(), 20000);
    } else if (Mode == "nested") {
        crash::StartFreezeWatch(500);
        Line("watchdogs " + std::to_string(Watchdogs()));
        crash::PauseFreezeWatch(true);
        crash::PauseFreezeWatch(true);
        crash::PauseFreezeWatch(false);
        MainThreadSleepsPaused();
        crash::PauseFreezeWatch(false);
        crash::PauseFreezeWatch(false); // without its pause
        crash::PauseFreezeWatch(true);
        MainThreadSleepsPaused();
        crash::PauseFreezeWatch(false);
        MainThreadWaits();
    } else if (Mode == "stalls") {
        for (int k = 0; k < 5; ++k) {
            MainThreadStalls();
            Pump(250);
        }
    } else if (Mode == "stuck") {
        DWORD watchdog = 0;
        Watchdogs(&watchdog);
        const base::KernelHandle thread(
            ::OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, watchdog));
        if (thread && ::GetThreadPriority(thread.Get()) == THREAD_PRIORITY_HIGHEST)
            Line("watchdog priority highest");
        MainThreadWaits(); // until the stand-in shows the freeze
        crash::StopFreezeWatch();
        if (thread && ::WaitForSingleObject(thread.Get(), 0) == WAIT_OBJECT_0 &&
            ::WaitForSingleObject(Done.Get(), 0) == WAIT_TIMEOUT)
            Line("watchdog ended");
        Line("interval " + std::to_string(crash::FreezeProbeInterval()));
        crash::PauseFreezeWatch(true);
        crash::PauseFreezeWatch(false);
        crash::StopFreezeWatch();
        Line("stopped");
        ::SetEvent(Released.Get());
        ::WaitForSingleObject(Done.Get(), 20000);
    } else if (Mode == "pumping") {
        Pump(2000);
    } else if (Mode == "modal") {
        const base::KernelHandle closer(::CreateThread(nullptr, 0, &CloseTheBox, nullptr, 0, nullptr));
        ::MessageBoxW(nullptr, L"A modal loop", L"freeze_child", MB_OK);
        ::WaitForSingleObject(closer.Get(), 20000);
    } else if (Mode == "dialog") {
        const base::KernelHandle worker(::CreateThread(nullptr, 0, &Fail, nullptr, 0, nullptr));
        Pump(10000, FailureShown.Get()); // answering until the failure's dialog is open
        ::Sleep(1500);
        Pump(10000, worker.Get());
        MainThreadWaits();
    }
    ::DeleteCriticalSection(&TheLock);
    Line("went on");
    crash::PauseFreezeWatch(true); // the program's end (slow on a busy machine) is no freeze
    return 0;
}
