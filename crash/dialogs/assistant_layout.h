#pragma once
// Where an assistant form puts its items: the client size, the content items top to bottom
// with the gaps their kinds ask for, the three main buttons in their row, and whether the
// continue button must stay disabled. Platform-free: text is measured through the functions
// the caller gives (the fonts are the window's business).

#include "crash/dialogs/assistant_form.h"

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace crash {

struct TFormSize
{
    int32_t Width = 0, Height = 0;
    friend bool operator==(const TFormSize&, const TFormSize&) = default;
};

struct TFormRect
{
    int32_t X = 0, Y = 0, Width = 0, Height = 0;
    int32_t Bottom() const { return Y + Height; }
    friend bool operator==(const TFormRect&, const TFormRect&) = default;
};

struct TFormMeasure
{
    // A main button's caption: 15-pixel Arial, or 11-pixel Tahoma for plain buttons.
    std::function<TFormSize(std::u16string_view)> ButtonCaption, PlainButtonCaption;
    // The header text in 15-pixel bold Arial.
    std::function<TFormSize(std::u16string_view)> Message;
    // An item's text in the item font (11-pixel Tahoma), on one line or wrapped in `width`.
    std::function<TFormSize(std::u16string_view)> ItemText;
    std::function<TFormSize(std::u16string_view, int32_t width)> WrappedItemText;
    // The size of an image item's picture; {0, 0} without one.
    std::function<TFormSize(const TFormItem&)> Picture;
    TFormSize CheckMark; // the platform's menu check mark
    int32_t ScreenHeight = 768;
};

struct TFormLayout
{
    int32_t Width = 0, Height = 0; // the client area
    // One per item, in item order: the main buttons' places in their row, every other
    // item's rectangle (an edit's includes the 2-pixel frame around its box; an image's the
    // room for its border and the clickable outline).
    std::vector<TFormRect> Items;
    bool ContinueForceDisabled = false;
};

TFormLayout LayoutForm(const TFormDefinition& form, int32_t steps, const TFormMeasure& measure);

// The edit box inside an edit item's rectangle.
TFormRect EditBox(const TFormRect& item);
// Whether an item lets the user continue: a required edit needs valid, non-empty text (its
// stored one, or `text` as its window holds it now).
bool AllowsContinue(const TFormItem& item, std::u16string_view text);
inline bool AllowsContinue(const TFormItem& item)
{
    return AllowsContinue(item, item.Text);
}

} // namespace crash
