#include "crash/core/freeze/freeze_watch_win.h"

#include "base/win_handle.h"
#include "crash/core/intercept/dispatch_win.h"
#include "crash/core/intercept/thread_registry_win.h"
#include "crash/core/pipeline/message_window_win.h"

#include <windows.h>

namespace crash {
namespace {

constexpr WPARAM Answer = 777;
constexpr int MissesForAFreeze = 10;

struct TWatch
{
    uint32_t TimeoutMs = 0;
    UINT Message = 0;
    DWORD MainThread = 0;
    HWND MainWindow = nullptr;
    base::KernelHandle Stop; // manual reset
    base::KernelHandle Thread;
    DWORD ThreadId = 0;
    volatile LONG Misses = 0;
    volatile LONG Pauses = -1;
    volatile DWORD Interval = 0; // between probes
    // Set when a pause ends. Kept until the watchdog stops (a pause resets it): closed at the
    // end of each pause it could be closed under the watchdog's wait.
    base::KernelHandle Resumed;
};
TWatch Watch;

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
    const HANDLE single = ThreadRegistryMutex();
    if (single) {
        const HANDLE either[] = {Watch.Stop.Get(), single};
        const DWORD got = ::WaitForMultipleObjects(2, either, FALSE, INFINITE);
        if (got != WAIT_OBJECT_0 + 1 && got != WAIT_ABANDONED_0 + 1)
            return 0;
    }
    DWORD interval = Watch.Interval;
    while (::WaitForSingleObject(Watch.Stop.Get(), 0) == WAIT_TIMEOUT) {
        if (const HANDLE resumed = Watch.Pauses >= 0 ? Watch.Resumed.Get() : nullptr) {
            const HANDLE either[] = {Watch.Stop.Get(), resumed};
            ::WaitForMultipleObjects(2, either, FALSE, INFINITE);
        }
        ::PostMessageW(Watch.MainWindow, Watch.Message, 0, 0);
        if (::WaitForSingleObject(Watch.Stop.Get(), interval) != WAIT_TIMEOUT)
            break;
        if (Answered()) {
            Watch.Misses = 0;
            interval = Watch.TimeoutMs / 10;
            Watch.Interval = interval;
        } else if (Watch.Pauses < 0 && ::InterlockedIncrement(&Watch.Misses) >= MissesForAFreeze) {
            TDispatchRequest request;
            request.Type = etFrozen;
            request.Source = esAntiFreezeCheck;
            request.CanContinue = true;
            DispatchException(request);
            Watch.Misses = 0;
            interval += interval / 2;
            Watch.Interval = interval;
        }
    }
    if (single)
        ::ReleaseMutex(single);
    return 0;
}

} // namespace

void StartFreezeWatch(uint32_t timeoutMs)
{
    // Only the main thread is watched (a module loaded by another thread watches nothing).
    if (Watch.Thread || timeoutMs < 10 || (MainThreadId() && ::GetCurrentThreadId() != MainThreadId()))
        return;
    const UINT message = AttachMessageHandler(0, &AnswerProbe, nullptr);
    const HWND window = message ? MessageWindowOf(::GetCurrentThreadId()) : nullptr;
    base::KernelHandle stop(window ? ::CreateEventW(nullptr, TRUE, FALSE, nullptr) : nullptr);
    if (!stop) {
        if (message)
            DetachMessageHandler(::GetCurrentThreadId(), message);
        return;
    }
    Watch.TimeoutMs = timeoutMs;
    Watch.Interval = timeoutMs / 10;
    Watch.Message = message;
    Watch.MainThread = ::GetCurrentThreadId();
    Watch.MainWindow = window;
    Watch.Stop = std::move(stop);
    Watch.Thread.Reset(
        ::CreateThread(nullptr, 0, &WatchdogThread, nullptr, CREATE_SUSPENDED, &Watch.ThreadId));
    if (!Watch.Thread) {
        DetachMessageHandler(Watch.MainThread, Watch.Message);
        Watch = TWatch{};
        return;
    }
    RegisterThreadInfo(Watch.ThreadId, Watch.Thread.Get(), "Vexcatch - AntiFreezeThread",
                       ::GetCurrentThreadId(), 0, nullptr);
    ::SetThreadPriority(Watch.Thread.Get(), THREAD_PRIORITY_HIGHEST);
    ::ResumeThread(Watch.Thread.Get());
}

void StopFreezeWatch()
{
    if (!Watch.Thread)
        return;
    ::SetEvent(Watch.Stop.Get());
    if (Watch.Resumed)
        ::SetEvent(Watch.Resumed.Get());
    Watch.Pauses = -1;
    DetachMessageHandler(Watch.MainThread, Watch.Message);
    if (::WaitForSingleObject(Watch.Thread.Get(), 500) != WAIT_OBJECT_0)
        ::TerminateThread(Watch.Thread.Get(), 0);
    UnregisterThread(Watch.ThreadId);
    Watch = TWatch{}; // its handles are closed with it
}

void PauseFreezeWatch(bool paused)
{
    if (!Watch.Thread || ::GetCurrentThreadId() == Watch.ThreadId)
        return;
    Watch.Misses = 0;
    if (paused) {
        if (::InterlockedIncrement(&Watch.Pauses) == 0) {
            if (!Watch.Resumed)
                Watch.Resumed.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
            else
                ::ResetEvent(Watch.Resumed.Get());
        }
    } else if (::InterlockedDecrement(&Watch.Pauses) < 0) {
        if (Watch.Resumed)
            ::SetEvent(Watch.Resumed.Get());
    }
}

uint32_t FreezeProbeInterval()
{
    return Watch.Interval;
}

void ResetFreezeCounter()
{
    Watch.Misses = 0;
}

void AnswerFreezeTo(HWND dialog)
{
    if (Watch.Thread && Watch.MainWindow)
        ::PostMessageW(Watch.MainWindow, Watch.Message, reinterpret_cast<WPARAM>(dialog), 0);
}

} // namespace crash
