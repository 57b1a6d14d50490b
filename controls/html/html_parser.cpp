// The parse of an HTML caption into items: the character scan, the tags, parse-time
// wrapping and the line measuring that ends a parse.

#include "controls/html/html_names.h"

#include "base/ascii_case.h"
#include "controls/html/html_render.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <utility>

namespace html {
namespace {

// Removes leading and trailing characters below 33.
std::u16string TrimControls(std::u16string_view s)
{
    size_t b = 0, e = s.size();
    while (b < e && s[b] < 33)
        ++b;
    while (e > b && s[e - 1] < 33)
        --e;
    return std::u16string(s.substr(b, e - b));
}

// A whole number as the markup writes it: optional blanks and sign, decimal digits or "$"
// and hexadecimal digits. Nothing when the text isn't one or doesn't fit 32 bits.
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

int Sign(int32_t v)
{
    return v < 0 ? -1 : v > 0 ? 1 : 0;
}

// a * b / c rounded half away from zero, in 64 bits.
int32_t MulDivRound(int32_t a, int32_t b, int32_t c)
{
    if (c == 0)
        return -1;
    const int64_t p = static_cast<int64_t>(a) * b;
    const int64_t q =
        (std::llabs(p) + std::llabs(static_cast<int64_t>(c)) / 2) / std::llabs(static_cast<int64_t>(c));
    return static_cast<int32_t>((p < 0) != (c < 0) ? -q : q);
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

// The attribute list of a tag: name=value tokens and positional ones ("p1", "p2", ...).
class TAttributes
{
public:
    bool Present = false; // the tag had an attribute list
    void Add(const std::u16string& token)
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
    void Set(const std::u16string& name, const std::u16string& value) { FItems.emplace_back(name, value); }
    // The value as written (quotes included); empty when missing.
    std::u16string Raw(const std::u16string& name) const
    {
        for (const auto& [n, v] : FItems)
            if (n == name)
                return v;
        return {};
    }
    std::u16string Value(const std::u16string& name) const { return Unquote(Raw(name)); }
    const std::vector<std::pair<std::u16string, std::u16string>>& Items() const noexcept { return FItems; }

private:
    static std::u16string Digits(int n)
    {
        const std::string s = std::to_string(n);
        return {s.begin(), s.end()};
    }
    std::vector<std::pair<std::u16string, std::u16string>> FItems;
    int FPositional = 0;
};

struct TFontSettings
{
    std::u16string FontName;
    int32_t Height = 0;
    THTMLColor Color = 0, BgColor = 0;
};

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

} // namespace

// One parse: the scan position, the current item C, the settings S with their stack and
// the list depth.
class THTMLParser
{
public:
    THTMLParser(THTMLRender& render, THTMLData& data, const std::u16string& text, bool autoWrap)
        : R(render), D(data), T(text), FAutoWrap(autoWrap)
    {
        S = {D.FDefaultFont, D.FDefaultHeight, D.FDefaultColor, D.FDefaultBgColor};
        C = NewItem<THTMLItem>(hitChar);
        C->FontStyle = D.FDefaultStyle;
        TakeSettings(*C);
    }

    void Run()
    {
        while (P < T.size()) {
            const char16_t c = T[P];
            if (c == u'<') {
                ++P;
                if (!Tag())
                    break;
            } else if (c == u'\r') {
                ++P;
                if (P < T.size() && T[P] == u'\n')
                    ++P;
            } else if (c == u'&' && P + 1 < T.size() && T[P + 1] != u' ') {
                Reference();
            } else {
                ++P;
                Add(c, c == u' ');
            }
        }
        if (NonEmpty(*C))
            Append(std::move(C));
        else
            Discard(std::move(C));
        if (!D.FArray.empty() && D.FArray.front()->FItemType != hitPara)
            D.FArray.insert(D.FArray.begin(), NewItem<THTMLBreakItem>(hitPara));
        MeasureLines();
    }

private:
    template <class Item> std::unique_ptr<Item> NewItem(THTMLItemType type)
    {
        if constexpr (std::is_same_v<Item, THTMLInputItem> || std::is_same_v<Item, THTMLControlItem>)
            return std::make_unique<Item>(&D);
        else
            return std::make_unique<Item>(&D, type);
    }
    std::unique_ptr<THTMLBreakItem> NewBreak(THTMLItemType type, const THTMLItem& formatting)
    {
        auto b = NewItem<THTMLBreakItem>(type);
        b->Assign(formatting);
        return b;
    }
    std::unique_ptr<THTMLItem> NewRun(const THTMLItem& formatting)
    {
        auto n = NewItem<THTMLItem>(hitChar);
        n->Assign(formatting);
        return n;
    }

