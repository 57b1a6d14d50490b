#pragma once
// The report object: one caught exception on its way through the pipeline. It carries its
// own copy of the settings (a handler may change a setting for this report alone: the
// change goes into the report's own records, which answer before the module's), what was
// caught, the class filter's decisions, the report's header, sections and text, the
// screenshot, the change callbacks, and the user's actions (send, save, print, show,
// continue, restart, close), which the crash dialog calls.

#include "base/win_handle.h"
#include "crash/core/intercept/except_source.h"
#include "crash/core/pipeline/exception_report_interfaces.h"
#include "crash/core/stack/stack_text.h"
#include "crash/dialogs/progress_alert.h"
#include "crash/settings/report_settings.h"

#include <windows.h>

#include <atomic>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

namespace crash {

// What CreateExceptionReport is given.
struct TReportRequest
{
    TExceptType Type = etNormal;
    const std::exception_ptr* Exception = nullptr;
    const void* RuntimeObject = nullptr; // another runtime's object, when Exception is null
    uint32_t Address = 0;
    const EXCEPTION_RECORD* Record = nullptr;
    bool DontCompleteYet = false;
    std::vector<uint8_t> PreparedStack;
    HMODULE Package = nullptr;
    const void* RelatedObject = nullptr;
    TExceptSource Source = esManual;
    base::ComPtr<ReportSettings> Settings; // null: those of the module the address lies in
    const CONTEXT* Context = nullptr;
    uint32_t Ebp = 0, Esp = 0; // 0: the creator's own
    DWORD ThreadId = 0;        // 0: the calling thread
    bool CanContinue = true;
};

class ExceptionReport final : public ReportSettings, public IExceptionReport, public IExceptionReportEx
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ReportSettings::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReportSettings::Release(); }

    // Every setting from the report's records first (IReportSettings through this object).
#define VX_SETTING(Stem, Name, Type)                                                                         \
    VxType_##Type Get##Stem() override                                                                       \
    {                                                                                                        \
        return ReportSettings::Get##Stem();                                                                  \
    }                                                                                                        \
    void Set##Stem(VxType_##Type value) override                                                             \
    {                                                                                                        \
        ReportSettings::Set##Stem(value);                                                                    \
    }
