#include "tools/property_text.h"

#include "base/utf.h"

#include <charconv>
#include <sstream>
#include <vector>

namespace tools {
namespace {

using base::TStreamObject;
using base::TStreamProperty;

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool ParseNumber(std::string_view s, long long& out)
{
    s = Trim(s);
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && end == s.data() + s.size();
}

// A text value: quoted pieces and #N codes, in any sequence.
bool ParseText(std::string_view s, std::u16string& out)
{
    s = Trim(s);
    if (s.empty())
        return false;
    std::string utf8;
    size_t i = 0;
    while (i < s.size()) {
        if (s[i] == '\'') {
            ++i;
            for (;;) {
                if (i >= s.size())
                    return false;
                if (s[i] == '\'') {
                    if (i + 1 < s.size() && s[i + 1] == '\'') {
                        utf8 += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                utf8 += s[i++];
            }
        } else if (s[i] == '#') {
            size_t j = i + 1;
            while (j < s.size() && s[j] >= '0' && s[j] <= '9')
                ++j;
            long long code = 0;
            if (!ParseNumber(s.substr(i + 1, j - i - 1), code) || code < 0 || code > 0xFFFF)
                return false;
            out += base::Utf8ToUtf16(utf8);
            utf8.clear();
            out += static_cast<char16_t>(code);
            i = j;
        } else if (s[i] == ' ' || s[i] == '\t') {
            ++i;
        } else {
            return false;
        }
    }
    out += base::Utf8ToUtf16(utf8);
    return true;
}

bool ParseValue(std::string_view s, TStreamProperty& p)
{
    s = Trim(s);
    static const struct
    {
        std::string_view Word;
        uint8_t Kind;
    } textKinds[] = {{"string", base::vkString},
                     {"utf8", base::vkUtf8String},
                     {"lstring", base::vkLString},
                     {"wstring", base::vkWString},
                     {"lutf8", base::vkLUtf8String}};
    static const struct
    {
        std::string_view Word;
        uint8_t Kind;
        long long Min, Max;
    } intKinds[] = {{"int8", base::vkInt8, -128, 127},
                    {"int16", base::vkInt16, -32768, 32767},
                    {"int32", base::vkInt32, INT32_MIN, INT32_MAX}};
    if (s == "true" || s == "false") {
        p.Kind = s == "true" ? base::vkTrue : base::vkFalse;
        p.Bool = s == "true";
        return true;
    }
    for (const auto& k : textKinds) {
        if (s.starts_with(k.Word) && s.size() > k.Word.size() &&
            (s[k.Word.size()] == ' ' || s[k.Word.size()] == '\t')) {
            p.Kind = k.Kind;
            return ParseText(s.substr(k.Word.size()), p.Text);
        }
    }
    for (const auto& k : intKinds) {
        if (s.starts_with(k.Word) && s.size() > k.Word.size() &&
            (s[k.Word.size()] == ' ' || s[k.Word.size()] == '\t')) {
            long long n = 0;
            if (!ParseNumber(s.substr(k.Word.size()), n) || n < k.Min || n > k.Max)
                return false;
            p.Kind = k.Kind;
            p.Int = static_cast<int32_t>(n);
            return true;
        }
    }
    if (!s.empty() && (s[0] == '\'' || s[0] == '#')) {
        p.Kind = base::vkLString;
        return ParseText(s, p.Text);
    }
    long long n = 0;
    if (!ParseNumber(s, n) || n < INT32_MIN || n > INT32_MAX)
        return false;
    p.Kind = base::vkInt32;
    p.Int = static_cast<int32_t>(n);
    return true;
}

bool IsName(std::string_view s)
{
    if (s.empty() || s.size() > 255)
        return false;
    for (char c : s)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
              c == '.'))
            return false;
    return true;
}

std::string QuoteText(std::u16string_view text)
{
    std::string out;
    bool open = false;
    size_t i = 0;
    while (i < text.size()) {
        const char16_t c = text[i];
        // Control characters, and surrogates that don't form a pair, are written as codes.
        const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                          text[i + 1] <= 0xDFFF;
        if (c < 0x20 || (c >= 0xD800 && c <= 0xDFFF && !pair)) {
            if (open)
                out += '\'';
            open = false;
            out += '#' + std::to_string(c);
            ++i;
            continue;
        }
        if (!open)
            out += '\'';
        open = true;
        const size_t n = pair ? 2 : 1;
        const std::string utf8 = base::Utf16ToUtf8(text.substr(i, n));
        out += utf8 == "'" ? "''" : utf8;
        i += n;
    }
    if (open)
        out += '\'';
    return out.empty() ? "''" : out;
}

void Format(std::ostringstream& out, const TStreamObject& object, int depth)
{
    const std::string indent(static_cast<size_t>(depth) * 2, ' ');
    out << indent << "object " << object.Name << ": " << object.ClassName << "\n";
    for (const TStreamProperty& p : object.Properties) {
        out << indent << "  " << p.Name << " = ";
        switch (p.Kind) {
        case base::vkInt8:
            out << "int8 " << p.Int;
            break;
        case base::vkInt16:
            out << "int16 " << p.Int;
            break;
        case base::vkInt32:
            out << p.Int;
            break;
        case base::vkFalse:
            out << "false";
            break;
        case base::vkTrue:
            out << "true";
            break;
        case base::vkString:
            out << "string " << QuoteText(p.Text);
            break;
        case base::vkUtf8String:
            out << "utf8 " << QuoteText(p.Text);
            break;
        case base::vkWString:
            out << "wstring " << QuoteText(p.Text);
            break;
        case base::vkLUtf8String:
            out << "lutf8 " << QuoteText(p.Text);
            break;
        default:
            out << QuoteText(p.Text);
            break;
        }
        out << "\n";
    }
    for (const TStreamObject& child : object.Children)
        Format(out, child, depth + 1);
    out << indent << "end\n";
}

} // namespace

TTextParseResult ParsePropertyText(std::string_view text)
{
    TTextParseResult result;
    std::vector<TStreamObject*> open;
    bool done = false;
    int lineNo = 0;
    auto fail = [&](const std::string& why) {
        result.Ok = false;
        result.ErrorLine = lineNo;
        result.Error = why;
        return result;
    };
    while (!text.empty()) {
        const size_t eol = text.find('\n');
        const std::string_view line = Trim(text.substr(0, eol));
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        ++lineNo;
        if (line.empty() || line[0] == '#')
            continue;
        if (done)
            return fail("text after the end of the root object");
        // A line with "=" is a property, also one named "object" (names hold no "=").
        if (line.starts_with("object ") && line.find('=') == std::string_view::npos) {
            const std::string_view rest = Trim(line.substr(7));
            const size_t colon = rest.find(':');
            if (colon == std::string_view::npos)
                return fail("expected \"object Name: Class\"");
            const std::string_view name = Trim(rest.substr(0, colon)), cls = Trim(rest.substr(colon + 1));
            if (!IsName(cls) || (!name.empty() && !IsName(name)))
                return fail("bad object or class name");
            TStreamObject* object = &result.Root;
            if (!open.empty()) {
                open.back()->Children.emplace_back();
                object = &open.back()->Children.back();
            } else if (!result.Root.ClassName.empty()) {
                return fail("a second root object");
            }
            object->Name = std::string(name);
            object->ClassName = std::string(cls);
            open.push_back(object);
        } else if (line == "end") {
            if (open.empty())
                return fail("\"end\" without an object");
            open.pop_back();
            done = open.empty();
        } else {
            if (open.empty())
                return fail("a property outside of any object");
            if (!open.back()->Children.empty())
                return fail("properties must come before the child objects");
            const size_t eq = line.find('=');
            if (eq == std::string_view::npos)
                return fail("expected \"Name = value\"");
            TStreamProperty p;
            p.Name = std::string(Trim(line.substr(0, eq)));
            if (!IsName(p.Name))
                return fail("bad property name");
            if (!ParseValue(line.substr(eq + 1), p))
                return fail("bad value of " + p.Name);
            open.back()->Properties.push_back(std::move(p));
        }
    }
    if (!done)
        return fail(open.empty() ? "no object" : "missing \"end\"");
    result.Ok = true;
    return result;
}

std::string FormatPropertyText(const base::TStreamObject& root)
{
    std::ostringstream out;
    Format(out, root, 0);
    return out.str();
}

} // namespace tools