    static bool NonEmpty(const THTMLItem& item) { return item.FItemType != hitChar || !item.FText.empty(); }

    THTMLItem* Append(std::unique_ptr<THTMLItem> item)
    {
        D.FArray.push_back(std::move(item));
        return D.FArray.back().get();
    }
    // An item that goes away unappended also leaves the controls list (a link that got no
    // text would otherwise stay there as a dangling entry).
    void Discard(std::unique_ptr<THTMLItem> item)
    {
        auto& controls = D.FControlsArray;
        controls.erase(std::remove(controls.begin(), controls.end(), item.get()), controls.end());
    }
    // Appends C when it is non-empty (as decided before the tag acted) and makes `next` the
    // current item.
    void Replace(std::unique_ptr<THTMLItem> next, bool cNonEmpty)
    {
        if (cNonEmpty)
            Append(std::move(C));
        else
            Discard(std::move(C));
        C = std::move(next);
    }
    // The copy-on-change step: a new run with C's formatting, changed by `change`.
    template <class F> void Step(bool cNonEmpty, F change)
    {
        auto n = NewRun(*C);
        change(*n);
        Replace(std::move(n), cNonEmpty);
    }

    void TakeSettings(THTMLItem& item) const
    {
        item.FFontRef = S.FontName;
        item.FontHeight = S.Height;
        item.FontColor = S.Color;
        item.FontBgColor = S.BgColor;
    }

    THTMLItem* LastItem() const { return D.FArray.empty() ? nullptr : D.FArray.back().get(); }
    size_t LastBreakIndex() const
    {
        for (size_t i = D.FArray.size(); i-- > 0;)
            if (D.FArray[i]->IsBreak())
                return i;
        return SIZE_MAX;
    }
    THTMLBreakItem* LastBreak() const
    {
        const size_t i = LastBreakIndex();
        return i == SIZE_MAX ? nullptr : static_cast<THTMLBreakItem*>(D.FArray[i].get());
    }
    void RemoveLastIfBreak()
    {
        if (LastItem() && LastItem()->FItemType == hitBreak)
            D.FArray.pop_back();
    }

    // --- characters

    void Add(char16_t c, bool typedSpace)
    {
        if (typedSpace && !C->FText.empty() && C->FText.back() == u' ')
            return;
        std::optional<char16_t> pending = c;
        while (pending) {
            C->FText += *pending;
            C->FTWidth = WidthNotMeasured;
            pending = FAutoWrap ? Wrap() : std::nullopt;
            if (pending && *pending == u' ' && !C->FText.empty() && C->FText.back() == u' ')
                pending.reset();
        }
    }

    void Reference()
    {
        // At "&", with a character other than a space after it.
        if (T[P + 1] == u'#') {
            const size_t end = T.find(u';', P + 2);
            const size_t stop = end == std::u16string::npos ? T.size() : end;
            const int32_t code = NumberOr(std::u16string_view(T).substr(P + 2, stop - (P + 2)), 32);
            P = end == std::u16string::npos ? T.size() : end + 1;
            if (code == 32)
                Add(u' ', true);
            else if (static_cast<char16_t>(code & 0xFFFF) != 0)
                Add(static_cast<char16_t>(code & 0xFFFF), false);
            return;
        }
        const size_t end = T.find(u';', P + 1);
        if (end == std::u16string::npos) {
            ++P;
            Add(u'&', false);
            return;
        }
        const auto character = EntityCharacter(std::u16string_view(T).substr(P + 1, end - P - 1));
        P = end + 1;
        if (character)
            Add(*character, false);
    }