#include "crash/settings/report_settings_list.h"
#undef VX_SETTING
    HMODULE Module() override
    {
        return ReportSettings::Module();
    }
    base::ComPtr<IReportFields> GetAdditionalFields() override
    {
        return ReportSettings::GetAdditionalFields();
    }
    base::ComPtr<IReportAttachments> GetAdditionalAttachments() override
    {
        return ReportSettings::GetAdditionalAttachments();
    }
    bool GetPluginEnabled(const std::u16string& plugin) override
    {
        return ReportSettings::GetPluginEnabled(plugin);
    }
    void SetPluginEnabled(const std::u16string& plugin, bool value) override
    {
        ReportSettings::SetPluginEnabled(plugin, value);
    }
    int32_t VersionVar() override
    {
        return ReportSettings::VersionVar();
    }
    base::ComPtr<IVxAssistant> GetAssistant(const std::u16string& name) override
    {
        return ReportSettings::GetAssistant(name);
    }
    const SettingsProperty* FindProp(std::string_view name) override;

    // IExceptionReport
    void FireHandlers(TExceptPhase phase, bool& handled) override;
    void Show() override;
    void ShowBugReport(HWND parent) override;
    bool SendBugReport(HWND parent) override;
    bool SaveBugReport(HWND parent) override;
    bool PrintBugReport(HWND parent) override;
    void ContinueApplication(HWND parent) override;
    void RestartApplication(HWND parent) override;
    void CloseApplication(HWND parent) override;
    std::u16string GetBugReport(bool mustBeComplete) override;
    void RegisterBugReportCallback(TBugReportCallback callback, bool critical) override;
    void UnregisterBugReportCallback(TBugReportCallback callback) override;
    void RegisterBugReportCallbackOO(TBugReportCallbackOO callback, bool critical) override;
    void UnregisterBugReportCallbackOO(TBugReportCallbackOO callback) override;
    base::ComPtr<IVxBitmap> GetScreenShot() override;
    void SetScreenShot(const base::ComPtr<IVxBitmap>& value) override;
    TExceptPhase GetPhase() override
    {
        return FPhase.load();
    }
    bool GetCanContinue() override
    {
        return FCanContinue;
    }
    void SetCanContinue(bool value) override
    {
        FCanContinue = value;
    }
    TExceptType GetExceptType() override
    {
        return FExceptType;
    }
    const std::exception_ptr* GetExceptObject() override
    {
        return FExceptObject ? &FExceptObject : nullptr;
    }
    const void* GetRuntimeObject() override
    {
        return FRuntimeObject;
    }
    uint32_t GetExceptAddr() override
    {
        return FExceptAddr;
    }
    DWORD GetCrashedThreadId() override
    {
        return FCrashedThreadId;
    }
    uint32_t GetCurrentEsp() override
    {
        return FCurrentEsp;
    }
    uint32_t GetCurrentEbp() override
    {
        return FCurrentEbp;
    }
    const CONTEXT* GetContext() override
    {
        return FPContext ? &FContext : nullptr;
    }
    const EXCEPTION_RECORD& GetExceptionRecord() override
    {
        return FExceptionRecord;
    }
    TExceptSource GetSource() override
    {
        return FSource;
    }
    const void* GetRelatedObject() override
    {
        return FRelatedObject;
    }
    HMODULE GetPackage() override
    {
        return FPackage;
    }
    const std::vector<uint8_t>& GetPreparedStack() override
    {
        return FPreparedStack;
    }
    // The header and the sections, built on first use when CreateBugReport is on.
    base::ComPtr<IReportFields> GetBugReportHeader() override;
    base::ComPtr<IReportFields> GetBugReportSections() override;
    // ... as they are, for the assembly that builds them.
    base::ComPtr<IReportFields> HeaderFields();
    base::ComPtr<IReportFields> SectionFields();
    bool GetCreateBugReport() override
    {
        return FCreateBugReport;
    }
    void SetCreateBugReport(bool value) override
    {
        FCreateBugReport = value;
    }
    bool GetCreateScreenShot() override
    {
        return FCreateScreenShot;
    }
    void SetCreateScreenShot(bool value) override
    {
        FCreateScreenShot = value;
    }
    bool GetCallHandlers() override
    {
        return FCallHandlers;
    }
    void SetCallHandlers(bool value) override
    {
        FCallHandlers = value;
    }
    bool GetAppendScreenShot() override
    {
        return FAppendScreenShot;
    }
    void SetAppendScreenShot(bool value) override
    {
        FAppendScreenShot = value;
    }
    ShowSetting GetShowSetting() override
    {
        return FShowSetting;
    }
    void SetShowSetting(ShowSetting value) override
    {
        FShowSetting = value;
    }
    std::u16string GetShowAssis() override;
    void SetShowAssis(const std::u16string& value) override;
    std::u16string GetExceptClass() override;
    void SetExceptClass(const std::u16string& value) override;
    std::u16string GetExceptMessage() override;
    void SetExceptMessage(const std::u16string& value) override;
    SYSTEMTIME GetTime() override
    {
        return FTime;
    }
    const std::vector<TInnerException>& GetInner() override
    {
        return FInner;
    }

    // IExceptionReportEx
    bool CriticalBugReportCallbackExists() override;
    DWORD GetCompleteThreadId() override
    {
        return FCompleteTid;
    }
    void SetPhase(TExceptPhase phase) override
    {
        FPhase = phase;
    }
    // Moves the phase from `from` to `to`; false when it was in another phase (the completion
    // and the handling thread may meet here).
    bool AdvancePhase(TExceptPhase from, TExceptPhase to)
    {
        return FPhase.compare_exchange_strong(from, to);
    }
    bool GetMailWasSent() override
    {
        return FMailWasSent;
    }
    void SetMailWasSent(bool value) override
    {
        FMailWasSent = value;
    }
    bool GetMailWasSaved() override
    {
        return FMailWasSaved;
    }
    void SetMailWasSaved(bool value) override
    {
        FMailWasSaved = value;
    }
    bool FirstCompleteCallback() override
    {
        return ::InterlockedIncrement(&FFirstCompleteCallback) == 0;
    }
    bool FirstAutoSave() override
    {
        return ::InterlockedIncrement(&FFirstAutoSave) == 0;
    }
    HANDLE* PSendThread() override
    {
        return &FSendThread;
    }
    void SetInner(std::vector<TInnerException> inner) override;

    // The report changed (a section was filled in): every callback hears of it with the
    // current text.
    void Changed();
    // Changes of the header and sections between these two (nested) tell the callbacks once,
    // at the end.
    void BeginUpdate();
    void EndUpdate();
    // The final automatic saving; with `wait`, a background send is waited for too.
    void FinalAutoSave(bool wait);
    // What the report's assembly keeps with the report (the layer above owns its type):
    // made by `make` on the first call.
    std::shared_ptr<void> AssemblyState(std::shared_ptr<void> (*make)());
    bool GetDontCompleteYet() const
    {
        return FDontCompleteYet;
    }
    // Set once a callback was registered: the report is then completed on a thread of its own
    // whoever builds it.
    bool GetMultiThreadedComplete() const
    {
        return FMultiThreadedComplete;
    }
    // The call stack and the thread id of thread section `index` (in section order), and the
    // checksum 0, 1 or 2 of the call stacks: set by the completion, empty or 0 before.
    TStackTrace GetCallstack(int index);
    uint32_t GetCallstackCrc(int index);
    DWORD GetThreadId(int index);
    void SetThreadStacks(std::vector<DWORD> threads);
    void SetCallstack(int index, TStackTrace trace);
    void SetCallstackCrc(const uint32_t (&crc)[3]);
    void SetCompleteThreadId(DWORD thread)
    {
        FCompleteTid = thread;
    }
    // The please-wait window, titled with the PleaseWaitTitle setting; shown by whoever waits
    // for the completion.
    IProgressAlert& PleaseWaitAlert()
    {
        return *FProgressAlert;
    }

    ~ExceptionReport() override;

