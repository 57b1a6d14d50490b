#pragma once
// The interfaces of the settings objects, their operations in the order of their slots:
// IReportSettings (the report's switches, numbers and texts), IModuleReportSettings (what
// only a module's settings answer) and IReportSettingsEx (access by property name and the
// form cache). They are reference-counted COM-style interfaces; ReportSettings implements
// all three, and the report object of the handling pipeline builds on it.

#include "base/com_ptr.h"
#include "base/com_unknown.h"
#include "crash/settings/assistant.h"
#include "crash/settings/report_attachments.h"
#include "crash/settings/report_fields.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace crash {

class ReportSettings;

enum ShowSetting : int32_t
{
    ssFullBox,
    ssAssistant,
    ssDetailBox,
    ssSimpleBox,
    ssNothing
};
enum ReportButton : int32_t
{
    bSendBugReport,
    bSaveBugReport,
    bPrintBugReport,
    bShowBugReport,
    bContinueApplication,
    bRestartApplication,
    bCloseApplication
};
enum DupDef : int32_t
{
    ddExceptAddrIdentical,
    ddCrashStackIdentical,
    ddAllStacksIdentical
};

using VxType_Bool = bool;
using VxType_Card = uint32_t;
using VxType_Int = int32_t;
using VxType_Ansi = std::string;
using VxType_Text = std::u16string;
using VxType_ShowSetting = ShowSetting;
using VxType_ReportButton = ReportButton;
using VxType_DupDef = DupDef;

// The value type of each accessor stem.
#define VX_SETTING(Stem, Name, Type) using VxStem_##Stem = VxType_##Type;
#include "crash/settings/report_settings_list.h"
#undef VX_SETTING

#define VX_GET(Stem) virtual VxStem_##Stem Get##Stem() = 0;
#define VX_SET(Stem) virtual void Set##Stem(VxStem_##Stem value) = 0;
#define VX_PAIR(Stem) VX_GET(Stem) VX_SET(Stem)

// {9749EC4B-BC2B-4A9B-972B-BDD1950F16AE}
inline constexpr GUID IID_IReportSettings = {
    0x9749EC4B, 0xBC2B, 0x4A9B, {0x97, 0x2B, 0xBD, 0xD1, 0x95, 0x0F, 0x16, 0xAE}};
// {882F3392-8EE5-4510-B85A-66C244D197C8}
inline constexpr GUID IID_IModuleReportSettings = {
    0x882F3392, 0x8EE5, 0x4510, {0xB8, 0x5A, 0x66, 0xC2, 0x44, 0xD1, 0x97, 0xC8}};
// {1F2F10F0-1431-4A01-877C-EE27F5CC768F}
inline constexpr GUID IID_IReportSettingsEx = {
    0x1F2F10F0, 0x1431, 0x4A01, {0x87, 0x7C, 0xEE, 0x27, 0xF5, 0xCC, 0x76, 0x8F}};