    // --- wrapping

    // After a character was added: breaks the line when it got too wide. Returns the
    // character to be read again, if any.
    std::optional<char16_t> Wrap()
    {
        const size_t lastBreak = LastBreakIndex();
        int w = C->GetWidth();
        for (size_t i = lastBreak == SIZE_MAX ? 0 : lastBreak + 1; i < D.FArray.size(); ++i)
            w += D.FArray[i]->GetWidth();
        THTMLBreakItem* lineStart = LastBreak();
        if (lineStart)
            w += lineStart->FIndent;
        if (w <= D.FMaxWidth)
            return std::nullopt;

        std::u16string& text = C->FText;
        const size_t space = text.rfind(u' ');
        const size_t k = space == std::u16string::npos ? 0 : space + 1; // 1-based, 0: none
        const THTMLItem* last = LastItem();
        std::u16string carried;
        std::optional<char16_t> again;
        if (k == 0 && last && last->IsBreak()) {
            // The run starts its line and has no space: the word is split here. A lone
            // character wider than the line stays where it is.
            if (text.size() < 2)
                return std::nullopt;
            carried = text.substr(text.size() - 1);
            text.pop_back();
        } else if (text.size() > 1) {
            again = text.back();
            text.pop_back();
            const size_t cut = std::min(k, text.size());
            carried = text.substr(cut);
            text.erase(cut);
        } else {
            carried = text.substr(std::min(k, text.size()));
            text.erase(std::min(k, text.size()));
        }
        C->FTWidth = WidthNotMeasured;
        auto soft = NewBreak(hitSoftBreak, *C);
        soft->AssignBreakProps(lineStart);
        auto next = NewRun(*soft);
        next->FText = std::move(carried);
        const bool oldEmpty = C->FText.empty();
        THTMLItem* old = Append(std::move(C));
        Append(std::move(soft));
        if (oldEmpty) {
            auto it =
                std::find_if(D.FArray.begin(), D.FArray.end(), [&](const auto& p) { return p.get() == old; });
            Discard(std::move(*it));
            D.FArray.erase(it);
        }
        C = std::move(next);
        return again;
    }

    // --- tags

    // At the character after "<". False when the text ended inside the tag's name.
    bool Tag()
    {
        std::u16string name;
        while (P < T.size() && T[P] != u'>' && T[P] != u' ') {
            name += T[P++];
            if (name == u"!--") {
                const size_t end = T.find(u"-->", P);
                P = end == std::u16string::npos ? T.size() : end + 3;
                return true;
            }
        }
        if (P >= T.size())
            return false;
        TAttributes a;
        if (T[P] == u' ') {
            a.Present = true;
            ReadAttributes(a);
        } else {
            ++P; // the ">"
            if (name.size() >= 2 && name[0] == u'~' && name[1] == u'~') {
                a.Set(u"p1", name.substr(2));
                name = u"~~";
            }
        }
        Apply(base::AsciiLowerCase(name), a);
        return true;
    }

