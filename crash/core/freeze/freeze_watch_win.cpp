#include "crash/core/freeze/freeze_watch_win.h"

#include "base/srw_lock.h"
#include "base/win_handle.h"
#include "crash/core/intercept/dispatch_win.h"
#include "crash/core/intercept/thread_registry_win.h"
#include "crash/core/pipeline/message_window_win.h"

#include <windows.h>

#include <mutex>
#include <shared_mutex>

namespace crash {
namespace {

constexpr WPARAM Answer = 777;
constexpr int MissesForAFreeze = 10;

// What the watches of all modules in the process share (a named mapping per process): only
// one watchdog runs, whichever module started it, and a pause in any module must hold it.
struct TShared
{
    LONG Pauses;   // nested pauses of all modules; misses count at 0 only
    LONG Misses;   // unanswered probes in a row
    LONG Interval; // between the running watchdog's probes
};

struct TWatch
{
    uint32_t TimeoutMs = 0;
    UINT Message = 0;
    DWORD MainThread = 0;
    HWND MainWindow = nullptr;
    base::KernelHandle Stop; // manual reset
    base::KernelHandle Thread;
    DWORD ThreadId = 0;
    base::KernelHandle Mapping;
    base::MappedView View;
    TShared* Shared = nullptr;
    // Named like the mapping, manual reset: set while no pause holds. A waiting watchdog wakes
    // on it when the last pause ends.
    base::KernelHandle Resumed;
    LONG OwnPauses = 0; // this module's part of the shared count, given back by Stop
};
TWatch Watch;
// Pauses, the counter's reset and the answer's request read the watch under the shared lock;
// Stop takes the watch apart under the exclusive one, once its thread has ended.
base::SrwLock WatchLock;

// On the main thread: the answer goes back to the watchdog (or to the window the probe
// names).
LRESULT AnswerProbe(void*, WPARAM window, LPARAM)
{
    if (window)
        ::PostMessageW(reinterpret_cast<HWND>(window), WM_NULL, Answer, Answer);
    else
        ::PostThreadMessageW(Watch.ThreadId, WM_NULL, Answer, Answer);
    return Answer;
}

bool Answered()
{
    bool answered = false;
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        answered =
            answered || (!msg.hwnd && msg.message == WM_NULL && msg.wParam == Answer && msg.lParam == Answer);
    return answered;
}

DWORD WINAPI WatchdogThread(void*)
{
    MSG msg;
    ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE); // this thread's message queue
    // One watchdog per process, whichever module started it; a stop ends the wait for it.
    const HANDLE stop = Watch.Stop.Get();
    const HANDLE single = ThreadRegistryMutex();
    if (single) {
        const HANDLE either[] = {stop, single};
        const DWORD got = ::WaitForMultipleObjects(2, either, FALSE, INFINITE);
        if (got != WAIT_OBJECT_0 + 1 && got != WAIT_ABANDONED_0 + 1)
            return 0;
    }
    TShared& shared = *Watch.Shared;
    DWORD interval = Watch.TimeoutMs / 10;
    shared.Interval = static_cast<LONG>(interval);
    shared.Misses = 0;
    while (::WaitForSingleObject(stop, 0) == WAIT_TIMEOUT) {
        if (shared.Pauses > 0) {
            // The event only wakes the wait early; the count decides. A resume and a pause of
            // two threads may cross and leave it set during a pause: then no busy loop.
            const HANDLE either[] = {stop, Watch.Resumed.Get()};
            if (::WaitForMultipleObjects(2, either, FALSE, interval) == WAIT_OBJECT_0 + 1 &&
                shared.Pauses > 0)
                ::WaitForSingleObject(stop, interval);
            continue;
        }
        // A probe to a window that is gone (with its thread) asks nothing, and its silence is
        // no freeze; one refused by a full queue is a miss like any other.
        const bool asked = ::PostMessageW(Watch.MainWindow, Watch.Message, 0, 0) ||
                           ::GetLastError() != ERROR_INVALID_WINDOW_HANDLE;
        if (::WaitForSingleObject(stop, interval) != WAIT_TIMEOUT)
            break;
        if (!asked)
            continue;
        if (Answered()) {
            shared.Misses = 0;
            interval = Watch.TimeoutMs / 10;
            shared.Interval = static_cast<LONG>(interval);
        } else if (shared.Pauses <= 0 && ::InterlockedIncrement(&shared.Misses) >= MissesForAFreeze) {
            TDispatchRequest request;
            request.Type = etFrozen;
            request.Source = esAntiFreezeCheck;
            request.CanContinue = true;
            DispatchException(request);
            shared.Misses = 0;
            interval += interval / 2;
            shared.Interval = static_cast<LONG>(interval);
        }
    }
    if (single)
        ::ReleaseMutex(single);
    return 0;
}

// The process's shared state and its resume event: created by a module that starts a
// watch, opened (when one exists) by a module that only pauses. No allocation: a pause may
// come on the crash path.
bool OpenShared(TWatch& watch, bool create)
{
    char name[48], resumed[48];
    ::wsprintfA(name, "VexcatchFreezeWatch%lX", ::GetCurrentProcessId());
    ::wsprintfA(resumed, "%sResumed", name);
    watch.Mapping.Reset(
        create ? ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(TShared), name)
               : ::OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name));
    if (watch.Mapping)
        watch.View.Reset(::MapViewOfFile(watch.Mapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(TShared)));
    if (watch.View)
        watch.Resumed.Reset(create ? ::CreateEventA(nullptr, TRUE, TRUE, resumed)
                                   : ::OpenEventA(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, resumed));
    watch.Shared = watch.Resumed ? static_cast<TShared*>(watch.View.Get()) : nullptr;
    return watch.Shared != nullptr;
}

