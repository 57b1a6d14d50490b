#include "crash/delivery/xml_scan.h"

#include "base/utf.h"

#include <optional>

namespace crash {
namespace {

constexpr std::string_view CdataOpen = "<![CDATA[", CdataClose = "]]>";

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// "<struct>" or "struct" → "struct".
std::string_view TagName(std::string_view tag)
{
    if (!tag.empty() && tag.front() == '<')
        tag.remove_prefix(1);
    if (!tag.empty() && tag.back() == '>')
        tag.remove_suffix(1);
    return tag;
}

// Whether an opening ("<name") or closing ("</name") tag of `name` starts at `at`.
bool TagAt(std::string_view text, size_t at, std::string_view name, bool closing)
{
    const size_t start = at + 1 + (closing ? 1 : 0);
    if (closing && (at + 1 >= text.size() || text[at + 1] != '/'))
        return false;
    if (text.compare(start, name.size(), name) != 0 || start + name.size() >= text.size())
        return false;
    const char next = text[start + name.size()];
    return next == '>' || next == '/' || IsBlank(next);
}

struct TElement
{
    size_t ContentBegin, ContentEnd, End;
};

// The next "<" at or after `at` that opens a tag, comments and CDATA sections passed over;
// npos when there is none, or when one of those does not end.
size_t NextTag(std::string_view text, size_t at)
{
    for (;;) {
        at = text.find('<', at);
        if (at == std::string_view::npos)
            return at;
        bool skipped = false;
        for (const auto& [open, close] :
             {std::pair<std::string_view, std::string_view>{CdataOpen, CdataClose}, {"<!--", "-->"}})
            if (text.compare(at, open.size(), open) == 0) {
                const size_t end = text.find(close, at + open.size());
                if (end == std::string_view::npos)
                    return end;
                at = end + close.size();
                skipped = true;
                break;
            }
        if (!skipped)
            return at;
    }
}

// The first element `name` at or after `from`, its nested namesakes counted; none when it is
// not closed. Each byte is looked at a bounded number of times, so a scan is linear.
std::optional<TElement> NextElement(std::string_view text, std::string_view name, size_t from)
{
    if (name.empty())
        return std::nullopt;
    size_t at = NextTag(text, from);
    for (; at != std::string_view::npos && !TagAt(text, at, name, false); at = NextTag(text, at + 1)) {
    }
    if (at == std::string_view::npos)
        return std::nullopt;
    size_t gt = text.find('>', at);
    if (gt == std::string_view::npos)
        return std::nullopt;
    if (text[gt - 1] == '/')
        return TElement{gt + 1, gt + 1, gt + 1};
    const size_t begin = gt + 1;
    int depth = 1;
    for (at = NextTag(text, begin); at != std::string_view::npos; at = NextTag(text, at)) {
        const bool closing = TagAt(text, at, name, true);
        if (!closing && !TagAt(text, at, name, false)) {
            ++at;
            continue;
        }
        gt = text.find('>', at);
        if (gt == std::string_view::npos)
            return std::nullopt;
        if (closing && --depth == 0)
            return TElement{begin, at, gt + 1};
        if (!closing && text[gt - 1] != '/')
            ++depth;
        at = gt + 1;
    }
    return std::nullopt;
}

std::string Cleaned(std::string_view content, bool resolve)
{
    while (!content.empty() && IsBlank(content.front()))
        content.remove_prefix(1);
    while (!content.empty() && IsBlank(content.back()))
        content.remove_suffix(1);
    if (content.size() >= CdataOpen.size() + CdataClose.size() && content.starts_with(CdataOpen) &&
        content.ends_with(CdataClose))
        return std::string(
            content.substr(CdataOpen.size(), content.size() - CdataOpen.size() - CdataClose.size()));
    // A content with markup is XML still to be scanned: resolving it now would resolve its
    // text twice, and inside CDATA sections.
    return resolve && content.find('<') == std::string_view::npos ? XmlUnescaped(content)
                                                                  : std::string(content);
}

struct TQuery
{
    std::vector<std::string_view> Names;
    std::string_view NameElement, Name;
    bool Resolve;
};

void Collect(std::string_view text, size_t level, const TQuery& query, std::vector<std::string>& out)
{
    for (auto e = NextElement(text, query.Names[level], 0); e;
         e = NextElement(text, query.Names[level], e->End)) {
        const std::string_view content = text.substr(e->ContentBegin, e->ContentEnd - e->ContentBegin);
        if (level + 1 < query.Names.size()) {
            Collect(content, level + 1, query, out);
            continue;
        }
        if (query.NameElement.empty()) {
            out.push_back(Cleaned(content, query.Resolve));
            continue;
        }
        const auto child = NextElement(content, query.NameElement, 0);
        if (!child)
            continue;
        std::string named = Cleaned(
            content.substr(child->ContentBegin, child->ContentEnd - child->ContentBegin), query.Resolve);
        if (query.Name.empty())
            out.push_back(std::move(named));
        else if (named == query.Name)
            out.push_back(Cleaned(content, query.Resolve));
    }
}

// The character a reference between "&" and ";" stands for, as UTF-8; empty when it is not
// one this reader knows.
std::string Referenced(std::string_view reference)
{
    static constexpr std::pair<std::string_view, char> Named[] = {
        {"quot", '"'}, {"amp", '&'}, {"apos", '\''}, {"lt", '<'}, {"gt", '>'}};
    for (const auto& [name, c] : Named)
        if (reference == name)
            return std::string(1, c);
    if (reference.size() < 2 || reference.size() > 9 || reference[0] != '#')
        return {};
    const bool hex = reference[1] == 'x' || reference[1] == 'X';
    const std::string_view digits = reference.substr(hex ? 2 : 1);
    if (digits.empty())
        return {};
    char32_t code = 0;
    for (const char c : digits) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (hex && (c | 0x20) >= 'a' && (c | 0x20) <= 'f')
            digit = (c | 0x20) - 'a' + 10;
        else
            return {};
        code = code * (hex ? 16 : 10) + static_cast<char32_t>(digit);
    }
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return {};
    std::u16string unit;
    if (code < 0x10000) {
        unit.push_back(static_cast<char16_t>(code));
    } else {
        unit.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
        unit.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    }
    return base::Utf16ToUtf8(unit);
}

} // namespace