    void ReadAttributes(TAttributes& a)
    {
        std::u16string token;
        char16_t quote = 0;
        while (P < T.size()) {
            const char16_t c = T[P++];
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

    void Apply(const std::u16string& tag, const TAttributes& a)
    {
        const bool cNonEmpty = NonEmpty(*C);
        auto style = [&](unsigned bits, bool on) {
            Step(cNonEmpty, [&](THTMLItem& n) {
                if (on)
                    n.FontStyle |= bits;
                else if (bits & ~D.FDefaultStyle)
                    n.FontStyle &= ~bits;
            });
        };
        auto flag = [&](uint32_t bit, bool on) {
            Step(cNonEmpty,
                 [&](THTMLItem& n) { n.FBoolState = on ? n.FBoolState | bit : n.FBoolState & ~bit; });
        };
        if (tag == u"b" || tag == u"strong")
            style(fsBold, true);
        else if (tag == u"/b" || tag == u"/strong")
            style(fsBold, false);
        else if (tag == u"i" || tag == u"em")
            style(fsItalic, true);
        else if (tag == u"/i" || tag == u"/em")
            style(fsItalic, false);
        else if (tag == u"u")
            style(fsUnderline, true);
        else if (tag == u"/u")
            style(fsUnderline, false);
        else if (tag == u"s" || tag == u"strikeout")
            style(fsStrikeOut, true);
        else if (tag == u"/s" || tag == u"/strikeout")
            style(fsStrikeOut, false);
        else if (tag == u"var" || tag == u"cite")
            style(fsBold | fsItalic, true);
        else if (tag == u"/var" || tag == u"/cite")
            style(fsBold | fsItalic, false);
        else if (tag == u"sub")
            flag(bsIsSub, true);
        else if (tag == u"/sub")
            flag(bsIsSub, false);
        else if (tag == u"sup")
            flag(bsIsSuper, true);
        else if (tag == u"/sup")
            flag(bsIsSuper, false);
        else if (tag == u"font")
            FontTag(a, cNonEmpty);
        else if (tag == u"/font")
            FontEnd(cNonEmpty);
        else if (tag == u"a") {
            if (a.Present)
                LinkStart(a);
        } else if (tag == u"/a")
            LinkEnd(cNonEmpty);
        else if (tag == u"br")
            LineBreak(cNonEmpty);
        else if (tag == u"p" || tag == u"/p")
            Paragraph(a, cNonEmpty, tag == u"/p");
        else if (tag == u"ul" || tag == u"ol")
            ListStart(cNonEmpty, tag == u"ol");
        else if (tag == u"/ul" || tag == u"/ol")
            ListEnd(cNonEmpty, tag == u"/ol");
        else if (tag == u"li")
            ListItem(cNonEmpty);
        else if (tag == u"hr")
            Rule(a, cNonEmpty);
        else if (tag == u"img") {
            if (a.Present)
                Image(a, cNonEmpty);
        } else if (tag == u"ind") {
            if (a.Present)
                Indent(a, cNonEmpty);
        } else if (tag == u"input") {
            if (a.Present)
                Input(a, cNonEmpty);
        } else if (tag == u"control") {
            if (a.Present)
                Control(a, cNonEmpty);
        } else if (tag == u"~~")
            Variable(a, cNonEmpty);
        // "html" and every other name: no effect.
    }

    std::optional<THTMLColor> ColorValue(const std::u16string& value, THTMLColor fallback) const
    {
        if (value[0] == u'#') {
            std::u16string hex = value.substr(1);
            if (!hex.empty() && hex[0] == u'$')
                hex.erase(0, 1);
            const auto rgb = Number(u"$" + hex);
            if (!rgb || hex.empty())
                return fallback;
            const auto v = static_cast<uint32_t>(*rgb);
            return (v & 0xFF) << 16 | (v & 0xFF00) | (v >> 16 & 0xFF);
        }
        const std::u16string name = value.rfind(u"cl", 0) == 0 ? value : u"cl" + value;
        return ColorByName(name);
    }

    void FontTag(const TAttributes& a, bool cNonEmpty)
    {
        auto n = NewRun(*C);
        FStack.push_back(S);
        S = {C->FFontRef, C->FontHeight, C->FontColor, C->FontBgColor};
        std::u16string face = a.Value(u"name");
        if (face.empty())
            face = a.Value(u"face");
        if (!face.empty())
            S.FontName = face;
        const std::u16string size = a.Value(u"size");
        if (!size.empty()) {
            const int32_t def = D.FDefaultHeight == INT32_MIN ? INT32_MAX : std::abs(D.FDefaultHeight);
            if (size[0] == u'+' || size[0] == u'-') {
                const int32_t steps = NumberOr(size, 0);
                S.Height =
                    Clamp(Sign(S.Height) * (static_cast<int64_t>(def) + MulDivRound(steps, R.FDpi, 72)));
            } else {
                std::u16string v = size;
                const size_t px = v.find(u"px");
                if (px != std::u16string::npos)
                    v = TrimControls(v.erase(px, 2));
                const int32_t h = NumberOr(v, D.FDefaultHeight);
                if (h >= 1 && h <= 9 && px == std::u16string::npos)
                    S.Height = Clamp(Sign(S.Height) * (static_cast<int64_t>(def) + 5 * h));
                else
                    S.Height = h;
            }
        }
        bool coloured = false;
        const std::u16string color = a.Value(u"color");
        if (!color.empty()) {
            coloured = true;
            if (const auto c = ColorValue(color, D.FDefaultColor))
                S.Color = *c;
        }
        std::u16string background = a.Value(u"bgcolor");
        if (background.empty())
            background = a.Value(u"background");
        if (!background.empty()) {
            coloured = true;
            if (const auto c = ColorValue(background, D.FDefaultBgColor))
                S.BgColor = *c;
        }
        if (coloured)
            ++n->FFntCnt;
        TakeSettings(*n);
        Replace(std::move(n), cNonEmpty);
    }

    static int32_t Clamp(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, -32768, 32767)); }

