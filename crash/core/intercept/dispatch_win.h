#pragma once
// DispatchException, the one entry into the crash reporter, and the start and end of the
// interception. Start-up makes the handling thread and installs the process-wide paths:
// the unhandled-exception filter (OS exceptions no frame handled), the terminate handler
// (a C++ exception nothing caught), the abort signal and the thread wrappers
// (thread_hooks_win.h). Each path dispatches with its
// source; what happens next (continue, end the thread, end the process) is the path's.

#include "crash/core/intercept/except_source.h"
#include "crash/core/intercept/handling_thread_win.h"

#include <windows.h>

#include <exception>

namespace crash {

struct TDispatchRequest
{
    TExceptType Type = etNormal;
    // A C++ exception: null takes the one the calling thread is handling, if any. The
    // pointer is what the hand-off record carries; it stays valid while the thread waits.
    const std::exception_ptr* Exception = nullptr;
    uint32_t Address = 0; // 0: the raise address, when the throw captured it
    TExceptSource Source = esManual;
    const CONTEXT* Context = nullptr; // null: the context of the throw, when captured
    const EXCEPTION_RECORD* Record = nullptr;
    const void* RelatedObject = nullptr;
    bool CanContinue = true;
};

// Hands the exception to the handling thread and waits until it is done; the main thread
// keeps its messages flowing meanwhile. Returns at once on the handling thread itself.
void DispatchException(const TDispatchRequest& request);

// Once per process, on the main thread. False when the handling thread cannot be made
// (then nothing is installed).
bool StartInterception(THandoffProcessor processor);
// Takes every path out again and ends the handling thread; a second call does nothing.
void StopInterception();

DWORD MainThreadId() noexcept;
DWORD HandlingThreadId() noexcept;

// Whether the loader lock (or, when that is free, the PEB lock) is held, waiting up to
// `waitMs` in steps of 10 ms for it to be released. While it is held the handling thread
// could block on it (loading a module for the report), so the hand-off is processed on the
// catching thread instead.
bool LoaderLockBusy(int waitMs);

// Keeps enough stack behind a stack overflow of the calling thread for the hand-off (the
// overflowed thread writes its record and waits on that stack).
void KeepStackForHandoff();

} // namespace crash