std::vector<std::string> ExtractXmlAll(std::string_view text, std::string_view path,
                                       std::string_view nameElement, std::string_view name, bool resolve)
{
    TQuery query{{}, TagName(nameElement), name, resolve};
    for (size_t start = 0;;) {
        const size_t bar = path.find('|', start);
        query.Names.push_back(TagName(path.substr(start, bar - start)));
        if (query.Names.back().empty())
            return {};
        if (bar == std::string_view::npos)
            break;
        start = bar + 1;
    }
    std::vector<std::string> out;
    Collect(text, 0, query, out);
    return out;
}

std::string ExtractXml(std::string_view text, std::string_view path, size_t index,
                       std::string_view nameElement, std::string_view name, bool resolve)
{
    std::vector<std::string> all = ExtractXmlAll(text, path, nameElement, name, resolve);
    return index < all.size() ? std::move(all[index]) : std::string();
}

std::string XmlUnescaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            // References are short: only the next few characters are looked at, so that a text
            // of many "&" is read in linear time.
            const size_t semicolon = text.substr(0, i + 11).find(';', i + 1);
            if (semicolon != std::string_view::npos) {
                const std::string character = Referenced(text.substr(i + 1, semicolon - i - 1));
                if (!character.empty()) {
                    out += character;
                    i = semicolon;
                    continue;
                }
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

std::string XmlEscaped(std::string_view utf8)
{
    std::u16string text = base::Utf8ToUtf16(utf8);
    for (char16_t& c : text)
        if ((c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0xFFFE || c == 0xFFFF)
            c = 0xFFFD;
    std::string out;
    out.reserve(text.size());
    for (const char c : base::Utf16ToUtf8(text))
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        case '\r': // a parser turns a line end's CR LF into LF: as a reference, CR stays
            out += "&#13;";
            break;
        default:
            out.push_back(c);
        }
    return out;
}

} // namespace crash