class IReportSettings : public IUnknown
{
public:
    virtual HMODULE Module() = 0;
    VX_PAIR(AutoSave)
    VX_PAIR(AutoSaveIfNotSent)
    VX_PAIR(AutoSend)
    VX_PAIR(AutoSendPrgrBox)
    VX_PAIR(AutoClipboard)
    VX_PAIR(SuspendThreads)
    VX_PAIR(ShowPleaseWaitBox)
    VX_PAIR(AutoContinue)
    VX_PAIR(AutoRestart)
    VX_PAIR(AutoClose)
    VX_PAIR(AutoDelay)
    VX_GET(SendBtnVisible)
    VX_GET(SaveBtnVisible)
    VX_GET(PrintBtnVisible)
    VX_GET(ShowBtnVisible)
    VX_GET(ContinueBtnVisible)
    VX_GET(RestartBtnVisible)
    VX_GET(CloseBtnVisible)
    VX_SET(SendBtnVisible)
    VX_SET(SaveBtnVisible)
    VX_SET(PrintBtnVisible)
    VX_SET(ShowBtnVisible)
    VX_SET(ContinueBtnVisible)
    VX_SET(RestartBtnVisible)
    VX_SET(CloseBtnVisible)
    VX_PAIR(FocusedButton)
    VX_PAIR(SendAssistant)
    VX_PAIR(SaveAssistant)
    VX_PAIR(PrintAssistant)
    VX_PAIR(AutoShowBugReport)
    VX_PAIR(NoOwnerDrawButtons)
    VX_PAIR(SendInBackground)
    VX_PAIR(MailAddr)
    VX_PAIR(UploadToFogBugz)
    VX_PAIR(UploadToBugZilla)
    VX_PAIR(UploadToMantis)
    VX_PAIR(UploadToCustomScript)
    VX_PAIR(HttpServer)
    VX_PAIR(HttpSsl)
    VX_PAIR(HttpPort)
    VX_PAIR(HttpAccount)
    VX_PAIR(HttpPassword)
    VX_PAIR(AcceptAnyCertificate)
    VX_PAIR(BugTrackerAccount)
    VX_PAIR(BugTrackerPassword)
    VX_PAIR(BugTrackerProject)
    VX_PAIR(BugTrackerArea)
    VX_PAIR(BugTrackerAssignTo)
    VX_PAIR(MailAsSmtpServer)
    VX_PAIR(MailAsSmtpClient)
    VX_PAIR(SmtpServer)
    VX_PAIR(SmtpSsl)
    VX_PAIR(SmtpTls)
    VX_PAIR(SmtpPort)
    VX_PAIR(SmtpAccount)
    VX_PAIR(SmtpPassword)
    VX_PAIR(MailViaMapi)
    VX_PAIR(MailViaMailto)
    VX_PAIR(MailFrom)
    virtual base::ComPtr<IReportFields> GetAdditionalFields() = 0;
    VX_PAIR(AttachBugReport)
    VX_PAIR(AttachBugReportFile)
    VX_PAIR(DeleteBugReportFile)
    VX_PAIR(BugReportSendAs)
    VX_PAIR(BugReportZip)
    VX_PAIR(ScreenShotDepth)
    VX_PAIR(ScreenShotAppOnly)
    VX_PAIR(ScreenShotSendAs)
    VX_PAIR(ScreenShotZip)
    virtual base::ComPtr<IReportAttachments> GetAdditionalAttachments() = 0;
    VX_PAIR(BugReportFile)
    VX_PAIR(AppendBugReports)
    VX_PAIR(BugReportFileSize)
    VX_PAIR(NoDupExcepts)
    VX_PAIR(NoDupFreezes)
    VX_PAIR(DupExceptDef)
    VX_PAIR(DupFreezeDef)
    VX_PAIR(ListThreads)
    VX_PAIR(ShowCpuRegisters)
    VX_PAIR(ShowStackDump)
    VX_PAIR(ShowDisAsm)
    VX_PAIR(HideUglyItems)
    VX_PAIR(ShowRelativeAddrs)
    VX_PAIR(ShowRelativeLines)
    VX_PAIR(FormatDisassembly)
    VX_PAIR(LimitDisassembly)
    virtual bool GetPluginEnabled(const std::u16string& plugin) = 0;
    virtual void SetPluginEnabled(const std::u16string& plugin, bool value) = 0;
    virtual int32_t VersionVar() = 0;
    virtual base::ComPtr<IVxAssistant> GetAssistant(const std::u16string& name) = 0;
    VX_PAIR(TitleBar)
    VX_PAIR(ExceptMsg)
    VX_PAIR(FrozenMsg)
    VX_PAIR(BitFaultMsg)
    VX_GET(SendBtnCaption)
    VX_GET(SaveBtnCaption)
    VX_GET(PrintBtnCaption)
    VX_GET(ShowBtnCaption)
    VX_GET(ContinueBtnCaption)
    VX_GET(RestartBtnCaption)
    VX_GET(CloseBtnCaption)
    VX_SET(SendBtnCaption)
    VX_SET(SaveBtnCaption)
    VX_SET(PrintBtnCaption)
    VX_SET(ShowBtnCaption)
    VX_SET(ContinueBtnCaption)
    VX_SET(RestartBtnCaption)
    VX_SET(CloseBtnCaption)
    VX_GET(OkBtnCaption)
    VX_GET(DetailsBtnCaption)
    VX_SET(OkBtnCaption)
    VX_SET(DetailsBtnCaption)
    VX_GET(PleaseWaitTitle)
    VX_GET(PleaseWaitText)
    VX_SET(PleaseWaitTitle)
    VX_SET(PleaseWaitText)
    VX_PAIR(BugTrackerTitle)
    VX_PAIR(BugTrackerDescription)
    VX_PAIR(MailSubject)
    VX_PAIR(MailBody)
    VX_PAIR(SendBoxTitle)
    VX_PAIR(PrepareAttachMsg)
    VX_PAIR(MxLookupMsg)
    VX_PAIR(ConnectMsg)
    VX_PAIR(SendMailMsg)
    VX_PAIR(FieldsMsg)
    VX_PAIR(SendAttachMsg)
    VX_PAIR(SendFinalizeMsg)
    VX_PAIR(SendFailureMsg)
};

