#include "crash/core/pipeline/thread_pause_win.h"

#include "base/proc_address.h"
#include "base/srw_lock.h"
#include "base/win_handle.h"
#include "crash/core/intercept/dispatch_win.h"
#include "crash/core/intercept/import_patches_win.h"
#include "crash/core/intercept/thread_registry_win.h"
#include "crash/core/pipeline/message_window_win.h"

#include <tlhelp32.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace crash {
namespace {

using TGetMessage = BOOL(WINAPI*)(LPMSG, HWND, UINT, UINT);
using TPeekMessage = BOOL(WINAPI*)(LPMSG, HWND, UINT, UINT, UINT);

struct TPauseState
{
    base::SrwLock Lock;
    base::KernelHandle MainEvent, OthersEvent; // manual reset; set while running
    std::vector<DWORD> Listed;
    bool MainPaused = false;
    volatile LONG Pausing = 0; // a pause is on: retrievals look at the list
    TPatches* Hooks = nullptr;
};
TPauseState* State = nullptr;
base::SrwLock StateLock;

TGetMessage RealGetMessageW = nullptr, RealGetMessageA = nullptr;
TPeekMessage RealPeekMessageW = nullptr, RealPeekMessageA = nullptr;

// Where a retrieving thread waits while it is paused.
void WaitIfPaused()
{
    TPauseState* s = State;
    if (!s || !s->Pausing)
        return;
    const DWORD me = ::GetCurrentThreadId();
    HANDLE event = nullptr;
    {
        const std::lock_guard lock(s->Lock);
        if (me == MainThreadId())
            event = s->MainPaused ? s->MainEvent.Get() : nullptr;
        else if (std::find(s->Listed.begin(), s->Listed.end(), me) != s->Listed.end())
            event = s->OthersEvent.Get();
    }
    if (!event)
        return;
    // Messages that other threads send (the reporter's own windows asking the program's)
    // are answered meanwhile; posted ones wait.
    const DWORD error = ::GetLastError();
    MSG msg;
    while (::MsgWaitForMultipleObjects(1, &event, FALSE, INFINITE, QS_SENDMESSAGE) != WAIT_OBJECT_0)
        RealPeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    ::SetLastError(error);
}

BOOL WINAPI GetMessageWHook(LPMSG msg, HWND window, UINT first, UINT last)
{
    WaitIfPaused();
    return RealGetMessageW(msg, window, first, last);
}
BOOL WINAPI GetMessageAHook(LPMSG msg, HWND window, UINT first, UINT last)
{
    WaitIfPaused();
    return RealGetMessageA(msg, window, first, last);
}
BOOL WINAPI PeekMessageWHook(LPMSG msg, HWND window, UINT first, UINT last, UINT remove)
{
    WaitIfPaused();
    return RealPeekMessageW(msg, window, first, last, remove);
}
BOOL WINAPI PeekMessageAHook(LPMSG msg, HWND window, UINT first, UINT last, UINT remove)
{
    WaitIfPaused();
    return RealPeekMessageA(msg, window, first, last, remove);
}

bool CarriesReporter(uint32_t address)
{
    HMODULE module = nullptr;
    return address &&
           ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                    GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                reinterpret_cast<LPCWSTR>(static_cast<uintptr_t>(address)), &module) &&
           ::FindResourceW(module, L"EXCEPT", L"VEX");
}

// The threads of the process that a module carrying the reporter created.
std::vector<DWORD> ReporterCreatedThreads()
{
    std::vector<DWORD> threads;
    const base::FileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    const DWORD process = ::GetCurrentProcessId();
    for (BOOL more = snapshot && ::Thread32First(snapshot.Get(), &entry); more;
         more = ::Thread32Next(snapshot.Get(), &entry))
        if (entry.th32OwnerProcessID == process)
            if (const auto info = LookupThreadInfo(entry.th32ThreadID);
                info && CarriesReporter(info->CreatorAddress))
                threads.push_back(entry.th32ThreadID);
    return threads;
}

