#include "crash/core/pipeline/exception_report_win.h"

#include "base/seh_frame.h"
#include "base/utf.h"
#include "base/win_handle.h"
#include "crash/core/debug_info/module_debug_info.h"
#include "crash/core/intercept/base_exception.h"
#include "crash/core/intercept/os_exception_win.h"
#include "crash/core/pipeline/address_correction.h"
#include "crash/core/pipeline/class_filter.h"
#include "crash/core/pipeline/handlers_win.h"
#include "crash/core/pipeline/pipeline_services.h"
#include "crash/core/pipeline/process_end_win.h"
#include "crash/core/x86/process_code_memory.h"
#include "crash/settings/module_settings.h"

#include <algorithm>

namespace crash {
namespace {

// Waits for `handle` while this thread's windows keep answering.
void WaitProcessingMessages(HANDLE handle)
{
    MSG msg;
    while (::MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
}

struct TFilterDecisions
{
    bool NoBugReport, NoScreenShot, NoSuspend, NoHandlers;
    ShowSetting Show;
    std::u16string Assistant;
};

TFilterDecisions Column(ReportSettings& s, TFilterColumn column)
{
    switch (column) {
    case TFilterColumn::Filter1:
        return {s.GetFilter1NoBugReport(), s.GetFilter1NoScreenShot(), s.GetFilter1NoSuspend(),
                s.GetFilter1NoHandlers(),  s.GetFilter1ShowSetting(),  s.GetFilter1Assistant()};
    case TFilterColumn::Filter2:
        return {s.GetFilter2NoBugReport(), s.GetFilter2NoScreenShot(), s.GetFilter2NoSuspend(),
                s.GetFilter2NoHandlers(),  s.GetFilter2ShowSetting(),  s.GetFilter2Assistant()};
    case TFilterColumn::General:
        break;
    }
    return {s.GetGeneralNoBugReport(), s.GetGeneralNoScreenShot(), s.GetGeneralNoSuspend(),
            s.GetGeneralNoHandlers(),  s.GetGeneralShowSetting(),  s.GetGeneralAssistant()};
}

// The function's start as the debug information knows it, or 0.
uint32_t FunctionStart(uint32_t address)
{
    const std::optional<TModuleSymbols> symbols = ModuleSymbols(address);
    if (!symbols || !symbols->Map)
        return 0;
    const TMfPublic* p = symbols->Map->FindPublic(address);
    return p ? p->Address : 0;
}

} // namespace

std::vector<std::u16string> ExceptionClassChain(const std::exception_ptr* exception)
{
    std::vector<std::u16string> chain;
    if (exception && *exception)
        for (const std::string& name : CppClassChain(ThrownType(*exception)))
            chain.push_back(base::Utf8ToUtf16(name));
    return chain;
}

std::u16string ExceptionMessage(const std::exception_ptr* exception)
{
    if (!exception || !*exception)
        return {};
    if (const std::exception* e = CaughtAs<std::exception>(*exception))
        return base::Utf8ToUtf16(e->what());
    // An object without a message of its own is told by its class.
    const std::vector<std::u16string> chain = ExceptionClassChain(exception);
    return chain.empty() ? std::u16string() : chain.front();
}

ExceptionReport::ExceptionReport(const base::ComPtr<ReportSettings>& settings)
    : ReportSettings(settings->Module(), false), FModuleSettings(settings)
{
    CopyVersionVar(*settings);
    ::GetLocalTime(&FTime);
}

ExceptionReport::~ExceptionReport()
{
    for (const auto& fields : {FBugReportHeader, FBugReportSections})
        if (fields)
            fields->ClearParent();
    // A delivery stores its thread's handle through PSendThread: given back here at the end.
    const base::KernelHandle send(FSendThread);
}

HRESULT STDMETHODCALLTYPE ExceptionReport::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualGUID(iid, IID_IExceptionReport))
        *object = static_cast<IExceptionReport*>(this);
    else if (IsEqualGUID(iid, IID_IExceptionReportEx))
        *object = static_cast<IExceptionReportEx*>(this);
    else
        return ReportSettings::QueryInterface(iid, object);
    AddRef();
    return S_OK;
}

const SettingsProperty* ExceptionReport::FindProp(std::string_view name)
{
    if (const SettingsProperty* p = FSettingsBuf.Find(name))
        return p;
    return FModuleSettings->FindProp(name);
}

void ExceptionReport::ReportVariables(TTextVariables& values)
{
    values.KeepReportVariables();
    values.ExceptClass = GetExceptClass();
    values.ExceptMsg = GetExceptMessage();
    const std::lock_guard lock(FSection);
    if (!FBugReport.empty())
        values.BugReport = FBugReport;
}

