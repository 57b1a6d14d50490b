#include "crash/reporter_services_win.h"

#include "base/clipboard_win.h"
#include "crash/core/freeze/freeze_watch_win.h"
#include "crash/core/pipeline/pipeline_services.h"
#include "crash/core/report/report_assembly_win.h"
#include "crash/ui/exception_box_win.h"
#include "crash/ui/report_html_win.h"
#include "crash/ui/report_printing_win.h"
#include "crash/ui/report_saving_win.h"

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

void Clipboard(const std::u16string& text)
{
    base::CopyTextToClipboard(text);
}

std::u16string Page(IExceptionReport& report)
{
    auto* settings = dynamic_cast<ReportSettings*>(&report);
    return settings ? ReportHtmlPageOf(*settings, report.GetBugReport(true)) : std::u16string();
}

} // namespace

void InstallReporterServices()
{
    TPipelineServices services = PipelineServices();
    services.ShowCrashDialog = &ShowCrashDialog;
    services.ReportText = &AssembledReportText;
    services.SaveBugReport = &Save;
    services.PrintBugReport = &Print;
    services.CopyToClipboard = &Clipboard;
    services.HtmlPage = &Page;
    services.ResetFreezeCounter = &ResetFreezeCounter;
    SetPipelineServices(services);
}

} // namespace crash
