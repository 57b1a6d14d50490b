// Painting, hit testing and the mouse and keyboard interaction of parsed data. Positions
// come from line measuring; nothing here measures text except list numbers.

#include "controls/html/html_render.h"

#include <algorithm>
#include <cmath>

namespace html {
namespace {

int RoundHalfEven(double v)
{
    return static_cast<int>(std::nearbyint(v));
}

// The colour made to contrast with `from` (both resolved): darkened over a light colour,
// lightened halfway to white over a dark one.
THTMLColor Contrast(THTMLColor color, THTMLColor from)
{
    const int r = from & 255, g = from >> 8 & 255, b = from >> 16 & 255;
    const int mx = std::max({r, g, b}), mn = std::min({r, g, b});
    const int lightness = RoundHalfEven(((mx + mn) * 252.0 + 255) / 510);
    THTMLColor out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const int c = static_cast<int>(color >> shift & 255);
        const int v = lightness > 160 ? std::max(0, c - RoundHalfEven((255 - c) * 0.5))
                                      : c + ((255 - c) * 50 + 50) / 100;
        out |= static_cast<THTMLColor>(std::clamp(v, 0, 255)) << shift;
    }
    return out;
}

// The x where a line's content starts in a rectangle of width W.
int LineStart(const THTMLBreakItem& line, int rectWidth)
{
    const int lineWidth = line.FWidth;
    const int w = std::max(rectWidth, lineWidth);
    switch (line.Alignment()) {
    case 1:
        return (w - lineWidth - 1) / 2;
    case 2:
        return w - lineWidth - 1;
    default:
        return line.FIndent;
    }
}

std::u16string ListNumber(int n)
{
    const std::string s = std::to_string(n) + ".";
    return {s.begin(), s.end()};
}

} // namespace

void THTMLCheckBoxPainter::PaintTo(IHTMLCanvas& Canvas, const THTMLRect& ARect)
{
    const THTMLData& d = *FItem.FOwner;
    Canvas.DrawCheckBox(FItem.FInputType == itRadioButton, FItem.FChecked, d.FActiveItem == &FItem,
                        d.FSelectedItem == &FItem, ARect);
}

void THTMLRender::DrawText(IHTMLCanvas& Canvas, THTMLPoint SrcPoint, const THTMLRect& R,
                           THTMLColor AdjustFromColor)
{
    DrawTextEx(Canvas, SrcPoint, R, false, clNone, clNone, clNone, clNone, AdjustFromColor);
}

