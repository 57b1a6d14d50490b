#include "crash/core/intercept/dispatch_win.h"

#include "base/guarded_reader.h"
#include "base/proc_address.h"
#include "base/seh_frame.h"
#include "crash/core/intercept/base_exception.h"
#include "crash/core/intercept/bcb_raise_win.h"
#include "crash/core/intercept/first_chance_win.h"
#include "crash/core/intercept/host_hooks_win.h"
#include "crash/core/intercept/import_patches_win.h"
#include "crash/core/intercept/memory_reserve_win.h"
#include "crash/core/intercept/patches_win.h"
#include "crash/core/intercept/raise_state_win.h"
#include "crash/core/intercept/thread_hooks_win.h"
#include "crash/core/intercept/thread_registry_win.h"
#include "crash/core/stack/stack_tracer_win.h"

#include <float.h>
#include <malloc.h>

#include <csignal>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace crash {
namespace {

static_assert(sizeof(EXCEPTION_RECORD) == sizeof(THandoffRecord::ExceptionRecord),
              "the hand-off carries the 32-bit exception record whole");

// Start-up and the crash paths share these; they are set once on the main thread before any
// path is installed.
// How the process ends when an abort cannot continue.
constexpr UINT AbortExitCode = 1;
constexpr UINT InvalidParameterExitCode = 0xC0000417; // STATUS_INVALID_CRUNTIME_PARAMETER
constexpr DWORD ThreadNamingCode = 0x406D1388, HeapCorruptionCode = 0xC0000374, FastFailCode = 0xC0000409;

// Constant-initialized: the start-up runs from a static initializer before any other, and
// nothing may construct these again after it.
constinit THandlingThread TheThread;
constinit TPatches ThePatches;
constinit TOutOfMemoryReserve TheReserve;
void* TheVectoredHandler = nullptr;
DWORD TheMainThread = 0;
bool Started = false;
LPTOP_LEVEL_EXCEPTION_FILTER PreviousFilter = nullptr;
// A filter the program (or a library) installed after start-up: ours stays in effect and
// asks it afterwards.
LPTOP_LEVEL_EXCEPTION_FILTER ChainedFilter = nullptr;
std::terminate_handler PreviousTerminate = nullptr;

// The system's error reporting, for the Windows-logo setting: "ReportFault" of FaultRep.dll.
struct TFaultReporting
{
    using TReportFault = DWORD(WINAPI*)(EXCEPTION_POINTERS*, DWORD);
    base::Module Library;
    TReportFault ReportFault = nullptr;

    void Load()
    {
        Library.Reset(::LoadLibraryW(L"FaultRep.dll"));
        ReportFault = base::ProcAddress<TReportFault>(Library.Get(), "ReportFault");
    }
};
constinit TFaultReporting TheFaultReporting;
constinit TInterceptionOptions TheOptions;
volatile LONG LibraryUnloading = 0;
volatile LONG HandlersRunningOnMain = 0;
void (*PreviousAbort)(int) = SIG_DFL;

uint32_t Value(const void* p)
{
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}

// Waits for the handling thread to be done with the record, or to have ended (a handling
// thread that died must not leave the catching thread waiting for ever). The main thread
// dispatches its messages meanwhile (its windows must keep painting, a handler may need it,
// a WM_NULL asks for the synchronized calls), unless its stack just overflowed: a window
// procedure could overflow the little that is left. A quit message is kept and posted
// again afterwards: the record and what it points to must outlive the pipeline's work.
void WaitForPipeline(HANDLE done, HANDLE handler, bool overflowed, void (*checkSynchronize)())
{
    const HANDLE both[2] = {done, handler};
    if (::GetCurrentThreadId() != TheMainThread || overflowed) {
        ::WaitForMultipleObjects(2, both, FALSE, INFINITE);
        return;
    }
    std::optional<int> quit;
    for (;;) {
        const DWORD woke = ::MsgWaitForMultipleObjectsEx(2, both, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woke != WAIT_OBJECT_0 + 2) {
            if (woke == WAIT_FAILED) // nothing left to pump with: wait as any thread does
                ::WaitForMultipleObjects(2, both, FALSE, INFINITE);
            break;
        }
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = static_cast<int>(msg.wParam);
                continue;
            }
            // Neither a window procedure nor a synchronized call may end the wait early, not
            // even by a fault (which would leave the wait, and what follows it, undone).
            base::Guarded([&] {
                if (msg.message == WM_NULL && !msg.hwnd && checkSynchronize)
                    checkSynchronize();
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            });
        }
    }
    if (quit)
        ::PostQuitMessage(*quit);
}

