#pragma once
// The themed panel: a windowed container that paints a background (a colour, a bitmap or
// a gradient), an optional flat border, two bevels, grab handles, a size grip and a
// caption. With a plain colour and no border or bevel it shows only its colour, edge to
// edge.

#include "base/win_handle.h"
#include "controls/panel/image_form.h"
#include "controls/panel/themed_label.h"
#include "framework/control.h"
#include "framework/label.h"

#include <array>
#include <functional>
#include <memory>

namespace panel {

enum TFlatBorderType
{
    fbtFlat,
    fbtSunken,
    fbtSunkenInner,
    fbtSunkenOuter,
    fbtRaised,
    fbtRaisedInner,
    fbtRaisedOuter,
    fbtBump,
    fbtBigBump,
    fbtEtched,
    fbtFramed,
    fbtLine,
    fbtLineBorder,
    fbtNone,
    fbtColorLineBorder
};
enum TPanelBevelStyle
{
    bvNone,
    bvLowered,
    bvRaised,
    bvFrameLowered,
    bvFrameRaised,
    bvNormal,
    bvShadow,
    bvSpace,
    bvFlat
};
enum TBackgroundType
{
    bgtTileBitmap,
    bgtStretchBitmap,
    bgtColorFill,
    bgtCenterBitmap,
    bgtTopLeftBitmap,
    bgtHorzGradient,
    bgtVertGradient,
    bgtSquareGradient,
    bgtEllipticGradient,
    bgtTopLeftGradient,
    bgtTopRightGradient,
    bgtBottomLeftGradient,
    bgtBottomRightGradient,
    bgtTopLeftDiagonalGradient,
    bgtTopRightDiagonalGradient
};
enum TBorderSide : unsigned
{
    bsLeft = 1,
    bsRight = 2,
    bsTop = 4,
    bsBottom = 8
};
enum TPanelBorderStyle
{
    pbsNone,
    pbsSingle
};
enum TGrabHandleKind
{
    ghkMove,
    ghkSize
};

// A strip along one edge of the panel that moves or sizes it.
struct TPanelGrabHandle
{
    int Size = 8;
    bool Visible = false;
    bool Enabled = true;
    TPanelBevelStyle BevelKind = bvRaised;
    TGrabHandleKind Kind = ghkMove;
};

class TCustomThemedPanel : public framework::TWinControl
{
public:
    explicit TCustomThemedPanel(framework::TComponent* AOwner);

    TBackgroundType BackgroundType() const noexcept { return FBackgroundType; }
    void SetBackgroundType(TBackgroundType value);
    // The bitmap of the bitmap background types; the panel shares it.
    void SetBackground(std::shared_ptr<const base::GdiObject> bitmap);
    void SetGradient(framework::TColor start, framework::TColor end, int steps);
    // A shared background image; its part under the panel is painted instead of the
    // background when the image belongs to another control.
    TImageForm* ImageForm() const noexcept { return FImageForm; }
    void SetImageForm(TImageForm* form);
    bool Transparent() const noexcept { return FTransparent; }
    void SetTransparent(bool value);
    uint8_t AlphaLevel() const noexcept { return FAlphaLevel; }
    void SetAlphaLevel(uint8_t value);
    TPanelBorderStyle BorderStyle() const noexcept { return FBorderStyle; }
    void SetBorderStyle(TPanelBorderStyle value);
    TFlatBorderType BorderType() const noexcept { return FBorderType; }
    void SetBorderType(TFlatBorderType value);
    unsigned BorderSides() const noexcept { return FBorderSides; }
    void SetBorderSides(unsigned value);
    TPanelBevelStyle BevelOuter() const noexcept { return FBevelOuter; }
    void SetBevelOuter(TPanelBevelStyle value);
    TPanelBevelStyle BevelInner() const noexcept { return FBevelInner; }
    void SetBevelInner(TPanelBevelStyle value);
    int BevelWidth() const noexcept { return FBevelWidth; }
    void SetBevelWidth(int value);
    void SetBevelSpaceColor(framework::TColor value);
    // An inner margin for the alignment of children.
    int BorderWidth() const noexcept { return FBorderWidth; }
    void SetBorderWidth(int value);
    framework::TAlignment Alignment() const noexcept { return FAlignment; }
    void SetAlignment(framework::TAlignment value);
    framework::TTextLayout Layout() const noexcept { return FLayout; }
    void SetLayout(framework::TTextLayout value);
    void SetWordWrap(bool value);
    void SetShowFocus(bool value);
    void SetOwnerDraw(bool value);
    void SetAlwaysPaintBackground(bool value);
    void SetResizable(bool value) { FResizable = value; }
    void SetMovable(bool value) { FMovable = value; }
    void SetSizeGrip(bool value);
    // 0 left, 1 top, 2 right, 3 bottom.
    TPanelGrabHandle& GrabHandle(int edge) { return FGrabHandles[static_cast<size_t>(edge)]; }
    TThemeMode ThemeMode() const noexcept { return FThemeMode; }
    void SetThemeMode(TThemeMode value);
    void SetThemeGlobalMode(bool value);
    bool TransparentXPThemes() const noexcept { return FTransparentXPThemes; }
    void SetTransparentXPThemes(bool value);
    bool Themed() const;
    const std::wstring& Hint() const noexcept { return FHint; }
    void SetHint(const std::wstring& value) { FHint = value; }
    void SetStyleName(const std::wstring& value) { FStyleName = value; }

