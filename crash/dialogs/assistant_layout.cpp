#include "crash/dialogs/assistant_layout.h"

#include "crash/imaging/pixel_buffer.h"

#include <algorithm>

namespace crash {
namespace {

constexpr int32_t ItemX = 21, FirstItemY = 40;
constexpr int32_t OwnerDrawnHeight = 32, PlainHeight = 23;
// Labels wrap, and edits are, this much narrower than the form.
constexpr int32_t TextInset = 46;
// A definition's numbers are taken within these bounds: no screen holds more, and the sums
// of the layout stay far from overflowing.
constexpr int32_t MostPixels = 10000, MostLines = 200;

int32_t Bounded(int32_t value, int32_t low, int32_t high)
{
    return std::clamp(value, low, high);
}

int32_t MainButtonWidth(const TFormItem& b, const TFormMeasure& m)
{
    if (b.Invisible)
        return -8; // no button, and no gap for it
    if (b.NoOwnerDraw) {
        const int32_t w = m.PlainButtonCaption(b.ShownCaption()).Width;
        return w < 55 ? 75 : w + 20;
    }
    return std::max(m.ButtonCaption(b.ShownCaption()).Width + 20, 85);
}

// A label on one line (as it wraps in the form) whose caption asks nothing ("...:" or
// "...?"): a heading.
bool IsHeadLabel(const TFormItem& item, const TFormMeasure& m, int32_t formWidth)
{
    if (item.Kind != TItemKind::Label)
        return false;
    const std::u16string caption = item.ShownCaption();
    if (!caption.empty() && (caption.back() == u':' || caption.back() == u'?'))
        return false;
    return m.WrappedItemText(caption, formWidth - TextInset).Height <= m.ItemText(u"Gg").Height;
}

TFormRect PlaceItem(const TFormItem& item, int32_t y, int32_t formWidth, const TFormMeasure& m)
{
    switch (item.Kind) {
    case TItemKind::Label: {
        const TFormSize text = m.WrappedItemText(item.ShownCaption(), formWidth - TextInset);
        return {ItemX, y - 2, formWidth - TextInset, text.Height};
    }
    case TItemKind::Edit: {
        const int32_t box = m.ItemText(u"Gg").Height * Bounded(item.Lines, 1, MostLines) + 2;
        return {ItemX, y, formWidth - TextInset + 4, box + 4};
    }
    case TItemKind::CheckBox: {
        const TFormSize text = m.ItemText(item.ShownCaption());
        return {ItemX, y, text.Width + m.CheckMark.Width + 8, std::max(text.Height, m.CheckMark.Height)};
    }
    case TItemKind::Button: {
        const TFormSize text = m.ItemText(item.ShownCaption());
        return {ItemX, y, std::max({text.Width + 32, 70, Bounded(item.MinWidth, 0, MostPixels)}),
                text.Height + 10};
    }
    case TItemKind::Image: {
        const int32_t p = (item.Clickable ? 6 : 0) + (item.Border ? 2 : 0);
        const TFormSize picture = m.Picture ? m.Picture(item) : TFormSize{};
        int32_t w = Bounded(item.Width, 0, MostPixels), h = Bounded(item.Height, 0, MostPixels);
        if (w <= 0 || h <= 0) {
            w = picture.Width > 0 ? picture.Width : 32;
            h = picture.Height > 0 ? picture.Height : 32;
        }
        w = std::max(std::min(w, formWidth - 42 - p), 1);
        h = std::max(std::min(h, m.ScreenHeight / 3), 1);
        if (picture.Width > 0 && picture.Height > 0 && (picture.Width != w || picture.Height != h))
            FitZoom(picture.Width, picture.Height, w, h);
        return {ItemX, y, w + p, h + p};
    }
    }
    return {ItemX, y, 0, 0};
}

// The gap below content item `i` (an index into the form's items).
int32_t GapBelow(const TFormDefinition& form, size_t i, int32_t formWidth, const TFormMeasure& m)
{
    const std::vector<TFormItem>& items = form.Items;
    const TFormItem& item = items[i];
    if (item.Spacing != 0)
        return Bounded(item.Spacing, -MostPixels, MostPixels);
    if (i + 1 >= items.size())
        return 0;
    if (IsHeadLabel(item, m, formWidth))
        return 4;
    const TFormItem& next = items[i + 1];
    if (next.Kind == item.Kind) {
        switch (item.Kind) {
        case TItemKind::Button:
            return 4;
        case TItemKind::Edit:
            return 6;
        default:
            return 8;
        }
    }
    const bool headBefore = i > mbCount && IsHeadLabel(items[i - 1], m, formWidth);
    const bool sameAfterNext = i + 2 < items.size() && items[i + 2].Kind == item.Kind;
    if (IsHeadLabel(next, m, formWidth) && headBefore && sameAfterNext)
        return 8;
    return 12;
}

} // namespace

TFormLayout LayoutForm(const TFormDefinition& form, int32_t steps, const TFormMeasure& m)
{
    TFormLayout out;
    const std::vector<TFormItem>& items = form.Items;
    out.Items.resize(items.size());
    if (items.size() < mbCount)
        return out;

    int32_t widths[mbCount], heights[mbCount];
    for (int b = 0; b < mbCount; ++b) {
        widths[b] = MainButtonWidth(items[static_cast<size_t>(b)], m);
        heights[b] = items[static_cast<size_t>(b)].NoOwnerDraw ? PlainHeight : OwnerDrawnHeight;
    }
    out.Width = std::max({315, Bounded(form.MinWidth, 0, MostPixels),
                          widths[mbContinue] + widths[mbSkip] + widths[mbCancel] + 32,
                          m.Message(form.Message).Width + 19 * steps + 36});

    int32_t y = FirstItemY;
    for (size_t i = mbCount; i < items.size(); ++i) {
        const TFormRect r = PlaceItem(items[i], y, out.Width, m);
        out.Items[i] = r;
        y = Bounded(r.Bottom() + GapBelow(form, i, out.Width, m), -MostPixels, 100 * MostPixels);
        out.ContinueForceDisabled = out.ContinueForceDisabled || !AllowsContinue(items[i]);
    }

    out.Height = heights[mbContinue] + y + 33;
    auto place = [&](int b, int32_t x) {
        out.Items[static_cast<size_t>(b)] = {x, out.Height - heights[b] - 9, std::max(widths[b], 0),
                                             heights[b]};
    };
    const bool rightPair =
        items[mbContinue].NoOwnerDraw && items[mbCancel].NoOwnerDraw && items[mbSkip].Invisible;
    const int32_t cancelX = out.Width - widths[mbCancel] - 8;
    place(mbCancel, cancelX);
    if (rightPair) {
        place(mbContinue, cancelX - 8 - widths[mbContinue]);
        place(mbSkip, 8);
    } else {
        place(mbContinue, 8);
        place(mbSkip, 8 + widths[mbContinue] + 8);
    }
    return out;
}

TFormRect EditBox(const TFormRect& item)
{
    return {item.X + 2, item.Y + 2, item.Width - 4, item.Height - 4};
}

bool AllowsContinue(const TFormItem& item, std::u16string_view text)
{
    return item.Kind != TItemKind::Edit || item.Optional || (item.Valid && !text.empty());
}

} // namespace crash