// Ends a thread whose failure was reported at the last chance, with what the thread's
// wrapper would have let go of.
[[noreturn]] void EndThread()
{
    UnregisterThread(::GetCurrentThreadId());
    ForgetFirstChance();
    ForgetBcbRaise();
    ::ExitThread(0);
}

LONG WINAPI UnhandledFilter(EXCEPTION_POINTERS* pointers)
{
    const bool main = ::GetCurrentThreadId() == TheMainThread;
    TDispatchRequest request;
    request.Address = Value(pointers->ExceptionRecord->ExceptionAddress);
    request.Source = esUnhandledFilter;
    request.Context = pointers->ContextRecord;
    request.Record = pointers->ExceptionRecord;
    request.CanContinue = !main;
    DispatchException(request);
    if (LPTOP_LEVEL_EXCEPTION_FILTER chained = ChainedFilter) {
        const LONG answer = chained(pointers);
        if (answer == EXCEPTION_CONTINUE_EXECUTION)
            return answer;
    }
    if (main)
        return EXCEPTION_EXECUTE_HANDLER; // the process ends with the exception's code
    // Another thread ends, and the program goes on.
    EndThread();
}

[[noreturn]] void EndProcess(UINT code);

// Replaces SetUnhandledExceptionFilter in every module's imports: the new filter is chained
// behind ours instead of replacing it.
LPTOP_LEVEL_EXCEPTION_FILTER WINAPI SetFilterHook(LPTOP_LEVEL_EXCEPTION_FILTER filter)
{
    if (filter == &UnhandledFilter) // ours again (a second start): chained to itself it would recurse
        return ChainedFilter;
    return reinterpret_cast<LPTOP_LEVEL_EXCEPTION_FILTER>(::InterlockedExchangePointer(
        reinterpret_cast<void**>(&ChainedFilter), reinterpret_cast<void*>(filter)));
}

// The thread-naming exception's parameters: 0x1000, the UTF-8 name, the thread id (-1 for the
// raising thread), flags 0; false for a record of another shape. The name is read through
// the guarded reader: a program may pass anything.
bool NameThread(const EXCEPTION_RECORD& record)
{
    if (record.NumberParameters < 3 || record.ExceptionInformation[0] != 0x1000 ||
        (record.NumberParameters > 3 && record.ExceptionInformation[3] != 0))
        return false;
    char name[256] = {};
    const auto* text = reinterpret_cast<const char*>(record.ExceptionInformation[1]);
    size_t length = 0;
    while (length < sizeof name - 1 && base::GuardedRead(text + length, name + length, 1) && name[length])
        ++length;
    name[length] = 0;
    const DWORD thread = static_cast<DWORD>(record.ExceptionInformation[2]);
    RegisterThreadInfo(thread == static_cast<DWORD>(-1) ? ::GetCurrentThreadId() : thread, nullptr, name, 0,
                       0, nullptr);
    return true;
}

