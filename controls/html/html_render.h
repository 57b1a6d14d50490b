#pragma once
// The renderer of HTML captions: parses a caption into a THTMLData (this file), and paints
// and hit-tests it (the painting side). One renderer keeps, across parses, the number the
// next list item gets.

#include "controls/html/html_data.h"
#include "controls/html/html_measure.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

// windows.h, where it is included, renames DrawText and DrawTextEx to its wide functions.
// The renderer's methods of those names keep them in every translation unit; callers that
// see windows.h undefine the two macros around their calls.
#pragma push_macro("DrawText")
#pragma push_macro("DrawTextEx")
#undef DrawText
#undef DrawTextEx

namespace html {

// The host's own picture object behind a THTMLPicture. Each canvas paints the kind it
// knows (the GDI canvas: bitmaps, html_gdi.h) and nothing of any other kind.
class THTMLImage
{
public:
    virtual ~THTMLImage() = default;
};

// A picture the host supplies for an "img" tag; the parser needs only its size, the
// painter gets it again by its source name.
struct THTMLPicture
{
    int Width = 0, Height = 0;
    std::shared_ptr<const THTMLImage> Image;
    bool Empty() const noexcept { return Width <= 0 || Height <= 0; }
};

struct THTMLPoint
{
    int X = 0, Y = 0;
};

// Where the renderer paints: text runs, list bullets and numbers, pictures, rules, check
// boxes and embedded controls, at positions relative to the top-left corner of the painted
// rectangle (the canvas adds its own offset). The program paints with GDI (html_gdi.h);
// tests record the calls.
class IHTMLCanvas
{
public:
    virtual ~IHTMLCanvas() = default;
    // The RGB value of a colour (system colours resolved).
    virtual THTMLColor ResolveColor(THTMLColor color) = 0;
    // A run with its left end at x and its baseline at `baseline`; `background` clNone: none.
    virtual void DrawRun(int x, int baseline, const std::u16string& text, const THTMLFont& font,
                         THTMLColor color, THTMLColor background) = 0;
    // A filled circle in `box`, outlined with the surface's pen.
    virtual void DrawBullet(const THTMLRect& box, THTMLColor color) = 0;
    // A list number on the baseline, over the surface's brush colour.
    virtual void DrawNumber(int x, int baseline, const std::u16string& text, const THTMLFont& font,
                            THTMLColor color) = 0;
    // A picture: a bitmap with `transparent` unscaled at the top-left of `cut` and cut to
    // it, its bottom-left pixel's colour transparent; anything else stretched into `box`.
    virtual void DrawPicture(const THTMLPicture& picture, bool transparent, const THTMLRect& cut,
                             const THTMLRect& box) = 0;
    // A sunken rule 2 pixels high.
    virtual void DrawRule(int left, int right, int top) = 0;
    virtual void DrawCheckBox(bool radio, bool checked, bool hot, bool focused, const THTMLRect& box) = 0;
    // Called at every paint of an embedded control: the canvas places and shows a control
    // that is still hidden, and leaves a shown one where it is.
    virtual void PlaceControl(THTMLControlItem& item, const THTMLRect& box) = 0;
};

// Paints an input item: the check box painter draws check boxes and radio buttons.
class THTMLCheckBoxPainter : public THTMLControlPainter
{
public:
    explicit THTMLCheckBoxPainter(THTMLInputItem& item) : FItem(item) {}
    void PaintTo(IHTMLCanvas& Canvas, const THTMLRect& ARect) override;

private:
    THTMLInputItem& FItem;
};

// Key codes and shift state of the keyboard interaction.
constexpr uint16_t VkTab = 9, VkSpace = 32;
constexpr unsigned ssShift = 1;

class THTMLRender
{
public:
    // Measures with `measurer`, which must outlive the renderer.
    explicit THTMLRender(IHTMLMeasurer& measurer);
    virtual ~THTMLRender();
    THTMLRender(const THTMLRender&) = delete;
    THTMLRender& operator=(const THTMLRender&) = delete;

