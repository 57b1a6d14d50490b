#include "crash/ui/report_html.h"

#include <vector>

namespace crash {
namespace {

// The parts of the message between its "%LF%"s (letter case ignored).
std::vector<std::u16string> MessageLines(const std::u16string& message)
{
    std::vector<std::u16string> lines(1);
    for (size_t k = 0; k < message.size();) {
        if (message.size() - k >= 4 && message[k] == u'%' && (message[k + 1] | 0x20) == u'l' &&
            (message[k + 2] | 0x20) == u'f' && message[k + 3] == u'%') {
            lines.emplace_back();
            k += 4;
        } else {
            lines.back() += message[k++];
        }
    }
    return lines;
}

} // namespace

std::u16string HtmlEscaped(std::u16string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        switch (c) {
        case u'&':
            out += u"&amp;";
            break;
        case u'<':
            out += u"&lt;";
            break;
        case u'>':
            out += u"&gt;";
            break;
        case u'"':
            out += u"&quot;";
            break;
        case u'\'':
            out += u"&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::u16string ReportHtmlPage(const std::u16string& report, const THtmlPageTexts& t)
{
    std::u16string page = u"<html><head><title>" + HtmlEscaped(t.Title) + u"</title></head><body>\r\n";
    page += u"<table border=\"0\" width=\"100%\" height=\"100%\">\r\n<tr><td colspan=4 "
            u"style=\"height:2pt;\"></td></tr>\r\n"
            u"<tr><td colspan=4 valign=\"top\"><p style=\"font-family:Tahoma,'MS Sans Serif';font-size:13pt;"
            u"margin-left:4px;\">";
    const std::vector<std::u16string> lines = MessageLines(t.ExceptMsg);
    for (size_t k = 0; k < lines.size(); ++k)
        page += (k ? u"<br>\r\n" : u"") + HtmlEscaped(t.Expand ? t.Expand(lines[k]) : lines[k]);
    page += u"</p></td></tr>\r\n<tr><td colspan=4 style=\"height:8pt;\"></td></tr>\r\n"
            u"<tr><td><button onClick=\"history.back();\" style=\"height:19.5pt;\">&nbsp;" +
            HtmlEscaped(t.ContinueVisible ? t.ContinueCaption : u"continue application") +
            u"&nbsp;</button></td>\r\n<td><p>&nbsp;&nbsp;</p></td>\r\n<td>";
    if (t.AutoShow || !t.ShowVisible)
        page += u"&nbsp;";
    else
        page += u"<button onClick=\"document.getElementById('bugReport').style.visibility='visible';"
                u"this.style.visibility='hidden';\" style=\"height:19.5pt;\">&nbsp;" +
                HtmlEscaped(t.ShowCaption) + u"&nbsp;</button>";
    page +=
        u"</td>\r\n<td width=\"100%\"></td></tr>\r\n<tr><td colspan=4 style=\"height:8pt;\"></td></tr>\r\n"
        u"<tr><td colspan=4 height=\"100%\">\r\n";
    page += t.AutoShow ? u"<textarea id=\"bugReport\" readonly cols=\"80\" rows=\"20\" "
                         u"style=\"width:100%;height:100%;\">"
                       : u"<textarea id=\"bugReport\" readonly cols=\"80\" rows=\"20\" "
                         u"style=\"width:100%;height:100%;visibility:hidden;\">";
    page += u"\r\n" + HtmlEscaped(report) + u"</textarea></td></tr></table></body></html>";
    return page;
}

} // namespace crash
