#include "crash/ui/report_tabs.h"

#include "base/ascii_case.h"

namespace crash {
namespace {

bool Named(const std::u16string& name, std::u16string_view wanted)
{
    return base::AsciiEqualIgnoringCase(std::u16string_view(name), wanted);
}

bool IsThreadName(const std::u16string& name)
{
    return name.find(u'$') != std::u16string::npos;
}

// A leak report's header opens with the leak's allocation number.
bool IsLeakReport(const TReportParts& r)
{
    return !r.Header.empty() && Named(r.Header.front().first, u"allocation number");
}

bool OpensWithMemoryDump(const TReportParts& r)
{
    return !r.Sections.empty() && Named(r.Sections.front().first, u"memory dump");
}

// The sections the first tab after the header shows: the first section and the thread
// sections that follow it (a leak report's memory dump alone).
size_t GroupSize(const TReportParts& r)
{
    if (r.Sections.empty())
        return 0;
    if (IsLeakReport(r) && OpensWithMemoryDump(r))
        return 1;
    size_t n = 1;
    while (n < r.Sections.size() && IsThreadName(r.Sections[n].first))
        ++n;
    return n;
}

std::u16string ShownName(const std::u16string& name)
{
    if (Named(name, u"cpu registers"))
        return u"cpu regs";
    if (Named(name, u"disassembling"))
        return u"disasm";
    return name;
}

// Sections before the first further one's tab.
size_t FirstOwnTab(const TReportParts& r)
{
    return IsLeakReport(r) ? 1 : 2;
}

} // namespace

std::vector<std::u16string> ReportTabNames(const TReportParts& r)
{
    std::vector<std::u16string> tabs;
    std::u16string stacks = u"call stack";
    if (r.Sections.size() > 1 && IsThreadName(r.Sections[1].first))
        stacks += u's';
    if (!IsLeakReport(r))
        tabs = {u"general", stacks};
    else
        tabs = {OpensWithMemoryDump(r) ? std::u16string(u"memory dump") : stacks};
    for (size_t i = GroupSize(r); i < r.Sections.size(); ++i)
        tabs.push_back(ShownName(r.Sections[i].first));
    return tabs;
}

TTabContent ReportTabContent(const TReportParts& r, int tab)
{
    TTabContent out;
    if (tab < 0)
        return out;
    const size_t group = GroupSize(r);
    const size_t first = FirstOwnTab(r);
    const size_t index = static_cast<size_t>(tab);
    if (index == 0 && !IsLeakReport(r)) {
        out.Kind = TTabKind::Header;
        for (const auto& [name, content] : r.Header) {
            if (!out.Text.empty())
                out.Text += u"\r\n";
            out.Text += name + u'\t' + content;
        }
    } else if (index + 1 == first) {
        if (IsLeakReport(r) && OpensWithMemoryDump(r)) {
            out.SectionName = r.Sections.front().first;
            out.Text = r.Sections.front().second;
            return out;
        }
        out.Kind = TTabKind::CallStack;
        for (size_t i = 0; i < group; ++i) {
            if (i)
                out.Text += u"\r\n\r\n";
            out.Text += u">> " + r.Sections[i].first + u"\r\n" + r.Sections[i].second;
        }
    } else if (index + group - first < r.Sections.size()) {
        const auto& section = r.Sections[index + group - first];
        out.SectionName = section.first;
        out.Text = section.second;
    }
    return out;
}

} // namespace crash
