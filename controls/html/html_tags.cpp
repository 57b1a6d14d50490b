// What each tag of the caption markup does: the tag table and the tags' actions.

#include "controls/html/html_parser.h"

#include "base/ascii_case.h"
#include "controls/html/html_names.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace html {
namespace {

// "width" and "height" when given; an unreadable number stops there.
void ReadSize(THTMLItem& item, const TAttributes& a)
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

bool IsPositional(const std::u16string& name)
{
    return name.size() > 1 && name[0] == u'p' &&
           std::all_of(name.begin() + 1, name.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

using TTagAction = void (*)(THTMLParser& parser, const TAttributes& a, bool currentNonEmpty);

struct TTag
{
    std::u16string_view Name;
    bool NeedsAttributes; // without an attribute list the tag does nothing
    TTagAction Act;
};

// Each name with what it does (aliases such as "strong" have rows of their own); "html" and
// every name not listed do nothing.
constexpr TTag Tags[] = {
    // clang-format off
    {u"b",          false, [](THTMLParser& p, const TAttributes&, bool c) { p.Style(fsBold, true, c); }},
    {u"strong",     false, [](THTMLParser& p, const TAttributes&, bool c) { p.Style(fsBold, true, c); }},
    {u"/b",         false, [](THTMLParser& p, const TAttributes&, bool c) { p.Style(fsBold, false, c); }},
    {u"/strong",    false, [](THTMLParser& p, const TAttributes&, bool c) { p.Style(fsBold, false, c); }},
    {u"i",          false, [](THTMLParser& p, const TAttributes&, bool c) { p.Style(fsItalic, true, c); }},
    {u"em",         false, [](THTMLParser& p, const TAttributes&, bool c) { p.Style(fsItalic, true, c); }},
    {u"/i",         false, [](THTMLParser& p, const TAttributes&, bool c) { p.Style(fsItalic, false, c); }},
    {u"/em",        false, [](THTMLParser& p, const TAttributes&, bool c) { p.Style(fsItalic, false, c); }},
    {u"u",          false, [](THTMLParser& p, const TAttributes&, bool c) { p.Style(fsUnderline, true, c); }},
    {u"/u",         false, [](THTMLParser& p, const TAttributes&, bool c) { p.Style(fsUnderline, false, c); }},
    {u"s",          false, [](THTMLParser& p, const TAttributes&, bool c) { p.Style(fsStrikeOut, true, c); }},
    {u"strikeout",  false, [](THTMLParser& p, const TAttributes&, bool c) { p.Style(fsStrikeOut, true, c); }},
    {u"/s",         false, [](THTMLParser& p, const TAttributes&, bool c) { p.Style(fsStrikeOut, false, c); }},
    {u"/strikeout", false, [](THTMLParser& p, const TAttributes&, bool c) { p.Style(fsStrikeOut, false, c); }},
    {u"var",        false, [](THTMLParser& p, const TAttributes&, bool c) { p.Style(fsBold | fsItalic, true, c); }},
    {u"cite",       false, [](THTMLParser& p, const TAttributes&, bool c) { p.Style(fsBold | fsItalic, true, c); }},
    {u"/var",       false, [](THTMLParser& p, const TAttributes&, bool c) { p.Style(fsBold | fsItalic, false, c); }},
    {u"/cite",      false, [](THTMLParser& p, const TAttributes&, bool c) { p.Style(fsBold | fsItalic, false, c); }},
    {u"sub",        false, [](THTMLParser& p, const TAttributes&, bool c) { p.Flag(bsIsSub, true, c); }},
    {u"/sub",       false, [](THTMLParser& p, const TAttributes&, bool c) { p.Flag(bsIsSub, false, c); }},
    {u"sup",        false, [](THTMLParser& p, const TAttributes&, bool c) { p.Flag(bsIsSuper, true, c); }},
    {u"/sup",       false, [](THTMLParser& p, const TAttributes&, bool c) { p.Flag(bsIsSuper, false, c); }},
    {u"font",       false, [](THTMLParser& p, const TAttributes& a, bool c) { p.FontTag(a, c); }},
    {u"/font",      false, [](THTMLParser& p, const TAttributes&, bool c) { p.FontEnd(c); }},
    {u"a",          true,  [](THTMLParser& p, const TAttributes& a, bool) { p.LinkStart(a); }},
    {u"/a",         false, [](THTMLParser& p, const TAttributes&, bool c) { p.LinkEnd(c); }},
    {u"br",         false, [](THTMLParser& p, const TAttributes&, bool c) { p.LineBreak(c); }},
    {u"p",          false, [](THTMLParser& p, const TAttributes& a, bool c) { p.Paragraph(a, c, false); }},
    {u"/p",         false, [](THTMLParser& p, const TAttributes& a, bool c) { p.Paragraph(a, c, true); }},
    {u"ul",         false, [](THTMLParser& p, const TAttributes&, bool c) { p.ListStart(c, false); }},
    {u"ol",         false, [](THTMLParser& p, const TAttributes&, bool c) { p.ListStart(c, true); }},
    {u"/ul",        false, [](THTMLParser& p, const TAttributes&, bool c) { p.ListEnd(c, false); }},
    {u"/ol",        false, [](THTMLParser& p, const TAttributes&, bool c) { p.ListEnd(c, true); }},
    {u"li",         false, [](THTMLParser& p, const TAttributes&, bool c) { p.ListItem(c); }},
    {u"hr",         false, [](THTMLParser& p, const TAttributes& a, bool c) { p.Rule(a, c); }},
    {u"img",        true,  [](THTMLParser& p, const TAttributes& a, bool c) { p.Image(a, c); }},
    {u"ind",        true,  [](THTMLParser& p, const TAttributes& a, bool c) { p.Indent(a, c); }},
    {u"input",      true,  [](THTMLParser& p, const TAttributes& a, bool c) { p.Input(a, c); }},
    {u"control",    true,  [](THTMLParser& p, const TAttributes& a, bool c) { p.Control(a, c); }},
    {u"~~",         false, [](THTMLParser& p, const TAttributes& a, bool c) { p.Variable(a, c); }},
    // clang-format on
};

} // namespace

void THTMLParser::ApplyTag(const std::u16string& tag, const TAttributes& a)
{
    const auto entry =
        std::find_if(std::begin(Tags), std::end(Tags), [&](const TTag& t) { return t.Name == tag; });
    if (entry != std::end(Tags) && (a.Present || !entry->NeedsAttributes))
        entry->Act(*this, a, NonEmpty(*FCurrent));
}

void THTMLParser::Style(unsigned bits, bool on, bool currentNonEmpty)
{
    Step(currentNonEmpty, [&](THTMLItem& n) {
        if (on)
            n.FontStyle |= bits;
        else if (bits & ~FData.FDefaultStyle)
            n.FontStyle &= ~bits;
    });
}

void THTMLParser::Flag(uint32_t bit, bool on, bool currentNonEmpty)
{
    Step(currentNonEmpty,
         [&](THTMLItem& n) { n.FBoolState = on ? n.FBoolState | bit : n.FBoolState & ~bit; });
}

void THTMLParser::FontTag(const TAttributes& a, bool currentNonEmpty)
{
    auto n = NewRun(*FCurrent);
    FFontStack.push_back(FFont);
    FFont = {FCurrent->FFontRef, FCurrent->FontHeight, FCurrent->FontColor, FCurrent->FontBgColor};
    std::u16string face = a.Value(u"name");
    if (face.empty())
        face = a.Value(u"face");
    if (!face.empty())
        FFont.FontName = face;
    const std::u16string size = a.Value(u"size");
    if (!size.empty()) {
        const int32_t def = FData.FDefaultHeight == INT32_MIN ? INT32_MAX : std::abs(FData.FDefaultHeight);
        if (size[0] == u'+' || size[0] == u'-') {
            const int32_t steps = NumberOr(size, 0);
            FFont.Height = Clamp(Sign(FFont.Height) *
                                 (static_cast<int64_t>(def) + MulDivRound(steps, FRender.FDpi, 72)));
        } else {
            std::u16string v = size;
            const size_t px = v.find(u"px");
            if (px != std::u16string::npos)
                v = TrimControls(v.erase(px, 2));
            const int32_t h = NumberOr(v, FData.FDefaultHeight);
            if (h >= 1 && h <= 9 && px == std::u16string::npos)
                FFont.Height = Clamp(Sign(FFont.Height) * (static_cast<int64_t>(def) + 5 * h));
            else
                FFont.Height = h;
        }
    }
    bool coloured = false;
    const std::u16string color = a.Value(u"color");
    if (!color.empty()) {
        coloured = true;
        if (const auto c = ColorValue(color, FData.FDefaultColor))
            FFont.Color = *c;
    }
    std::u16string background = a.Value(u"bgcolor");
    if (background.empty())
        background = a.Value(u"background");
    if (!background.empty()) {
        coloured = true;
        if (const auto c = ColorValue(background, FData.FDefaultBgColor))
            FFont.BgColor = *c;
    }
    if (coloured)
        ++n->FFntCnt;
    TakeFont(*n);
    Replace(std::move(n), currentNonEmpty);
}

void THTMLParser::FontEnd(bool currentNonEmpty)
{
    auto n = NewRun(*FCurrent);
    if (!FFontStack.empty()) {
        const TFontSettings& top = FFontStack.back();
        if (top.Color != FFont.Color || top.BgColor != FFont.BgColor)
            --n->FFntCnt;
        FFont = top;
        FFontStack.pop_back();
    }
    TakeFont(*n);
    Replace(std::move(n), currentNonEmpty);
}

void THTMLParser::LinkStart(const TAttributes& a)
{
    auto n = NewRun(*FCurrent);
    n->FBoolState |= bsIsLink;
    n->FLinkRef = a.Value(u"href");
    n->FontColor = FData.FLinkColor;
    n->FontStyle = FData.FLinkStyle;
    FData.FControlsArray.push_back(n.get());
    Append(std::move(FCurrent)); // even when empty: "/a" looks back past it
    FCurrent = std::move(n);
}

void THTMLParser::LinkEnd(bool currentNonEmpty)
{
    Step(currentNonEmpty, [&](THTMLItem& n) {
        n.FLinkRef.clear();
        n.FBoolState &= ~bsIsLink;
        n.FontStyle = FData.FDefaultStyle;
        n.FontColor = FData.FDefaultColor;
        for (size_t i = FData.FArray.size(); i-- > 0;)
            if (!FData.FArray[i]->IsLink()) {
                n.FontStyle = FData.FArray[i]->FontStyle;
                n.FontColor = FData.FArray[i]->FontColor;
                break;
            }
    });
}

void THTMLParser::LineBreak(bool currentNonEmpty)
{
    Step(currentNonEmpty, [](THTMLItem&) {});
    auto b = NewBreak(hitBreak, *FCurrent);
    const THTMLBreakItem* last = LastBreak();
    b->FParams = last ? last->FParams : 0;
    Append(std::move(b));
}

void THTMLParser::Paragraph(const TAttributes& a, bool currentNonEmpty, bool closing)
{
    THTMLItem* last = LastItem();
    if (last && last->FItemType == hitBreak && (last->FBoolState & bsClosedPara)) {
        if (!closing)
            last->FBoolState &= ~bsClosedPara;
        return;
    }
    auto n = NewRun(*FCurrent);
    if (currentNonEmpty)
        Append(std::move(FCurrent));
    else
        Discard(std::move(FCurrent));
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
    FCurrent = std::move(n);
}

void THTMLParser::ListStart(bool currentNonEmpty, bool ordered)
{
    // The list's own line start replaces a pending line break.
    const size_t lastBreak = LastBreakIndex();
    if (lastBreak != SIZE_MAX &&
        (FData.FArray[lastBreak]->FItemType == hitSoftBreak ||
         FData.FArray[lastBreak]->FItemType == hitBreak) &&
        FCurrent->FItemType == hitChar && TrimControls(FCurrent->FText).empty()) {
        bool blank = true;
        for (size_t i = lastBreak + 1; i < FData.FArray.size() && blank; ++i)
            blank = FData.FArray[i]->FItemType == hitChar && TrimControls(FData.FArray[i]->FText).empty();
        if (blank) {
            for (size_t i = lastBreak; i < FData.FArray.size(); ++i)
                Discard(std::move(FData.FArray[i]));
            FData.FArray.erase(FData.FArray.begin() + static_cast<std::ptrdiff_t>(lastBreak),
                               FData.FArray.end());
        }
    }
    auto n = NewRun(*FCurrent);
    if (currentNonEmpty)
        Append(std::move(FCurrent));
    else
        Discard(std::move(FCurrent));
    ++FListDepth;
    FRender.FCurListItem = ordered ? 1 : -1;
    auto u = NewBreak(ordered ? hitOL : hitUL, *n);
    u->FIndent += u->GetWidth();
    n->FIndent = u->FIndent;
    Append(std::move(u));
    FCurrent = std::move(n);
}

void THTMLParser::ListEnd(bool currentNonEmpty, bool ordered)
{
    Step(currentNonEmpty, [&](THTMLItem& n) { n.FIndent -= WidestCharacter(n); });
    --FListDepth;
    RemoveLastIfBreak();
    if (ordered)
        FRender.FCurListItem = -1;
    Append(NewBreak(hitBreak, *FCurrent));
}

void THTMLParser::ListItem(bool currentNonEmpty)
{
    Step(currentNonEmpty, [](THTMLItem&) {});
    RemoveLastIfBreak();
    auto li = NewBreak(hitLI, *FCurrent);
    li->FListItemN = FRender.FCurListItem;
    li->FListLevel = FListDepth;
    Append(std::move(li));
    if (FRender.FCurListItem > 0)
        ++FRender.FCurListItem;
}

void THTMLParser::Rule(const TAttributes& a, bool currentNonEmpty)
{
    auto before = NewBreak(hitBreak, *FCurrent);
    auto rule = NewItem<THTMLItem>(hitHR);
    rule->Assign(*FCurrent);
    rule->FWidth = Clamp16(NumberOr(a.Value(u"width"), 0));
    auto next = NewRun(*rule);
    auto after = NewBreak(hitBreak, *next);
    Replace(std::move(next), currentNonEmpty);
    Append(std::move(before));
    Append(std::move(rule));
    Append(std::move(after));
}

void THTMLParser::Image(const TAttributes& a, bool currentNonEmpty)
{
    const std::u16string source = a.Value(u"src");
    if (source.empty())
        return;
    auto image = NewItem<THTMLItem>(hitBitmap);
    image->Assign(*FCurrent);
    image->FText = source;
    const THTMLPicture picture = FRender.RequestImage(source);
    image->FTransparent = a.Value(u"transparent") != u"solid";
    image->FWidth = Clamp16(NumberOr(a.Value(u"width"), picture.Empty() ? 0 : picture.Width));
    image->FHeight = Clamp16(NumberOr(a.Value(u"height"), picture.Empty() ? 0 : picture.Height));
    InsertSpecial(std::move(image), currentNonEmpty);
}

void THTMLParser::Indent(const TAttributes& a, bool currentNonEmpty)
{
    const std::u16string width = a.Value(u"width");
    if (width.empty())
        return;
    auto indent = NewItem<THTMLItem>(hitIndent);
    indent->Assign(*FCurrent);
    indent->FText.clear();
    indent->FWidth = Clamp16(NumberOr(width, 0));
    if (base::AsciiLowerCase(a.Value(u"pos")) == u"abs")
        indent->FBoolState |= bsAbsolute;
    else
        indent->FBoolState &= ~bsAbsolute;
    InsertSpecial(std::move(indent), currentNonEmpty);
}

void THTMLParser::Input(const TAttributes& a, bool currentNonEmpty)
{
    const std::u16string type = base::AsciiLowerCase(a.Value(u"type"));
    if (type != u"checkbox" && type != u"radio")
        return;
    auto input = NewItem<THTMLInputItem>(hitInput);
    input->Assign(*FCurrent);
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
    FData.FControlsArray.push_back(input.get());
    InsertSpecial(std::move(input), currentNonEmpty);
}

void THTMLParser::Control(const TAttributes& a, bool currentNonEmpty)
{
    const std::u16string cls = base::AsciiLowerCase(a.Value(u"vclclass"));
    if (!IsEmbeddableClass(cls))
        return;
    auto control = NewItem<THTMLControlItem>(hitControl);
    control->Assign(*FCurrent);
    control->FControlClass = cls;
    // The classes' usual sizes, unless the markup gives one.
    control->FWidth = cls == u"tedit" ? 121 : cls == u"tbutton" ? 75 : cls == u"tcheckbox" ? 97 : 113;
    control->FHeight = cls == u"tedit" ? 21 : cls == u"tbutton" ? 25 : 17;
    ReadSize(*control, a);
    for (const auto& [name, value] : a.Items())
        if (name != u"vclclass" && name != u"width" && name != u"height" && !IsPositional(name))
            control->FControlPropList.push_back(name + u"=" + Unquote(value));
    FData.FControlsArray.push_back(control.get());
    InsertSpecial(std::move(control), currentNonEmpty);
}

void THTMLParser::Variable(const TAttributes& a, bool currentNonEmpty)
{
    auto variable = NewItem<THTMLItem>(hitVar);
    variable->Assign(*FCurrent);
    variable->FText = a.Raw(u"name");
    if (variable->FText.empty())
        variable->FText = a.Raw(u"p1");
    std::u16string value = u"~~";
    if (FRender.OnVariableNeeded)
        FRender.OnVariableNeeded(&FRender, variable->FText, value);
    variable->FText = value;
    InsertSpecial(std::move(variable), currentNonEmpty);
    FCurrent->FText = u" ";
}

} // namespace html
