#pragma once
// Every setting of the crash reporter with its built-in default and the value this
// program's settings block stores, written out from the table of settings independently of
// settings_defaults.cpp and settings_block.txt, and the check of a list against it.

#include "crash/settings/settings_property.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace crash::testing {

// A text that is there, whatever it says.
inline constexpr char16_t AnyText[] = u"(any text)";

struct TExpectedSetting
{
    const char* Name;
    TPropertyType Type;
    // Booleans "true"/"false", integers in decimal, texts as they are; null: absent.
    const char16_t* BuiltIn;
    const char16_t* Stored;
};

inline constexpr TExpectedSetting ExpectedSettings[] = {
    {"Enabled", ptBoolean, u"false", u"true"},
    {"NoSettings", ptBoolean, u"true", u"false"},
    {"MinDebugInfo", ptString, nullptr, nullptr},
    {"CheckFileCrc", ptBoolean, u"true", u"true"},
    {"CheckFreeze", ptBoolean, u"false", u"false"},
    {"FreezeTimeout", ptInteger, u"60", u"60000"},
    {"ReportLeaks", ptBoolean, u"false", u"false"},
    {"WindowsLogo", ptBoolean, u"false", u"false"},
    {"CrashOnBuffer", ptBoolean, nullptr, u"false"},
    {"CrashOnUnderrun", ptBoolean, u"false", u"false"},
    {"AutoSave", ptBoolean, u"true", u"true"},
    {"AutoSaveIfNotSent", ptBoolean, u"true", u"true"},
    {"AutoSend", ptBoolean, u"false", u"false"},
    {"AutoSendBox", ptBoolean, u"false", u"false"},
    {"AutoClip", ptBoolean, u"true", u"false"},
    {"PauseThreads", ptBoolean, u"false", u"false"},
    {"PlWaitBox", ptBoolean, u"true", u"true"},
    {"AutoContinue", ptBoolean, u"false", u"false"},
    {"AutoRestart", ptInteger, u"0", u"0"},
    {"AutoClose", ptInteger, u"0", u"0"},
    {"AutoDelay", ptInteger, u"60", nullptr},
    {"SendBtnVis", ptBoolean, u"true", u"false"},
    {"SaveBtnVis", ptBoolean, u"false", u"true"},
    {"PrintBtnVis", ptBoolean, u"false", u"false"},
    {"ShowBtnVis", ptBoolean, u"true", u"true"},
    {"ContinueBtnVis", ptBoolean, u"true", u"true"},
    {"RestartBtnVis", ptBoolean, u"true", u"true"},
    {"CloseBtnVis", ptBoolean, u"true", u"true"},
    {"FocusedBtn", ptInteger, u"0", u"1"},
    {"SendAssis", ptString, u"", u"SendAssistant"},
    {"SaveAssis", ptString, u"", u"SaveAssistant"},
    {"PrintAssis", ptString, u"", u"PrintAssistant"},
    {"AutoShowBugRep", ptBoolean, u"false", u"false"},
    {"UglyBtns", ptBoolean, u"false", u"false"},
    {"SendInBackgr", ptBoolean, u"true", u"true"},
    {"TitleBar", ptString, u"%appname%", u"%appname%"},
    {"ExceptMsg", ptString, u"An error occurred in the application.",
     u"An error occurred in the application."},
    {"FrozenMsg", ptString, u"The application seems to be frozen.", u"The application seems to be frozen."},
    {"BitFaultMsg", ptString, AnyText, AnyText},
    {"SendBtnTxt", ptString, u"send bug report", u"send bug report"},
    {"SaveBtnTxt", ptString, u"save bug report", u"save bug report"},
    {"PrintBtnTxt", ptString, u"print bug report", u"print bug report"},
    {"ShowBtnTxt", ptString, u"show bug report", u"show bug report"},
    {"ContinueBtnTxt", ptString, u"continue application", u"continue application"},
    {"RestartBtnTxt", ptString, u"restart application", u"restart application"},
    {"CloseBtnTxt", ptString, u"close application", u"close application"},
    {"OkBtnTxt", ptString, u"&OK", u"&OK"},
    {"DetailsBtnTxt", ptString, u"&Details", u"&Details"},
    {"PlWaitTitle", ptString, u"Information", u"Information"},
    {"PlWaitText", ptString, u"Please wait a moment...", u"Please wait a moment..."},
    {"MailAddr", ptString, u"", u""},
    {"MailFrom", ptString, u"", nullptr},
    {"MailAsSmtpServer", ptBoolean, u"false", u"false"},
    {"MailAsSmtpClient", ptBoolean, u"false", u"false"},
    {"SmtpServer", ptString, u"", u""},
    {"SmtpSsl", ptBoolean, u"false", u"false"},
    {"SmtpTls", ptBoolean, u"false", u"false"},
    {"SmtpPort", ptInteger, u"0", u"25"},
    {"SmtpAccount", ptString, u"", u""},
    {"SmtpPassword", ptString, u"", u""},
    {"MailViaMapi", ptBoolean, u"true", u"false"},
    {"MailViaMailto", ptBoolean, u"true", u"false"},
    {"MailSubj", ptString, u"bug report", u"%appname% - Bug report"},
    {"MailBody", ptString, u"please find the bug report attached", u"please find the bug report attached"},
    {"UploadViaHttp", ptBoolean, u"false", u"false"},
    {"HttpServer", ptString, u"", u""},
    {"HttpSsl", ptBoolean, u"false", u"false"},
    {"HttpPort", ptInteger, u"0", u"80"},
    {"HttpAccount", ptString, u"", u""},
    {"HttpPassword", ptString, u"", u""},
    {"AcceptAnyCert", ptBoolean, u"false", u"false"},
    {"FogBugz", ptBoolean, u"false", u"false"},
    {"BugZilla", ptBoolean, u"false", u"false"},
    {"Mantis", ptBoolean, u"false", u"false"},
    {"BugTrAccount", ptString, u"", u""},
    {"BugTrPassword", ptString, u"", u""},
    {"BugTrProject", ptString, u"", u""},
    {"BugTrArea", ptString, u"", u""},
    {"BugTrAssignTo", ptString, u"", u""},
    {"BugTrTitle", ptString, u"%appname%, %exceptMsg%", u"%appname%, %exceptMsg%"},
    {"BugTrDescr", ptString, u"error details: \r\n%errorDetails%", u"error details: \r\n%errorDetails%"},
    {"SendBoxTitle", ptString, u"Sending bug report...", u"Sending bug report..."},
    {"PrepAttMsg", ptString, u"Prepare attachments...", u"Preparing attachments..."},
    {"MxLookMsg", ptString, u"Searching for mail server...", u"Searching for mail server..."},
    {"ConnMsg", ptString, u"Connecting to server...", u"Connecting to server..."},
    {"SendMailMsg", ptString, u"Sending mail...", u"Sending mail..."},
    {"FieldMsg", ptString, u"Setting fields...", u"Setting fields..."},
    {"SendAttMsg", ptString, u"Sending attachments...", u"Sending attachments..."},
    {"SendFinalMsg", ptString, u"Finalizing...", u"Finalizing..."},
    {"SendFailMsg", ptString, u"Sorry, sending the bug report didn't work.",
     u"Sorry, sending the bug report didn't work."},
    {"BugRepFile", ptString, u"bugreport.vxt", u"bugreport.txt"},
    {"AppendBugReps", ptBoolean, u"true", u"true"},
    {"BugRepFileSize", ptInteger, u"100000", u"100000"},
    {"AttachBugRep", ptBoolean, u"true", u"true"},
    {"AttachBugRepFile", ptBoolean, u"true", u"true"},
    {"DelBugRepFile", ptBoolean, u"true", u"true"},
    {"BugRepSendAs", ptString, u"bugreport.vxt", u"bugreport.txt"},
    {"BugRepZip", ptString, u"", u""},
    {"ScrShotDepth", ptInteger, u"0", u"8"},
    {"ScrShotAppOnly", ptBoolean, u"true", u"false"},
    {"ScrShotSendAs", ptString, u"screenshot.png", u"screenshot.png"},
    {"ScrShotZip", ptString, u"", u""},
    {"AddAttachs", ptString, u"", u""},
    {"AddFields", ptString, u"", nullptr},
    {"NoDupExcepts", ptBoolean, u"true", u"true"},
    {"NoDupFreezes", ptBoolean, u"true", u"true"},
    {"DupExceptDef", ptInteger, u"1", u"1"},
    {"DupFreezeDef", ptInteger, u"2", u"2"},
    {"ListThreads", ptBoolean, u"true", u"true"},
    {"CpuRegs", ptBoolean, u"true", u"true"},
    {"StackDump", ptBoolean, u"true", u"true"},
    {"ShowDisAsm", ptBoolean, u"true", u"true"},
    {"HideUglyItems", ptBoolean, u"false", u"false"},
    {"ShowRelAddrs", ptBoolean, u"true", u"true"},
    {"ShowRelLines", ptBoolean, u"true", u"true"},
    {"FormatDisAsm", ptBoolean, u"false", u"false"},
    {"LimitDisAsm", ptInteger, u"5", u"5"},
    {"Plugins", ptString, u"modules|processes|hardware", u"modules|processes|hardware"},
    {"F1Classes", ptString, u"", u"EDBEditError"},
    {"F2Classes", ptString, u"", u""},
    {"F1NoBugRep", ptBoolean, u"false", u"true"},
    {"F2NoBugRep", ptBoolean, u"false", u"false"},
    {"GnNoBugRep", ptBoolean, u"false", u"false"},
    {"F1NoScrShot", ptBoolean, u"false", u"true"},
    {"F2NoScrShot", ptBoolean, u"false", u"false"},
    {"GnNoScrShot", ptBoolean, u"false", u"false"},
    {"F1NoHandlers", ptBoolean, u"false", u"true"},
    {"F2NoHandlers", ptBoolean, u"false", u"false"},
    {"GnNoHandlers", ptBoolean, u"false", u"false"},
    {"F1NoSuspend", ptBoolean, u"false", u"true"},
    {"F2NoSuspend", ptBoolean, u"false", u"false"},
    {"GnNoSuspend", ptBoolean, u"false", u"false"},
    {"F1ShowCfg", ptInteger, u"0", u"3"},
    {"F2ShowCfg", ptInteger, u"0", u"0"},
    {"GnShowCfg", ptInteger, u"0", u"0"},
    {"F1Assis", ptString, u"", u""},
    {"F2Assis", ptString, u"", u""},
    {"GnAssis", ptString, u"", u""},
    {"VersionVar", ptInteger, u"0", nullptr},
    {"CrashOnOverrun", ptBoolean, u"false", nullptr},
    {"Assistant1", ptString, nullptr, u"SendAssistant|Send Assistant|ContactForm|DetailsForm|ScrShotForm"},
    {"Assistant2", ptString, nullptr, u"SaveAssistant|Save Assistant|ContactForm|DetailsForm"},
    {"Assistant3", ptString, nullptr, u"PrintAssistant|Print Assistant|ContactForm|DetailsForm"},
};

