#pragma once
// The handling thread: made at start-up, before any crash, so that a crashing thread (with
// its heap damaged or its stack nearly full) only writes a hand-off record into a pipe and
// waits. The thread reads each record and hands it to the processor: the handling pipeline,
// or what a test installs.

#include "base/win_handle.h"
#include "crash/core/intercept/handoff_record.h"

#include <windows.h>

namespace crash {

// Runs on the handling thread, one record at a time.
using THandoffProcessor = void (*)(const THandoffRecord& record);

class THandlingThread
{
public:
    THandlingThread() = default;
    ~THandlingThread() { Stop(); }
    THandlingThread(const THandlingThread&) = delete;
    THandlingThread& operator=(const THandlingThread&) = delete;

    // Creates the pipe and the thread; false when either cannot be made.
    bool Start(THandoffProcessor processor);
    // Asks the thread to end (a record with event 0) and waits 500 ms and 50 ms more, then
    // ends it by force.
    void Stop();
    // Writes the whole record; false when that fails (then nothing will process it).
    bool Handoff(const THandoffRecord& record);
    // Processes the record on the calling thread, under the same protection (when the
    // handling thread cannot be waited for).
    void ProcessHere(const THandoffRecord& record) const;
    DWORD ThreadId() const noexcept { return FThreadId; }
    // A handle of the thread of the caller's own (it outlives Stop); empty when not running.
    base::KernelHandle DuplicateThreadHandle() const;
    bool Running() const noexcept { return FThread.Valid(); }

private:
    static DWORD WINAPI Proc(void* self);

    THandoffProcessor FProcessor = nullptr;
    base::KernelHandle FRead, FWrite, FThread;
    DWORD FThreadId = 0;
};

} // namespace crash