    // Raised instead of the caption painting when OwnerDraw is set.
    std::function<void(framework::TObject* Sender, framework::TCanvas& Canvas)> OnPaint;
    framework::TNotifyEvent OnMove, OnMouseEnter, OnMouseLeave;

    RECT AlignRect() const override;

protected:
    void CreateParams(framework::TCreateParams& params) override;
    void WndProc(framework::TMessage& message) override;
    void PaintWindow(framework::TCanvas& canvas) override;
    void Notification(framework::TComponent* component) override;

private:
    void Changed();
    void PaintParent(HDC dc);
    void PaintBackground(framework::TCanvas& canvas, const RECT& r);
    void PaintBorder(HDC dc, RECT& r);
    void PaintBevel(HDC dc, RECT& r, TPanelBevelStyle style);
    void PaintCaption(framework::TCanvas& canvas, RECT r);
    void Tint(HDC dc, const RECT& r);
    bool PaintImageForm(HDC dc, const RECT& r);
    LRESULT HitTest(int x, int y) const;

    TBackgroundType FBackgroundType = bgtColorFill;
    std::shared_ptr<const base::GdiObject> FBackground;
    TImageForm* FImageForm = nullptr;
    framework::TColor FGradientStartColor = framework::clBlack, FGradientEndColor = framework::clBlack;
    int FGradientSteps = 16;
    bool FTransparent = false;
    uint8_t FAlphaLevel = 0;
    TPanelBorderStyle FBorderStyle = pbsNone;
    TFlatBorderType FBorderType = fbtSunken;
    unsigned FBorderSides = bsLeft | bsRight | bsTop | bsBottom;
    framework::TColor FBorderColorShadow, FBorderColorDkShadow, FBorderColorWindow, FBorderColorHighlight,
        FBorderColorFace;
    TPanelBevelStyle FBevelOuter = bvRaised, FBevelInner = bvNone;
    int FBevelWidth = 1;
    framework::TColor FBevelSpaceColor;
    int FBorderWidth = 0;
    framework::TAlignment FAlignment = framework::taCenter;
    framework::TTextLayout FLayout = framework::tlCenter;
    bool FWordWrap = false, FShowFocus = false, FOwnerDraw = false, FAlwaysPaintBackground = false;
    bool FResizable = false, FMovable = false, FSizeGrip = false;
    RECT FSizeGripRect{};
    std::array<TPanelGrabHandle, 4> FGrabHandles;
    TThemeMode FThemeMode = ttmPlatform;
    bool FThemeGlobalMode = false, FTransparentXPThemes = true;
    bool FMouseInControl = false;
    std::wstring FHint, FStyleName;
};

class TThemedPanel : public TCustomThemedPanel
{
public:
    using TCustomThemedPanel::TCustomThemedPanel;
};

} // namespace panel