inline std::u16string Decimal(int32_t value)
{
    const std::string digits = std::to_string(value);
    return {digits.begin(), digits.end()};
}

enum class TSettingsTable
{
    BuiltIn,
    Stored
};

// Every setting of the table has its kind and value in `list`, every absent one is absent,
// and the list holds nothing else (a name stored twice counts once: the first record wins).
inline void ExpectEverySetting(const TSettingsList& list, TSettingsTable table)
{
    size_t present = 0;
    for (const TExpectedSetting& e : ExpectedSettings) {
        const char16_t* value = table == TSettingsTable::BuiltIn ? e.BuiltIn : e.Stored;
        const SettingsProperty* p = list.Find(e.Name);
        if (!value) {
            EXPECT_EQ(p, nullptr) << e.Name;
            continue;
        }
        ++present;
        if (!p) {
            ADD_FAILURE() << e.Name << " is missing";
            continue;
        }
        EXPECT_EQ(p->Type, e.Type) << e.Name;
        const std::u16string text = value;
        if (e.Type == ptBoolean)
            EXPECT_EQ(p->BoolValue, text == u"true") << e.Name;
        else if (e.Type == ptInteger)
            EXPECT_EQ(Decimal(p->IntValue), text) << e.Name;
        else if (value != AnyText)
            EXPECT_EQ(p->StrValue, text) << e.Name;
        else
            EXPECT_FALSE(p->StrValue.empty()) << e.Name;
    }
    std::set<std::string> names;
    for (const SettingsProperty& p : list.Items())
        names.insert(p.Name);
    EXPECT_EQ(names.size(), present);
}

} // namespace crash::testing