void THTMLRender::DrawTextEx(IHTMLCanvas& ACanvas, THTMLPoint ASrcPoint, const THTMLRect& R,
                             bool UseOverColors, THTMLColor AColor, THTMLColor ABkColor, THTMLColor ASelColor,
                             THTMLColor ASelBkColor, THTMLColor AAdjustFromColor)
{
    THTMLData& d = *FCurData;
    d.FRect = R;
    const bool adjust = AAdjustFromColor != clNone;
    const THTMLColor from = adjust ? ACanvas.ResolveColor(AAdjustFromColor) : 0;
    auto textColor = [&](THTMLColor c) { return adjust ? Contrast(ACanvas.ResolveColor(c), from) : c; };
    const int dx = -ASrcPoint.X, dy = -ASrcPoint.Y;

    int y = 0, x = 0, lineHeight = 0, descent = 0, lineWidth = 0;
    bool first = true;
    for (auto& p : d.FArray) {
        THTMLItem& item = *p;
        if (item.IsBreak()) {
            const auto& line = static_cast<const THTMLBreakItem&>(item);
            if (!first)
                y += lineHeight;
            first = false;
            if (y > R.Height() + 1 + ASrcPoint.Y)
                break;
            lineHeight = line.FHeight;
            descent = line.LineDescent();
            lineWidth = line.FWidth;
            x = LineStart(line, R.Width() + 1);
        }
        const int baseline = y + lineHeight - descent;
        const THTMLRect box{x + dx, y + lineHeight - item.FHeight + dy, x + item.FWidth + dx,
                            y + lineHeight + dy};
        switch (item.FItemType) {
        case hitChar:
        case hitVar: {
            const bool selected = &item == d.FSelectedItem;
            const bool over = UseOverColors && item.FFntCnt == 0;
            THTMLColor background = selected ? (UseOverColors ? ASelBkColor : d.FHighlightBgColor)
                                             : (over ? ABkColor : item.FontBgColor);
            THTMLColor color =
                selected ? (UseOverColors ? ASelColor : d.FHighlightColor) : (over ? AColor : item.FontColor);
            THTMLFont font = item.Font();
            if (!selected && item.IsLink()) {
                font.Style = d.FLinkStyle;
                color = d.FLinkColor;
            }
            int shift = 0;
            if (item.IsSuper())
                shift = -item.FHeight / 2;
            else if (item.IsSub())
                shift = item.FHeight / 4;
            ACanvas.DrawRun(x + dx, baseline + shift + dy, item.FText, font, textColor(color), background);
            x += item.FWidth;
            break;
        }
        case hitLI: {
            const auto& li = static_cast<const THTMLBreakItem&>(item);
            const THTMLFont font = item.Font();
            if (li.FListItemN < 1) {
                const int w = FMeasurer.Metrics(font).AveCharWidth;
                const int t = y + descent + (lineHeight - descent - w) / 2;
                const THTMLColor color = UseOverColors && item.FFntCnt == 0 ? AColor : item.FontColor;
                ACanvas.DrawBullet({x - w - 6 + dx, t + dy, x - 6 + dx, t + w + dy}, textColor(color));
            } else {
                const std::u16string number = ListNumber(li.FListItemN);
                ACanvas.DrawNumber(x + dx, baseline + dy, number, font, textColor(item.FontColor));
                x += FMeasurer.TextWidth(font, number);
            }
            break;
        }
        case hitBitmap: {
            const THTMLPicture picture = RequestImage(item.FText);
            if (!picture.Empty())
                ACanvas.DrawPicture(picture, item.FTransparent,
                                    {x + dx, y + dy, x + item.FWidth + dx, y + item.FHeight + dy}, box);
            x += item.FWidth + 1;
            break;
        }
        case hitHR: {
            const int right = item.FWidth ? x + item.FWidth + dx : std::max(lineWidth, R.Width() + 1);
            ACanvas.DrawRule(x + dx, right, y + lineHeight / 2 + dy);
            break;
        }
        case hitIndent:
            x = item.FBoolState & bsAbsolute ? item.FWidth : x + item.FWidth;
            break;
        case hitInput: {
            auto& input = static_cast<THTMLInputItem&>(item);
            if (input.FControlPainter)
                input.FControlPainter->PaintTo(ACanvas, box);
            x += item.FWidth;
            break;
        }
        case hitControl:
            ACanvas.PlaceControl(static_cast<THTMLControlItem&>(item), box);
            x += item.FWidth;
            break;
        default:
            break;
        }
    }
}

THTMLItem* THTMLRender::ItemAt(THTMLPoint Point, THTMLPoint SrcPoint, const THTMLRect& R)
{
    THTMLData& d = *FCurData;
    const THTMLRect rect = R.Width() == 0 ? d.FRect : R;
    const int px = Point.X + SrcPoint.X, py = Point.Y + SrcPoint.Y;
    auto& items = d.FArray;
    int top = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        if (!items[i]->IsBreak())
            continue;
        const auto& line = static_cast<const THTMLBreakItem&>(*items[i]);
        const int bottom = top + line.FHeight;
        if (bottom <= py) {
            top = bottom;
            continue;
        }
        int x = LineStart(line, rect.Width());
        for (size_t k = i; k < items.size() && (k == i || !items[k]->IsBreak()); ++k) {
            THTMLItem& item = *items[k];
            if (item.FItemType == hitLI) {
                const auto& li = static_cast<const THTMLBreakItem&>(item);
                if (li.FListItemN >= 1)
                    x += FMeasurer.TextWidth(item.Font(), ListNumber(li.FListItemN));
                continue;
            }
            if (item.IsBreak())
                continue;
            int h = item.FHeight;
            if (item.IsSub() || item.IsSuper())
                h = FMeasurer.Metrics(item.Font()).Height;
            const int off = item.IsSuper() ? h / 2 : 0;
            if (x <= px && px <= x + item.FWidth && bottom - h - off <= py && py <= bottom - off)
                return &item;
            if (item.FItemType == hitIndent && (item.FBoolState & bsAbsolute))
                x = item.FWidth;
            else if (item.FItemType == hitBitmap)
                x += item.FWidth + 1;
            else if (item.FItemType != hitHR)
                x += item.FWidth;
        }
        return nullptr;
    }
    return nullptr;
}

