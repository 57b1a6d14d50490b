#include "tools/debug_tables.h"

#include "crash/core/debug_info/pe_image.h"
#include "tools/dwarf_lines.h"
#include "tools/image_symbols.h"

#include <algorithm>

namespace tools {
namespace {

std::string WithoutPath(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::string DemangledName(const std::string& linked)
{
    const std::string name = linked.starts_with('_') ? linked.substr(1) : linked;
    return crash::DemangleCxx(name).value_or(name);
}

std::optional<TDebugTables> BuildDebugTables(std::span<const uint8_t> file)
{
    const auto image = crash::TPeImage::Parse(file, false);
    if (!image)
        return std::nullopt;
    const uint32_t base = static_cast<uint32_t>(image->ImageBase);
    const TImageSymbols symbols(file, *image);
    TDebugTables out{crash::TMapFile(image->Ranges(base), true), symbols.DebugSize()};
    crash::TMapFile& map = out.Map;
    const crash::TModuleRanges& ranges = map.Ranges();

    std::vector<TLineRow> rows = DecodeLineTable(
        {symbols.Section(".debug_line"), symbols.Section(".debug_line_str"), symbols.Section(".debug_str")});
    // A row at the address where its sequence ends covers no code: it would name the code
    // that follows, which is not its own.
    for (size_t k = 0; k + 1 < rows.size(); ++k)
        if (!rows[k].EndSequence && rows[k + 1].EndSequence && rows[k].Address == rows[k + 1].Address)
            rows[k].Address = 0;
    std::erase_if(rows, [&](const TLineRow& r) {
        return r.Address < ranges.BaseOfCode || r.Address > ranges.TopOfCode;
    });
    // By address; where one sequence ends and another begins, the end comes first.
    std::stable_sort(rows.begin(), rows.end(), [](const TLineRow& a, const TLineRow& b) {
        return a.Address != b.Address ? a.Address < b.Address : a.EndSequence && !b.EndSequence;
    });
    const std::vector<TImageFunction> functions = symbols.Functions();
    // Code without line information (the libraries') that follows a unit's code is no part
    // of that unit: where a sequence ends and functions follow before the next row, a
    // segment without a unit takes the gap, and a line before a segment does not name
    // what is in it. A gap without a function is padding between two functions, which
    // never runs.
    std::vector<crash::TMfLine> lines;
    for (size_t k = 0; k < rows.size(); ++k) {
        const TLineRow& r = rows[k];
        if (r.EndSequence) {
            const uint32_t next = k + 1 < rows.size() ? rows[k + 1].Address : ranges.TopOfCode;
            const auto function =
                std::lower_bound(functions.begin(), functions.end(), r.Address,
                                 [](const TImageFunction& f, uint32_t a) { return f.Address < a; });
            if (next > r.Address && function != functions.end() && function->Address < next)
                map.AddSegment(true, r.Address, next - r.Address, "", true);
            continue;
        }
        // Of several rows at one address the last counts (the one in effect when the code
        // there runs).
        if (!lines.empty() && lines.back().Address == r.Address)
            lines.back().Line = r.Line;
        else
            lines.push_back({r.Line, r.Address});
    }
    for (const crash::TMfLine& l : lines)
        map.AddLine(l.Line, l.Address);
    // A unit is a run of rows of one file: code inlined from a header is that header's.
    for (size_t k = 0; k < rows.size();) {
        if (rows[k].EndSequence) {
            ++k;
            continue;
        }
        size_t next = k + 1;
        while (next < rows.size() && !rows[next].EndSequence && rows[next].File == rows[k].File)
            ++next;
        const uint32_t end = next < rows.size() ? rows[next].Address : ranges.TopOfCode;
        if (end > rows[k].Address)
            map.AddSegment(true, rows[k].Address, end - rows[k].Address, WithoutPath(rows[k].File), true,
                           true);
        k = next;
    }
    for (const TImageFunction& f : functions)
        if (f.Address >= ranges.BaseOfCode && f.Address < ranges.TopOfCode)
            map.AddPublic(true, DemangledName(f.Name), f.Address, true);
    if (image->AddressOfEntryPoint)
        map.SetEntryPoint(base + image->AddressOfEntryPoint);
    map.Finish();
    return out;
}

} // namespace tools
