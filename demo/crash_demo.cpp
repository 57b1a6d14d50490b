// The crash demo for the maker's developers: a window on the same framework and with the same
// crash reporter as lumigate.exe, with one button per crash kind and a choice of the thread
// that fails: a click handler of the main thread, a timer, a call a framework thread
// synchronizes with the main thread, a framework thread, a std::thread, a thread of
// CreateThread, a work item. Every failure happens in Fail, the function the crash tests use,
// called by the demo's CrashHere, so that a report names both with their source lines. A
// button of its own lets eight threads fail at the same moment, and three more let the
// reporter itself meet a failure while it handles a crash: in a handler of the program, in a
// report plug-in while the report is built, and in the crash dialog's window procedure.
//     crash_demo [THREAD_KIND [THREADS]]
// THREAD_KIND is the thread kind chosen at the start (0 to 6); THREADS more threads (at most
// 100) wait for nothing the whole time, a program's busy background for the benchmarks.

#include "base/win_handle.h"
#include "crash/core/intercept/testing/failures.h"
#include "crash/core/pipeline/handlers_win.h"
#include "crash/core/report/report_plugins_win.h"
#include "crash/crash_reporter_win.h"
#include "framework/application.h"
#include "framework/button.h"
#include "framework/form.h"
#include "framework/label.h"
#include "framework/thread.h"
#include "framework/timer.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

__attribute__((init_priority(101))) crash::TCrashReporter Reporter;