std::u16string ExceptionReport::GetShowAssis()
{
    const std::lock_guard lock(FSection);
    return FShowAssis;
}

void ExceptionReport::SetShowAssis(const std::u16string& value)
{
    const std::lock_guard lock(FSection);
    FShowAssis = value;
}

std::u16string ExceptionReport::GetExceptClass()
{
    {
        const std::lock_guard lock(FSection);
        if (FExceptClassSet)
            return FExceptClass;
    }
    if (FExceptType == etFrozen)
        return u"EFrozen"; // what the dialog and the mail subjects call a freeze
    // Worked out without the lock: reading the object's type information may fault.
    const std::vector<std::u16string> chain = ExceptionClassChain(GetExceptObject());
    return chain.empty() ? std::u16string() : chain.front();
}

void ExceptionReport::SetExceptClass(const std::u16string& value)
{
    const std::lock_guard lock(FSection);
    FExceptClass = value;
    FExceptClassSet = true;
}

std::u16string ExceptionReport::GetExceptMessage()
{
    {
        const std::lock_guard lock(FSection);
        if (FExceptMessageSet)
            return FExceptMessage;
    }
    return ExceptionMessage(GetExceptObject());
}

void ExceptionReport::SetExceptMessage(const std::u16string& value)
{
    const std::lock_guard lock(FSection);
    FExceptMessage = value;
    FExceptMessageSet = true;
}

std::shared_ptr<void> ExceptionReport::AssemblyState(std::shared_ptr<void> (*make)())
{
    const std::lock_guard lock(FSection);
    if (!FAssemblyState)
        FAssemblyState = make();
    return FAssemblyState;
}

TStackTrace ExceptionReport::GetCallstack(int index)
{
    const std::lock_guard lock(FSection);
    return index >= 0 && index < static_cast<int>(FThreadStacks.size()) ? FThreadStacks[index].Callstack
                                                                        : TStackTrace();
}

uint32_t ExceptionReport::GetCallstackCrc(int index)
{
    const std::lock_guard lock(FSection);
    return index >= 0 && index < 3 ? FCallstackCrc[index] : 0;
}

DWORD ExceptionReport::GetThreadId(int index)
{
    const std::lock_guard lock(FSection);
    return index >= 0 && index < static_cast<int>(FThreadStacks.size()) ? FThreadStacks[index].ThreadId : 0;
}

void ExceptionReport::SetThreadStacks(std::vector<DWORD> threads)
{
    const std::lock_guard lock(FSection);
    FThreadStacks.clear();
    for (const DWORD t : threads)
        FThreadStacks.push_back({t, {}});
}

void ExceptionReport::SetCallstack(int index, TStackTrace trace)
{
    const std::lock_guard lock(FSection);
    if (index >= 0 && index < static_cast<int>(FThreadStacks.size()))
        FThreadStacks[index].Callstack = std::move(trace);
}

void ExceptionReport::SetCallstackCrc(const uint32_t (&crc)[3])
{
    const std::lock_guard lock(FSection);
    std::copy(crc, crc + 3, FCallstackCrc);
}

void ExceptionReport::SetInner(std::vector<TInnerException> inner)
{
    const std::lock_guard lock(FSection);
    FInner = std::move(inner);
}

base::ComPtr<IReportFields> ExceptionReport::Fields(base::ComPtr<ReportFields>& fields)
{
    const std::lock_guard lock(FSection);
    if (!fields) {
        fields = base::MakeCom<ReportFields>();
        // A change only counts here (the fields call this with their lock held): the text is
        // made anew. The report's assembly tells the callbacks after each section it fills.
        fields->OnChange = [this] { ++FChanges; };
        fields->AcceptData();
    }
    return fields;
}

base::ComPtr<IReportFields> ExceptionReport::GetBugReportHeader()
{
    Build();
    return HeaderFields();
}

base::ComPtr<IReportFields> ExceptionReport::GetBugReportSections()
{
    Build();
    return SectionFields();
}

base::ComPtr<IReportFields> ExceptionReport::HeaderFields()
{
    return Fields(FBugReportHeader);
}

base::ComPtr<IReportFields> ExceptionReport::SectionFields()
{
    return Fields(FBugReportSections);
}

void ExceptionReport::Build()
{
    if (FCreateBugReport && !FBuildAsked.exchange(true))
        GetBugReport(false);
}

