#include "crash/core/report/report_lookup.h"

namespace crash {
namespace {

template <class C> std::basic_string<C> Literal(const char* text)
{
    return std::basic_string<C>(text, text + std::char_traits<char>::length(text));
}

template <class C> bool Blank(C c)
{
    return c == C(' ') || c == C('\t');
}

// Where the header line `name` starts (after its line break), or npos. The name must be
// followed by blanks or ":" (so that "version" does not find "versions").
template <class C> size_t HeaderLine(std::basic_string_view<C> report, std::basic_string_view<C> name)
{
    const std::basic_string<C> needle = std::basic_string<C>(1, C('\n')) + std::basic_string<C>(name);
    for (size_t at = report.find(needle); at != std::basic_string_view<C>::npos;
         at = report.find(needle, at + 1)) {
        const size_t after = at + needle.size();
        if (after < report.size() && (report[after] == C(':') || Blank(report[after])))
            return at + 1;
    }
    return std::basic_string_view<C>::npos;
}

template <class C> size_t LineEnd(std::basic_string_view<C> text, size_t from)
{
    const size_t end = text.find_first_of(Literal<C>("\r\n"), from);
    return end == std::basic_string_view<C>::npos ? text.size() : end;
}

} // namespace

template <class C>
std::basic_string<C> ExtractHeaderField(std::basic_string_view<C> report, std::basic_string_view<C> name)
{
    const size_t line = HeaderLine(report, name);
    if (line == std::basic_string_view<C>::npos)
        return {};
    std::basic_string_view<C> text = report.substr(line, LineEnd(report, line) - line);
    const size_t colon = text.find(C(':'));
    if (colon == std::basic_string_view<C>::npos)
        return {};
    text.remove_prefix(colon + 1);
    while (!text.empty() && Blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && Blank(text.back()))
        text.remove_suffix(1);
    return std::basic_string<C>(text);
}

template <class C>
std::basic_string<C> ExtractSection(std::basic_string_view<C> report, std::basic_string_view<C> name)
{
    const std::basic_string<C> needle = Literal<C>("\r\n\r\n") + std::basic_string<C>(name) + C(':');
    const size_t at = report.find(needle);
    if (at == std::basic_string_view<C>::npos)
        return {};
    const size_t start = at + needle.size();
    const size_t end = report.find(Literal<C>("\r\n\r\n"), start);
    return std::basic_string<C>(
        report.substr(start, (end == std::basic_string_view<C>::npos ? report.size() : end) - start));
}

template <class C>
bool SameHeaderField(std::basic_string_view<C> a, std::basic_string_view<C> b, std::basic_string_view<C> name)
{
    return ExtractHeaderField(a, name) == ExtractHeaderField(b, name);
}

template <class C>
void InsertHeaderLine(std::basic_string<C>& report, std::basic_string_view<C> name,
                      std::basic_string_view<C> after, std::basic_string_view<C> value)
{
    const std::basic_string_view<C> text = report;
    const size_t line = HeaderLine(text, after);
    if (line == std::basic_string_view<C>::npos)
        return;
    const size_t end = LineEnd(text, line);
    const size_t colon = text.substr(line, end - line).find(C(':'));
    if (colon == std::basic_string_view<C>::npos || end == text.size())
        return;
    std::basic_string<C> inserted = Literal<C>("\r\n") + std::basic_string<C>(name);
    if (name.size() < colon)
        inserted.append(colon - name.size(), C(' '));
    inserted += Literal<C>(": ");
    inserted += value;
    report.insert(end, inserted);
}

#define VX_LOOKUP(C)                                                                                         \
    template std::basic_string<C> ExtractHeaderField(std::basic_string_view<C>, std::basic_string_view<C>);  \
    template std::basic_string<C> ExtractSection(std::basic_string_view<C>, std::basic_string_view<C>);      \
    template bool SameHeaderField(std::basic_string_view<C>, std::basic_string_view<C>,                      \
                                  std::basic_string_view<C>);                                                \
    template void InsertHeaderLine(std::basic_string<C>&, std::basic_string_view<C>,                         \
                                   std::basic_string_view<C>, std::basic_string_view<C>);
VX_LOOKUP(char)
VX_LOOKUP(char16_t)
#undef VX_LOOKUP

} // namespace crash
