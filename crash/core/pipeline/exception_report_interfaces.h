#pragma once
// The report object's interfaces: IExceptionReport, what handlers, the crash dialog, the
// delivery and the saving work with (every setting of IReportSettings, answered from the
// report's own copy first, then its state and its actions), and IExceptionReportEx, the
// bookkeeping the pipeline's parts share. Also the phases, the user's actions and the
// handlers' forms.

#include "crash/core/intercept/except_source.h"
#include "crash/core/intercept/raise_state_win.h"
#include "crash/imaging/vx_bitmap.h"
#include "crash/settings/report_settings_interfaces.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace crash {

enum TExceptPhase : uint8_t
{
    epNotHandledYet,
    epQuickFiltering,
    epMainPhase,
    epPostProcessing,
    epCompleteReport
};

enum TExceptAction : uint8_t
{
    eaSendBugReport, // 0 to 2: a button was pressed
    eaSaveBugReport,
    eaPrintBugReport,
    eaSendBugReport2, // 3 to 5: after the assistant, before doing it
    eaSaveBugReport2,
    eaPrintBugReport2,
    eaSendBugReport3, // 6 to 8: done
    eaSaveBugReport3,
    eaPrintBugReport3,
    eaShowBugReport,
    eaHelp,
    eaContinueApplication,
    eaRestartApplication,
    eaCloseApplication
};

enum TSyncType : uint8_t
{
    stDontSync,
    stTrySyncCallOnSuccess,
    stTrySyncCallAlways
};

class IExceptionReport;

// A report changed: whether it is complete now, and its text.
using TBugReportCallback = void (*)(bool complete, const std::u16string& report, IExceptionReport* exc);
struct TBugReportCallbackOO
{
    void* Self = nullptr;
    void (*Method)(void* self, bool complete, const std::u16string& report, IExceptionReport* exc) = nullptr;
};

// {5E7B4C1A-2F3D-4B8E-9A61-7C0D2E4F9B13}
inline constexpr GUID IID_IExceptionReport = {
    0x5E7B4C1A, 0x2F3D, 0x4B8E, {0x9A, 0x61, 0x7C, 0x0D, 0x2E, 0x4F, 0x9B, 0x13}};
// {A3C95D27-6E18-4F0B-8D42-1B7E93C6A05F}
inline constexpr GUID IID_IExceptionReportEx = {
    0xA3C95D27, 0x6E18, 0x4F0B, {0x8D, 0x42, 0x1B, 0x7E, 0x93, 0xC6, 0xA0, 0x5F}};

class IExceptionReport : public IReportSettings
{
public:
    // Sets the phase and fires the exception handlers of that phase.
    virtual void FireHandlers(TExceptPhase phase, bool& handled) = 0;
    // The crash dialog (or assistant, console output) as the show setting says; returns when
    // the user has chosen.
    virtual void Show() = 0;
    // The user's actions; a null parent is the crash dialog of this process.
    virtual void ShowBugReport(HWND parent) = 0;
    virtual bool SendBugReport(HWND parent) = 0;
    virtual bool SaveBugReport(HWND parent) = 0;
    virtual bool PrintBugReport(HWND parent) = 0;
    virtual void ContinueApplication(HWND parent) = 0;
    virtual void RestartApplication(HWND parent) = 0;
    virtual void CloseApplication(HWND parent) = 0;
    // The report text; with `mustBeComplete`, once every part is there.
    virtual std::u16string GetBugReport(bool mustBeComplete) = 0;
    virtual void RegisterBugReportCallback(TBugReportCallback callback, bool critical) = 0;
    virtual void UnregisterBugReportCallback(TBugReportCallback callback) = 0;
    virtual void RegisterBugReportCallbackOO(TBugReportCallbackOO callback, bool critical) = 0;
    virtual void UnregisterBugReportCallbackOO(TBugReportCallbackOO callback) = 0;
    // The screenshot, taken on first request when CreateScreenShot is on; null otherwise.
    virtual base::ComPtr<IVxBitmap> GetScreenShot() = 0;
    // Replaces the screenshot (an edited one, from the screenshot form).
    virtual void SetScreenShot(const base::ComPtr<IVxBitmap>& value) = 0;

    virtual TExceptPhase GetPhase() = 0;
    virtual bool GetCanContinue() = 0;
    virtual void SetCanContinue(bool value) = 0;
    virtual TExceptType GetExceptType() = 0;
    // The C++ exception (null for none), or another runtime's object.
    virtual const std::exception_ptr* GetExceptObject() = 0;
    virtual const void* GetRuntimeObject() = 0;
    virtual uint32_t GetExceptAddr() = 0;
    virtual DWORD GetCrashedThreadId() = 0;
    virtual uint32_t GetCurrentEsp() = 0;
    virtual uint32_t GetCurrentEbp() = 0;
    // The context given at creation, or null.
    virtual const CONTEXT* GetContext() = 0;
    virtual const EXCEPTION_RECORD& GetExceptionRecord() = 0;
    virtual TExceptSource GetSource() = 0;
    virtual const void* GetRelatedObject() = 0;
    virtual HMODULE GetPackage() = 0;
    virtual const std::vector<uint8_t>& GetPreparedStack() = 0;
    virtual base::ComPtr<IReportFields> GetBugReportHeader() = 0;
    virtual base::ComPtr<IReportFields> GetBugReportSections() = 0;
    virtual bool GetCreateBugReport() = 0;
    virtual void SetCreateBugReport(bool value) = 0;
    virtual bool GetCreateScreenShot() = 0;
    virtual void SetCreateScreenShot(bool value) = 0;
    virtual bool GetCallHandlers() = 0;
    virtual void SetCallHandlers(bool value) = 0;
    virtual bool GetAppendScreenShot() = 0;
    virtual void SetAppendScreenShot(bool value) = 0;
    virtual ShowSetting GetShowSetting() = 0;
    virtual void SetShowSetting(ShowSetting value) = 0;
    virtual std::u16string GetShowAssis() = 0;
    virtual void SetShowAssis(const std::u16string& value) = 0;
    // The class name and message as the report shows them (overridable).
    virtual std::u16string GetExceptClass() = 0;
    virtual void SetExceptClass(const std::u16string& value) = 0;
    virtual std::u16string GetExceptMessage() = 0;
    virtual void SetExceptMessage(const std::u16string& value) = 0;
    virtual SYSTEMTIME GetTime() = 0;
    // The inner exceptions, newest first.
    virtual const std::vector<TInnerException>& GetInner() = 0;
};
inline const GUID& InterfaceId(const IExceptionReport*)
{
    return IID_IExceptionReport;
}

class IExceptionReportEx : public IUnknown
{
public:
    virtual bool CriticalBugReportCallbackExists() = 0;
    virtual DWORD GetCompleteThreadId() = 0;
    virtual void SetPhase(TExceptPhase phase) = 0;
    virtual bool GetMailWasSent() = 0;
    virtual void SetMailWasSent(bool value) = 0;
    virtual bool GetMailWasSaved() = 0;
    virtual void SetMailWasSaved(bool value) = 0;
    // True exactly once each.
    virtual bool FirstCompleteCallback() = 0;
    virtual bool FirstAutoSave() = 0;
    virtual HANDLE* PSendThread() = 0;
    virtual void SetInner(std::vector<TInnerException> inner) = 0;
};
inline const GUID& InterfaceId(const IExceptionReportEx*)
{
    return IID_IExceptionReportEx;
}

} // namespace crash