std::u16string ExceptionReport::GetBugReport(bool mustBeComplete)
{
    const TPipelineServices& services = PipelineServices();
    const uint64_t changes = FChanges;
    std::u16string text;
    bool cached;
    {
        // The text made last, when nothing changed since and it is as complete as asked for.
        const std::lock_guard lock(FSection);
        cached = !FBugReport.empty() && FCachedChanges == changes && (FComplete || !mustBeComplete);
        if (cached)
            text = FBugReport;
    }
    bool complete = mustBeComplete && !services.ReportText; // nothing to make
    if (!cached && services.ReportText)
        base::Guarded([&] { text = services.ReportText(*this, mustBeComplete, complete); });
    bool completed = false, notifying = false;
    {
        const std::lock_guard lock(FSection);
        // Kept only when nothing changed while it was made: an older text must not replace a
        // newer one that another thread made meanwhile.
        if (!cached && !text.empty() && FChanges == changes) {
            FBugReport = text;
            FCachedChanges = changes;
        }
        if (complete && !FComplete) {
            completed = FComplete = true;
            FNotifier = ::GetCurrentThreadId();
        }
        notifying = FComplete && FNotifier != ::GetCurrentThreadId();
        if (text.empty())
            text = FBugReport;
    }
    if (completed) {
        Notify(true, text);
        ::SetEvent(FNotified.Get());
    } else if (mustBeComplete && notifying) {
        WaitProcessingMessages(FNotified.Get());
    }
    return text;
}

void ExceptionReport::Changed()
{
    const std::u16string text = GetBugReport(false);
    bool complete;
    {
        const std::lock_guard lock(FSection);
        complete = FComplete;
    }
    Notify(complete, text);
}

void ExceptionReport::BeginUpdate()
{
    const std::lock_guard lock(FSection);
    if (FUpdating++ == 0)
        FChangesAtUpdate = FChanges;
}

void ExceptionReport::EndUpdate()
{
    bool changed;
    {
        const std::lock_guard lock(FSection);
        if (FUpdating == 0 || --FUpdating > 0)
            return;
        changed = FChanges != FChangesAtUpdate;
    }
    if (changed)
        Changed();
}

void ExceptionReport::Notify(bool complete, const std::u16string& text)
{
    std::vector<TCallback> callbacks;
    {
        const std::lock_guard lock(FSection);
        callbacks = FBugReportCallbacks;
    }
    // The plain callbacks first, then the method ones.
    for (const bool plain : {true, false})
        for (const TCallback& c : callbacks)
            base::Guarded([&] {
                if (plain && c.Plain)
                    c.Plain(complete, text, this);
                else if (!plain && !c.Plain && c.Method.Method)
                    c.Method.Method(c.Method.Self, complete, text, this);
            });
}

void ExceptionReport::RegisterBugReportCallback(TBugReportCallback callback, bool critical)
{
    std::u16string text;
    bool complete;
    {
        const std::lock_guard lock(FSection);
        FBugReportCallbacks.push_back({callback, {}, critical});
        FMultiThreadedComplete = true;
        complete = FComplete;
        text = FBugReport;
    }
    // The callback hears of the report as it is now (a report that was completed already
    // sends its automatic actions this way).
    base::Guarded([&] { callback(complete, text, this); });
}

void ExceptionReport::UnregisterBugReportCallback(TBugReportCallback callback)
{
    const std::lock_guard lock(FSection);
    const auto found = std::find_if(FBugReportCallbacks.begin(), FBugReportCallbacks.end(),
                                    [&](const TCallback& c) { return c.Plain == callback; });
    if (found != FBugReportCallbacks.end())
        FBugReportCallbacks.erase(found);
}

void ExceptionReport::RegisterBugReportCallbackOO(TBugReportCallbackOO callback, bool critical)
{
    std::u16string text;
    bool complete;
    {
        const std::lock_guard lock(FSection);
        FBugReportCallbacks.push_back({nullptr, callback, critical});
        FMultiThreadedComplete = true;
        complete = FComplete;
        text = FBugReport;
    }
    base::Guarded([&] { callback.Method(callback.Self, complete, text, this); });
}

void ExceptionReport::UnregisterBugReportCallbackOO(TBugReportCallbackOO callback)
{
    const std::lock_guard lock(FSection);
    const auto found =
        std::find_if(FBugReportCallbacks.begin(), FBugReportCallbacks.end(), [&](const TCallback& c) {
            return !c.Plain && c.Method.Self == callback.Self && c.Method.Method == callback.Method;
        });
    if (found != FBugReportCallbacks.end())
        FBugReportCallbacks.erase(found);
}

