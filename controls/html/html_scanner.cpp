#include "controls/html/html_scanner.h"

#include "base/ascii_case.h"
#include "controls/html/html_names.h"

#include <stdexcept>

namespace html {
namespace {

std::u16string Digits(int n)
{
    const std::string s = std::to_string(n);
    return {s.begin(), s.end()};
}

void Character(THTMLToken& token, char16_t c, bool typedSpace)
{
    token.Kind = THTMLToken::tkChar;
    token.Char = c;
    token.TypedSpace = typedSpace;
}

// A character number of "&#": decimal digits only, else `fallback`.
int32_t DecimalOr(std::u16string_view s, int32_t fallback)
{
    if (s.empty())
        return fallback;
    int64_t v = 0;
    for (const char16_t c : s) {
        if (c < u'0' || c > u'9')
            return fallback;
        v = v * 10 + (c - u'0');
        if (v > 0x7FFFFFFF)
            return fallback;
    }
    return static_cast<int32_t>(v);
}

} // namespace

std::u16string TrimControls(std::u16string_view s)
{
    size_t b = 0, e = s.size();
    while (b < e && s[b] < 33)
        ++b;
    while (e > b && s[e - 1] < 33)
        --e;
    return std::u16string(s.substr(b, e - b));
}

std::optional<int32_t> Number(std::u16string_view s)
{
    size_t i = 0;
    while (i < s.size() && s[i] == u' ')
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == u'-' || s[i] == u'+'))
        negative = s[i++] == u'-';
    int base = 10;
    if (i < s.size() && s[i] == u'$') {
        base = 16;
        ++i;
    }
    if (i >= s.size())
        return std::nullopt;
    int64_t v = 0;
    for (; i < s.size(); ++i) {
        const char16_t c = s[i];
        int d;
        if (c >= u'0' && c <= u'9')
            d = c - u'0';
        else if (base == 16 && base::AsciiLower(c) >= u'a' && base::AsciiLower(c) <= u'f')
            d = base::AsciiLower(c) - u'a' + 10;
        else
            return std::nullopt;
        v = v * base + d;
        if (v > 0xFFFFFFFFLL)
            return std::nullopt;
    }
    if (base == 10 && v > (negative ? 0x80000000LL : 0x7FFFFFFFLL))
        return std::nullopt;
    return static_cast<int32_t>(static_cast<uint32_t>(negative ? -v : v));
}

int32_t NumberOr(std::u16string_view s, int32_t fallback)
{
    return Number(s).value_or(fallback);
}

std::u16string Unquote(const std::u16string& v)
{
    if (v.empty() || (v[0] != u'"' && v[0] != u'\''))
        return v;
    std::u16string s = v.substr(1);
    if (!s.empty() && s.back() == v[0])
        s.pop_back();
    return s;
}

bool ReadBoolean(const std::u16string& value)
{
    const std::u16string v = base::AsciiLowerCase(value);
    if (v == u"false")
        return false;
    if (v == u"true")
        return true;
    if (const auto n = Number(v))
        return *n != 0;
    throw std::invalid_argument("not a boolean");
}

void TAttributes::Add(const std::u16string& token)
{
    const size_t eq = token.find(u'=');
    if (eq == std::u16string::npos) {
        if (!token.empty())
            FItems.emplace_back(u"p" + Digits(++FPositional), token);
        return;
    }
    FItems.emplace_back(base::AsciiLowerCase(TrimControls(std::u16string_view(token).substr(0, eq))),
                        TrimControls(std::u16string_view(token).substr(eq + 1)));
}

std::u16string TAttributes::Raw(const std::u16string& name) const
{
    for (const auto& [n, v] : FItems)
        if (n == name)
            return v;
    return {};
}

void THTMLScanner::Next(THTMLToken& token)
{
    while (FPos < FText.size()) {
        const char16_t c = FText[FPos];
        if (c == u'<') {
            ++FPos;
            if (Tag(token))
                return;
        } else if (c == u'\r') {
            ++FPos;
            if (FPos < FText.size() && FText[FPos] == u'\n')
                ++FPos;
        } else if (c == u'&' && FPos + 1 < FText.size() && FText[FPos + 1] != u' ') {
            if (Reference(token))
                return;
        } else {
            ++FPos;
            Character(token, c, c == u' ');
            return;
        }
    }
    token.Kind = THTMLToken::tkEnd;
}

// At "&", with a character other than a space after it. False when the reference gives
// no character (character number 0, an unknown entity).
bool THTMLScanner::Reference(THTMLToken& token)
{
    const std::u16string& t = FText;
    if (t[FPos + 1] == u'#') {
        const size_t end = t.find(u';', FPos + 2);
        const size_t stop = end == std::u16string::npos ? t.size() : end;
        const int32_t code = DecimalOr(std::u16string_view(t).substr(FPos + 2, stop - (FPos + 2)), 32);
        FPos = end == std::u16string::npos ? t.size() : end + 1;
        if (code == 32)
            Character(token, u' ', true);
        else if (static_cast<char16_t>(code & 0xFFFF) != 0)
            Character(token, static_cast<char16_t>(code & 0xFFFF), false);
        else
            return false;
        return true;
    }
    const size_t end = t.find(u';', FPos + 1);
    if (end == std::u16string::npos) {
        ++FPos;
        Character(token, u'&', false);
        return true;
    }
    const auto character = EntityCharacter(std::u16string_view(t).substr(FPos + 1, end - FPos - 1));
    FPos = end + 1;
    if (!character)
        return false;
    Character(token, *character, false);
    return true;
}

// At the character after "<". False for a comment (skipped whole); the text ending inside
// the tag's name makes `token` the end.
bool THTMLScanner::Tag(THTMLToken& token)
{
    std::u16string name;
    while (FPos < FText.size() && FText[FPos] != u'>' && FText[FPos] != u' ') {
        name += FText[FPos++];
        if (name == u"!--") {
            const size_t end = FText.find(u"-->", FPos);
            FPos = end == std::u16string::npos ? FText.size() : end + 3;
            return false;
        }
    }
    if (FPos >= FText.size()) {
        token.Kind = THTMLToken::tkEnd;
        return true;
    }
    TAttributes& a = token.Attributes;
    a = TAttributes();
    if (FText[FPos] == u' ') {
        a.Present = true;
        ReadAttributes(a);
    } else {
        ++FPos; // the ">"
        if (name.size() >= 2 && name[0] == u'~' && name[1] == u'~') {
            a.Set(u"p1", name.substr(2));
            name = u"~~";
        }
    }
    token.Kind = THTMLToken::tkTag;
    token.Tag = base::AsciiLowerCase(name);
    return true;
}

void THTMLScanner::ReadAttributes(TAttributes& a)
{
    std::u16string token;
    char16_t quote = 0;
    while (FPos < FText.size()) {
        const char16_t c = FText[FPos++];
        if (quote) {
            if (c == u' ' && !token.empty() && token.back() == u' ')
                continue;
            token += c;
            if (c == quote)
                quote = 0;
        } else if (c == u'>') {
            break;
        } else if (c == u' ') {
            a.Add(token);
            token.clear();
        } else {
            if (c == u'"' || c == u'\'')
                quote = c;
            token += c;
        }
    }
    a.Add(token);
}

} // namespace html
