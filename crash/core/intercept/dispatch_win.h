#pragma once
// DispatchException, the one entry into the crash reporter, and the start and end of the
// interception (startup_win.h runs them in the start-up's order). StartInterception installs
// the process-wide paths: the first-chance handler (a damaged heap, the thread-naming
// exception), the unhandled-exception filter (OS exceptions no frame handled), the terminate
// handler (a C++ exception nothing caught), the abort signal, the CRT's invalid-parameter
// failure; then the application's paths, those of other hosts (host_hooks_win.h), the
// handling thread and the thread wrappers (thread_hooks_win.h). Each path dispatches with
// its source; what happens next (continue, end the thread, end the process) is the path's.

#include "crash/core/intercept/except_source.h"
#include "crash/core/intercept/handling_thread_win.h"
#include "crash/core/intercept/patches_win.h"

#include <windows.h>

#include <exception>
#include <string>

namespace crash {

struct TDispatchRequest
{
    TExceptType Type = etNormal;
    // A C++ exception: null takes the one the calling thread is handling, if any. The
    // pointer is what the hand-off record carries; it stays valid while the thread waits.
    const std::exception_ptr* Exception = nullptr;
    // The exception object of another runtime (a runtime package's), when there is no C++ one.
    const void* RuntimeObject = nullptr;
    uint32_t Address = 0; // 0: the raise address, when the throw captured it
    TExceptSource Source = esManual;
    const CONTEXT* Context = nullptr; // null: the context of the throw, when captured
    const EXCEPTION_RECORD* Record = nullptr;
    const void* RelatedObject = nullptr;
    HMODULE Package = nullptr;              // a runtime package whose initialization failed
    std::string* BugReportTarget = nullptr; // receives the report's text (a web host's answer)
    bool CanContinue = true;
    // The heap reported its damage and may be locked by this thread: the record is
    // processed on this thread.
    bool HeapLocked = false;
};

// Hands the exception to the handling thread and waits until it is done; the main thread
// keeps its messages flowing meanwhile. Returns at once on the handling thread itself.
void DispatchException(const TDispatchRequest& request);

struct TInterceptionOptions
{
    THandoffProcessor Processor = nullptr;
    // Access violations go to the system's error reporting first (and cannot continue).
    bool WindowsLogo = false;
    // Installs the application's paths into the interception's patches (undone with them).
    bool (*InstallApplicationHooks)(TPatches&) = nullptr;
    // Runs the calls other threads asked the main thread to make, while the main thread
    // waits for the pipeline.
    void (*CheckSynchronize)() = nullptr;
    // The freeze detector rests while a thread waits for the pipeline.
    void (*PauseFreezeDetector)(bool paused) = nullptr;
};

// Once per process, on the main thread: the process-wide paths, the application's, the
// handling thread, the thread hooks and the out-of-memory reserve, in this order. False
// when the handling thread cannot be made (then nothing stays installed).
bool StartInterception(const TInterceptionOptions& options);
// Takes every path out again and ends the handling thread; a second call does nothing.
void StopInterception();

// The main thread as the start-up determined it (0: the process's first thread).
void SetMainThread(DWORD threadId);
DWORD MainThreadId() noexcept;
DWORD HandlingThreadId() noexcept;
// On the main thread: runs the calls other threads asked it to make (a message loop of the
// reporter's own calls this when the main thread is woken with a null message).
void RunSynchronizeCalls();

// Whether the loader lock (or, when that is free, the PEB lock) is held, waiting up to
// `waitMs` in steps of 10 ms for it to be released. While it is held the handling thread
// could block on it (loading a module for the report), so the hand-off is processed on the
// catching thread instead. A reporter that lives in a library being unloaded always counts
// as blocked (its shutdown runs under the loader lock).
bool LoaderLockBusy(int waitMs);
// The process counts as blocked when the lock stays held this long: a thread that starts or
// ends holds it for a moment.
constexpr int BlockedWaitMs = 250;
void SetLibraryUnloading(bool unloading);

// While the main thread runs registered handlers synchronously (the pipeline's; runs may
// nest), every dispatch on the main thread returns at once.
void SetHandlersRunningOnMain(bool running);

// Keeps enough stack behind a stack overflow of the calling thread for the hand-off (the
// overflowed thread writes its record and waits on that stack).
void KeepStackForHandoff();

} // namespace crash
