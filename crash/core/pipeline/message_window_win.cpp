#include "crash/core/pipeline/message_window_win.h"

#include "base/hex.h"
#include "base/srw_lock.h"
#include "base/utf.h"
#include "base/win_handle.h"
#include "base/window_class.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace crash {
namespace {

struct THandler
{
    TMessageHandler Handler;
    void* Data;
};

struct TThreadWindow
{
    DWORD ThreadId = 0;
    base::Window Window;
    std::map<UINT, THandler> Handlers;
};

// The windows of every thread, guarded by a process-local lock; an entry lives as long as
// its window (the window's user data points at it).
base::SrwLock Lock;
std::vector<std::unique_ptr<TThreadWindow>>* Windows = nullptr;

TThreadWindow* Find(DWORD thread)
{
    if (Windows)
        for (const auto& w : *Windows)
            if (w->ThreadId == thread)
                return w.get();
    return nullptr;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    THandler handler{};
    {
        const std::lock_guard lock(Lock);
        if (const TThreadWindow* w = Find(::GetCurrentThreadId()); w && w->Window.Get() == window) {
            const auto found = w->Handlers.find(message);
            if (found != w->Handlers.end())
                handler = found->second;
        }
    }
    return handler.Handler ? handler.Handler(handler.Data, wParam, lParam)
                           : ::DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

UINT AttachMessageHandler(UINT message, TMessageHandler handler, void* data)
{
    const DWORD me = ::GetCurrentThreadId();
    // The window is made outside the lock: its routine takes the lock for the messages that
    // creating and naming it send.
    if (!MessageWindowOf(me)) {
        // A class of this module's own (another module with the reporter has its routine).
        static const std::wstring className =
            L"QuorvelMsgHandlerWindow" + std::to_wstring(reinterpret_cast<uintptr_t>(&WindowProc));
        base::Window made = base::CreateMessageWindow(className.c_str(), &WindowProc);
        if (!made)
            return 0;
        const std::string name = "QuorvelMsgHandlerWindow" + base::HexText(me) +
                                 base::HexText(reinterpret_cast<uintptr_t>(&WindowProc));
        ::SetWindowTextW(made.Get(), reinterpret_cast<const wchar_t*>(base::Utf8ToUtf16(name).c_str()));
        const std::lock_guard lock(Lock);
        TThreadWindow* w = Find(me);
        if (!w) {
            if (!Windows)
                Windows = new std::vector<std::unique_ptr<TThreadWindow>>; // lives as long as the process
            Windows->push_back(std::make_unique<TThreadWindow>());
            w = Windows->back().get();
            w->ThreadId = me;
        }
        w->Window.Release(); // a window of an earlier thread with this id is gone with it
        w->Window = std::move(made);
        w->Handlers.clear();
    }
    const std::lock_guard lock(Lock);
    TThreadWindow* w = Find(me);
    if (message == 0)
        for (message = WM_USER; w->Handlers.count(message); ++message) {
        }
    w->Handlers[message] = {handler, data};
    return message;
}

void DetachMessageHandler(DWORD threadId, UINT message)
{
    const std::lock_guard lock(Lock);
    if (TThreadWindow* w = Find(threadId))
        w->Handlers.erase(message);
}

HWND MessageWindowOf(DWORD threadId)
{
    const std::lock_guard lock(Lock);
    const TThreadWindow* w = Find(threadId);
    return w && ::IsWindow(w->Window.Get()) ? w->Window.Get() : nullptr;
}

void DestroyMessageWindow()
{
    base::Window gone;
    const std::lock_guard lock(Lock);
    if (TThreadWindow* w = Find(::GetCurrentThreadId())) {
        gone = std::move(w->Window);
        w->Handlers.clear();
    }
}

} // namespace crash
