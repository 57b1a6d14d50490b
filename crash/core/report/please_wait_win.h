#pragma once
// The please-wait window of a report while a thread waits for its completion (or runs it
// itself): shown once the wait has lasted a moment, when the report's ShowPleaseWaitBox is on,
// so that a completion that is over at once does not flash a window; driven from the waiting
// thread with the completion's progress (one area per traced thread and one for the rest);
// closed when the wait ends. One thread at a time drives a report's window (the alert takes no
// lock); a second waiter only waits.

#include "base/win_handle.h"

#include <windows.h>

#include <atomic>
#include <string>

namespace crash {

class ExceptionReport;
class IProgressAlert;

// How far a report's completion is, written by the thread that completes it.
struct TCompletionProgress
{
    std::atomic<int> Areas{1};    // the threads to trace, and one area for the rest
    std::atomic<int> Area{0};     // the one being made now
    std::atomic<int> Permille{0}; // within it
    std::atomic<bool> WindowTaken{false};
};

class TPleaseWait
{
public:
    // `completionThread`: the thread that completes the report, raised to the highest
    // priority while the window shows (none when this thread completes it itself).
    TPleaseWait(ExceptionReport& report, TCompletionProgress& progress, HANDLE completionThread);
    TPleaseWait(const TPleaseWait&) = delete;
    TPleaseWait& operator=(const TPleaseWait&) = delete;
    ~TPleaseWait();

    // Shows the window when the wait has lasted long enough, moves its bar and processes this
    // thread's messages.
    void Tick();

private:
    TCompletionProgress& FProgress;
    HANDLE FCompletionThread;
    IProgressAlert* FAlert = nullptr; // the report's; null when this thread shows none
    std::u16string FTitle, FText;
    ULONGLONG FStart;
    bool FShown = false;
};

} // namespace crash