    void FontEnd(bool cNonEmpty)
    {
        auto n = NewRun(*C);
        if (!FStack.empty()) {
            const TFontSettings& top = FStack.back();
            if (top.Color != S.Color || top.BgColor != S.BgColor)
                --n->FFntCnt;
            S = top;
            FStack.pop_back();
        }
        TakeSettings(*n);
        Replace(std::move(n), cNonEmpty);
    }

    void LinkStart(const TAttributes& a)
    {
        auto n = NewRun(*C);
        n->FBoolState |= bsIsLink;
        n->FLinkRef = a.Value(u"href");
        n->FontColor = D.FLinkColor;
        n->FontStyle = D.FLinkStyle;
        D.FControlsArray.push_back(n.get());
        Append(std::move(C)); // even when empty: "/a" looks back past it
        C = std::move(n);
    }

    void LinkEnd(bool cNonEmpty)
    {
        Step(cNonEmpty, [&](THTMLItem& n) {
            n.FLinkRef.clear();
            n.FBoolState &= ~bsIsLink;
            n.FontStyle = D.FDefaultStyle;
            n.FontColor = D.FDefaultColor;
            for (size_t i = D.FArray.size(); i-- > 0;)
                if (!D.FArray[i]->IsLink()) {
                    n.FontStyle = D.FArray[i]->FontStyle;
                    n.FontColor = D.FArray[i]->FontColor;
                    break;
                }
        });
    }

    void LineBreak(bool cNonEmpty)
    {
        Step(cNonEmpty, [](THTMLItem&) {});
        auto b = NewBreak(hitBreak, *C);
        const THTMLBreakItem* last = LastBreak();
        b->FParams = last ? last->FParams : 0;
        Append(std::move(b));
    }

    void Paragraph(const TAttributes& a, bool cNonEmpty, bool closing)
    {
        THTMLItem* last = LastItem();
        if (last && last->FItemType == hitBreak && (last->FBoolState & bsClosedPara)) {
            if (!closing)
                last->FBoolState &= ~bsClosedPara;
            return;
        }
        auto n = NewRun(*C);
        if (cNonEmpty)
            Append(std::move(C));
        else
            Discard(std::move(C));
        auto p = NewBreak(hitPara, *n);
        if (closing)
            p->FBoolState |= bsClosedPara;
        p->FParams = 0;
        if (a.Present) {
            const std::u16string align = base::AsciiLowerCase(a.Value(u"align"));
            p->FParams = align == u"center" ? 1 : align == u"right" ? 2 : 0;
            const std::u16string indent = a.Value(u"indent");
            if (!indent.empty())
                p->FIndent = NumberOr(indent, 0);
        }
        n->Assign(*p);
        Append(std::move(p));
        C = std::move(n);
    }

