// A program that fails on purpose under the interception:
//   crash_child KIND THREAD LOG
// KIND is the failure (see Fail), THREAD where it happens ("main", "thread": a CreateThread
// thread, "std": a std::thread, "work": a QueueUserWorkItem work item). Each line ends with
// "handler" when the record was processed on the handling thread, "here" when on the
// catching thread itself. Every hand-off that reaches the
// processor appends a line "source code address thread where raise inner" to LOG, where code is the OS
// exception code (0 for none), thread "main" or "other", raise "raised" when the record carries a
// context whose instruction pointer is the exception address and a prepared stack that holds the
// return address of the call of the failing function (a C++ throw captured them, or the first sight of
// an OS exception), else "-", and inner the
// classes of the inner exceptions, joined by "<" ("-" for none). The parent reads the lines and the exit
// code. THREAD "eight" starts eight threads that fail at the same moment. With the environment variable
// CRASH_CHILD_PROCESSOR=fail the processor itself faults on every record instead.

#include "base/proc_address.h"
#include "base/win_handle.h"
#include "crash/core/intercept/base_exception.h"
#include "crash/core/intercept/dispatch_win.h"
#include "crash/core/intercept/raise_state_win.h"
#include "crash/core/intercept/startup_win.h"
#include "crash/core/intercept/testing/child_log.h"
#include "crash/core/intercept/testing/failures.h"
#include "crash/core/intercept/thread_registry_win.h"
#include "crash/core/stack/prepared_stack.h"

#include <windows.h>

#include <float.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

char Log[MAX_PATH];
const char* Kind = "";

std::string Processor;       // how the processor misbehaves, if it does
base::KernelHandle Recorded; // set after each record

void Record(const crash::THandoffRecord& r)
{
    if (Processor == "fail")
        *reinterpret_cast<volatile int*>(static_cast<uintptr_t>(r.Source)) = 0;
    if (Processor == "exit")
        ::ExitThread(0);
    if (Processor == "quit") {
        ::PostThreadMessageW(crash::MainThreadId(), WM_QUIT, 7, 0);
        ::Sleep(100);
    }
    EXCEPTION_RECORD os;
    std::memcpy(&os, r.ExceptionRecord, sizeof os);
    const auto* context = reinterpret_cast<const CONTEXT*>(static_cast<uintptr_t>(r.Context));
    bool raised = false;
    if (context && context->Eip == r.ExceptAddress && r.PreparedStack) {
        const auto* prepared = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(r.PreparedStack));
        for (const crash::TPreparedEntry& e : crash::ReadPreparedStack({prepared, r.PreparedStackLength}))
            raised = raised || e.Address == crash::testing::FailCaller;
    }
    std::string inner;
    for (auto* e = reinterpret_cast<const crash::TInnerException*>(static_cast<uintptr_t>(r.Inner)); e;
         e = e->Inner.get())
        inner += (inner.empty() ? "" : "<") + e->ExceptClass;
    char line[256];
    const int n = std::snprintf(
        line, sizeof line, "%u %08lx %08x %s %s %s %s", static_cast<unsigned>(r.Source), os.ExceptionCode,
        static_cast<unsigned>(r.ExceptAddress), r.ThreadId == crash::MainThreadId() ? "main" : "other",
        r.ThreadId == ::GetCurrentThreadId() ? "here" : "handler", raised ? "raised" : "-",
        inner.empty() ? "-" : inner.c_str());
    crash::testing::AppendLine(Log, {line, static_cast<size_t>(n)});
    ::SetEvent(Recorded.Get());
}

} // namespace