// First sight of every OS exception on its thread. The debugger's thread-naming exception
// is taken here (it names a thread, it is no failure): raised where no debugger listens it
// would otherwise end the program. A damaged heap and a fast-fail end the process whatever
// any frame does, so they are handed over here, while it still runs.
LONG WINAPI FirstChance(EXCEPTION_POINTERS* pointers)
{
    const DWORD code = pointers->ExceptionRecord->ExceptionCode;
    if (code == ThreadNamingCode && NameThread(*pointers->ExceptionRecord))
        return EXCEPTION_CONTINUE_EXECUTION; // a malformed one goes on as any exception
    RememberFirstChance(*pointers->ExceptionRecord, *pointers->ContextRecord);
    if (code == HeapCorruptionCode || code == FastFailCode) {
        TDispatchRequest request;
        request.Address = Value(pointers->ExceptionRecord->ExceptionAddress);
        request.Source = esSystemExceptionHandler;
        request.Context = pointers->ContextRecord;
        request.Record = pointers->ExceptionRecord;
        request.CanContinue = false;
        request.HeapLocked = true;
        DispatchException(request);
        EndProcess(code);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

// The process ends after a report; nothing else of the runtime runs (a second report of the
// same failure through abort, say).
void EndProcess(UINT code)
{
    ::TerminateProcess(::GetCurrentProcess(), code);
    for (;;)
        ::Sleep(INFINITE);
}

// The runtime's own end of the program, reported with the runtime's words for it (without
// them when there is no memory left for the object), after which the process ends. The
// stack is traced from where the runtime called the hook whose frame is at
// `hookFrameAddress`, not from the reporter's own frames.
[[noreturn]] void ReportRuntimeError(const char* text, UINT exitCode, const void* hookFrameAddress)
{
    const auto* hookFrame = static_cast<const uint32_t*>(hookFrameAddress);
    std::exception_ptr error;
    try {
        error = std::make_exception_ptr(BaseException(text));
    } catch (...) {
    }
    CONTEXT context{};
    context.ContextFlags = CONTEXT_FULL;
    ::RtlCaptureContext(&context);
    context.Eip = hookFrame[1];
    context.Ebp = hookFrame[0];
    context.Esp = Value(hookFrame + 2);
    TDispatchRequest request;
    request.Exception = error ? &error : nullptr;
    request.Address = context.Eip;
    request.Context = &context;
    request.Source = esRuntimeError;
    request.CanContinue = false;
    DispatchException(request);
    EndProcess(exitCode);
}

// A C++ exception that nothing caught reaches the last chance: on a thread other than the
// main thread only that thread ends (as the unhandled-exception filter ends it) and the
// program goes on. Terminate without an exception is the runtime's own abnormal end (a pure
// call ends so too).
void Terminate()
{
    const std::exception_ptr uncaught = std::current_exception();
    if (!uncaught)
        ReportRuntimeError("The runtime terminated the program.", 3, __builtin_frame_address(0));
    TDispatchRequest request;
    request.Exception = &uncaught;
    request.Source = esExceptProc;
    request.CanContinue = ::GetCurrentThreadId() != TheMainThread;
    DispatchException(request);
    if (!request.CanContinue)
        EndProcess(3);
    EndThread();
}

// The CRT found an argument it cannot work with: as the CRT itself would, the process ends
// (with the status the system gives that failure).
void __cdecl InvalidParameter(const wchar_t*, const wchar_t*, const wchar_t*, unsigned, uintptr_t)
{
    ReportRuntimeError("A function of the C runtime was called with an invalid parameter.",
                       InvalidParameterExitCode, __builtin_frame_address(0));
}

using TInvalidParameterHandler = void(__cdecl*)(const wchar_t*, const wchar_t*, const wchar_t*, unsigned,
                                                uintptr_t);
using TSetInvalidParameterHandler = TInvalidParameterHandler(__cdecl*)(TInvalidParameterHandler);
TSetInvalidParameterHandler SetInvalidParameterHandler = nullptr; // where the CRT has one
TInvalidParameterHandler PreviousInvalidParameter = nullptr;

void Abort(int)
{
    ReportRuntimeError("Abnormal program termination.", 3, __builtin_frame_address(0));
}

// A critical section of the process environment block counts as held when its lock count is
// 0 or more (the older layout), or, where a free section's count is -1 but entering makes
// it -2 (the newer layout, found out once), when bit 0 of the count is clear.
bool NewerLockLayout()
{
    static const bool newer = [] {
        CRITICAL_SECTION probe;
        ::InitializeCriticalSection(&probe);
        ::EnterCriticalSection(&probe);
        const bool result = probe.LockCount != 0;
        ::LeaveCriticalSection(&probe);
        ::DeleteCriticalSection(&probe);
        return result;
    }();
    return newer;
}

bool Held(const RTL_CRITICAL_SECTION* section)
{
    if (!section)
        return false;
    const LONG count = section->LockCount;
    return NewerLockLayout() ? (count & 1) == 0 : count >= 0;
}

const RTL_CRITICAL_SECTION* PebLock(size_t offset)
{
    uint8_t* peb;
    asm volatile("movl %%fs:0x30, %0" : "=r"(peb));
    const RTL_CRITICAL_SECTION* section = nullptr;
    std::memcpy(&section, peb + offset, sizeof section);
    return section;
}

} // namespace

void SetLibraryUnloading(bool unloading)
{
    ::InterlockedExchange(&LibraryUnloading, unloading ? 1 : 0);
}

void SetHandlersRunningOnMain(bool running)
{
    if (running)
        ::InterlockedIncrement(&HandlersRunningOnMain);
    else
        ::InterlockedDecrement(&HandlersRunningOnMain);
}

bool LoaderLockBusy(int waitMs)
{
    if (LibraryUnloading)
        return true;
    for (;;) {
        const RTL_CRITICAL_SECTION* loader = PebLock(0xA0);
        const bool busy = Held(loader) || Held(PebLock(0x1C));
        if (!busy)
            return false;
        if (waitMs <= 0)
            return true;
        ::Sleep(10);
        waitMs -= 10;
    }
}

void KeepStackForHandoff()
{
    constexpr ULONG Kept = 32 << 10, Page = 4096;
    ULONG size = Kept;
    ::SetThreadStackGuarantee(&size);
    // Where the whole stack is committed up front (the main thread under Wine), the system
    // meets the stack's end only at its last guard page, below the guarantee. A guard page
    // where the guarantee begins makes it raise the overflow there, with the guarantee left.
    uint8_t* end;
    asm volatile("movl %%fs:0xE0C, %0" : "=r"(end)); // the stack's lowest address
    uint8_t* guard = end + Kept;
    MEMORY_BASIC_INFORMATION info;
    DWORD previous;
    if (end && ::VirtualQuery(guard, &info, sizeof info) == sizeof info && info.State == MEM_COMMIT &&
        !(info.Protect & PAGE_GUARD) && static_cast<uint8_t*>(__builtin_frame_address(0)) > guard + Page)
        ::VirtualProtect(guard, Page, PAGE_READWRITE | PAGE_GUARD, &previous);
}

void SetMainThread(DWORD threadId)
{
    TheMainThread = threadId ? threadId : FirstThreadOfProcess();
}

DWORD MainThreadId() noexcept
{
    return TheMainThread;
}

DWORD HandlingThreadId() noexcept
{
    return TheThread.ThreadId();
}

void RunSynchronizeCalls()
{
    if (TheOptions.CheckSynchronize && ::GetCurrentThreadId() == MainThreadId())
        TheOptions.CheckSynchronize();
}

namespace {

// DispatchException's steps.
void HandOver(const TDispatchRequest& r)
{
    if (!TheThread.Running() || ::GetCurrentThreadId() == TheThread.ThreadId())
        return;
    if (HandlersRunningOnMain && ::GetCurrentThreadId() == TheMainThread)
        return;
    // The memory kept back is the pipeline's now; it is taken again when it is done.
    TheReserve.Release();
    struct TAfter
    {
        ~TAfter()
        {
            _fpreset(); // a fault may have left the FPU's control word changed
            TheReserve.Establish();
        }
    } after;

    // A C++ exception: the one given, else the one this thread is handling. Its throw may
    // have captured where it was raised.
    std::exception_ptr current;
    const std::exception_ptr* exception = r.Exception;
    if (!exception && !r.Record && !r.RuntimeObject && (current = std::current_exception()))
        exception = &current;
    uint32_t address = r.Address;
    const CONTEXT* context = r.Context;
    // An OS exception: its stack as it faulted, traced from the copy the first sight of it
    // kept (copied out first: the pass over it may fault and be remembered). A boundary that
    // turned it into an object has only the record left: its context is the first sight's too.
    CONTEXT firstChance;
    std::vector<uint8_t> firstChanceStack;
    if (TFirstChanceStack copied; r.Record && FirstChanceContext(*r.Record, firstChance, &copied)) {
        if (!context)
            context = &firstChance;
        if (!copied.Newest.empty())
            firstChanceStack = PrepareCopiedStack(copied.Newest, firstChance.Esp, copied.Outermost,
                                                  copied.Top, firstChance.Ebp);
    }
    const TRaiseStackInfo* raised = exception ? PreparedRaiseStackInfoOf(*exception) : nullptr;
    // A C++Builder exception (the record names the thrown object), or that runtime's end
    // after one: where its runtime raised it. The raise is this dispatch's now.
    const bool bcbException = r.Record && r.Record->ExceptionCode == BcbExceptionCode;
    const std::unique_ptr<TRaiseStackInfo, void (*)(TRaiseStackInfo*)> bcb(
        bcbException || r.Source == esBcbAbnormalProgramTermination
            ? TakeBcbRaise(bcbException && r.Record->NumberParameters >= 1
                               ? reinterpret_cast<const void*>(r.Record->ExceptionInformation[0])
                               : nullptr)
            : nullptr,
        [](TRaiseStackInfo* info) { FreeRaiseStackInfo(info); });
    if (bcb) {
        raised = bcb.get();
        address = 0;
        context = nullptr;
    }
    // The raise-time context is a CONTEXT without its extended registers.
    CONTEXT raisedContext{};
    if (raised && raised->Captured) {
        if (!address)
            address = raised->Address;
        if (!context) {
            std::memcpy(&raisedContext, raised->Context, sizeof raised->Context);
            context = &raisedContext;
        }
    }
    // An abort is how a program ends an operation quietly: never reported.
    if (exception && CaughtAs<EAbort>(*exception)) {
        if (!r.CanContinue)
            EndProcess(AbortExitCode);
        return;
    }
    // The freeze watch is paused while the exception is handled, wherever that happens, the
    // system's error reporting included.
    struct TFreezePause
    {
        void (*Pause)(bool paused);
        explicit TFreezePause(void (*pause)(bool)) : Pause(pause)
        {
            if (Pause)
                Pause(true);
        }
        ~TFreezePause()
        {
            if (Pause)
                Pause(false);
        }
        TFreezePause(const TFreezePause&) = delete;
        TFreezePause& operator=(const TFreezePause&) = delete;
    } paused(TheOptions.PauseFreezeDetector);
    // With the Windows-logo setting an access violation goes to the system's error reporting
    // first, and the program cannot go on after it.
    bool canContinue = r.CanContinue;
    if (TheFaultReporting.ReportFault && r.Record && r.Record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION &&
        context) {
        EXCEPTION_POINTERS pointers{const_cast<EXCEPTION_RECORD*>(r.Record), const_cast<CONTEXT*>(context)};
        TheFaultReporting.ReportFault(&pointers, 0);
        canContinue = false;
    }
    const base::KernelHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!done)
        return;
    THandoffRecord record{};
    record.Event = Value(done.Get());
    record.ThreadId = ::GetCurrentThreadId();
    record.ExceptType = r.Type;
    record.ExceptObject = Value(exception);
    if (!exception && r.RuntimeObject) {
        record.ExceptType |= RuntimeObjectFlag;
        record.ExceptObject = Value(r.RuntimeObject);
    }
    record.Package = Value(r.Package);
    record.BugReportTarget = Value(r.BugReportTarget);
    record.ExceptAddress = address;
    record.CanContinue = canContinue;
    // The stack and frame of the failure when the context is where it happened, else the
    // caller's.
    if (context && address - context->Eip <= 4) {
        record.Esp = context->Esp;
        record.Ebp = context->Ebp;
    } else { // the caller's: its frame pointer saved in this frame, its stack above the return
        const auto* frame = static_cast<const uint32_t*>(__builtin_frame_address(0));
        record.Esp = Value(frame + 2);
        record.Ebp = frame[0];
    }
    record.Context = Value(context);
    if (r.Record)
        std::memcpy(record.ExceptionRecord, r.Record, sizeof record.ExceptionRecord);
    record.Source = r.Source;
    record.RelatedObject = Value(r.RelatedObject);
    if (raised) {
        record.PreparedStack = raised->PreparedStack;
        record.PreparedStackLength = raised->PreparedStackLength;
    } else if (!firstChanceStack.empty()) { // read by the pipeline, which this thread waits for
        record.PreparedStack = Value(firstChanceStack.data());
        record.PreparedStackLength = static_cast<uint32_t>(firstChanceStack.size());
    }
    if (exception)
        record.Inner = Value(InnerExceptionsOf(*exception));
    // The handling thread could block on a lock this thread holds (the loader's, or the
    // heap's when the heap reported its damage): then the record is processed here.
    const bool overflowed = r.Record && r.Record->ExceptionCode == EXCEPTION_STACK_OVERFLOW;
    base::KernelHandle handler;
    if (r.HeapLocked || LoaderLockBusy(BlockedWaitMs) || !(handler = TheThread.DuplicateThreadHandle()))
        TheThread.ProcessHere(record);
    else if (TheThread.Handoff(record))
        WaitForPipeline(done.Get(), handler.Get(), overflowed, TheOptions.CheckSynchronize);
    // A thread that goes on after its stack overflowed gets its guard pages back, so that a
    // second overflow is reported too.
    if (overflowed) {
        _resetstkoflw();
        KeepStackForHandoff();
    }
    // The end of the catch block that handled it must not report it again as hidden.
    if (exception && HiddenExceptionsReported())
        MarkReported(*exception);
}

} // namespace