bool ExceptionReport::CriticalBugReportCallbackExists()
{
    const std::lock_guard lock(FSection);
    return std::any_of(FBugReportCallbacks.begin(), FBugReportCallbacks.end(),
                       [](const TCallback& c) { return c.Critical; });
}

base::ComPtr<IVxBitmap> ExceptionReport::GetScreenShot()
{
    {
        const std::lock_guard lock(FSection);
        if (FScreenShot || !(FCreateScreenShot || FAppendScreenShot))
            return FScreenShot;
    }
    base::ComPtr<IVxBitmap> shot;
    if (const auto capture = PipelineServices().CaptureScreenShot)
        base::Guarded([&] { shot = capture(*this); });
    const std::lock_guard lock(FSection);
    if (!FScreenShot)
        FScreenShot = shot;
    return FScreenShot;
}

void ExceptionReport::SetScreenShot(const base::ComPtr<IVxBitmap>& value)
{
    const std::lock_guard lock(FSection);
    FScreenShot = value;
}

void ExceptionReport::FireHandlers(TExceptPhase phase, bool& handled)
{
    FPhase = phase;
    FireHandlerEvent(nullptr, heException, eaSendBugReport, handled, *this, phase);
}

void ExceptionReport::Show()
{
    const TPipelineServices& services = PipelineServices();
    ShowSetting show = FShowSetting;
    if (show == ssNothing)
        return;
    if (show == ssAssistant) {
        TAssistantRun run;
        if (services.RunAssistant)
            base::Guarded([&] { run = services.RunAssistant(*this, GetShowAssis(), nullptr); });
        if (run.Exists)
            return;
        show = ssFullBox; // no such assistant: the full box instead
    }
    if (services.ShowCrashDialog)
        base::Guarded([&] { services.ShowCrashDialog(*this, show); });
}

HWND ExceptionReport::DialogOr(HWND parent)
{
    if (parent)
        return parent;
    struct TFind
    {
        DWORD Process;
        HWND Found = nullptr;
    } find{::GetCurrentProcessId()};
    ::EnumWindows(
        [](HWND window, LPARAM p) WINAPI -> BOOL {
            auto* f = reinterpret_cast<TFind*>(p);
            wchar_t name[32];
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (owner == f->Process && ::GetClassNameW(window, name, 32) &&
                std::wstring(name) == CrashDialogClass)
                f->Found = window;
            return !f->Found;
        },
        reinterpret_cast<LPARAM>(&find));
    return find.Found;
}

bool ExceptionReport::FireAction(HWND parent, TExceptAction action)
{
    bool handled = false;
    FireHandlerEvent(parent, heAction, action, handled, *this);
    return handled;
}

void ExceptionReport::ShowBugReport(HWND parent)
{
    if (const HWND dialog = DialogOr(parent))
        ::PostMessageW(dialog, ShowDetailsMessage, 0, 0);
}

bool ExceptionReport::SendBugReport(HWND parent)
{
    parent = DialogOr(parent);
    if (FireAction(parent, eaSendBugReport))
        return false;
    if (FAppendScreenShot)
        GetScreenShot();
    bool sent = false;
    if (const auto send = PipelineServices().SendBugReport)
        base::Guarded([&] { sent = send(*this, parent, GetSendInBackground(), false); });
    FireAction(parent, eaSendBugReport3);
    ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
    return sent;
}

bool ExceptionReport::SaveBugReport(HWND parent)
{
    parent = DialogOr(parent);
    if (FireAction(parent, eaSaveBugReport))
        return false;
    bool saved = false;
    if (const auto save = PipelineServices().SaveBugReport)
        base::Guarded([&] { saved = save(*this, parent, false); });
    FireAction(parent, eaSaveBugReport3);
    ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
    return saved;
}

bool ExceptionReport::PrintBugReport(HWND parent)
{
    parent = DialogOr(parent);
    if (FireAction(parent, eaPrintBugReport))
        return false;
    bool printed = false;
    if (const auto print = PipelineServices().PrintBugReport)
        base::Guarded([&] { printed = print(*this, parent); });
    FireAction(parent, eaPrintBugReport3);
    ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
    return printed;
}

void ExceptionReport::ContinueApplication(HWND parent)
{
    parent = DialogOr(parent);
    FireAction(parent, eaContinueApplication);
    if (parent)
        ::SendMessageW(parent, CloseDialogMessage, 0, 0);
}

void ExceptionReport::RestartApplication(HWND parent)
{
    parent = DialogOr(parent);
    if (FireAction(parent, eaRestartApplication))
        return;
    if (parent)
        ::SendMessageW(parent, CloseDialogMessage, 0, 0);
    FinalAutoSave(true);
    RestartProcess();
}