namespace {

LONG WINAPI ForeignFilter(EXCEPTION_POINTERS*)
{
    crash::testing::AppendLine(Log, "foreign");
    return EXCEPTION_EXECUTE_HANDLER;
}

void Fail()
{
    const std::string k = Kind;
    if (k == "foreign-filter") {
        // Another filter arrives after start-up; the access violation then reaches both.
        ::SetUnhandledExceptionFilter(&ForeignFilter);
        *reinterpret_cast<volatile int*>(static_cast<uintptr_t>(crash::testing::Zero + 8)) = 1;
    } else {
        crash::testing::Fail(k);
    }
}

// Whether the thread function was called from this program's code (the wrapper) rather
// than straight from the system's thread start.
DWORD WINAPI ProbeCaller(void*)
{
    const auto caller = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
    const auto image = reinterpret_cast<uintptr_t>(::GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(image + dos->e_lfanew);
    return caller >= image && caller < image + nt->OptionalHeader.SizeOfImage;
}

// The import entries of this program that the interception patches, as the loader wrote them.
extern "C" void* ImportOfQueueUserWorkItem asm("__imp__QueueUserWorkItem@12");
extern "C" void* ImportOfSetFilter asm("__imp__SetUnhandledExceptionFilter@4");
extern "C" void* ImportOfBeginThreadEx asm("__imp___beginthreadex");

bool ImportsAsLoaded()
{
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll"), crt = ::GetModuleHandleW(L"msvcrt.dll");
    return ImportOfQueueUserWorkItem ==
               reinterpret_cast<void*>(::GetProcAddress(kernel, "QueueUserWorkItem")) &&
           ImportOfSetFilter ==
               reinterpret_cast<void*>(::GetProcAddress(kernel, "SetUnhandledExceptionFilter")) &&
           ImportOfBeginThreadEx == reinterpret_cast<void*>(::GetProcAddress(crt, "_beginthreadex"));
}

const void* InvalidParameterRoutine()
{
    return reinterpret_cast<const void*>(
        ::GetProcAddress(::GetModuleHandleW(L"msvcrt.dll"), "_invalid_parameter"));
}

uint8_t FirstByte(const void* routine)
{
    return routine ? *static_cast<const uint8_t*>(routine) : 0;
}

// Through the import of CreateThread, or (byName) through its address looked up by name,
// which no import patch reaches.
DWORD ProbeThread(bool byName = false)
{
    using TCreate =
        HANDLE(WINAPI*)(SECURITY_ATTRIBUTES*, SIZE_T, LPTHREAD_START_ROUTINE, void*, DWORD, DWORD*);
    const TCreate create =
        byName ? base::ProcAddress<TCreate>(::GetModuleHandleW(L"kernel32.dll"), "CreateThread")
               : &::CreateThread;
    const base::KernelHandle thread(create(nullptr, 0, &ProbeCaller, nullptr, 0, nullptr));
    ::WaitForSingleObject(thread.Get(), INFINITE);
    DWORD wrapped = 0;
    ::GetExitCodeThread(thread.Get(), &wrapped);
    return wrapped;
}

DWORD WINAPI ThreadMain(void* start)
{
    if (start)
        ::WaitForSingleObject(start, INFINITE);
    Fail();
    return 0;
}

DWORD WINAPI NameAndWait(void* go)
{
    crash::testing::NameThread("worker");
    ::WaitForSingleObject(go, INFINITE);
    return 0;
}

// Creates the thread from a place the test knows: the creator address must lie in here.
[[gnu::noinline]] HANDLE CreateNamingThread(HANDLE go, DWORD& id)
{
    return ::CreateThread(nullptr, 0, &NameAndWait, go, 0, &id);
}

// The registry under the interception: the main and the handling thread by name, a new
// thread with its creator, its name once it named itself, and no entry after it ended.
// Ends with the number of the first check that failed.
int CheckRegistry()
{
    if (crash::LookupThreadInfo(::GetCurrentThreadId()).value_or(crash::TThreadInfo{}).Name != "main thread")
        return 10;
    if (crash::LookupThreadInfo(crash::HandlingThreadId()).value_or(crash::TThreadInfo{}).Name !=
        "Vexcatch - HandleExceptionThread")
        return 11;
    const base::KernelHandle go(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    DWORD id = 0;
    const base::KernelHandle thread(CreateNamingThread(go.Get(), id));
    const auto created = crash::LookupThreadInfo(id);
    const auto creator = reinterpret_cast<uintptr_t>(&CreateNamingThread);
    if (!created || created->CreatorThreadId != ::GetCurrentThreadId() ||
        created->CreatorAddress - creator >= 96)
        return 12;
    std::optional<crash::TThreadInfo> named;
    for (int k = 0; k < 500 && (!named || named->Name != "worker"); ++k, ::Sleep(10))
        named = crash::LookupThreadInfo(id);
    if (!named || named->Name != "worker" || named->CreatorAddress != created->CreatorAddress)
        return 13;
    crash::testing::NameThread("renamed by the main thread", id); // another thread's name
    if (crash::LookupThreadInfo(id).value_or(crash::TThreadInfo{}).Name != "renamed by the main thread")
        return 15;
    ::SetEvent(go.Get());
    ::WaitForSingleObject(thread.Get(), INFINITE);
    if (crash::LookupThreadInfo(id))
        return 14;
    crash::StopReporter();
    return 0;
}

// Restarts: starts this program again ("restarted") suspended, hands it a ring of the bytes
// 0 to 79, logs "restarted PID", resumes it and ends.
int Restart(const char* log)
{
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" restarted main \"";
    command += std::wstring(log, log + std::strlen(log)) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                          nullptr, &si, &pi))
        return 20;
    const base::KernelHandle process(pi.hProcess), primary(pi.hThread);
    crash::TExceptionRing ring;
    for (size_t k = 0; k < ring.size(); ++k)
        ring[k] = static_cast<uint8_t>(k);
    if (!crash::HandOverRestart(process.Get(), pi.dwProcessId, ring))
        return 21;
    crash::testing::AppendLine(Log, "restarted " + std::to_string(pi.dwProcessId));
    ::ResumeThread(primary.Get());
    return 0;
}

// The restarted program: "ring" when its start-up took the ring over whole.
int Restarted()
{
    const auto& ring = crash::InheritedExceptionRing();
    bool whole = ring.has_value();
    for (size_t k = 0; whole && k < ring->size(); ++k)
        whole = (*ring)[k] == k;
    crash::testing::AppendLine(Log, whole ? "ring" : "no ring");
    return 0;
}

} // namespace