namespace {

using namespace framework;

struct TKind
{
    const wchar_t* Caption;
    const char* Failure; // as crash::testing::Fail knows it
};

constexpr TKind Kinds[] = {
    {L"read violation", "av-read"},
    {L"write violation", "av-write"},
    {L"execute violation", "av-exec"},
    {L"division by zero", "div0"},
    {L"FPU fault", "fpu"},
    {L"breakpoint", "int3"},
    {L"illegal instruction", "illegal"},
    {L"privileged instruction", "privileged"},
    {L"OS exception", "raise"},
    {L"heap corruption", "heap-corruption"},
    {L"fast fail", "fast-fail"},
    {L"std::exception", "throw-std"},
    {L"thrown int", "throw-int"},
    {L"inner exception", "throw-inner"},
    {L"rethrow", "rethrow"},
    {L"throw in unwinding", "throw-in-unwind"},
    {L"invalid parameter", "invalid-parameter"},
    {L"abort", "abort"},
    {L"terminate", "terminate"},
    {L"pure call", "pure-call"},
    {L"out of memory", "oom"},
    {L"stack overflow", "stack-overflow"},
    // The debugger's thread-naming exception, which is no failure: the thread takes the name,
    // and then a read violation on it is reported under that name.
    {L"named thread", "named"},
    // A read violation, and the reporter fails too while it handles it.
    {L"fails in a handler", "in-handler"},
    {L"fails in a plug-in", "in-plugin"},
    {L"fails in the dialog", "in-dialog"},
};
constexpr int KindCount = sizeof Kinds / sizeof Kinds[0];

constexpr const wchar_t* ThreadKinds[] = {L"main thread", L"timer",        L"synchronized", L"TThread",
                                          L"std::thread", L"CreateThread", L"work item"};
constexpr int ThreadKindCount = sizeof ThreadKinds / sizeof ThreadKinds[0];

// Where the reporter meets a failure of its own while it handles the next crash.
enum TReporterFailure
{
    rfNone,
    rfHandler,
    rfPlugin,
    rfDialog
};
std::atomic<int> Armed{rfNone};

[[gnu::noinline]] void CrashHere(const char* failure)
{
    struct TOwn
    {
        const char* Name;
        TReporterFailure Where;
    };
    for (const TOwn own :
         {TOwn{"in-handler", rfHandler}, TOwn{"in-plugin", rfPlugin}, TOwn{"in-dialog", rfDialog}})
        if (std::strcmp(failure, own.Name) == 0) {
            Armed = own.Where;
            failure = "av-read";
        }
    if (std::strcmp(failure, "named") == 0) {
        crash::testing::Fail("thread-name");
        failure = "av-read";
    }
    crash::testing::Fail(failure);
    // Not a tail call: this function's frame stays on the stack, for the report to name.
    asm volatile("" ::: "memory");
}

// Sets the event "crash_demo reporter failed PID" when whoever drives the demo made one: the
// reporter's part meets its failure now (a handler or a plug-in, just before it faults) or has
// faulted (the dialog's window procedure), so that a driver knows the failure happened.
void TellReporterFailed()
{
    if (const base::KernelHandle told{::OpenEventW(
            EVENT_MODIFY_STATE, FALSE,
            (L"crash_demo reporter failed " + std::to_wstring(::GetCurrentProcessId())).c_str())})
        ::SetEvent(told.Get());
}

BOOL CALLBACK FindOwnDialog(HWND wnd, LPARAM found)
{
    DWORD process = 0;
    wchar_t name[32] = {};
    if (::GetWindowThreadProcessId(wnd, &process) && process == ::GetCurrentProcessId() &&
        ::GetClassNameW(wnd, name, 32) && std::wcscmp(name, L"VexcatchWndClass") == 0) {
        *reinterpret_cast<HWND*>(found) = wnd;
        return FALSE;
    }
    return TRUE;
}

// The thread of the crash dialog, while a request is sent to it, and whether its window
// procedure then faulted on the request's record.
std::atomic<DWORD> DialogThread{0};
std::atomic<bool> DialogFaulted{false};

LONG CALLBACK NoteDialogFault(EXCEPTION_POINTERS* e)
{
    const EXCEPTION_RECORD& r = *e->ExceptionRecord;
    if (r.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && r.NumberParameters >= 2 &&
        r.ExceptionInformation[1] == 0x10 && ::GetCurrentThreadId() == DialogThread)
        DialogFaulted = true;
    return EXCEPTION_CONTINUE_SEARCH;
}

// Sends the crash dialog of this process, once it shows, an owner-draw request whose record
// is at an address where nothing is; tells when its window procedure faulted on it.
DWORD WINAPI BreakDialog(void*)
{
    for (int i = 0; i < 6000; ++i) { // a minute at most
        HWND dialog = nullptr;
        ::EnumWindows(&FindOwnDialog, reinterpret_cast<LPARAM>(&dialog));
        if (dialog) {
            DialogThread = ::GetWindowThreadProcessId(dialog, nullptr);
            DialogFaulted = false;
            void* watch = ::AddVectoredExceptionHandler(1, &NoteDialogFault);
            ::SendMessageW(dialog, WM_DRAWITEM, 0, 0x10);
            if (watch)
                ::RemoveVectoredExceptionHandler(watch);
            if (DialogFaulted)
                TellReporterFailed();
            return 0;
        }
        ::Sleep(10);
    }
    return 0;
}

// A handler of the first phase: it fails itself, or lets the report's plug-in or the dialog fail.
void ReporterFails(crash::IExceptionReport* report, bool&)
{
    switch (Armed.exchange(rfNone)) {
    case rfHandler:
        TellReporterFailed();
        crash::testing::Fail("av-write");
        break;
    case rfPlugin:
        report->SetPluginEnabled(u"demo failure", true);
        break;
    case rfDialog:
        base::KernelHandle(::CreateThread(nullptr, 0, &BreakDialog, nullptr, 0, nullptr));
        break;
    default:
        break;
    }
}

std::string FailingPlugin()
{
    TellReporterFailed();
    crash::testing::Fail("av-write");
    return "not reached";
}

class TFailingThread : public TThread
{
public:
    TFailingThread(const char* failure, bool synchronized)
        : TThread(true), FFailure(failure), FSynchronized(synchronized)
    {
        FreeOnTerminate = true;
    }

protected:
    void Execute() override
    {
        if (FSynchronized)
            Synchronize([this] { CrashHere(FFailure); });
        else
            CrashHere(FFailure);
    }

private:
    const char* FFailure;
    bool FSynchronized;
};

DWORD WINAPI ThreadMain(void* failure)
{
    CrashHere(static_cast<const char*>(failure));
    return 0;
}

// Waits for the start (an event) and fails as the others do.
DWORD WINAPI TogetherMain(void* start)
{
    ::WaitForSingleObject(start, INFINITE);
    CrashHere("av-read");
    return 0;
}

// A background thread of the benchmarks: a few calls deep, it waits for good.
[[gnu::noinline]] void WaitDeeper(int depth)
{
    if (depth > 0)
        WaitDeeper(depth - 1);
    else
        ::Sleep(INFINITE);
    ::OutputDebugStringA(""); // keeps the recursion a real call
}

DWORD WINAPI Background(void*)
{
    WaitDeeper(8);
    return 0;
}

class TDemoForm : public TForm
{
public:
    explicit TDemoForm(TComponent* owner) : TForm(owner)
    {
        SetName(L"DemoForm");
        SetCaption(L"Vexcatch crash demo");
        SetBorderStyle(bsDialog);
        SetPosition(poScreenCenter);
        constexpr int Columns = 4, Width = 136, Height = 30;
        const int rows = (KindCount + Columns - 1) / Columns;
        SetClientSize(12 + Columns * (Width + 6) + 6, 96 + rows * (Height + 6) + 12);
        auto* heading = new TLabel(this);
        heading->SetParent(this);
        heading->SetBounds(12, 10, 400, 18);
        heading->SetCaption(L"The thread that fails:");
        for (int t = 0; t < ThreadKindCount; ++t) {
            auto* choice = new TButton(this);
            choice->SetParent(this);
            choice->SetBounds(12 + t * 82, 30, 78, 26);
            choice->SetCaption(ThreadKinds[t]);
            choice->SetName(L"Thread" + std::to_wstring(t));
            choice->OnClick = [this, t](TObject*) { Choose(t); };
        }
        FChosen = new TLabel(this);
        FChosen->SetParent(this);
        FChosen->SetBounds(12, 64, 400, 18);
        auto* together = new TButton(this);
        together->SetParent(this);
        together->SetBounds(12 + 3 * (Width + 6), 60, Width, 28);
        together->SetCaption(L"eight threads at once");
        together->SetName(L"FailTogether");
        together->OnClick = [this](TObject*) { FailTogether(); };
        for (int k = 0; k < KindCount; ++k) {
            auto* button = new TButton(this);
            button->SetParent(this);
            button->SetBounds(12 + (k % Columns) * (Width + 6), 96 + (k / Columns) * (Height + 6), Width,
                              Height);
            button->SetCaption(Kinds[k].Caption);
            button->SetName(L"Fail" + std::to_wstring(k));
            const char* failure = Kinds[k].Failure;
            button->OnClick = [this, failure](TObject*) { Fail(failure); };
        }
        FTimer = new TTimer(this);
        FTimer->SetEnabled(false);
        FTimer->SetInterval(10);
        FTimer->OnTimer = [this](TObject*) {
            FTimer->SetEnabled(false);
            CrashHere(FPending);
        };
        Choose(__argc > 1 && __wargv ? std::abs(_wtoi(__wargv[1])) % ThreadKindCount : 0);
        for (int i = __argc > 2 && __wargv ? std::min(_wtoi(__wargv[2]), 100) : 0; i > 0; --i)
            base::KernelHandle(::CreateThread(nullptr, 64 << 10, &Background, nullptr,
                                              STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    }

private:
    void Choose(int threadKind)
    {
        FThreadKind = threadKind;
        FChosen->SetCaption(std::wstring(L"Fails on: ") + ThreadKinds[threadKind]);
    }

    void Fail(const char* failure)
    {
        switch (FThreadKind) {
        case 0:
            CrashHere(failure);
            break;
        case 1:
            FPending = failure;
            FTimer->SetEnabled(true);
            break;
        case 2:
        case 3:
            (new TFailingThread(failure, FThreadKind == 2))->Start();
            break;
        case 4:
            std::thread([failure] { CrashHere(failure); }).detach();
            break;
        case 5: {
            const base::KernelHandle started(
                ::CreateThread(nullptr, 0, &ThreadMain, const_cast<char*>(failure), 0, nullptr));
            break;
        }
        default:
            ::QueueUserWorkItem(&ThreadMain, const_cast<char*>(failure), 0);
        }
    }

    // Eight threads wait for one event, and fail together once it is set. (The event stays
    // with the form: a thread may still be on its way to the wait.)
    void FailTogether()
    {
        ::ResetEvent(FTogether.Get());
        for (int i = 0; i < 8; ++i)
            base::KernelHandle(::CreateThread(nullptr, 0, &TogetherMain, FTogether.Get(), 0, nullptr));
        ::Sleep(50); // all of them at their wait
        ::SetEvent(FTogether.Get());
    }

    base::KernelHandle FTogether{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    TLabel* FChosen = nullptr;
    TTimer* FTimer = nullptr;
    const char* FPending = "";
    int FThreadKind = 0;
};

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    TApplication application;
    application.Initialize();
    application.SetTitle(L"Vexcatch crash demo");
    crash::RegisterExceptionHandler(&ReporterFails, crash::stDontSync, crash::epQuickFiltering);
    crash::AddReportPlugin(u"demo failure", u"a plug-in that fails", &FailingPlugin, true);
    application.CreateForm<TDemoForm>();
    application.Run();
    return 0;
}