void ExceptionReport::CloseApplication(HWND parent)
{
    parent = DialogOr(parent);
    if (FireAction(parent, eaCloseApplication))
        return;
    if (parent)
        ::SendMessageW(parent, CloseDialogMessage, 0, 0);
    FinalAutoSave(true);
    TerminateAfterReport(*this);
}

void ExceptionReport::FinalAutoSave(bool wait)
{
    if (CriticalBugReportCallbackExists() || (FCallHandlers && ExceptionHandlersExist(epCompleteReport)))
        GetBugReport(true);
    if (GetAutoSave() && !(GetAutoSaveIfNotSent() && FMailWasSent) && FirstAutoSave() &&
        !FireAction(nullptr, eaSaveBugReport)) {
        if (const auto save = PipelineServices().SaveBugReport)
            base::Guarded([&] { save(*this, nullptr, true); });
        FireAction(nullptr, eaSaveBugReport3);
    }
    // A running background send is waited for; this thread's windows keep answering (the
    // send may ask them).
    const base::KernelHandle send(wait ? ::InterlockedExchangePointer(&FSendThread, nullptr) : nullptr);
    if (send)
        WaitProcessingMessages(send.Get());
}

base::ComPtr<ExceptionReport> CreateExceptionReport(TReportRequest request)
{
    // The settings of the module the exception belongs to.
    base::ComPtr<ReportSettings> settings = request.Settings;
    if (!settings)
        settings =
            CallerModuleSettings(reinterpret_cast<const void*>(static_cast<uintptr_t>(request.Address)));
    auto report = base::ComPtr<ExceptionReport>::Adopt(new ExceptionReport(settings));
    ExceptionReport& r = *report;

    // An OS exception that came without an object gets one, for its class and message.
    if (!request.Exception && !request.RuntimeObject && request.Record)
        r.FExceptObject = OsExceptionObject(*request.Record);
    else if (request.Exception)
        r.FExceptObject = *request.Exception;
    r.FRuntimeObject = request.RuntimeObject;
    // The address, corrected where the function around it tells better (an abort's stays).
    r.FExceptAddr = request.Address;
    if (request.Address && !(request.Exception && CaughtAs<EAbort>(*request.Exception)))
        base::Guarded([&] {
            if (const uint32_t start = FunctionStart(request.Address)) {
                TProcessCodeMemory memory;
                r.FExceptAddr = CorrectedExceptAddress(memory, start, request.Address);
            }
        });
    r.FExceptType = request.Type;
    if (request.Record)
        r.FExceptionRecord = *request.Record;
    r.FDontCompleteYet = request.DontCompleteYet;
    r.FPreparedStack = std::move(request.PreparedStack);
    r.FPackage = request.Package;
    r.FRelatedObject = request.RelatedObject;
    r.FSource = request.Source;
    if (request.Context) {
        r.FContext = *request.Context;
        r.FPContext = true;
    }
    const auto* own = static_cast<const uint32_t*>(__builtin_frame_address(0));
    r.FCurrentEbp = request.Ebp ? request.Ebp : own[0];
    r.FCurrentEsp = request.Esp ? request.Esp : static_cast<uint32_t>(reinterpret_cast<uintptr_t>(own + 2));
    r.FCrashedThreadId = request.ThreadId ? request.ThreadId : ::GetCurrentThreadId();
    r.FCanContinue = r.FCanContinue2 = request.CanContinue;
    const std::u16string title = r.GetPleaseWaitTitle();
    r.FProgressAlert = CreateProgressAlert(std::wstring(title.begin(), title.end()), nullptr, L"");
    if (request.Source == esISAPI)
        r.SetShowPleaseWaitBox(false);

    // The class filter: the first filter whose class list names the class or an ancestor.
    const TFilterColumn column = ChooseFilterColumn(ExceptionClassChain(r.GetExceptObject()),
                                                    r.GetFilter1Classes(), r.GetFilter2Classes());
    const TFilterDecisions d = Column(r, column);
    r.FCreateBugReport = !d.NoBugReport;
    r.FCreateScreenShot = !d.NoScreenShot && r.GetScreenShotDepth() > 0;
    r.SetSuspendThreads(!d.NoSuspend && r.GetSuspendThreads());
    r.FCallHandlers = !d.NoHandlers;
    r.FShowSetting = d.Show;
    r.FShowAssis = d.Assistant;
    r.FAppendScreenShot = r.FCreateScreenShot;
    if (request.DontCompleteYet)
        r.Build(); // now, completed when asked for
    return report;
}

} // namespace crash
