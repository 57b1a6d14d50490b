#pragma once
// The report as the crash dialog shows it in tabs: which tabs a report has (the header as
// "general", the thread sections together as "call stack" or "call stacks", then one tab per
// further section) and the text each tab shows. Platform-free; the report comes as its
// header's and sections' (name, content) pairs.

#include <string>
#include <utility>
#include <vector>

namespace crash {

using TReportPairs = std::vector<std::pair<std::u16string, std::u16string>>;

struct TReportParts
{
    TReportPairs Header;
    TReportPairs Sections;
};

enum class TTabKind
{
    Header,    // the header's fields
    CallStack, // the thread sections
    Section    // one further section
};

struct TTabContent
{
    TTabKind Kind = TTabKind::Section;
    std::u16string SectionName; // for a further section
    std::u16string Text;
};

std::vector<std::u16string> ReportTabNames(const TReportParts& report);
// The text of tab `tab` (an index into ReportTabNames); an empty Section for an index
// beyond the report.
TTabContent ReportTabContent(const TReportParts& report, int tab);

} // namespace crash
