#include "crash/core/debug_info/map_file.h"

#include "base/ascii_case.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace crash {
namespace {

// A stable sort that costs one pass over a table already in order.
template <class T, class Less> void SortStably(std::vector<T>& items, Less less)
{
    if (!std::is_sorted(items.begin(), items.end(), less))
        std::stable_sort(items.begin(), items.end(), less);
}

bool SameText(std::string_view a, std::string_view b)
{
    return base::AsciiEqualIgnoringCase(a, b);
}

bool EndsWithText(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && SameText(s.substr(s.size() - tail.size()), tail);
}

std::string Trim(const std::string& s)
{
    const size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// Units of Delphi sources are named without their extension.
std::string UnitName(std::string unit)
{
    for (const char* extension : {".dpr", ".pas"})
        if (EndsWithText(unit, extension))
            unit.erase(unit.size() - 4);
    return unit;
}

} // namespace

std::optional<std::string> DemangleCxx(const std::string& linked)
{
    std::string name = linked.starts_with("__Z") ? linked.substr(1) : linked;
    if (!name.starts_with("_Z"))
        return std::nullopt;
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
    if (status != 0 || !text)
        return std::nullopt;
    return std::string(text.get()) + suffix;
}

TUnmangled Unmangle(const std::string& linked)
{
    const std::optional<std::string> demangled = DemangleCxx(linked);
    const std::string& mangled = demangled ? *demangled : linked;
    std::string s;
    for (size_t i = 0; i < mangled.size(); ++i) {
        if (mangled[i] == ':' && i + 1 < mangled.size() && mangled[i + 1] == ':') {
            s += '.';
            ++i;
        } else {
            s += mangled[i];
        }
    }
    if (s.empty() || s[0] != '@')
        return {"", s};
    std::string suffix;
    if (s.size() > 1 && s[1] == '%') {
        const size_t last = s.rfind("%@");
        if (last != std::string::npos)
            suffix = "." + s.substr(last + 2);
    }
    size_t start = 2;
    if (s.size() > 6 && s.compare(0, 3, "@_$") == 0) {
        const size_t p = s.find("$@", 4);
        if (p != std::string::npos)
            start = p + 2;
    }
    std::string out = "@", unit;
    bool unitFound = false, dollar = false, destructor = false;
    for (size_t i = 1; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '$' && i >= start) {
            dollar = true;
            destructor = i + 2 < s.size() && s[i + 2] == 'd';
            break;
        }
        if (c == '@' && i >= start) {
            if (!unitFound) {
                unitFound = true;
                unit = s.substr(1, i - 1);
            }
            out += '.';
            continue;
        }
        out += c;
    }
    if (dollar)
        out += suffix;
    if (unitFound && out.size() > unit.size() + 2) {
        out.erase(0, unit.size() + 2);
    } else {
        unit.clear();
        if (dollar)
            out.erase(0, 1);
    }
    if (!out.empty() && out[0] == '%')
        out.erase(0, 1);
    if (!out.empty() && out[0] == '.')
        out[0] = '@';
    if (!out.empty() && out.back() == '.')
        out += destructor ? "Destroy" : "Create";
    out = Trim(out);
    if (!out.empty() && out.back() == '.')
        out += '?';
    return {unit, out};
}

TMapFile::TMapFile(const TModuleRanges& ranges, bool codeOnly) : FCodeOnly(codeOnly), FRanges(ranges)
{
    FSItems.reserve(16);
    FPItems.reserve(16);
    FLItems.reserve(16);
}

void TMapFile::AddSegment(bool code, uint32_t start, uint32_t length, std::string unit, bool absolute,
                          bool lineNumbers)
{
    if (!code && FCodeOnly)
        return;
    unit = UnitName(std::move(unit));
    if (!absolute)
        start += code ? FRanges.BaseOfCode : FRanges.BaseOfData;
    FSItems.push_back({true, code, start, length, std::move(unit), lineNumbers});
    FSorted = false;
}

const TMfSegment* TMapFile::SegmentAt(bool code, uint32_t address) const
{
    // Before Finish the segments are not sorted yet: look through all of them.
    for (const TMfSegment& s : FSItems)
        if (s.Code == code && address >= s.StartAddress &&
            address - s.StartAddress < std::max<uint32_t>(s.Length, 1))
            return &s;
    return nullptr;
}