// Called by testing/loader_lock_module.cpp's DllMain, while the loader lock is held.
extern "C" __declspec(dllexport) void ChildDispatch()
{
    crash::TDispatchRequest request;
    crash::DispatchException(request);
}

// The reporter starts as the program would start it: from a static initializer before any
// other, and stops at process exit.
struct TReporter
{
    crash::TReporterStart State = crash::StartReporter({&Record});
    ~TReporter() { crash::StopReporter(); }
};
__attribute__((init_priority(101))) TReporter Reporter;

int main(int argc, char** argv)
{
    if (argc < 4)
        return 2;
    Kind = argv[1];
    char processor[16] = {};
    if (::GetEnvironmentVariableA("CRASH_CHILD_PROCESSOR", processor, sizeof processor) < sizeof processor)
        Processor = processor;
    std::strncpy(Log, argv[3], sizeof Log - 1);
    Recorded.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (Reporter.State != crash::TReporterStart::Enabled)
        return 4;
    const std::string where = argv[2];
    if (std::string(Kind) == "undo") {
        // Wrapped while the interception runs (also a thread of CreateThread found by name:
        // the call inside CreateThread is re-pointed), straight from the system after it
        // stopped; the import entries and the CRT's routine patched, then as they were.
        const bool during = ProbeThread() == 1 && ProbeThread(true) == 1 && !ImportsAsLoaded() &&
                            FirstByte(InvalidParameterRoutine()) == 0xE9;
        crash::StopReporter();
        return during && ProbeThread() == 0 && ProbeThread(true) == 0 && ImportsAsLoaded() &&
                       FirstByte(InvalidParameterRoutine()) != 0xE9
                   ? 0
                   : 6;
    }
    if (std::string(Kind) == "handlers-running") {
        // Not handed over while the main thread runs handlers; afterwards again.
        crash::SetHandlersRunningOnMain(true);
        crash::DispatchException({});
        crash::SetHandlersRunningOnMain(false);
        crash::DispatchException({});
        return 0;
    }
    if (std::string(Kind) == "manual-quit") {
        // The processor posts a quit message while this thread waits for it.
        MSG msg;
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE); // this thread gets its message queue
        crash::DispatchException({});
        if (::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
            crash::testing::AppendLine(Log, "quit " + std::to_string(msg.wParam));
        return 0;
    }
    if (std::string(Kind) == "registry")
        return CheckRegistry();
    if (std::string(Kind) == "restart")
        return Restart(Log);
    if (std::string(Kind) == "restarted")
        return Restarted();
    if (std::string(Kind) == "loader-lock-abort") {
        // The module's attach routine aborts while the loader holds its lock.
        ::SetEnvironmentVariableW(L"LOADER_LOCK_ABORT", L"1");
        ::LoadLibraryW(L"loader_lock_module.dll");
        return 7;
    }
    if (std::string(Kind) == "loader-lock") {
        if (!base::Module(::LoadLibraryW(L"loader_lock_module.dll")))
            return 7;
    } else if (where == "main") {
        Fail();
    } else if (where == "thread") {
        const base::KernelHandle thread(::CreateThread(nullptr, 0, &ThreadMain, nullptr, 0, nullptr));
        ::WaitForSingleObject(thread.Get(), INFINITE);
    } else if (where == "std") {
        std::thread([] { Fail(); }).join();
    } else if (where == "work") {
        ::QueueUserWorkItem(&ThreadMain, nullptr, 0);
        ::WaitForSingleObject(Recorded.Get(), 10000);
        // Failures that end the process do so on the work item's thread after the hand-off:
        // this thread must not end it first.
        const std::string k = Kind;
        if (k == "abort" || k == "terminate" || k == "heap-corruption" || k == "fast-fail")
            ::Sleep(INFINITE);
    } else if (where == "eight") {
        const base::KernelHandle start(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        base::KernelHandle threads[8];
        HANDLE waited[8];
        for (int k = 0; k < 8; ++k) {
            threads[k].Reset(::CreateThread(nullptr, 0, &ThreadMain, start.Get(), 0, nullptr));
            waited[k] = threads[k].Get();
        }
        ::SetEvent(start.Get());
        ::WaitForMultipleObjects(8, waited, TRUE, INFINITE);
    }
    crash::StopReporter();
    return 0;
}
