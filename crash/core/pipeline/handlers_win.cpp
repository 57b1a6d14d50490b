#include "crash/core/pipeline/handlers_win.h"

#include "base/com_object.h"
#include "base/seh_frame.h"
#include "base/srw_lock.h"
#include "crash/core/intercept/dispatch_win.h"
#include "crash/core/intercept/raise_state_win.h"
#include "crash/core/pipeline/message_window_win.h"
#include "crash/core/pipeline/pipeline_services.h"
#include "crash/core/pipeline/thread_pause_win.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace crash {
namespace {

template <class F> struct TEntry
{
    F Handler;
    TSyncType Sync = stDontSync;
    TExceptPhase Phase = epNotHandledYet;
};

// The lists of one event: method handlers, then plain handlers.
template <class Plain, class Method> struct TPair
{
    std::vector<TEntry<Method>> Methods;
    std::vector<TEntry<Plain>> Plains;
};

struct TLists
{
    TPair<TExceptEvent, TExceptEventOO> Exception, Hidden;
    TPair<TExceptActionEvent, TExceptActionEventOO> Action;
};

base::SrwLock Lock;
TLists* Lists = nullptr; // lives as long as the process once something is registered

bool Same(TExceptEvent a, TExceptEvent b)
{
    return a == b;
}
bool Same(TExceptActionEvent a, TExceptActionEvent b)
{
    return a == b;
}
bool Same(const TExceptEventOO& a, const TExceptEventOO& b)
{
    return a.Self == b.Self && a.Method == b.Method;
}
bool Same(const TExceptActionEventOO& a, const TExceptActionEventOO& b)
{
    return a.Self == b.Self && a.Method == b.Method;
}

TLists& ListsLocked()
{
    if (!Lists)
        Lists = new TLists;
    return *Lists;
}

template <class F> void Append(std::vector<TEntry<F>>& list, F handler, TSyncType sync, TExceptPhase phase)
{
    list.push_back({handler, sync, phase});
}

template <class F> void RemoveFirst(std::vector<TEntry<F>>& list, F handler)
{
    const auto found =
        std::find_if(list.begin(), list.end(), [&](const TEntry<F>& e) { return Same(e.Handler, handler); });
    if (found != list.end())
        list.erase(found);
}

void UpdateHiddenReporting()
{
    SetHiddenExceptionsReported(Lists && (!Lists->Hidden.Methods.empty() || !Lists->Hidden.Plains.empty()));
}

// One firing: what the handlers see and leave.
struct TFiring
{
    THandlerEvent Event = heException;
    TExceptAction Action = eaSendBugReport;
    IExceptionReport* Report = nullptr;
    TExceptPhase Phase = epNotHandledYet;
    bool Handled = false;
    bool CallSync = false;
    bool SyncFailed = false;
    bool Ran = false;
    TLists Copy; // the lists as they were when the firing began
};

void Call(TFiring& f, const TExceptEvent& h)
{
    h(f.Report, f.Handled);
}
void Call(TFiring& f, const TExceptEventOO& h)
{
    h.Method(h.Self, f.Report, f.Handled);
}
void Call(TFiring& f, const TExceptActionEvent& h)
{
    h(f.Action, f.Report, f.Handled);
}
void Call(TFiring& f, const TExceptActionEventOO& h)
{
    h.Method(h.Self, f.Action, f.Report, f.Handled);
}

// Whether the run stops at the first handler that handles the event.
bool StopsWhenHandled(const TFiring& f)
{
    return f.Event == heAction ||
           (f.Event == heException && (f.Phase == epQuickFiltering || f.Phase == epMainPhase));
}

// An entry runs when its wish for the main thread matches where the run is; after a failed
// synchronized call, the entries that want to run in any case run here.
template <class F> bool Qualifies(const TFiring& f, const TEntry<F>& e)
{
    if (f.Event == heException && e.Phase != f.Phase)
        return false;
    return f.SyncFailed ? e.Sync == stTrySyncCallAlways : (e.Sync != stDontSync) == f.CallSync;
}

// Runs the qualifying entries of one list; false when the run stopped.
template <class F> bool RunList(TFiring& f, const std::vector<TEntry<F>>& list)
{
    for (const TEntry<F>& e : list) {
        if (!Qualifies(f, e))
            continue;
        if (StopsWhenHandled(f) && f.Handled)
            return false;
        f.Ran = true;
        base::Guarded([&] { Call(f, e.Handler); });
    }
    return !(StopsWhenHandled(f) && f.Handled);
}

template <class P, class M> void RunPair(TFiring& f, const TPair<P, M>& pair)
{
    if (RunList(f, pair.Methods))
        RunList(f, pair.Plains);
    // Phases that come too late to suppress anything, and the hidden handlers there.
    if ((f.Event == heException || f.Event == heHidden) &&
        (f.Phase == epPostProcessing || f.Phase == epCompleteReport))
        f.Handled = false;
}

void Run(TFiring& f)
{
    switch (f.Event) {
    case heException:
        RunPair(f, f.Copy.Exception);
        break;
    case heAction:
        RunPair(f, f.Copy.Action);
        break;
    case heHidden:
        RunPair(f, f.Copy.Hidden);
        break;
    }
}

template <class P, class M> bool WantsMain(const TFiring& f, const TPair<P, M>& pair)
{
    const auto wants = [&](const auto& e) {
        return (f.Event != heException || e.Phase == f.Phase) && e.Sync != stDontSync;
    };
    return std::any_of(pair.Methods.begin(), pair.Methods.end(), wants) ||
           std::any_of(pair.Plains.begin(), pair.Plains.end(), wants);
}

// Whether a handler of the event (of an exception event: of its phase) wants the main thread.
bool SyncHandlerExists(const TFiring& f)
{
    return f.Event == heException ? WantsMain(f, f.Copy.Exception)
           : f.Event == heAction  ? WantsMain(f, f.Copy.Action)
                                  : WantsMain(f, f.Copy.Hidden);
}

// The synchronized calls: the message the main thread's window answers.
constexpr LRESULT Answer = 777;
constexpr DWORD ProbeMs = 1500;
volatile UINT SyncMessage = 0;

LRESULT RunOnMain(void*, WPARAM probe, LPARAM firing)
{
    if (probe)
        return Answer;
    auto* f = reinterpret_cast<TFiring*>(firing);
    SetHandlersRunningOnMain(true);
    f->CallSync = true;
    Run(*f);
    f->CallSync = false;
    SetHandlersRunningOnMain(false);
    return Answer;
}

// Runs the handlers that want the main thread there; false when it could not be reached.
bool RunSynchronized(TFiring& f)
{
    const HWND window = MessageWindowOf(MainThreadId());
    if (!SyncMessage || !window || f.Report->GetExceptType() == etFrozen)
        return false;
    const bool released = ReleaseMainThread();
    DWORD_PTR result = 0;
    const bool done = ::SendMessageTimeoutW(window, SyncMessage, 1, 0, SMTO_NORMAL, ProbeMs, &result) &&
                      result == Answer &&
                      ::SendMessageTimeoutW(window, SyncMessage, 0, reinterpret_cast<LPARAM>(&f), SMTO_NORMAL,
                                            0x7FFFFFFE, &result) &&
                      result == Answer;
    if (released)
        PauseMainThreadAgain();
    return done;
}

bool ListsEmpty(const TFiring& f)
{
    const auto empty = [](const auto& pair) { return pair.Methods.empty() && pair.Plains.empty(); };
    return f.Event == heException ? empty(f.Copy.Exception)
           : f.Event == heAction  ? empty(f.Copy.Action)
                                  : empty(f.Copy.Hidden);
}

bool CriticalCallbackExists(IExceptionReport& report)
{
    const base::ComPtr<IExceptionReportEx> ex = base::Query<IExceptionReportEx>(&report);
    return ex && ex->CriticalBugReportCallbackExists();
}

// The assistant of a user's action; true when the user cancelled it.
bool CancelledInAssistant(HWND parent, TExceptAction action, IExceptionReport& report)
{
    const std::u16string name = action == eaSendBugReport   ? report.GetSendAssistant()
                                : action == eaSaveBugReport ? report.GetSaveAssistant()
                                                            : report.GetPrintAssistant();
    const TPipelineServices& services = PipelineServices();
    if (name.empty() || !services.RunAssistant)
        return false;
    // A top-most parent would hide the assistant: not top-most meanwhile.
    const bool topmost = ::GetWindowLongW(parent, GWL_EXSTYLE) & WS_EX_TOPMOST;
    if (topmost)
        ::SetWindowPos(parent, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    TAssistantRun run;
    base::Guarded([&] { run = services.RunAssistant(report, name, parent); });
    if (topmost)
        ::SetWindowPos(parent, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return run.Exists && !run.Ok;
}

} // namespace

void RegisterExceptionHandler(TExceptEvent handler, TSyncType sync, TExceptPhase phase)
{
    const std::lock_guard lock(Lock);
    Append(ListsLocked().Exception.Plains, handler, sync, phase);
}
void RegisterExceptionHandler(TExceptEventOO handler, TSyncType sync, TExceptPhase phase)
{
    const std::lock_guard lock(Lock);
    Append(ListsLocked().Exception.Methods, handler, sync, phase);
}
void UnregisterExceptionHandler(TExceptEvent handler)
{
    const std::lock_guard lock(Lock);
    RemoveFirst(ListsLocked().Exception.Plains, handler);
}
void UnregisterExceptionHandler(TExceptEventOO handler)
{
    const std::lock_guard lock(Lock);
    RemoveFirst(ListsLocked().Exception.Methods, handler);
}
void RegisterActionHandler(TExceptActionEvent handler, TSyncType sync)
{
    const std::lock_guard lock(Lock);
    Append(ListsLocked().Action.Plains, handler, sync, epNotHandledYet);
}
void RegisterActionHandler(TExceptActionEventOO handler, TSyncType sync)
{
    const std::lock_guard lock(Lock);
    Append(ListsLocked().Action.Methods, handler, sync, epNotHandledYet);
}
void UnregisterActionHandler(TExceptActionEvent handler)
{
    const std::lock_guard lock(Lock);
    RemoveFirst(ListsLocked().Action.Plains, handler);
}
void UnregisterActionHandler(TExceptActionEventOO handler)
{
    const std::lock_guard lock(Lock);
    RemoveFirst(ListsLocked().Action.Methods, handler);
}
void RegisterHiddenExceptionHandler(TExceptEvent handler, TSyncType sync)
{
    const std::lock_guard lock(Lock);
    Append(ListsLocked().Hidden.Plains, handler, sync, epNotHandledYet);
    UpdateHiddenReporting();
}
void RegisterHiddenExceptionHandler(TExceptEventOO handler, TSyncType sync)
{
    const std::lock_guard lock(Lock);
    Append(ListsLocked().Hidden.Methods, handler, sync, epNotHandledYet);
    UpdateHiddenReporting();
}
void UnregisterHiddenExceptionHandler(TExceptEvent handler)
{
    const std::lock_guard lock(Lock);
    RemoveFirst(ListsLocked().Hidden.Plains, handler);
    UpdateHiddenReporting();
}
void UnregisterHiddenExceptionHandler(TExceptEventOO handler)
{
    const std::lock_guard lock(Lock);
    RemoveFirst(ListsLocked().Hidden.Methods, handler);
    UpdateHiddenReporting();
}

bool ExceptionHandlersExist(TExceptPhase phase)
{
    const std::lock_guard lock(Lock);
    if (!Lists)
        return false;
    const auto inPhase = [&](const auto& e) { return e.Phase == phase; };
    return std::any_of(Lists->Exception.Methods.begin(), Lists->Exception.Methods.end(), inPhase) ||
           std::any_of(Lists->Exception.Plains.begin(), Lists->Exception.Plains.end(), inPhase);
}

void FireHandlerEvent(HWND parent, THandlerEvent event, TExceptAction action, bool& handled,
                      IExceptionReport& report, std::optional<TExceptPhase> phase)
{
    TFiring f;
    f.Event = event;
    f.Action = action;
    f.Report = &report;
    f.Phase = phase ? *phase : report.GetPhase();
    f.Handled = handled;
    // Copied outside the guarded part: a fault there must not leave the lock held.
    try {
        const std::lock_guard lock(Lock);
        if (Lists)
            f.Copy = *Lists;
    } catch (...) { // no memory: no handlers this time
    }
    base::Guarded([&] {
        if (report.GetCallHandlers() && !ListsEmpty(f)) {
            if (event == heAction && (action == eaRestartApplication || action == eaCloseApplication) &&
                (CriticalCallbackExists(report) || ExceptionHandlersExist(epCompleteReport)))
                report.GetBugReport(true);
            Run(f);
            if ((!f.Handled || !f.Ran) && SyncHandlerExists(f) && !RunSynchronized(f)) {
                f.SyncFailed = true;
                Run(f);
            }
        }
    });
    handled = f.Handled;
    if (event != heAction || !parent || handled || action > eaPrintBugReport)
        return;
    handled = CancelledInAssistant(parent, action, report);
    if (!handled)
        FireHandlerEvent(parent, heAction, static_cast<TExceptAction>(action + 3), handled, report);
}

void StartHandlerSynchronization()
{
    SyncMessage = AttachMessageHandler(0, &RunOnMain, nullptr);
}

void StopHandlerSynchronization()
{
    SyncMessage = 0;
    DestroyMessageWindow();
}

} // namespace crash