// The filter accessors of one word: the three getters, then the three setters.
#define VX_FILTERS(Word)                                                                                     \
    VX_GET(Filter1##Word)                                                                                    \
    VX_GET(Filter2##Word)                                                                                    \
    VX_GET(General##Word) VX_SET(Filter1##Word) VX_SET(Filter2##Word) VX_SET(General##Word)

class IModuleReportSettings : public IReportSettings
{
public:
    virtual bool IsValid() = 0;
    virtual bool Enabled() = 0;
    virtual bool LinkInSettings() = 0;
    virtual bool LinkInMapFile() = 0;
    virtual bool CheckFileCrc() = 0;
    virtual bool CheckForFreeze() = 0;
    virtual uint32_t FreezeTimeout() = 0;
    VX_PAIR(WindowsLogo)
    virtual bool ReportLeaks() = 0;
    virtual bool CrashOnOverrun() = 0;
    virtual bool CrashOnUnderrun() = 0;
    VX_GET(Filter1Classes)
    VX_GET(Filter2Classes)
    VX_SET(Filter1Classes)
    VX_SET(Filter2Classes)
    VX_FILTERS(NoBugReport)
    VX_FILTERS(NoScreenShot)
    VX_FILTERS(NoSuspend)
    VX_FILTERS(NoHandlers)
    VX_FILTERS(ShowSetting)
    VX_FILTERS(Assistant)
    virtual void Reload() = 0;
};

class IReportSettingsEx : public IUnknown
{
public:
    virtual bool GetPropBool(std::string_view name) = 0;
    virtual int32_t GetPropInt(std::string_view name) = 0;
    virtual std::u16string GetPropStr(std::string_view name) = 0;
    virtual uint32_t GetPropDw(std::string_view name) = 0;
    virtual void FillFormCache(IVxAssistant& assistant) = 0;
    virtual void ReadFormCache(IVxAssistant& assistant) = 0;
    virtual ReportSettings* GetSelf() = 0;
};

inline const GUID& InterfaceId(const IReportSettings*)
{
    return IID_IReportSettings;
}
inline const GUID& InterfaceId(const IModuleReportSettings*)
{
    return IID_IModuleReportSettings;
}
IReportSettings* ParentInterface(const IModuleReportSettings*);
inline const GUID& InterfaceId(const IReportSettingsEx*)
{
    return IID_IReportSettingsEx;
}

#undef VX_FILTERS
#undef VX_PAIR
#undef VX_SET
#undef VX_GET

} // namespace crash
