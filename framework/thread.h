#pragma once
// Threads with synchronized calls. A synchronized call is a function that a worker hands
// to the main thread; the main thread runs it while it dispatches its messages (in its
// message loop, in any wait that pumps messages and in modal loops), and the worker waits
// until it has run. An exception escaping such a call is caught on the main thread and
// handed to the application's HandleException; the worker goes on.

#include "base/win_handle.h"
#include "framework/object.h"

#include <windows.h>

#include <atomic>
#include <exception>
#include <functional>

namespace framework {

class TThread : public TObject
{
public:
    explicit TThread(bool CreateSuspended);
    // Asks a running thread to stop and waits for it; a thread that frees itself is gone
    // by the time anyone else could call this.
    ~TThread() override;

    void Start();
    void Terminate() noexcept { FTerminated = true; }
    bool Terminated() const noexcept { return FTerminated; }
    bool Finished() const noexcept { return FFinished; }
    // Waits for the end of the thread; on the main thread synchronized calls keep running
    // meanwhile, so a thread that synchronizes on its way out cannot dead-lock the wait.
    DWORD WaitFor();

    // When set before the thread ends, the thread object deletes itself after OnTerminate.
    bool FreeOnTerminate = false;
    // Runs on the main thread (synchronized) after Execute has returned.
    TNotifyEvent OnTerminate;

    DWORD ThreadID() const noexcept { return FThreadID; }
    HANDLE Handle() const noexcept { return FHandle.Get(); }
    // The exception that escaped Execute, if any.
    std::exception_ptr FatalException() const { return FFatalException; }
    DWORD ReturnValue = 0;

    // Runs method on the main thread and waits for it; on the main thread it runs at once.
    void Synchronize(const std::function<void()>& method) { Synchronize(this, method); }
    static void Synchronize(TThread* thread, const std::function<void()>& method);

protected:
    virtual void Execute() = 0;

private:
    static unsigned __stdcall ThreadProc(void* self);

    base::KernelHandle FHandle;
    DWORD FThreadID = 0;
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
    bool FStarted = false;
    std::atomic<bool> FCancelled{false}; // destroyed before Start: end without Execute
    std::exception_ptr FFatalException;
    friend void ThreadFailed(TThread* thread, std::exception_ptr error) noexcept;
};

bool IsMainThread() noexcept;
DWORD MainThreadID() noexcept;

// Called on the thread when an exception escapes its Execute: keeps it as the thread's
// FatalException. One routine of its own (never inlined), so that a crash reporter can take
// this place.
void ThreadFailed(TThread* thread, std::exception_ptr error) noexcept;

// Called on the thread as it starts, before Execute, with the thread object complete (its
// class known). Does nothing: a place of its own where a crash reporter learns the class.
void ThreadStarting(TThread* thread) noexcept;

// Runs the synchronized calls that are waiting; called by the main thread. Returns whether
// any call ran.
bool CheckSynchronize();

// Creates (once) the main thread's hidden window through which workers wake it for their
// synchronized calls. The application object calls it; it must run on the main thread.
void SynchronizeWindow();

} // namespace framework
