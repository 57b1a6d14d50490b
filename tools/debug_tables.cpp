#include "tools/debug_tables.h"

#include "crash/core/pe_image.h"
#include "tools/dwarf_lines.h"
#include "tools/image_symbols.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

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
    std::string name = linked.starts_with('_') ? linked.substr(1) : linked;
    if (!name.starts_with("_Z"))
        return name;
    // A __stdcall function keeps its "@" and the size of its arguments behind the name
    // (and a part the compiler split off, ".cold", behind those).
    std::string suffix;
    const size_t at = name.find_last_of('@');
    const size_t digits = at == std::string::npos ? at : name.find_first_not_of("0123456789", at + 1);
    if (at != std::string::npos && digits != at + 1 && (digits == std::string::npos || name[digits] == '.')) {
        suffix = name.substr(at);
        name.erase(at);
    }
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> text(abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status),
                                                std::free);
    return (status == 0 && text ? std::string(text.get()) : name) + suffix;
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
    std::erase_if(rows, [&](const TLineRow& r) {
        return r.Address < ranges.BaseOfCode || r.Address > ranges.TopOfCode;
    });
    // By address; where one sequence ends and another begins, the end comes first.
    std::stable_sort(rows.begin(), rows.end(), [](const TLineRow& a, const TLineRow& b) {
        return a.Address != b.Address ? a.Address < b.Address : a.EndSequence && !b.EndSequence;
    });
    // Of several rows at one address the last counts (the one in effect when the code
    // there runs).
    std::vector<crash::TMfLine> lines;
    for (const TLineRow& r : rows) {
        if (r.EndSequence)
            continue;
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
    for (const TImageFunction& f : symbols.Functions())
        if (f.Address >= ranges.BaseOfCode && f.Address < ranges.TopOfCode)
            map.AddPublic(true, DemangledName(f.Name), f.Address, true);
    if (image->AddressOfEntryPoint)
        map.SetEntryPoint(base + image->AddressOfEntryPoint);
    map.Finish();
    return out;
}

} // namespace tools
