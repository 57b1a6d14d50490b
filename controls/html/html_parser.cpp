// One parse of an HTML caption: the items and runs it builds, and the renderer's entry to
// it. What each tag does is in html_tags.cpp, wrapping and line measuring in html_wrap.cpp.

#include "controls/html/html_parser.h"

#include "controls/html/html_names.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace html {

int Sign(int32_t v)
{
    return v < 0 ? -1 : v > 0 ? 1 : 0;
}

int32_t MulDivRound(int32_t a, int32_t b, int32_t c)
{
    if (c == 0)
        return -1;
    const int64_t p = static_cast<int64_t>(a) * b;
    const int64_t q =
        (std::llabs(p) + std::llabs(static_cast<int64_t>(c)) / 2) / std::llabs(static_cast<int64_t>(c));
    return static_cast<int32_t>((p < 0) != (c < 0) ? -q : q);
}

int32_t Clamp(int64_t v)
{
    return static_cast<int32_t>(std::clamp<int64_t>(v, -32768, 32767));
}

THTMLParser::THTMLParser(THTMLRender& render, THTMLData& data, const std::u16string& text, bool autoWrap)
    : FRender(render), FData(data), FScanner(text), FAutoWrap(autoWrap)
{
    FFont = {FData.FDefaultFont, FData.FDefaultHeight, FData.FDefaultColor, FData.FDefaultBgColor};
    FCurrent = NewItem<THTMLItem>(hitChar);
    FCurrent->FontStyle = FData.FDefaultStyle;
    TakeFont(*FCurrent);
}

void THTMLParser::Run()
{
    THTMLToken token;
    for (FScanner.Next(token); token.Kind != THTMLToken::tkEnd; FScanner.Next(token)) {
        if (token.Kind == THTMLToken::tkChar)
            Add(token.Char, token.TypedSpace);
        else
            ApplyTag(token.Tag, token.Attributes);
    }
    if (NonEmpty(*FCurrent))
        Append(std::move(FCurrent));
    else
        Discard(std::move(FCurrent));
    if (!FData.FArray.empty() && FData.FArray.front()->FItemType != hitPara)
        FData.FArray.insert(FData.FArray.begin(), NewItem<THTMLBreakItem>(hitPara));
    MeasureLines();
}

std::unique_ptr<THTMLBreakItem> THTMLParser::NewBreak(THTMLItemType type, const THTMLItem& formatting)
{
    auto b = NewItem<THTMLBreakItem>(type);
    b->Assign(formatting);
    return b;
}

std::unique_ptr<THTMLItem> THTMLParser::NewRun(const THTMLItem& formatting)
{
    auto n = NewItem<THTMLItem>(hitChar);
    n->Assign(formatting);
    return n;
}

bool THTMLParser::NonEmpty(const THTMLItem& item)
{
    return item.FItemType != hitChar || !item.FText.empty();
}

THTMLItem* THTMLParser::Append(std::unique_ptr<THTMLItem> item)
{
    FData.FArray.push_back(std::move(item));
    return FData.FArray.back().get();
}

// An item that goes away unappended also leaves the controls list (a link that got no
// text would otherwise stay there as a dangling entry).
void THTMLParser::Discard(std::unique_ptr<THTMLItem> item)
{
    auto& controls = FData.FControlsArray;
    controls.erase(std::remove(controls.begin(), controls.end(), item.get()), controls.end());
}

// Appends the current run when it is non-empty (as decided before the tag acted) and makes `next` the
// current run.
void THTMLParser::Replace(std::unique_ptr<THTMLItem> next, bool currentNonEmpty)
{
    if (currentNonEmpty)
        Append(std::move(FCurrent));
    else
        Discard(std::move(FCurrent));
    FCurrent = std::move(next);
}

// Appends the current run when it was non-empty, then `item`; a fresh run of the same formatting
// follows.
void THTMLParser::InsertSpecial(std::unique_ptr<THTMLItem> item, bool currentNonEmpty)
{
    auto next = NewRun(*FCurrent);
    Replace(std::move(next), currentNonEmpty);
    // `item` goes before the new current run, which is not in the list yet.
    Append(std::move(item));
}

void THTMLParser::TakeFont(THTMLItem& item) const
{
    item.FFontRef = FFont.FontName;
    item.FontHeight = FFont.Height;
    item.FontColor = FFont.Color;
    item.FontBgColor = FFont.BgColor;
}

THTMLItem* THTMLParser::LastItem() const
{
    return FData.FArray.empty() ? nullptr : FData.FArray.back().get();
}

size_t THTMLParser::LastBreakIndex() const
{
    for (size_t i = FData.FArray.size(); i-- > 0;)
        if (FData.FArray[i]->IsBreak())
            return i;
    return SIZE_MAX;
}

THTMLBreakItem* THTMLParser::LastBreak() const
{
    const size_t i = LastBreakIndex();
    return i == SIZE_MAX ? nullptr : static_cast<THTMLBreakItem*>(FData.FArray[i].get());
}

void THTMLParser::RemoveLastIfBreak()
{
    if (LastItem() && LastItem()->FItemType == hitBreak)
        FData.FArray.pop_back();
}

void THTMLParser::Add(char16_t c, bool typedSpace)
{
    if (typedSpace && !FCurrent->FText.empty() && FCurrent->FText.back() == u' ')
        return;
    // A wrap hands back the character that goes on the new line (a space there is dropped
    // when the line already ends in one).
    for (char16_t next = c;;) {
        FCurrent->FText += next;
        FCurrent->FTWidth = WidthNotMeasured;
        const std::optional<char16_t> wrapped = FAutoWrap ? Wrap() : std::nullopt;
        if (!wrapped || (*wrapped == u' ' && !FCurrent->FText.empty() && FCurrent->FText.back() == u' '))
            return;
        next = *wrapped;
    }
}

int THTMLParser::WidestCharacter(const THTMLItem& item) const
{
    return FData.Measurer().Metrics(item.Font()).MaxCharWidth;
}

std::optional<THTMLColor> THTMLParser::ColorValue(const std::u16string& value, THTMLColor fallback) const
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
