#include "crash/ui/report_file.h"

#include "crash/core/report/report_lookup.h"

#include <string_view>

namespace crash {
namespace {

constexpr std::string_view Start = "date/time";
constexpr std::string_view Boundary = "\r\ndate/time";

using std::string_view;

bool SameProgram(string_view block, string_view report)
{
    for (string_view field : {"executable", "current module", "exception class", "version"})
        if (!SameHeaderField(block, report, field))
            return false;
    return !ExtractHeaderField(block, string_view("version")).empty() ||
           (SameHeaderField(block, report, string_view("exec. date/time")) &&
            SameHeaderField(block, report, string_view("module date/time")));
}

// Takes the newest earlier report with the key out of `file`; its count (1 without a "count"
// line), or -1 when there is none.
int TakeDuplicate(std::string& file, string_view report, const std::string& key)
{
    const std::string needle = ": " + key;
    for (size_t at = file.rfind(needle); at != std::string::npos;
         at = at ? file.rfind(needle, at - 1) : std::string::npos) {
        const size_t boundary = string_view(file).substr(0, at).rfind(Boundary);
        size_t begin;
        if (boundary != std::string::npos)
            begin = boundary + 2;
        else if (string_view(file).starts_with(Start))
            begin = 0;
        else
            continue;
        const size_t next = file.find(Boundary, at);
        const size_t end = next == std::string::npos ? file.size() : next + 2;
        const string_view block = string_view(file).substr(begin, end - begin);
        if (!SameProgram(block, report))
            continue;
        int count = 1;
        const std::string value = ExtractHeaderField(block, string_view("count"));
        if (!value.empty() && value.find_first_not_of("0123456789") == std::string::npos && value.size() < 9)
            count = std::stoi(value);
        file.erase(begin, end - begin);
        return count;
    }
    return -1;
}

// Drops the oldest reports, so that what is left (from a report's start) is under three
// quarters of the limit; nothing when no start is that near the end.
void Cut(std::string& file, uint64_t limit)
{
    const uint64_t keep = limit - limit / 4;
    for (size_t at = file.find(Boundary); at != std::string::npos; at = file.find(Boundary, at + 1))
        if (file.size() - at < keep) {
            file.erase(0, at + 2);
            return;
        }
}

} // namespace

std::string DuplicateKey(const std::string& callstackCrc, int32_t dupDef)
{
    if (callstackCrc.size() != 31)
        return {};
    return callstackCrc.substr(0, dupDef == 0 ? 9 : dupDef == 1 ? 20 : 31);
}

std::string AppendReport(std::string file, std::string report, const TAppendRules& rules)
{
    // Whether to cut is decided on the size the file had.
    const bool cut = rules.SizeLimit && rules.SizeLimit < file.size();
    const std::string key =
        rules.MergeDuplicates
            ? DuplicateKey(ExtractHeaderField(string_view(report), string_view("callstack crc")),
                           rules.DupDef)
            : std::string();
    if (!file.empty() && !key.empty())
        if (const int count = TakeDuplicate(file, report, key); count >= 0)
            InsertHeaderLine(report, string_view("count"), string_view("callstack crc"),
                             string_view(std::to_string(count + 1)));
    if (cut)
        Cut(file, rules.SizeLimit);
    return file + report + "\r\n\r\n";
}

} // namespace crash
