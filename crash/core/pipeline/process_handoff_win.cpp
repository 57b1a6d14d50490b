#include "crash/core/pipeline/process_handoff_win.h"

#include "base/com_object.h"
#include "base/seh_frame.h"
#include "base/utf.h"
#include "base/win_handle.h"
#include "crash/core/intercept/dispatch_win.h"
#include "crash/core/intercept/raise_state_win.h"
#include "crash/core/pipeline/exception_report_win.h"
#include "crash/core/pipeline/handlers_win.h"
#include "crash/core/pipeline/pipeline_services.h"
#include "crash/core/pipeline/process_end_win.h"
#include "crash/core/pipeline/thread_pause_win.h"
#include "crash/settings/module_settings.h"

#include <cstring>
#include <string>

namespace crash {
namespace {

template <class T> T* Pointer(uint32_t value)
{
    return reinterpret_cast<T*>(static_cast<uintptr_t>(value));
}

// The inner exceptions of the record's chain, newest first.
std::vector<TInnerException> InnerList(const TInnerException* chain)
{
    std::vector<TInnerException> list;
    for (int depth = 0; chain && depth < 16; ++depth, chain = chain->Inner.get()) {
        TInnerException e;
        e.ExceptClass = chain->ExceptClass;
        e.ExceptMessage = chain->ExceptMessage;
        e.ExtException = chain->ExtException;
        e.BcbTermination = chain->BcbTermination;
        e.ExceptAddr = chain->ExceptAddr;
        std::memcpy(e.Context, chain->Context, sizeof e.Context);
        list.push_back(std::move(e));
    }
    return list;
}

TReportRequest RequestOf(const THandoffRecord& r)
{
    TReportRequest q;
    q.Type = static_cast<TExceptType>(r.ExceptType & 0xFF);
    if (r.ExceptType & RuntimeObjectFlag)
        q.RuntimeObject = Pointer<const void>(r.ExceptObject);
    else
        q.Exception = Pointer<const std::exception_ptr>(r.ExceptObject);
    q.Address = r.ExceptAddress;
    const auto* record = reinterpret_cast<const EXCEPTION_RECORD*>(r.ExceptionRecord);
    if (record->ExceptionCode)
        q.Record = record;
    if (r.PreparedStack && r.PreparedStackLength)
        q.PreparedStack.assign(Pointer<const uint8_t>(r.PreparedStack),
                               Pointer<const uint8_t>(r.PreparedStack) + r.PreparedStackLength);
    q.Package = Pointer<HINSTANCE__>(r.Package);
    q.RelatedObject = Pointer<const void>(r.RelatedObject);
    q.Source = static_cast<TExceptSource>(r.Source);
    q.Context = Pointer<const CONTEXT>(r.Context);
    q.Ebp = r.Ebp;
    q.Esp = r.Esp;
    q.ThreadId = r.ThreadId;
    q.CanContinue = r.CanContinue & 0xFF;
    return q;
}

bool ConsoleProgram()
{
    auto* base = reinterpret_cast<const uint8_t*>(::GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    return nt->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_CUI;
}

bool CgiProgram()
{
    return ::GetEnvironmentVariableW(L"GATEWAY_INTERFACE", nullptr, 0) > 0;
}

void WriteOut(const std::u16string& text)
{
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0, written = 0;
    if (::GetConsoleMode(out, &mode)) {
        ::WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const std::string bytes = base::Utf16ToUtf8(text);
    ::WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// A console program and a CGI program write the report where their user reads.
void ConsoleOutput(ExceptionReport& report)
{
    const TPipelineServices& services = PipelineServices();
    if (CgiProgram()) {
        std::u16string page;
        if (services.HtmlPage)
            page = services.HtmlPage(report);
        WriteOut(u"Content-Type: text/html\r\n\r\n" + page);
        return;
    }
    WriteOut((report.GetExceptType() == etFrozen ? report.ExpandTextVariables(report.GetFrozenMsg())
                                                 : report.GetExceptMsg()) +
             u"\r\n");
    if (report.GetAutoShowBugReport() || report.GetShowBtnVisible()) {
        report.SetShowPleaseWaitBox(false);
        WriteOut(u"\r\n" + report.GetBugReport(true) + u"\r\n");
    }
}

// What runs whenever the report changes while automatic actions are on: once it is
// complete, the automatic send and the clipboard.
void AutomaticActions(bool complete, const std::u16string& text, IExceptionReport* exc)
{
    const base::ComPtr<IExceptionReportEx> ex = complete ? base::Query<IExceptionReportEx>(exc) : nullptr;
    if (!ex || !ex->FirstCompleteCallback())
        return;
    const TPipelineServices& services = PipelineServices();
    if (exc->GetAutoSend() && !text.empty()) {
        bool handled = false;
        FireHandlerEvent(nullptr, heAction, eaSendBugReport, handled, *exc);
        if (!handled) {
            if (exc->GetAppendScreenShot())
                exc->GetScreenShot();
            // A previous send's handle is let go of; the new send stores its own.
            base::KernelHandle(::InterlockedExchangePointer(ex->PSendThread(), nullptr)).Reset();
            if (services.SendBugReport)
                services.SendBugReport(*exc, nullptr, true, true);
            handled = false;
            FireHandlerEvent(nullptr, heAction, eaSendBugReport3, handled, *exc);
        }
    }
    if (exc->GetAutoClipboard()) {
        if (services.CopyToClipboard)
            services.CopyToClipboard(text);
    } else {
        exc->UnregisterBugReportCallback(&AutomaticActions);
    }
}

void FireAction(TExceptAction action, IExceptionReport& report)
{
    bool handled = false;
    FireHandlerEvent(nullptr, heAction, action, handled, report);
}

// Steps 6 to 8: the report, the handlers of the main phase and after, and what then.
void MainPhase(ExceptionReport& report, const THandoffRecord& record, bool& handled)
{
    if (!handled) {
        if (report.GetCreateScreenShot())
            report.GetScreenShot();
        if (report.GetCreateBugReport())
            report.GetBugReport(false);
        report.FireHandlers(epMainPhase, handled);
    }
    report.SetPhase(epPostProcessing);
    if (!handled)
        report.FireHandlers(epPostProcessing, handled);
    const bool canContinue = report.GetCanContinue();
    if (handled && canContinue)
        return;
    auto* target = Pointer<std::string>(record.BugReportTarget);
    const bool console = !target && ConsoleProgram();
    if (!handled) {
        if (report.GetAutoSave() || report.GetAutoSend() || report.GetAutoClipboard())
            report.RegisterBugReportCallback(&AutomaticActions, true);
        if (target) {
            if (report.GetShowSetting() != ssNothing)
                *target = base::Utf16ToUtf8(report.GetBugReport(true));
        } else if (console) {
            if (report.GetShowSetting() != ssNothing)
                ConsoleOutput(report);
        } else {
            report.Show();
        }
    }
    if (!canContinue || report.GetShowSetting() == ssNothing || target || console) {
        const bool close = RecentExceptionsSay(report.GetAutoClose());
        const bool restart = RecentExceptionsSay(report.GetAutoRestart());
        if (close || (!canContinue && !restart)) {
            FireAction(eaCloseApplication, report);
            report.FinalAutoSave(true);
            TerminateAfterReport(report);
        } else if (restart) {
            FireAction(eaRestartApplication, report);
            report.FinalAutoSave(true);
            RestartProcess();
        }
        FireAction(eaContinueApplication, report);
    }
    if (!handled)
        report.FinalAutoSave(false);
}

volatile LONG Running = 0; // pipelines running now

bool ReporterInMainExecutable()
{
    return ReporterModule() == ::GetModuleHandleW(nullptr);
}

} // namespace

void ProcessHandoff(const THandoffRecord& record)
{
    const TPipelineServices& services = PipelineServices();
    if (services.ClearTempFolder)
        base::Guarded([&] { services.ClearTempFolder(); });
    TReportRequest request = RequestOf(record);
    const TInnerException* chain = Pointer<const TInnerException>(record.Inner);
    base::ComPtr<ExceptionReport> report = CreateExceptionReport(std::move(request));
    if (record.BugReportTarget) // a web server's extension: no window of ours on its desktop
        report->SetShowPleaseWaitBox(false);
    report->SetPhase(epQuickFiltering);
    report->SetInner(InnerList(chain));

    bool handled = false;
    if (report->GetExceptType() == etHidden) {
        handled = true;
        FireHandlerEvent(nullptr, heHidden, eaSendBugReport, handled, *report);
    } else {
        AddRecentException();
    }
    if (!handled)
        report->FireHandlers(epQuickFiltering, handled);

    report->SetPhase(epMainPhase);
    // A second pipeline at once (one processed on its catching thread while the loader lock
    // is held) leaves the pausing to the first.
    const bool first = ::InterlockedIncrement(&Running) == 1;
    const bool pause = first && !handled && report->GetExceptType() != etFrozen &&
                       report->GetSuspendThreads() && ReporterInMainExecutable();
    base::Guarded([&] {
        if (pause)
            PauseThreads(report->GetCompleteThreadId());
        MainPhase(*report, record, handled);
    });
    if (services.ResetFreezeCounter)
        base::Guarded([&] { services.ResetFreezeCounter(); });
    if (pause)
        ResumeThreads();
    ::InterlockedDecrement(&Running);
}

void StartPipeline()
{
    StartHandlerSynchronization();
    PrepareThreadPausing();
}

void StopPipeline()
{
    StopThreadPausing();
    StopHandlerSynchronization();
}

} // namespace crash