    int WidestCharacter(const THTMLItem& item) const
    {
        return D.Measurer().Metrics(item.Font()).MaxCharWidth;
    }

    void ListStart(bool cNonEmpty, bool ordered)
    {
        // The list's own line start replaces a pending line break.
        const size_t lastBreak = LastBreakIndex();
        if (lastBreak != SIZE_MAX &&
            (D.FArray[lastBreak]->FItemType == hitSoftBreak || D.FArray[lastBreak]->FItemType == hitBreak) &&
            C->FItemType == hitChar && TrimControls(C->FText).empty()) {
            bool blank = true;
            for (size_t i = lastBreak + 1; i < D.FArray.size() && blank; ++i)
                blank = D.FArray[i]->FItemType == hitChar && TrimControls(D.FArray[i]->FText).empty();
            if (blank) {
                for (size_t i = lastBreak; i < D.FArray.size(); ++i)
                    Discard(std::move(D.FArray[i]));
                D.FArray.erase(D.FArray.begin() + static_cast<std::ptrdiff_t>(lastBreak), D.FArray.end());
            }
        }
        auto n = NewRun(*C);
        if (cNonEmpty)
            Append(std::move(C));
        else
            Discard(std::move(C));
        ++FListDepth;
        R.FCurListItem = ordered ? 1 : -1;
        auto u = NewBreak(ordered ? hitOL : hitUL, *n);
        u->FIndent += u->GetWidth();
        n->FIndent = u->FIndent;
        Append(std::move(u));
        C = std::move(n);
    }

    void ListEnd(bool cNonEmpty, bool ordered)
    {
        Step(cNonEmpty, [&](THTMLItem& n) { n.FIndent -= WidestCharacter(n); });
        --FListDepth;
        RemoveLastIfBreak();
        if (ordered)
            R.FCurListItem = -1;
        Append(NewBreak(hitBreak, *C));
    }

    void ListItem(bool cNonEmpty)
    {
        Step(cNonEmpty, [](THTMLItem&) {});
        RemoveLastIfBreak();
        auto li = NewBreak(hitLI, *C);
        li->FListItemN = R.FCurListItem;
        li->FListLevel = FListDepth;
        Append(std::move(li));
        if (R.FCurListItem > 0)
            ++R.FCurListItem;
    }

    // Appends C when it was non-empty and makes a fresh run of C's formatting current.
    void NextRun(bool cNonEmpty) { Replace(NewRun(*C), cNonEmpty); }

    void Rule(const TAttributes& a, bool cNonEmpty)
    {
        auto before = NewBreak(hitBreak, *C);
        auto rule = NewItem<THTMLItem>(hitHR);
        rule->Assign(*C);
        rule->FWidth = Clamp16(NumberOr(a.Value(u"width"), 0));
        auto next = NewRun(*rule);
        auto after = NewBreak(hitBreak, *next);
        Replace(std::move(next), cNonEmpty);
        Append(std::move(before));
        Append(std::move(rule));
        Append(std::move(after));
    }

    void Image(const TAttributes& a, bool cNonEmpty)
    {
        const std::u16string source = a.Value(u"src");
        if (source.empty())
            return;
        auto image = NewItem<THTMLItem>(hitBitmap);
        image->Assign(*C);
        image->FText = source;
        const THTMLPicture picture = R.RequestImage(source);
        image->FTransparent = a.Value(u"transparent") != u"solid";
        image->FWidth = Clamp16(NumberOr(a.Value(u"width"), picture.Empty() ? 0 : picture.Width));
        image->FHeight = Clamp16(NumberOr(a.Value(u"height"), picture.Empty() ? 0 : picture.Height));
        InsertSpecial(std::move(image), cNonEmpty);
    }