bool THTMLRender::IsCursorOverLink(THTMLPoint Point, THTMLPoint SrcPoint, std::u16string& href,
                                   const THTMLRect& R)
{
    href.clear();
    const THTMLItem* item = ItemAt(Point, SrcPoint, R);
    if (!item || !item->IsLink())
        return false;
    href = item->FLinkRef;
    return true;
}

void THTMLRender::Changed()
{
    if (OnChange)
        OnChange(this);
}

void THTMLRender::Select(THTMLItem* item)
{
    FCurData->FSelectedItem = item;
    if (item && item->FItemType == hitControl && OnFocusControl)
        OnFocusControl(static_cast<THTMLControlItem&>(*item));
}

void THTMLRender::ClickTransfer(int X, int Y, const THTMLRect& R)
{
    THTMLItem* item = ItemAt({X, Y}, {}, R);
    FCurData->FSelectedItem = nullptr;
    if (!item)
        return;
    if (item->FItemType == hitInput) {
        auto& input = static_cast<THTMLInputItem&>(*item);
        FCurData->FSelectedItem = &input;
        SetChecked(input, input.FInputType == itRadioButton && !input.FChecked ? true : !input.FChecked);
    } else if (item->IsLink() && FLinkSelect) {
        FCurData->FSelectedItem = item;
    }
    Changed();
}

void THTMLRender::MouseMoveTransfer(unsigned, int X, int Y, const THTMLRect& R)
{
    THTMLItem* item = ItemAt({X, Y}, {}, R);
    THTMLInputItem* active =
        item && item->FItemType == hitInput ? static_cast<THTMLInputItem*>(item) : nullptr;
    if (active == FCurData->FActiveItem)
        return;
    FCurData->FActiveItem = active;
    Changed();
}

void THTMLRender::SelectNextSuitableItem()
{
    const auto& controls = FCurData->FControlsArray;
    if (controls.empty())
        return;
    const auto at = std::find(controls.begin(), controls.end(), FCurData->FSelectedItem);
    Select(at == controls.end() || at + 1 == controls.end() ? controls.front() : *(at + 1));
    Changed();
}

void THTMLRender::SelectPrevSuitableItem()
{
    const auto& controls = FCurData->FControlsArray;
    if (controls.empty())
        return;
    const auto at = std::find(controls.begin(), controls.end(), FCurData->FSelectedItem);
    Select(at == controls.end() || at == controls.begin() ? controls.back() : *(at - 1));
    Changed();
}

void THTMLRender::KeyDownTransfer(uint16_t Key, unsigned Shift)
{
    if (Key == VkTab) {
        if (Shift & ssShift)
            SelectPrevSuitableItem();
        else
            SelectNextSuitableItem();
        return;
    }
    THTMLItem* selected = FCurData->FSelectedItem;
    if (Key == VkSpace && selected && selected->FItemType == hitInput) {
        auto& input = static_cast<THTMLInputItem&>(*selected);
        SetChecked(input, input.FInputType == itRadioButton ? true : !input.FChecked);
    }
}

void THTMLRender::SetChecked(THTMLInputItem& item, bool checked)
{
    if (item.FChecked == checked)
        return;
    if (checked && item.FInputType == itRadioButton && item.FTag > 0)
        for (THTMLItem* other : FCurData->FControlsArray)
            if (other->FItemType == hitInput && other->FTag == item.FTag)
                static_cast<THTMLInputItem*>(other)->FChecked = false;
    item.FChecked = checked;
    if (OnInputItemChecked)
        OnInputItemChecked(this, &item);
    Changed();
}

void THTMLRender::SetValue(THTMLInputItem& item, const std::u16string& value)
{
    if (item.FValue == value)
        return;
    item.FValue = value;
    if (OnInputItemTextChanged)
        OnInputItemTextChanged(this, &item);
    Changed();
}

} // namespace html