// Whether this module reaches the process's shared state: its own watch's, or another
// module's running watch's, opened on first need.
bool SharedReached()
{
    {
        const std::shared_lock<base::SrwLock> lock(WatchLock);
        if (Watch.Shared)
            return true;
    }
    const std::lock_guard<base::SrwLock> lock(WatchLock);
    return Watch.Shared || OpenShared(Watch, false);
}

// Adds `delta` to the process's pauses; the count from or back to 0 resets or sets the
// resume event.
void CountPauses(LONG delta)
{
    const LONG now = ::InterlockedExchangeAdd(&Watch.Shared->Pauses, delta) + delta;
    if (delta > 0 && now == delta)
        ::ResetEvent(Watch.Resumed.Get());
    else if (delta < 0 && now <= 0)
        ::SetEvent(Watch.Resumed.Get());
}

// The watch stops when this module's globals go, which may be before the reporter's own
// shutdown runs (its object outlives them): then that finds nothing left to stop.
struct TStopAtExit
{
    ~TStopAtExit() { StopFreezeWatch(); }
} StopAtExit;

} // namespace

void StartFreezeWatch(uint32_t timeoutMs)
{
    // Only the main thread is watched (a module loaded by another thread watches nothing).
    if (Watch.Thread || timeoutMs < 10 || (MainThreadId() && ::GetCurrentThreadId() != MainThreadId()))
        return;
    TWatch watch;
    watch.Message = AttachMessageHandler(0, &AnswerProbe, nullptr);
    watch.MainWindow = watch.Message ? MessageWindowOf(::GetCurrentThreadId()) : nullptr;
    if (watch.MainWindow && OpenShared(watch, true))
        watch.Stop.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!watch.Stop) {
        if (watch.Message)
            DetachMessageHandler(::GetCurrentThreadId(), watch.Message);
        return;
    }
    watch.TimeoutMs = timeoutMs;
    watch.MainThread = ::GetCurrentThreadId();
    ::InterlockedCompareExchange(&watch.Shared->Interval, static_cast<LONG>(timeoutMs / 10), 0);
    {
        const std::lock_guard<base::SrwLock> lock(WatchLock);
        watch.OwnPauses = Watch.OwnPauses; // counted while only pausing
        Watch = std::move(watch);
        Watch.Thread.Reset(
            ::CreateThread(nullptr, 0, &WatchdogThread, nullptr, CREATE_SUSPENDED, &Watch.ThreadId));
        if (!Watch.Thread) {
            DetachMessageHandler(Watch.MainThread, Watch.Message);
            if (Watch.OwnPauses > 0) // they must not hold another module's watchdog for good
                CountPauses(-Watch.OwnPauses);
            Watch = TWatch{};
            return;
        }
    }
    RegisterThreadInfo(Watch.ThreadId, Watch.Thread.Get(), "Vexcatch - AntiFreezeThread",
                       ::GetCurrentThreadId(), 0, nullptr);
    ::SetThreadPriority(Watch.Thread.Get(), THREAD_PRIORITY_HIGHEST);
    ::ResumeThread(Watch.Thread.Get());
}

void StopFreezeWatch()
{
    if (Watch.Thread) {
        ::SetEvent(Watch.Stop.Get());
        DetachMessageHandler(Watch.MainThread, Watch.Message);
        if (::WaitForSingleObject(Watch.Thread.Get(), 500) != WAIT_OBJECT_0) {
            ::TerminateThread(Watch.Thread.Get(), 0);
            // The end of a terminated thread comes later: its view must not go before it.
            ::WaitForSingleObject(Watch.Thread.Get(), 500);
        }
        UnregisterThread(Watch.ThreadId);
    }
    // The watchdog itself never takes the lock (it only reads the shared counts), so a killed
    // one cannot have left it held; others hold it for a moment only.
    const std::lock_guard<base::SrwLock> lock(WatchLock);
    if (!Watch.Shared)
        return;
    // The pauses of this module that are still open end here: they must not hold another
    // module's watchdog after this one is gone.
    if (Watch.OwnPauses > 0)
        CountPauses(-Watch.OwnPauses);
    Watch = TWatch{}; // its handles are closed with it
}

void PauseFreezeWatch(bool paused)
{
    if (::GetCurrentThreadId() == Watch.ThreadId || !SharedReached())
        return;
    const std::shared_lock<base::SrwLock> lock(WatchLock);
    if (!Watch.Shared)
        return;
    Watch.Shared->Misses = 0;
    if (paused) {
        ::InterlockedIncrement(&Watch.OwnPauses);
        CountPauses(1);
    } else if (::InterlockedDecrement(&Watch.OwnPauses) >= 0) {
        CountPauses(-1);
    } else {
        ::InterlockedIncrement(&Watch.OwnPauses); // a resume without its pause
    }
}

uint32_t FreezeProbeInterval()
{
    const std::shared_lock<base::SrwLock> lock(WatchLock);
    return Watch.Thread ? static_cast<uint32_t>(Watch.Shared->Interval) : 0;
}

void ResetFreezeCounter()
{
    if (!SharedReached())
        return;
    const std::shared_lock<base::SrwLock> lock(WatchLock);
    if (Watch.Shared)
        Watch.Shared->Misses = 0;
}

void AnswerFreezeTo(HWND dialog)
{
    const std::shared_lock<base::SrwLock> lock(WatchLock);
    if (Watch.Thread)
        ::PostMessageW(Watch.MainWindow, Watch.Message, reinterpret_cast<WPARAM>(dialog), 0);
}

} // namespace crash