    void Indent(const TAttributes& a, bool cNonEmpty)
    {
        const std::u16string width = a.Value(u"width");
        if (width.empty())
            return;
        auto indent = NewItem<THTMLItem>(hitIndent);
        indent->Assign(*C);
        indent->FText.clear();
        indent->FWidth = Clamp16(NumberOr(width, 0));
        if (base::AsciiLowerCase(a.Value(u"pos")) == u"abs")
            indent->FBoolState |= bsAbsolute;
        else
            indent->FBoolState &= ~bsAbsolute;
        InsertSpecial(std::move(indent), cNonEmpty);
    }

    void Input(const TAttributes& a, bool cNonEmpty)
    {
        const std::u16string type = base::AsciiLowerCase(a.Value(u"type"));
        if (type != u"checkbox" && type != u"radio")
            return;
        auto input = NewItem<THTMLInputItem>(hitInput);
        input->Assign(*C);
        const std::u16string name = base::AsciiLowerCase(a.Value(u"name"));
        if (!name.empty())
            input->FName = name;
        input->FWidth = input->FHeight = 17;
        input->SetInputType(type == u"checkbox" ? itCheckBox : itRadioButton);
        const std::u16string checked = a.Value(u"checked");
        if (!checked.empty())
            input->FChecked = ReadBoolean(checked);
        const std::u16string value = a.Value(u"value");
        if (!value.empty())
            input->FValue = value;
        ReadSize(*input, a);
        D.FControlsArray.push_back(input.get());
        InsertSpecial(std::move(input), cNonEmpty);
    }

    // "width" and "height" when given; an unreadable number stops there.
    static void ReadSize(THTMLItem& item, const TAttributes& a)
    {
        for (const char16_t* name : {u"width", u"height"}) {
            const std::u16string v = a.Value(name);
            if (v.empty())
                continue;
            const auto n = Number(v);
            if (!n)
                return;
            (name[0] == u'w' ? item.FWidth : item.FHeight) = Clamp16(*n);
        }
    }

    void Control(const TAttributes& a, bool cNonEmpty)
    {
        const std::u16string cls = base::AsciiLowerCase(a.Value(u"vclclass"));
        if (!IsEmbeddableClass(cls))
            return;
        auto control = NewItem<THTMLControlItem>(hitControl);
        control->Assign(*C);
        control->FControlClass = cls;
        // The classes' usual sizes, unless the markup gives one.
        control->FWidth = cls == u"tedit" ? 121 : cls == u"tbutton" ? 75 : cls == u"tcheckbox" ? 97 : 113;
        control->FHeight = cls == u"tedit" ? 21 : cls == u"tbutton" ? 25 : 17;
        ReadSize(*control, a);
        for (const auto& [name, value] : a.Items())
            if (name != u"vclclass" && name != u"width" && name != u"height" && !IsPositional(name))
                control->FControlPropList.push_back(name + u"=" + Unquote(value));
        D.FControlsArray.push_back(control.get());
        InsertSpecial(std::move(control), cNonEmpty);
    }

