#include "crash/ui/report_html.h"

#include "crash/core/report/report_lookup.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace {

size_t Tags(const std::u16string& report, const std::u16string& message, bool autoShow)
{
    crash::THtmlPageTexts texts;
    texts.Title = u"Title";
    texts.ExceptMsg = message;
    texts.Expand = [](const std::u16string& part) { return part; };
    texts.ContinueCaption = u"Continue";
    texts.ShowCaption = u"Show";
    texts.AutoShow = autoShow;
    const std::u16string page = crash::ReportHtmlPage(report, texts);
    return static_cast<size_t>(std::count(page.begin(), page.end(), u'<'));
}

} // namespace

// Any report and any stored exception message (bytes as Latin-1; the first byte says where the
// message ends) as the HTML page. Nothing of either may reach the page as markup: the page has
// as many tags as it has when every "<" of the input is a letter instead.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t split = 1 + data[0] % size;
    std::u16string message(data + 1, data + split), report(data + split, data + size);
    const bool autoShow = size % 2 == 0;
    const size_t tags = Tags(report, message, autoShow);
    std::replace(message.begin(), message.end(), u'<', u'x');
    std::replace(report.begin(), report.end(), u'<', u'x');
    if (Tags(report, message, autoShow) != tags)
        __builtin_trap();
    // The header fields the delivery reads from a report, in UTF-16.
    (void)crash::ExtractHeaderField<char16_t>(report, message);
    (void)crash::ExtractSection<char16_t>(report, message);
    return 0;
}
