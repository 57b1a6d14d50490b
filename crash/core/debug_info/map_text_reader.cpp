#include "crash/core/debug_info/map_text_reader.h"

#include "base/ascii_case.h"

#include <map>
#include <optional>
#include <vector>

namespace crash {
namespace {

std::optional<uint32_t> HexAt(std::string_view line, size_t at, size_t digits)
{
    if (at + digits > line.size())
        return std::nullopt;
    uint32_t v = 0;
    for (size_t i = at; i < at + digits; ++i) {
        const char c = line[i];
        const int d = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                             : -1;
        if (d < 0)
            return std::nullopt;
        v = v << 4 | static_cast<uint32_t>(d);
    }
    return v;
}

std::string_view TrimView(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

bool ContainsData(std::string_view name)
{
    return base::AsciiLowerCase(std::string(name)).find("data") != std::string::npos;
}

// Columns of a map line: " ssss:oooooooo llllllllH name..." (a blank first).
constexpr size_t Colon = 5;

struct TSection
{
    bool Code;
    uint32_t Start; // relative to its base (the first code or the first data segment)
};

} // namespace

bool ReadTextMap(std::string_view text, TMapFile& map)
{
    std::vector<std::string_view> lines;
    for (size_t at = 0; at <= text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        at = end + 1;
    }

    std::map<uint32_t, TSection> sections;
    auto sectionOf = [&](uint32_t number) -> const TSection* {
        auto it = sections.find(number);
        return it == sections.end() ? nullptr : &it->second;
    };
    bool found = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (line.find("Start         Length     Name                   Class") != std::string_view::npos) {
            uint32_t expected = 1, codeBase = 0, dataBase = 0;
            bool data = false, first = true;
            for (size_t k = i + 1; k < lines.size(); ++k) {
                const std::string_view s = lines[k];
                if (TrimView(s).empty()) {
                    if (!sections.empty())
                        break;
                    continue;
                }
                if (s.size() <= 48 || s[Colon] != ':' || s[14] != ' ' || s[23] != 'H')
                    continue;
                const auto number = HexAt(s, 1, 4), start = HexAt(s, 6, 8);
                if (!number || !start || *number != expected)
                    continue; // a line that breaks the numbering is dropped
                const std::string_view name = TrimView(s.substr(25, 23));
                if (first) {
                    codeBase = *start;
                    first = false;
                }
                if (!data && ContainsData(name)) {
                    data = true;
                    dataBase = *start;
                }
                const uint32_t base = data ? dataBase : codeBase;
                if (*start < base)
                    break;
                sections[*number] = {!data, *start - base};
                ++expected;
            }
            found = found || !sections.empty();
        } else if (line.find("Detailed map of segments") != std::string_view::npos) {
            size_t k = i + 1;
            while (k < lines.size() && TrimView(lines[k]).empty())
                ++k;
            for (; k < lines.size() && !TrimView(lines[k]).empty(); ++k) {
                const std::string_view s = lines[k];
                if (s.size() <= 74 || s[Colon] != ':' || s[14] != ' ' || s[23] != ' ' ||
                    s.substr(24, 2) != "C=")
                    continue;
                const auto number = HexAt(s, 1, 4), offset = HexAt(s, 6, 8), length = HexAt(s, 15, 8);
                const TSection* section = number ? sectionOf(*number) : nullptr;
                if (!offset || !length || !section)
                    continue;
                std::string_view rest = TrimView(s);
                const size_t blank = rest.find_last_of(' ');
                if (blank != std::string_view::npos)
                    rest = TrimView(rest.substr(0, blank));
                const size_t mark = rest.find_last_of("=\\|");
                const std::string_view unit = mark == std::string_view::npos ? rest : rest.substr(mark + 1);
                map.AddSegment(section->Code, section->Start + *offset, *length, std::string(TrimView(unit)));
                found = true;
            }
        } else if (line.find("Publics by Value") != std::string_view::npos) {
            for (size_t k = i + 1; k < lines.size(); ++k) {
                const std::string_view s = lines[k];
                if (s.find("Line numbers for ") != std::string_view::npos ||
                    s.find("Program entry point at ") != std::string_view::npos ||
                    s.find("Publics by Name") != std::string_view::npos)
                    break;
                if (s.size() < 17 || s[Colon] != ':')
                    continue;
                const auto number = HexAt(s, 1, 4), offset = HexAt(s, 6, 8);
                const TSection* section = number ? sectionOf(*number) : nullptr;
                if (!offset || !section)
                    continue;
                std::string_view name = TrimView(s.substr(14));
                const size_t blank = name.find_last_of(' ');
                if (blank != std::string_view::npos)
                    name = name.substr(blank + 1);
                if (!name.empty() && name.back() == ')') {
                    const size_t open = name.rfind('(');
                    if (open != std::string_view::npos && open > 0)
                        name = name.substr(0, open);
                }
                if (name.empty())
                    continue;
                map.AddPublic(section->Code, std::string(name), section->Start + *offset);
                found = true;
            }
        } else if (line.find("Line numbers for ") != std::string_view::npos) {
            size_t k = i + 1;
            while (k < lines.size() && TrimView(lines[k]).empty())
                ++k;
            uint32_t last = 0;
            bool firstLine = true;
            for (; k < lines.size() && !TrimView(lines[k]).empty(); ++k, firstLine = false) {
                std::string_view s = lines[k];
                // Pairs: a decimal line number, a blank, "ssss:oooooooo".
                size_t at = 0;
                while (at < s.size()) {
                    while (at < s.size() && s[at] == ' ')
                        ++at;
                    size_t digits = at;
                    int32_t number = 0;
                    while (digits < s.size() && s[digits] >= '0' && s[digits] <= '9' && number < 100000000)
                        number = number * 10 + (s[digits++] - '0');
                    if (digits == at || digits + 14 > s.size() || s[digits] != ' ' || s[digits + 5] != ':')
                        break;
                    const auto segment = HexAt(s, digits + 1, 4), offset = HexAt(s, digits + 6, 8);
                    at = digits + 14;
                    const TSection* section = segment ? sectionOf(*segment) : nullptr;
                    if (!offset || !section || !section->Code)
                        continue;
                    const uint32_t address = map.Ranges().BaseOfCode + section->Start + *offset;
                    if (!firstLine && address <= last)
                        continue;
                    map.AddLine(number, address);
                    last = address;
                    found = true;
                }
            }
        } else if (line.find("Program entry point at ") != std::string_view::npos && line.size() > 28 &&
                   line[28] == ':') {
            if (const auto entry = HexAt(line, 29, 8))
                map.SetEntryPoint(map.Ranges().BaseOfCode + *entry);
        }
    }
    map.Finish();
    map.SetValid(found);
    return found;
}

} // namespace crash
