#pragma once
// The character scan of an HTML caption: the text as a series of characters to add and tags
// with their attribute lists. Character references ("&amp;", "&#65;") are resolved here,
// carriage returns and comments are dropped. Also the markup's number and value rules that
// tags and the scan share.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace html {

// The text without the characters below 33 at both ends.
std::u16string TrimControls(std::u16string_view s);

// A whole number as the markup writes it: optional blanks and sign, decimal digits or "$"
// and hexadecimal digits. Nothing when the text isn't one or doesn't fit 32 bits.
std::optional<int32_t> Number(std::u16string_view s);
int32_t NumberOr(std::u16string_view s, int32_t fallback);

// The value without the quotes ("..." or '...') around it; an unclosed quote is dropped.
std::u16string Unquote(const std::u16string& v);

// "true", "false" (any case) or a number (true when not 0); anything else throws, which
// ends the parse with empty data.
bool ReadBoolean(const std::u16string& value);

// The attribute list of a tag: name=value tokens and positional ones ("p1", "p2", ...).
class TAttributes
{
public:
    bool Present = false; // the tag had an attribute list
    void Add(const std::u16string& token);
    void Set(const std::u16string& name, const std::u16string& value) { FItems.emplace_back(name, value); }
    // The value as written (quotes included); empty when missing.
    std::u16string Raw(const std::u16string& name) const;
    std::u16string Value(const std::u16string& name) const { return Unquote(Raw(name)); }
    const std::vector<std::pair<std::u16string, std::u16string>>& Items() const noexcept { return FItems; }

private:
    std::vector<std::pair<std::u16string, std::u16string>> FItems;
    int FPositional = 0;
};

struct THTMLToken
{
    enum TKind
    {
        tkEnd,  // the text ended (also inside a tag's name)
        tkChar, // a character to add
        tkTag,  // a tag, its name in lower case
    };
    TKind Kind = tkEnd;
    char16_t Char = 0;
    bool TypedSpace = false; // a space the text typed (or "&#32;"), which collapses with one before it
    std::u16string Tag;
    TAttributes Attributes;
};

class THTMLScanner
{
public:
    // Scans `text`, which must outlive the scanner.
    explicit THTMLScanner(const std::u16string& text) : FText(text) {}
    // The next token, written into `token` (which is reused from call to call: a
    // character costs no allocation).
    void Next(THTMLToken& token);

private:
    bool Reference(THTMLToken& token);
    bool Tag(THTMLToken& token);
    void ReadAttributes(TAttributes& a);

    const std::u16string& FText;
    size_t FPos = 0;
};

} // namespace html
