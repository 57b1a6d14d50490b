#include "crash/settings/settings_defaults.h"

namespace crash {
namespace {

SettingsProperty Boolean(const char* name, bool value)
{
    return {name, ptBoolean, value, 0, {}};
}
SettingsProperty Integer(const char* name, int32_t value)
{
    return {name, ptInteger, false, value, {}};
}
SettingsProperty Text(const char* name, const char* value)
{
    return {name, ptString, false, 0, base::Latin1Decode(value)};
}

TSettingsList MakeDefaults()
{
    TSettingsList list;
    for (const SettingsProperty& p : {
             Boolean("Enabled", false),
             Boolean("NoSettings", true),
             Boolean("CheckFileCrc", true),
             Boolean("CheckFreeze", false),
             Integer("FreezeTimeout", 60),
             Boolean("ReportLeaks", false),
             Boolean("WindowsLogo", false),
             // The getters ask for CrashOnBuffer; the table has always held this name instead.
             Boolean("CrashOnOverrun", false),
             Boolean("CrashOnUnderrun", false),
             Boolean("AutoSave", true),
             Boolean("AutoSaveIfNotSent", true),
             Boolean("AutoSend", false),
             Boolean("AutoSendBox", false),
             Boolean("AutoClip", true),
             Boolean("PauseThreads", false),
             Boolean("PlWaitBox", true),
             Boolean("AutoContinue", false),
             Integer("AutoRestart", 0),
             Integer("AutoClose", 0),
             Integer("AutoDelay", 60),
             Boolean("SendBtnVis", true),
             Boolean("SaveBtnVis", false),
             Boolean("PrintBtnVis", false),
             Boolean("ShowBtnVis", true),
             Boolean("ContinueBtnVis", true),
             Boolean("RestartBtnVis", true),
             Boolean("CloseBtnVis", true),
             Integer("FocusedBtn", 0),
             Text("SendAssis", ""),
             Text("SaveAssis", ""),
             Text("PrintAssis", ""),
             Boolean("AutoShowBugRep", false),
             Boolean("UglyBtns", false),
             Boolean("SendInBackgr", true),
             Text("TitleBar", "%appname%"),
             Text("ExceptMsg", "An error occurred in the application."),
             Text("FrozenMsg", "The application seems to be frozen."),
             Text("BitFaultMsg",
                  "The file \"%appname%\" seems to be damaged. Please install the application again."),
             Text("SendBtnTxt", "send bug report"),
             Text("SaveBtnTxt", "save bug report"),
             Text("PrintBtnTxt", "print bug report"),
             Text("ShowBtnTxt", "show bug report"),
             Text("ContinueBtnTxt", "continue application"),
             Text("RestartBtnTxt", "restart application"),
             Text("CloseBtnTxt", "close application"),
             Text("OkBtnTxt", "&OK"),
             Text("DetailsBtnTxt", "&Details"),
             Text("PlWaitTitle", "Information"),
             Text("PlWaitText", "Please wait a moment..."),
             Text("MailAddr", ""),
             Text("MailFrom", ""),
             Boolean("MailAsSmtpServer", false),
             Boolean("MailAsSmtpClient", false),
             Text("SmtpServer", ""),
             Boolean("SmtpSsl", false),
             Boolean("SmtpTls", false),
             Integer("SmtpPort", 0),
             Text("SmtpAccount", ""),
             Text("SmtpPassword", ""),
             Boolean("MailViaMapi", true),
             Boolean("MailViaMailto", true),
             Text("MailSubj", "bug report"),
             Text("MailBody", "please find the bug report attached"),
             Boolean("UploadViaHttp", false),
             Text("HttpServer", ""),
             Boolean("HttpSsl", false),
             Integer("HttpPort", 0),
             Text("HttpAccount", ""),
             Text("HttpPassword", ""),
             Boolean("AcceptAnyCert", false),
             Boolean("FogBugz", false),
             Boolean("BugZilla", false),
             Boolean("Mantis", false),
             Text("BugTrAccount", ""),
             Text("BugTrPassword", ""),
             Text("BugTrProject", ""),
             Text("BugTrArea", ""),
             Text("BugTrAssignTo", ""),
             Text("BugTrTitle", "%appname%, %exceptMsg%"),
             Text("BugTrDescr", "error details: \r\n%errorDetails%"),
             Text("SendBoxTitle", "Sending bug report..."),
             Text("PrepAttMsg", "Prepare attachments..."),
             Text("MxLookMsg", "Searching for mail server..."),
             Text("ConnMsg", "Connecting to server..."),
             Text("SendMailMsg", "Sending mail..."),
             Text("FieldMsg", "Setting fields..."),
             Text("SendAttMsg", "Sending attachments..."),
             Text("SendFinalMsg", "Finalizing..."),
             Text("SendFailMsg", "Sorry, sending the bug report didn't work."),
             Text("BugRepFile", "bugreport.vxt"),
             Boolean("AppendBugReps", true),
             Integer("BugRepFileSize", 100000),
             Boolean("AttachBugRep", true),
             Boolean("AttachBugRepFile", true),
             Boolean("DelBugRepFile", true),
             Text("BugRepSendAs", "bugreport.vxt"),
             Text("BugRepZip", ""),
             Integer("ScrShotDepth", 0),
             Boolean("ScrShotAppOnly", true),
             Text("ScrShotSendAs", "screenshot.png"),
             Text("ScrShotZip", ""),
             Text("AddAttachs", ""),
             Text("AddFields", ""),
             Boolean("NoDupExcepts", true),
             Boolean("NoDupFreezes", true),
             Integer("DupExceptDef", 1),
             Integer("DupFreezeDef", 2),
             Boolean("ListThreads", true),
             Boolean("CpuRegs", true),
             Boolean("StackDump", true),
             Boolean("ShowDisAsm", true),
             Boolean("HideUglyItems", false),
             Boolean("ShowRelAddrs", true),
             Boolean("ShowRelLines", true),
             Boolean("FormatDisAsm", false),
             Integer("LimitDisAsm", 5),
             Text("Plugins", "modules|processes|hardware"),
             Text("F1Classes", ""),
             Text("F2Classes", ""),
             Boolean("F1NoBugRep", false),
             Boolean("F1NoScrShot", false),
             Boolean("F1NoHandlers", false),
             Boolean("F1NoSuspend", false),
             Integer("F1ShowCfg", 0),
             Text("F1Assis", ""),
             Boolean("F2NoBugRep", false),
             Boolean("F2NoScrShot", false),
             Boolean("F2NoHandlers", false),
             Boolean("F2NoSuspend", false),
             Integer("F2ShowCfg", 0),
             Text("F2Assis", ""),
             Boolean("GnNoBugRep", false),
             Boolean("GnNoScrShot", false),
             Boolean("GnNoHandlers", false),
             Boolean("GnNoSuspend", false),
             Integer("GnShowCfg", 0),
             Text("GnAssis", ""),
             Integer("VersionVar", 0),
         })
        list.Add(p);
    return list;
}

} // namespace

const TSettingsList& BuiltInDefaults()
{
    static const TSettingsList defaults = MakeDefaults();
    return defaults;
}

} // namespace crash