TPauseState* Prepared()
{
    const std::lock_guard lock(StateLock);
    if (State)
        return State;
    auto* s = new TPauseState; // lives as long as the process: paused threads may still wait on it
    s->MainEvent.Reset(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
    s->OthersEvent.Reset(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
    if (!s->MainEvent || !s->OthersEvent) {
        delete s;
        return nullptr;
    }
    const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    RealGetMessageW = base::ProcAddress<TGetMessage>(user32, "GetMessageW");
    RealGetMessageA = base::ProcAddress<TGetMessage>(user32, "GetMessageA");
    RealPeekMessageW = base::ProcAddress<TPeekMessage>(user32, "PeekMessageW");
    RealPeekMessageA = base::ProcAddress<TPeekMessage>(user32, "PeekMessageA");
    s->Hooks = new TPatches;
    PatchImports(
        *s->Hooks,
        {{reinterpret_cast<const void*>(RealGetMessageW), reinterpret_cast<const void*>(&GetMessageWHook),
          reinterpret_cast<void**>(&RealGetMessageW)},
         {reinterpret_cast<const void*>(RealGetMessageA), reinterpret_cast<const void*>(&GetMessageAHook),
          reinterpret_cast<void**>(&RealGetMessageA)},
         {reinterpret_cast<const void*>(RealPeekMessageW), reinterpret_cast<const void*>(&PeekMessageWHook),
          reinterpret_cast<void**>(&RealPeekMessageW)},
         {reinterpret_cast<const void*>(RealPeekMessageA), reinterpret_cast<const void*>(&PeekMessageAHook),
          reinterpret_cast<void**>(&RealPeekMessageA)}});
    ::FlushInstructionCache(::GetCurrentProcess(), nullptr, 0);
    return State = s;
}

void WakeMainThread()
{
    if (const HWND window = MessageWindowOf(MainThreadId()))
        ::PostMessageW(window, WM_NULL, 0, 0);
}

} // namespace

void PrepareThreadPausing()
{
    Prepared();
}

void PauseThreads(DWORD excluded)
{
    TPauseState* s = Prepared();
    if (!s)
        return;
    std::vector<DWORD> listed = ReporterCreatedThreads();
    const DWORD me = ::GetCurrentThreadId(), main = MainThreadId();
    std::erase_if(listed, [&](DWORD t) { return t == me || t == main || t == excluded; });
    {
        const std::lock_guard lock(s->Lock);
        s->Listed = std::move(listed);
        s->MainPaused = main != me && main != excluded;
        ::ResetEvent(s->MainEvent.Get());
        ::ResetEvent(s->OthersEvent.Get());
        ::InterlockedExchange(&s->Pausing, 1);
    }
    WakeMainThread();
}

void ResumeThreads()
{
    TPauseState* s = State;
    if (!s)
        return;
    const std::lock_guard lock(s->Lock);
    ::InterlockedExchange(&s->Pausing, 0);
    s->Listed.clear();
    s->MainPaused = false;
    ::SetEvent(s->MainEvent.Get());
    ::SetEvent(s->OthersEvent.Get());
}

bool ReleaseMainThread()
{
    TPauseState* s = State;
    if (!s)
        return false;
    const std::lock_guard lock(s->Lock);
    if (!s->Pausing || !s->MainPaused)
        return false;
    s->MainPaused = false;
    ::SetEvent(s->MainEvent.Get());
    return true;
}

void PauseMainThreadAgain()
{
    TPauseState* s = State;
    if (!s)
        return;
    {
        const std::lock_guard lock(s->Lock);
        if (!s->Pausing)
            return;
        s->MainPaused = true;
        ::ResetEvent(s->MainEvent.Get());
    }
    WakeMainThread();
}

void StopThreadPausing()
{
    ResumeThreads();
    if (TPauseState* s = State)
        if (s->Hooks)
            s->Hooks->Undo(); // the hooks' code stays: a thread may still be inside one
}

} // namespace crash