void TMapFile::AddPublic(bool code, std::string name, uint32_t address, bool absolute)
{
    if (!code && FCodeOnly)
        return;
    // Type descriptors the compiler generates ("@$xp$...").
    if (name.size() >= 6 && name.compare(0, 3, "@$x") == 0 && name[4] == '$')
        return;
    TUnmangled u = Unmangle(name);
    if (u.Name.compare(0, 2, "@@") == 0)
        u.Name.erase(0, 2);
    if (!absolute)
        address += code ? FRanges.BaseOfCode : FRanges.BaseOfData;
    if (const TMfSegment* s = FindSegment(code, address)) {
        const std::string& segUnit = s->Unit_;
        if (u.Unit.empty() && !segUnit.empty() && u.Name.size() > segUnit.size() &&
            SameText(u.Name.substr(0, segUnit.size()), segUnit) && u.Name[segUnit.size()] == '.') {
            u.Unit = segUnit;
            u.Name.erase(0, segUnit.size() + 1);
        }
        if (SameText(u.Name, segUnit))
            u.Name = "initialization";
        if (!u.Unit.empty() && !SameText(u.Unit, segUnit)) {
            u.Name = u.Unit + "." + u.Name;
            if (u.Name.size() > segUnit.size() + 1 && SameText(u.Name.substr(0, segUnit.size()), segUnit) &&
                u.Name[segUnit.size()] == '.')
                u.Name.erase(0, segUnit.size() + 1);
        }
    }
    FPItems.push_back({true, code, std::move(u.Name), address});
}

void TMapFile::AddLine(int32_t line, uint32_t address)
{
    FLItems.push_back({line, address});
}

void TMapFile::AddMergedSegment(bool code, uint32_t start, uint32_t length, std::string unit)
{
    if (!code && FCodeOnly)
        return;
    const uint32_t absolute = start + (code ? FRanges.BaseOfCode : FRanges.BaseOfData);
    unit = UnitName(std::move(unit));
    if (FLastAdded < FSItems.size()) {
        TMfSegment& last = FSItems[FLastAdded];
        const uint64_t end = uint64_t{last.StartAddress} + last.Length;
        if (last.Code == code && SameText(last.Unit_, unit) && absolute >= last.StartAddress &&
            absolute <= end + 2) {
            last.Length = static_cast<uint32_t>(std::max<uint64_t>(end, uint64_t{absolute} + length) -
                                                last.StartAddress);
            return;
        }
    }
    AddSegment(code, start, length, std::move(unit));
    FLastAdded = FSItems.size() - 1;
}

void TMapFile::AddTd32Public(bool code, std::string name, uint32_t address)
{
    if (!code && FCodeOnly)
        return;
    const uint32_t absolute = address + (code ? FRanges.BaseOfCode : FRanges.BaseOfData);
    if (!FindSegment(code, absolute)) {
        // The segment of its kind that starts last before the public ends before it; the
        // next one starts after it, so lengthening cannot reach into that one.
        const size_t at = LastStartingAt(code, absolute);
        TMfSegment* before = at < FSItems.size() ? &FSItems[at] : nullptr;
        const std::string unit = Unmangle(name).Unit;
        if (before) {
            before->Length = absolute - before->StartAddress + 1;
        } else if (!unit.empty()) {
            FSItems.push_back({true, code, absolute, 1, unit, false});
            SortSegments(false);
        }
    }
    AddPublic(code, std::move(name), address);
}

void TMapFile::SortSegments(bool closeGaps)
{
    // Tables of this program's own container come sorted already: then only the check.
    SortStably(FSItems, [](const TMfSegment& a, const TMfSegment& b) {
        return a.Code != b.Code ? a.Code > b.Code : a.StartAddress < b.StartAddress;
    });
    // Empty segments and ones starting where the next starts give way to the next; the
    // others reach the next of their kind, and one of the same unit is absorbed. Each
    // segment is read once, so it is moved rather than copied.
    std::vector<TMfSegment> out;
    out.reserve(FSItems.size());
    for (size_t k = 0; k < FSItems.size(); ++k) {
        TMfSegment s = std::move(FSItems[k]);
        while (k + 1 < FSItems.size()) {
            TMfSegment& next = FSItems[k + 1];
            if (s.Length == 0 || s.StartAddress == next.StartAddress) {
                s = std::move(next);
                ++k;
                continue;
            }
            if (next.Code != s.Code)
                break;
            const uint32_t reach = next.StartAddress - s.StartAddress;
            if (!closeGaps && s.Length < reach)
                break; // a gap stays
            const uint32_t end = std::max(s.Length, reach + next.Length);
            s.Length = reach;
            if (!SameText(next.Unit_, s.Unit_))
                break;
            // A part that lies inside the segment does not shorten it.
            s.Length = end;
            s.LineNumbers = s.LineNumbers || next.LineNumbers;
            ++k;
        }
        if (s.Length > 0)
            out.push_back(std::move(s));
    }
    FSItems = std::move(out);
    FLastAdded = SIZE_MAX;
    FSorted = true;
}