    static bool IsPositional(const std::u16string& name)
    {
        return name.size() > 1 && name[0] == u'p' &&
               std::all_of(name.begin() + 1, name.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
    }

    void Variable(const TAttributes& a, bool cNonEmpty)
    {
        auto variable = NewItem<THTMLItem>(hitVar);
        variable->Assign(*C);
        variable->FText = a.Raw(u"name");
        if (variable->FText.empty())
            variable->FText = a.Raw(u"p1");
        std::u16string value = u"~~";
        if (R.OnVariableNeeded)
            R.OnVariableNeeded(&R, variable->FText, value);
        variable->FText = value;
        InsertSpecial(std::move(variable), cNonEmpty);
        C->FText = u" ";
    }

    // Appends C when it was non-empty, then `item`; a fresh run of C's formatting follows.
    void InsertSpecial(std::unique_ptr<THTMLItem> item, bool cNonEmpty)
    {
        auto next = NewRun(*C);
        Replace(std::move(next), cNonEmpty);
        // `item` goes before the new current run, which is not in the list yet.
        Append(std::move(item));
    }

    static uint16_t Clamp16(int32_t v) { return static_cast<uint16_t>(std::clamp<int32_t>(v, 0, 0xFFFE)); }

    void MeasureLines()
    {
        int maxWidth = 0, totalHeight = 0;
        auto& items = D.FArray;
        for (size_t i = 0; i < items.size();) {
            auto* lineStart = static_cast<THTMLBreakItem*>(items[i].get());
            size_t end = i + 1;
            while (end < items.size() && !items[end]->IsBreak())
                ++end;
            int running = 0, lineHeight = 0, lineDescent = 0;
            for (size_t k = i; k < end; ++k) {
                THTMLItem& item = *items[k];
                const THTMLItem* next = k + 1 < items.size() ? items[k + 1].get() : nullptr;
                const int width = item.GetWidth();
                int baseLine = 0;
                int height = item.GetHeight(baseLine, next);
                if (item.FItemType == hitIndent && (item.FBoolState & bsAbsolute))
                    running = item.FWidth;
                else
                    running += width;
                if (item.FItemType == hitChar && item.IsSub()) {
                    baseLine += height / 4;
                    height += height / 4;
                } else if (item.FItemType == hitChar && item.IsSuper()) {
                    baseLine -= height / 2;
                    height += height * 2 / 3;
                }
                item.FWidth = Clamp16(width);
                item.FHeight = Clamp16(height);
                lineHeight = std::max(lineHeight, height);
                lineDescent = std::max(lineDescent, baseLine);
            }
            lineStart->FHeight = Clamp16(lineHeight);
            lineStart->FWidth = Clamp16(lineStart->FIndent + running);
            lineStart->FParams =
                (lineStart->FParams & 0xFFFF) | static_cast<uint32_t>(std::min(lineDescent, 0xFFFF)) << 16;
            maxWidth = std::max<int>(maxWidth, lineStart->FWidth);
            totalHeight += lineStart->FHeight;
            i = end;
        }
        D.FTextSize = {maxWidth, totalHeight};
    }

    THTMLRender& R;
    THTMLData& D;
    const std::u16string& T;
    bool FAutoWrap;
    size_t P = 0;
    std::unique_ptr<THTMLItem> C;
    TFontSettings S;
    std::vector<TFontSettings> FStack;
    int32_t FListDepth = 0;
};

} // namespace html

namespace html {

THTMLRender::THTMLRender(IHTMLMeasurer& measurer)
    : FMeasurer(measurer), FDpi(measurer.ScreenDpi() > 0 ? measurer.ScreenDpi() : 100), FIntData(this),
      FCurData(&FIntData)
{
}

THTMLRender::~THTMLRender() = default;

std::unique_ptr<THTMLControlPainter> THTMLRender::CreatePainter(THTMLInputItem& item)
{
    return std::make_unique<THTMLCheckBoxPainter>(item);
}

void THTMLRender::PrepareText(const std::u16string& Text, int MaxWidth, bool AutoWrap)
{
    PrepareToData(Text, MaxWidth, AutoWrap, *FCurData);
}

void THTMLRender::PrepareToData(const std::u16string& Text, int MaxWidth, bool AutoWrap, THTMLData& CurData)
{
    CurData.ClearArray();
    CurData.FTextSize = {};
    CurData.FMaxWidth = MaxWidth;
    THTMLData* previous = FCurData;
    FCurData = &CurData;
    try {
        THTMLParser parser(*this, CurData, Text, AutoWrap);
        parser.Run();
    } catch (...) {
        CurData.ClearArray();
        CurData.FTextSize = {};
    }
    FCurData = previous;
}

THTMLPicture THTMLRender::RequestImage(const std::u16string& source)
{
    if (OnImageNeeded) {
        std::optional<THTMLPicture> image;
        OnImageNeeded(this, source, image);
        if (image && !image->Empty())
            return *image;
    }
    THTMLPicture picture;
    if (OnImageNeededEx) {
        try {
            OnImageNeededEx(this, source, picture);
        } catch (...) {
            picture = {};
        }
    }
    return picture;
}

} // namespace html
