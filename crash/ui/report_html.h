#pragma once
// The report as an HTML page, for the web client of a CGI program or a web-server extension:
// the program's message, a button that goes back (continue), one that shows the report, and
// the report in a text area. Every text from the report or the settings is escaped, so that
// an exception message cannot put markup into the page. Platform-free.

#include <functional>
#include <string>

namespace crash {

struct THtmlPageTexts
{
    std::u16string Title;
    std::u16string ExceptMsg; // as stored: "%LF%" becomes a line break of the page
    // Expands the variables of a part of the message.
    std::function<std::u16string(const std::u16string&)> Expand;
    std::u16string ContinueCaption;
    bool ContinueVisible = true;
    std::u16string ShowCaption;
    bool ShowVisible = true;
    bool AutoShow = false;
};

std::u16string ReportHtmlPage(const std::u16string& report, const THtmlPageTexts& t);

// "&", "<", ">" and the quotation marks as entities.
std::u16string HtmlEscaped(std::u16string_view text);

} // namespace crash