void TMapFile::ExtendLastSegmentToTopOfCode()
{
    TMfSegment* last = nullptr;
    for (TMfSegment& s : FSItems)
        if (s.Code && (!last || s.StartAddress > last->StartAddress))
            last = &s;
    if (last && FRanges.TopOfCode > last->StartAddress)
        last->Length = FRanges.TopOfCode - last->StartAddress;
}

void TMapFile::Clear()
{
    FSItems.clear();
    FPItems.clear();
    FLItems.clear();
    FEntryPoint = 0;
    FValid = false;
    FSorted = false;
    FLastAdded = SIZE_MAX;
}

void TMapFile::Finish()
{
    SortStably(FLItems, [](const TMfLine& a, const TMfLine& b) { return a.Address < b.Address; });
    SortStably(FPItems, [](const TMfPublic& a, const TMfPublic& b) { return a.Address < b.Address; });
    SortSegments(true);
    FValid = FValid || !FSItems.empty() || !FPItems.empty() || !FLItems.empty();
}

size_t TMapFile::LastStartingAt(bool code, uint32_t address) const
{
    // Sorted by kind (code first), then start.
    auto it =
        std::upper_bound(FSItems.begin(), FSItems.end(), std::make_pair(code, address),
                         [](const std::pair<bool, uint32_t>& key, const TMfSegment& s) {
                             return key.first != s.Code ? key.first > s.Code : key.second < s.StartAddress;
                         });
    if (it == FSItems.begin() || (it - 1)->Code != code)
        return SIZE_MAX;
    return static_cast<size_t>(it - 1 - FSItems.begin());
}

const TMfSegment* TMapFile::FindSegment(bool code, uint32_t address) const
{
    if (!FSorted)
        return SegmentAt(code, address);
    const size_t at = LastStartingAt(code, address);
    if (at >= FSItems.size() || address - FSItems[at].StartAddress >= FSItems[at].Length)
        return nullptr;
    return &FSItems[at];
}

const TMfSegment* TMapFile::FindSegmentByIndex(size_t index) const
{
    return index < FSItems.size() ? &FSItems[index] : nullptr;
}

const TMfPublic* TMapFile::FindPublicByIndex(size_t index) const
{
    return index < FPItems.size() ? &FPItems[index] : nullptr;
}

const TMfPublic* TMapFile::FindPublic(uint32_t address) const
{
    auto it = std::upper_bound(FPItems.begin(), FPItems.end(), address,
                               [](uint32_t a, const TMfPublic& p) { return a < p.Address; });
    if (it == FPItems.begin())
        return nullptr;
    if (it == FPItems.end()) {
        if (FRanges.TopOfCode && address >= FRanges.TopOfCode)
            return nullptr;
    } else if (address >= it->Address) {
        return nullptr;
    }
    --it;
    // Code ends at the top of the code, also where data publics follow.
    if (it->Code && FRanges.TopOfCode && address >= FRanges.TopOfCode)
        return nullptr;
    // Of several publics at one address, the first.
    while (it != FPItems.begin() && (it - 1)->Address == it->Address)
        --it;
    return &*it;
}

uint32_t TMapFile::FindPublic(bool code, const std::string& unit, const std::string& name,
                              bool caseSensitive) const
{
    for (const TMfPublic& p : FPItems) {
        if (p.Code != code || !(caseSensitive ? p.Name == name : SameText(p.Name, name)))
            continue;
        const TMfSegment* s = FindSegment(code, p.Address);
        if (unit.empty() || (s && (caseSensitive ? s->Unit_ == unit : SameText(s->Unit_, unit))))
            return p.Address;
    }
    return 0;
}

int32_t TMapFile::FindLine(uint32_t address) const
{
    uint32_t next = 0;
    return FindLine(address, next);
}

int32_t TMapFile::FindLine(uint32_t address, uint32_t& next) const
{
    next = 0;
    const TMfSegment* segment = FindSegment(true, address);
    if (FLItems.empty())
        return segment && segment->LineNumbers ? -1 : 0;
    auto it = std::upper_bound(FLItems.begin(), FLItems.end(), address,
                               [](uint32_t a, const TMfLine& l) { return a < l.Address; });
    if (it == FLItems.begin())
        return 0;
    const TMfLine& line = *(it - 1);
    // A line of another unit does not name this address.
    if (segment && (line.Address < segment->StartAddress))
        return 0;
    next = it != FLItems.end() ? it->Address : segment ? segment->StartAddress + segment->Length : 0;
    return line.Line;
}

uint32_t TMapFile::FindAddress(const std::string& unit, const std::string& publicName) const
{
    return FindPublic(true, unit, publicName, false);
}

} // namespace crash
