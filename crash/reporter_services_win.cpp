#include "crash/reporter_services_win.h"

#include "base/ascii_case.h"
#include "base/clipboard_win.h"
#include "base/utf.h"
#include "base/win_handle.h"
#include "crash/core/debug_info/module_debug_info.h"
#include "crash/core/freeze/freeze_watch_win.h"
#include "crash/core/intercept/isapi_requests_win.h"
#include "crash/core/pipeline/exception_report_win.h"
#include "crash/core/pipeline/pipeline_services.h"
#include "crash/core/report/report_assembly_win.h"
#include "crash/delivery/deliver_bug_report_win.h"
#include "crash/delivery/report_temp_folder_win.h"
#include "crash/dialogs/assistant_win.h"
#include "crash/settings/module_settings.h"
#include "crash/ui/exception_box_win.h"
#include "crash/ui/report_html_win.h"
#include "crash/ui/report_printing_win.h"
#include "crash/ui/report_saving_win.h"
#include "crash/ui/screenshot_form_action_win.h"

namespace crash {
namespace {

bool Save(IExceptionReport& report, HWND parent, bool automatic)
{
    auto* settings = dynamic_cast<ReportSettings*>(&report);
    return settings && SaveReportToFile(u"", report.GetBugReport(true), parent, *settings, automatic);
}

bool Print(IExceptionReport& report, HWND parent)
{
    PrintReportText(report.GetBugReport(true), parent, dynamic_cast<ReportSettings*>(&report));
    return true;
}

// The report with its screenshot (when it goes with it), by the channels its settings turn
// on; in the background, the delivery's thread goes to the report.
bool Send(IExceptionReport& report, HWND parent, bool background, bool hidden)
{
    const base::ComPtr<IVxBitmap> shot = report.GetAppendScreenShot() ? report.GetScreenShot() : nullptr;
    HANDLE thread = nullptr;
    const bool sent =
        DeliverBugReport(report.GetBugReport(true), shot, parent, &thread, false,
                         base::ComPtr<IReportSettings>::Share(&report), background, hidden) != 0;
    if (thread) { // kept by the report (which lets go of an earlier one's), else let go of
        auto* object = dynamic_cast<IExceptionReportEx*>(&report);
        base::KernelHandle(object ? ::InterlockedExchangePointer(object->PSendThread(), thread) : thread)
            .Reset();
    }
    return sent;
}

void Clipboard(const std::u16string& text)
{
    base::CopyTextToClipboard(text);
}

std::u16string Page(IExceptionReport& report)
{
    auto* settings = dynamic_cast<ReportSettings*>(&report);
    return settings ? ReportHtmlPageOf(*settings, report.GetBugReport(true)) : std::u16string();
}

// The page a web server's client gets for a report of the extension this module is.
std::string ExtensionPage(const std::string& report)
{
    return base::Utf16ToUtf8(
        ReportHtmlPageOf(*ModuleSettingsFor(ReporterModule()), base::Utf8ToUtf16(report)));
}

// The assistant of that name over `parent`. Its answers go into the report (a section each
// for the multi-line ones that ask for it, header fields for the others), and what the user
// typed into the settings' form cache for the next run.
TAssistantRun Assistant(IExceptionReport& report, const std::u16string& name, HWND parent)
{
    auto* settings = dynamic_cast<ReportSettings*>(&report);
    const base::ComPtr<IVxAssistant> loaded = settings ? settings->GetAssistant(name) : nullptr;
    auto* assistant = dynamic_cast<TNVAssistant*>(loaded.Get());
    if (!assistant)
        return {};
    const bool ok = assistant->ShowModal(parent) == vxmOk;
    settings->FillFormCache(*assistant); // the forms the user continued from, whatever the end
    if (ok) {
        const base::ComPtr<IReportFields> header = report.GetBugReportHeader(),
                                          sections = report.GetBugReportSections();
        auto* object = dynamic_cast<ExceptionReport*>(&report);
        if (object) // the callbacks (the crash dialog) hear of the answers once
            object->BeginUpdate();
        for (const TAssistantAnswer& answer : AssistantAnswers(*assistant))
            if (const base::ComPtr<IReportFields>& fields = answer.OwnSection ? sections : header)
                fields->SetContent(answer.Name, answer.Value);
        if (object)
            object->EndUpdate();
    }
    return {true, ok};
}

// A form's handler named "unit.procedure": in this program's terms the function
// unit::procedure (each dot a "::"), found among the publics of the module's debug information
// by its whole name. Only a function with an action handler's
// parameters is taken, so that no form resource can make the reporter call a function of
// another kind.
TNVActionHandler FindFormAction(HMODULE module, const std::u16string& name)
{
    const TMapFile* map = ModuleMapFile(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(module)));
    if (!map || name.find(u'.') == std::u16string::npos)
        return nullptr;
    const std::string wanted =
        base::Utf16ToUtf8(name) + "(crash.TNVForm&, crash.TNVAction, crash.TNVItem*, crash.ReportSettings*)";
    for (const TMfPublic& p : map->Publics())
        if (p.Code && base::AsciiEqualIgnoringCase(std::string_view(p.Name), std::string_view(wanted)))
            return reinterpret_cast<TNVActionHandler>(static_cast<uintptr_t>(p.Address));
    return nullptr;
}

} // namespace

void InstallReporterServices()
{
    TPipelineServices services = PipelineServices();
    services.ShowCrashDialog = &ShowCrashDialog;
    services.ReportText = &AssembledReportText;
    services.SaveBugReport = &Save;
    services.PrintBugReport = &Print;
    services.SendBugReport = &Send;
    services.CopyToClipboard = &Clipboard;
    services.HtmlPage = &Page;
    services.ResetFreezeCounter = &ResetFreezeCounter;
    services.ClearTempFolder = &ClearReportTempFolder;
    services.RunAssistant = &Assistant;
    services.CaptureScreenShot = [](IExceptionReport& report) {
        return CaptureScreenShot(report.GetScreenShotAppOnly());
    };
    SetPipelineServices(services);
    SetReportPageMaker(&ExtensionPage);
    ClearReportTempFolder(); // nothing of an earlier run goes with a report
    InstallAssistantLoader();
    RegisterFormAction(u"Vexcatch.HandleScreenshotForm", &ScreenshotFormAction);
    SetFormActionFinder(&FindFormAction);
}

} // namespace crash