    // Parses `Text` into the current data object (PrepareToData with CurData()).
    void PrepareText(const std::u16string& Text, int MaxWidth, bool AutoWrap);
    // Parses `Text` into `CurData`, which is the current data until the parse ends. An
    // exception during the parse (a bad "checked" value, a failing handler) empties the
    // data and goes no further.
    void PrepareToData(const std::u16string& Text, int MaxWidth, bool AutoWrap, THTMLData& CurData);

    THTMLData& CurData() noexcept { return *FCurData; }
    void SetCurData(THTMLData* data) noexcept { FCurData = data ? data : &FIntData; }
    IHTMLMeasurer& Measurer() noexcept { return FMeasurer; }
    int32_t CurListItem() const noexcept { return FCurListItem; }

    // The painter an input item gets when its type is set: the check box painter.
    virtual std::unique_ptr<THTMLControlPainter> CreatePainter(THTMLInputItem& item);

    std::function<void(THTMLRender* Sender, const std::u16string& aVarName, std::u16string& aVarValue)>
        OnVariableNeeded;
    std::function<void(THTMLRender* Sender, const std::u16string& Src, std::optional<THTMLPicture>& Image)>
        OnImageNeeded;
    std::function<void(THTMLRender* Sender, const std::u16string& SourceName, THTMLPicture& Image)>
        OnImageNeededEx;

    // --- painting and interaction

    // Paints the current data into R (DrawTextEx without override colours).
    void DrawText(IHTMLCanvas& Canvas, THTMLPoint SrcPoint, const THTMLRect& R, THTMLColor AdjustFromColor);
    // Paints the current data into R, scrolled by SrcPoint. With UseOverColors the given
    // colours replace the runs' own (not in runs of a coloured font tag); AAdjustFromColor
    // other than clNone makes every text colour contrast with it.
    void DrawTextEx(IHTMLCanvas& ACanvas, THTMLPoint ASrcPoint, const THTMLRect& R, bool UseOverColors,
                    THTMLColor AColor, THTMLColor ABkColor, THTMLColor ASelColor, THTMLColor ASelBkColor,
                    THTMLColor AAdjustFromColor);
    // The item at Point (relative to R's top-left), or null; an empty R means FRect.
    THTMLItem* ItemAt(THTMLPoint Point, THTMLPoint SrcPoint, const THTMLRect& R);
    bool IsCursorOverLink(THTMLPoint Point, THTMLPoint SrcPoint, std::u16string& href, const THTMLRect& R);
    void ClickTransfer(int X, int Y, const THTMLRect& R);
    void MouseMoveTransfer(unsigned Shift, int X, int Y, const THTMLRect& R);
    void KeyDownTransfer(uint16_t Key, unsigned Shift);
    void SelectNextSuitableItem();
    void SelectPrevSuitableItem();
    void SetChecked(THTMLInputItem& item, bool checked);
    void SetValue(THTMLInputItem& item, const std::u16string& value);

    bool FDoubleBuffered = true;
    bool FLinkSelect = false;
    std::function<void(THTMLRender* Sender)> OnChange;
    std::function<void(THTMLRender* Sender, THTMLInputItem* Item)> OnInputItemChecked;
    std::function<void(THTMLRender* Sender, THTMLInputItem* Item)> OnInputItemTextChanged;
    // Gives an embedded control the keyboard focus when it is selected.
    std::function<void(THTMLControlItem& Item)> OnFocusControl;

    // The picture of `source` as the host supplies it (OnImageNeeded, else OnImageNeededEx,
    // whose exceptions are swallowed); empty when neither gives one.
    THTMLPicture RequestImage(const std::u16string& source);

private:
    friend class THTMLParser;
    void Select(THTMLItem* item);
    void Changed();

    IHTMLMeasurer& FMeasurer;
    int FDpi;
    THTMLData FIntData;
    THTMLData* FCurData;
    int32_t FCurListItem = 0;
};

} // namespace html

#pragma pop_macro("DrawTextEx")
#pragma pop_macro("DrawText")