private:
    friend base::ComPtr<ExceptionReport> CreateExceptionReport(TReportRequest request);
    ExceptionReport(const base::ComPtr<ReportSettings>& settings);
    TSettingsList* WritableList() override
    {
        return &FSettingsBuf;
    }
    void ReportVariables(TTextVariables& values) override;
    bool ScreenshotsOff() override
    {
        return !FAppendScreenShot;
    }
    ReportSettings* ReportObject() override
    {
        return this;
    }
    // Fires a user's action with its assistant; true when a handler or the assistant took it.
    bool FireAction(HWND parent, TExceptAction action);
    // The header or the sections, made on first use.
    base::ComPtr<IReportFields> Fields(base::ComPtr<ReportFields>& fields);
    // Builds the header and the sections (once, with CreateBugReport).
    void Build();
    // Tells every callback, plain ones first.
    void Notify(bool complete, const std::u16string& text);
    // The crash dialog of this process when `parent` is null.
    HWND DialogOr(HWND parent);

    base::ComPtr<ReportSettings> FModuleSettings;
    TSettingsList FSettingsBuf;
    std::atomic<TExceptPhase> FPhase{epNotHandledYet};
    bool FCanContinue = true, FCanContinue2 = true;
    TExceptType FExceptType = etNormal;
    std::exception_ptr FExceptObject;
    const void* FRuntimeObject = nullptr;
    uint32_t FExceptAddr = 0;
    DWORD FCrashedThreadId = 0;
    uint32_t FCurrentEsp = 0, FCurrentEbp = 0;
    CONTEXT FContext{};
    bool FPContext = false;
    EXCEPTION_RECORD FExceptionRecord{};
    TExceptSource FSource = esManual;
    const void* FRelatedObject = nullptr;
    HMODULE FPackage = nullptr;
    std::vector<uint8_t> FPreparedStack;
    base::ComPtr<ReportFields> FBugReportHeader, FBugReportSections;
    std::u16string FBugReport; // the text made last
    // Changes of the header and the sections, and how many there were when FBugReport was made.
    std::atomic<uint64_t> FChanges{0};
    uint64_t FCachedChanges = 0;
    int FUpdating = 0;             // BeginUpdate's nesting
    uint64_t FChangesAtUpdate = 0; // FChanges at the outermost BeginUpdate
    bool FComplete = false;
    base::ComPtr<IVxBitmap> FScreenShot;
    struct TCallback
    {
        TBugReportCallback Plain = nullptr;
        TBugReportCallbackOO Method;
        bool Critical = false;
    };
    std::vector<TCallback> FBugReportCallbacks;
    bool FCreateBugReport = true, FCreateScreenShot = false, FCallHandlers = true, FAppendScreenShot = false;
    ShowSetting FShowSetting = ssFullBox;
    std::u16string FShowAssis;
    std::recursive_mutex FSection;
    DWORD FCompleteTid = 0;
    bool FMailWasSent = false, FMailWasSaved = false;
    volatile LONG FFirstCompleteCallback = -1, FFirstAutoSave = -1;
    HANDLE FSendThread = nullptr; // exchanged atomically: a send and the final saving meet here
    bool FDontCompleteYet = false;
    std::atomic<bool> FMultiThreadedComplete{false};
    std::atomic<bool> FBuildAsked{false};
    // Set once the callbacks have heard of the completion (by the thread that saw it,
    // FNotifier): whoever asks for the complete report meanwhile waits for it, so that what a
    // critical callback starts (an automatic send) has started before the program ends.
    base::KernelHandle FNotified{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    DWORD FNotifier = 0;
    std::u16string FExceptClass, FExceptMessage;
    bool FExceptClassSet = false, FExceptMessageSet = false;
    SYSTEMTIME FTime{};
    std::vector<TInnerException> FInner;
    struct TThreadStack
    {
        DWORD ThreadId = 0;
        TStackTrace Callstack;
    };
    std::vector<TThreadStack> FThreadStacks;
    uint32_t FCallstackCrc[3] = {0, 0, 0};
    std::shared_ptr<void> FAssemblyState;
    base::ComPtr<IProgressAlert> FProgressAlert;
};

// A new report object for a caught exception, with the class filter's decisions made.
base::ComPtr<ExceptionReport> CreateExceptionReport(TReportRequest request);

// The exception's class and its ancestors (a C++ exception's as its type information tells;
// another runtime's object has none known here) and its message.
std::vector<std::u16string> ExceptionClassChain(const std::exception_ptr* exception);
std::u16string ExceptionMessage(const std::exception_ptr* exception);

} // namespace crash
