#include "crash/ui/report_html_win.h"

#include "crash/core/report/report_lookup.h"
#include "crash/settings/text_variables.h"
#include "crash/ui/report_html.h"

namespace crash {

std::u16string ReportHtmlPageOf(ReportSettings& settings, const std::u16string& report)
{
    THtmlPageTexts t;
    t.Title = settings.GetTitleBar();
    t.ExceptMsg = settings.GetPropStrUnexpanded("ExceptMsg"); // with its "%LF%" as stored
    const std::u16string_view text = report;
    t.Expand = [&](const std::u16string& part) {
        std::u16string expanded = settings.ExpandTextVariables(part);
        // What the report says of itself (plain settings keep these variables for it).
        ReplaceNoCase(expanded, u"%exceptClass%",
                      ExtractHeaderField(text, std::u16string_view(u"exception class")));
        ReplaceNoCase(expanded, u"%exceptMsg%",
                      ExtractHeaderField(text, std::u16string_view(u"exception message")));
        ReplaceNoCase(expanded, u"%errorDetails%",
                      ExtractSection(text, std::u16string_view(u"error details")));
        ReplaceNoCase(expanded, u"%bugReport%", report);
        return expanded;
    };
    t.ContinueCaption = settings.GetContinueBtnCaption();
    t.ContinueVisible = settings.GetContinueBtnVisible();
    t.ShowCaption = settings.GetShowBtnCaption();
    t.ShowVisible = settings.GetShowBtnVisible();
    t.AutoShow = settings.GetAutoShowBugReport();
    return ReportHtmlPage(report, t);
}

} // namespace crash