void DispatchException(const TDispatchRequest& r)
{
    // A fault of the reporter itself must not take the failing thread's report path with it.
    base::Guarded([&] { HandOver(r); });
}

bool StartInterception(const TInterceptionOptions& options)
{
    if (Started)
        return true;
    if (!TheMainThread)
        TheMainThread = ::GetCurrentThreadId();
    KeepStackForHandoff();
    NewerLockLayout(); // found out now, not first on the crash path
    TheOptions = options;
    if (options.WindowsLogo)
        TheFaultReporting.Load();
    Started = true;

    // The process-wide paths and the application's.
    TheVectoredHandler = ::AddVectoredExceptionHandler(1, &FirstChance);
    PreviousFilter = ::SetUnhandledExceptionFilter(&UnhandledFilter);
    PatchImports(ThePatches, {{reinterpret_cast<const void*>(&::SetUnhandledExceptionFilter),
                               reinterpret_cast<const void*>(&SetFilterHook)}});
    PreviousTerminate = std::set_terminate(&Terminate);
    PreviousAbort = std::signal(SIGABRT, &Abort);
    // A CRT without a handler to set (msvcrt on older systems and under Wine) calls its own
    // routine for the failure: that routine's entry jumps to ours.
    const HMODULE crt = ::GetModuleHandleW(L"msvcrt.dll");
    SetInvalidParameterHandler =
        base::ProcAddress<TSetInvalidParameterHandler>(crt, "_set_invalid_parameter_handler");
    if (SetInvalidParameterHandler)
        PreviousInvalidParameter = SetInvalidParameterHandler(&InvalidParameter);
    else if (void* own = reinterpret_cast<void*>(::GetProcAddress(crt, "_invalid_parameter")))
        ThePatches.WriteJump(own, reinterpret_cast<const void*>(&InvalidParameter));
    if (options.InstallApplicationHooks)
        options.InstallApplicationHooks(ThePatches);
    InstallHostHooks(ThePatches, FindHookTargets());
    ::FlushInstructionCache(::GetCurrentProcess(), nullptr, 0);

    if (!TheThread.Start(options.Processor)) {
        StopInterception();
        return false;
    }
    InstallThreadHooks(ThePatches);
    SetRaiseCapture(true);
    TheReserve.Establish();
    return true;
}

void StopInterception()
{
    if (!Started)
        return;
    Started = false;
    SetRaiseCapture(false);
    ThePatches.UndoAndFree();
    TheReserve.Release();
    std::signal(SIGABRT, PreviousAbort);
    if (SetInvalidParameterHandler)
        SetInvalidParameterHandler(PreviousInvalidParameter);
    std::set_terminate(PreviousTerminate);
    ::SetUnhandledExceptionFilter(ChainedFilter ? ChainedFilter : PreviousFilter);
    ChainedFilter = nullptr;
    if (TheVectoredHandler)
        ::RemoveVectoredExceptionHandler(TheVectoredHandler);
    TheVectoredHandler = nullptr;
    TheThread.Stop();
    TheFaultReporting = {};
}

} // namespace crash
