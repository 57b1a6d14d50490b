#include "controls/html/html_data.h"

#include "controls/html/html_render.h"

#include <algorithm>

namespace html {

uint16_t Clamp16(int32_t v)
{
    return static_cast<uint16_t>(std::clamp<int32_t>(v, 0, 0xFFFE));
}

namespace {

std::u16string Quoted(const std::u16string& s)
{
    return u"\"" + s + u"\" ";
}

} // namespace

bool IsBreakType(THTMLItemType type)
{
    return type == hitSoftBreak || type == hitBreak || type == hitPara || type == hitLI || type == hitUL ||
           type == hitOL;
}

THTMLFont THTMLItem::Font() const
{
    int32_t height = FontHeight;
    if (IsSub() || IsSuper())
        height = height < 0 ? height + 2 : height > 0 ? height - 2 : 0;
    return {FFontRef, height, FontStyle, FOwner->FCharset};
}

void THTMLItem::Assign(const THTMLItem& source)
{
    FontStyle = source.FontStyle;
    FontHeight = source.FontHeight;
    FontBgColor = source.FontBgColor;
    FontColor = source.FontColor;
    FLinkRef = source.FLinkRef;
    FFontRef = source.FFontRef;
    FIndent = source.FIndent;
    FFntCnt = source.FFntCnt;
    FBoolState = source.FBoolState;
}

int THTMLItem::GetWidth()
{
    switch (FItemType) {
    case hitChar:
    case hitVar:
        if (FTWidth == WidthNotMeasured)
            FTWidth = Clamp16(FOwner->Measurer().TextWidth(Font(), FText) + 1);
        return FTWidth;
    default:
        return FWidth;
    }
}

int THTMLItem::GetHeight(int& BaseLine, const THTMLItem*)
{
    BaseLine = 0;
    if (FItemType == hitChar) {
        const THTMLFontMetrics m = FOwner->Measurer().Metrics(Font());
        BaseLine = m.Descent;
        return m.Height;
    }
    if (FItemType == hitBitmap)
        return FHeight;
    return 0;
}

int THTMLBreakItem::GetWidth()
{
    const THTMLFontMetrics m = FItemType == hitUL || FItemType == hitOL || FItemType == hitLI
                                   ? FOwner->Measurer().Metrics(Font())
                                   : THTMLFontMetrics{};
    if (FItemType == hitUL || FItemType == hitOL)
        return m.MaxCharWidth;
    if (FItemType == hitLI)
        return m.AveCharWidth;
    return 0;
}

int THTMLBreakItem::GetHeight(int& BaseLine, const THTMLItem* next)
{
    BaseLine = 0;
    if ((FItemType == hitSoftBreak || FItemType == hitBreak || FItemType == hitLI) &&
        (!next || next->IsBreak())) {
        const THTMLFontMetrics m = FOwner->Measurer().Metrics(Font());
        BaseLine = m.Descent;
        return m.Height;
    }
    return 0;
}

void THTMLBreakItem::Assign(const THTMLItem& source)
{
    THTMLItem::Assign(source);
    if (const auto* b = dynamic_cast<const THTMLBreakItem*>(&source)) {
        FListLevel = b->FListLevel;
        FListItemN = b->FListItemN;
        FParams = b->FParams & ~3u;
    }
}

void THTMLBreakItem::AssignBreakProps(const THTMLBreakItem* source)
{
    if (!source)
        return;
    FParams = source->FParams;
    FListLevel = source->FListLevel;
    FListItemN = source->FListItemN;
}

THTMLInputItem::THTMLInputItem(THTMLData* owner) : THTMLItem(owner, hitInput) {}
THTMLInputItem::~THTMLInputItem() = default;

void THTMLInputItem::SetInputType(THTMLInputType type)
{
    FInputType = type;
    FControlPainter = FOwner->FRender->CreatePainter(*this);
    if (type == itRadioButton && !FName.empty()) {
        auto& groups = FOwner->FRadioList;
        auto at = std::find(groups.begin(), groups.end(), FName);
        if (at == groups.end())
            at = groups.insert(groups.end(), FName);
        FTag = static_cast<int32_t>(at - groups.begin()) + 1;
    }
}

std::u16string THTMLInputItem::MarkupText() const
{
    std::u16string s = u"<input type=" + Quoted(FInputType == itCheckBox ? u"checkbox" : u"radio");
    if (!FName.empty())
        s += u"name=" + Quoted(FName);
    if (FChecked)
        s += u"checked=" + Quoted(u"True");
    if (!FValue.empty())
        s += u"value=" + Quoted(FValue);
    return s + u">";
}

int THTMLInputItem::GetHeight(int& BaseLine, const THTMLItem*)
{
    BaseLine = 0;
    return FHeight;
}

bool IsEmbeddableClass(const std::u16string& className)
{
    return className == u"tedit" || className == u"tbutton" || className == u"tcheckbox" ||
           className == u"tradiobutton";
}

std::u16string THTMLControlItem::MarkupText() const
{
    std::u16string s = u"<control vclclass=" + Quoted(FControlClass);
    for (const std::u16string& p : FControlPropList) {
        const size_t eq = p.find(u'=');
        s += p.substr(0, eq) + u"=" + Quoted(eq == std::u16string::npos ? u"" : p.substr(eq + 1));
    }
    return s + u">";
}

int THTMLControlItem::GetHeight(int& BaseLine, const THTMLItem*)
{
    BaseLine = 0;
    return FHeight;
}

IHTMLMeasurer& THTMLData::Measurer() const
{
    return FRender->Measurer();
}

void THTMLData::ClearArray()
{
    FControlsArray.clear();
    FRadioList.clear();
    FActiveItem = nullptr;
    FSelectedItem = nullptr;
    FArray.clear();
}

int THTMLData::LineCount() const
{
    return static_cast<int>(
        std::count_if(FArray.begin(), FArray.end(), [](const auto& item) { return item->IsBreak(); }));
}

std::u16string THTMLData::AsText() const
{
    std::u16string text;
    for (size_t i = 0; i < FArray.size(); ++i) {
        const THTMLItem& item = *FArray[i];
        switch (item.FItemType) {
        case hitChar:
            text += item.FText;
            break;
        case hitBreak:
            text += u"\r\n";
            break;
        case hitPara:
            if (i > 0)
                text += u"\r\n\r\n";
            break;
        case hitLI:
            text += u"- ";
            break;
        default:
            break;
        }
    }
    return text;
}

std::u16string THTMLData::GenerateHTML() const
{
    std::u16string html = u"<html>";
    for (const auto& item : FArray) {
        switch (item->FItemType) {
        case hitChar:
            html += item->FText;
            break;
        case hitBreak:
            html += u"<br>\r\n";
            break;
        case hitInput:
        case hitControl:
            html += item->MarkupText() + u"\r\n";
            break;
        case hitVar:
            html += u"<~~" + item->FText + u">";
            break;
        default:
            break;
        }
    }
    return html + u"</html>";
}

} // namespace html
