#include "framework/thread.h"

#include "base/window_class.h"
#include "framework/application.h"
#include "framework/guard.h"

#include <process.h>

#include <deque>
#include <mutex>

namespace framework {
namespace {

// The thread that runs the program's static initialization is the main thread.
const DWORD TheMainThreadID = ::GetCurrentThreadId();

constexpr UINT WM_SYNCHRONIZE = WM_APP + 0x51;

struct SyncRequest
{
    TThread* Thread;
    const std::function<void()>* Method;
    HANDLE Done;
};

struct SyncQueue
{
    std::mutex Lock;
    std::deque<SyncRequest> Requests;
    // Set while requests wait, so that TThread::WaitFor on the main thread can wake for them.
    base::KernelHandle Pending{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    base::Window Window;
};

SyncQueue& Queue()
{
    static SyncQueue queue;
    return queue;
}

LRESULT CALLBACK SyncWndProc(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == WM_SYNCHRONIZE) {
        CheckSynchronize();
        return 0;
    }
    return ::DefWindowProcW(wnd, msg, wparam, lparam);
}

} // namespace

bool IsMainThread() noexcept
{
    return ::GetCurrentThreadId() == TheMainThreadID;
}
DWORD MainThreadID() noexcept
{
    return TheMainThreadID;
}

void SynchronizeWindow()
{
    SyncQueue& q = Queue();
    if (q.Window || !IsMainThread())
        return;
    q.Window = base::CreateMessageWindow(L"LumigateSynchronize", &SyncWndProc);
}

bool CheckSynchronize()
{
    if (!IsMainThread())
        return false;
    SyncQueue& q = Queue();
    bool ran = false;
    for (;;) {
        SyncRequest request;
        {
            std::lock_guard<std::mutex> lock(q.Lock);
            if (q.Requests.empty()) {
                ::ResetEvent(q.Pending.Get());
                return ran;
            }
            request = q.Requests.front();
            q.Requests.pop_front();
        }
        if (std::exception_ptr error = Guarded([&] { (*request.Method)(); }))
            HandleException(request.Thread, error);
        ran = true;
        ::SetEvent(request.Done);
    }
}

void TThread::Synchronize(TThread* thread, const std::function<void()>& method)
{
    if (IsMainThread()) {
        method();
        return;
    }
    SyncQueue& q = Queue();
    base::KernelHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    {
        std::lock_guard<std::mutex> lock(q.Lock);
        q.Requests.push_back({thread, &method, done.Get()});
        ::SetEvent(q.Pending.Get());
    }
    if (q.Window)
        ::PostMessageW(q.Window.Get(), WM_SYNCHRONIZE, 0, 0);
    ::WaitForSingleObject(done.Get(), INFINITE);
}

TThread::TThread(bool CreateSuspended)
{
    SynchronizeWindow();
    unsigned id = 0;
    // Always created suspended: the object must be complete before Execute can run.
    FHandle.Reset(reinterpret_cast<HANDLE>(
        ::_beginthreadex(nullptr, 0, &TThread::ThreadProc, this, CREATE_SUSPENDED, &id)));
    FThreadID = id;
    if (!CreateSuspended)
        Start();
}

TThread::~TThread()
{
    if (FHandle && !FStarted) {
        // Never started: the suspended system thread runs only to its end (ThreadProc
        // sees FCancelled), so that it doesn't stay behind, suspended, until the process ends.
        FCancelled = true;
        ::ResumeThread(FHandle.Get());
        ::WaitForSingleObject(FHandle.Get(), INFINITE);
    } else if (FHandle && !FFinished && ::GetCurrentThreadId() != FThreadID) {
        Terminate();
        WaitFor();
    }
}

void TThread::Start()
{
    if (FStarted || !FHandle)
        return;
    FStarted = true;
    ::ResumeThread(FHandle.Get());
}

DWORD TThread::WaitFor()
{
    if (!FHandle || !FStarted)
        return ReturnValue;
    if (IsMainThread()) {
        HANDLE handles[2] = {FHandle.Get(), Queue().Pending.Get()};
        while (::WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0 + 1)
            CheckSynchronize();
    } else {
        ::WaitForSingleObject(FHandle.Get(), INFINITE);
    }
    return ReturnValue;
}

[[gnu::noinline, gnu::noipa]] void ThreadFailed(TThread* thread, std::exception_ptr error) noexcept
{
    thread->FFatalException = error;
}

[[gnu::noinline, gnu::noipa]] void ThreadStarting(TThread* thread) noexcept
{
    // Room for the five bytes of a jump that takes this place.
    asm volatile("nop; nop; nop; nop; nop" : : "r"(thread));
}

unsigned __stdcall TThread::ThreadProc(void* self)
{
    auto* thread = static_cast<TThread*>(self);
    if (thread->FCancelled)
        return 0;
    ThreadStarting(thread);
    if (std::exception_ptr error = Guarded([&] { thread->Execute(); }))
        ThreadFailed(thread, error);
    const bool freeIt = thread->FreeOnTerminate;
    if (thread->OnTerminate)
        Synchronize(thread, [thread] { thread->OnTerminate(thread); });
    const DWORD result = thread->ReturnValue;
    thread->FFinished = true;
    if (freeIt)
        delete thread;
    return result;
}

} // namespace framework
