#pragma once
// The marquee: a windowed control that shows an endless progress animation. A short row of
// bullets runs across from left to right, spread apart while it enters and leaves and as a
// tight group in the middle, then starts again on the left. Its background is a shape fill.
// Everything runs on the creating thread: the 10 ms timer's ticks arrive as messages.

#include "controls/marquee/fill_types.h"
#include "controls/marquee/marquee_motion.h"
#include "controls/marquee/shape_fill.h"
#include "framework/control.h"
#include "framework/timer.h"

#include <functional>

namespace marquee {

class TMarquee;

enum TBulletShape
{
    bsEllipse,
    bsRectangle,
    bsTriangle,
    bsCustom
};

class TMarqueeBullets : public framework::TObject
{
public:
    explicit TMarqueeBullets(TMarquee* AOwner) : FOwner(AOwner) {}

    TFillColor Color() const noexcept { return FColor; }
    void SetColor(TFillColor value);
    TFillColor BorderColor() const noexcept { return FBorderColor; }
    void SetBorderColor(TFillColor value);
    uint8_t Opacity() const noexcept { return FOpacity; }
    void SetOpacity(uint8_t value);
    uint8_t BorderOpacity() const noexcept { return FBorderOpacity; }
    void SetBorderOpacity(uint8_t value);
    int Count() const noexcept { return FCount; }
    void SetCount(int value);
    int Width() const noexcept { return FWidth; }
    void SetWidth(int value);
    int Height() const noexcept { return FHeight; }
    void SetHeight(int value);
    int Spacing() const noexcept { return FSpacing; }
    void SetSpacing(int value);
    TBulletShape Shape() const noexcept { return FShape; }
    void SetShape(TBulletShape value);

    // Copies all nine values and repaints the owner.
    void Assign(const TMarqueeBullets& source);
    TBulletLayout Layout() const noexcept { return {FCount, FWidth, FHeight, FSpacing}; }

private:
    template <class T> void Store(T& field, T value);

    TMarquee* FOwner;
    int FCount = 6;
    int FWidth = 10;
    int FHeight = 10;
    int FSpacing = 3;
    TFillColor FBorderColor = ColorNone;
    TFillColor FColor = 0xE16941;
    uint8_t FOpacity = 255;
    uint8_t FBorderOpacity = 255;
    TBulletShape FShape = bsEllipse;
};

// Draws bullet ABulletIndex (0-based) of the custom shape into ARect.
using TMarqueeCustomBulletShape = std::function<void(framework::TObject* Sender, Gdiplus::Graphics* AGraphics,
                                                     int ABulletIndex, TRectF& ARect)>;

// Colour tones of a theme, as the style entry point takes them.
struct TColorTones
{
    TFillColor BrushColor = ColorNone;
    TFillColor BorderColor = ColorNone;
    TFillColor SelectedBrushColor = ColorNone;
};

constexpr int MarqueeStyleCount = 24;

class TMarquee : public framework::TWinControl
{
public:
    explicit TMarquee(framework::TComponent* AOwner);
    ~TMarquee() override;

    float AnimationStretchFactor() const noexcept { return FAnimationStretchFactor; }
    void SetAnimationStretchFactor(float value);
    bool Transparent() const noexcept { return FTransparent; }
    void SetTransparent(bool value);
    bool Animate() const noexcept { return FAnimate; }
    void SetAnimate(bool value);
    float AnimationFactor() const noexcept { return FAnimationFactor; }
    void SetAnimationFactor(float value) { FAnimationFactor = value; }
    float AnimationStep() const noexcept { return FAnimationStep; }
    void SetAnimationStep(float value) { FAnimationStep = value; }
    TShapeFill& Fill() noexcept { return *FFill; }
    void SetFill(const TShapeFill& value) { FFill->Assign(value); }
    TMarqueeBullets& Bullets() noexcept { return *FBullets; }
    void SetBullets(const TMarqueeBullets& value) { FBullets->Assign(value); }
    TMarqueeCustomBulletShape OnCustomBulletShape;

    // The horizontal offset of the bullet row. A row past the right end starts again at the
    // left; one that moves left is never brought back.
    float Position() const noexcept { return FPosition; }
    void SetPosition(float value);
    void Step(float amount) { SetPosition(FPosition + amount); }

    // Copies bullets and fill from another marquee.
    void Assign(const TMarquee& source);

    // Applies style 0 to 23 of the style table to the fill's and the bullets' colours.
    int StyleNumber() const noexcept { return FStyleNumber; }
    void SetStyle(int styleNumber);
    // What reading "StyleNumber" from a layout does: the number is stored, nothing applied.
    void LoadStyleNumber(int styleNumber) { FStyleNumber = styleNumber; }
    void SetColorTones(const TColorTones& tones);

    // The timer handler: moves the row one step. Nothing happens in a form designer.
    void AnimationTick();

protected:
    void PaintWindow(framework::TCanvas& canvas) override;

private:
    void PaintBullets(Gdiplus::Graphics& graphics);

    int FStyleNumber = 0;
    bool FDesignTime = false;
    std::unique_ptr<framework::TTimer> FAnimationTimer;
    std::unique_ptr<TShapeFill> FFill;
    std::unique_ptr<TMarqueeBullets> FBullets;
    float FPosition = 0;
    float FAnimationFactor = 3;
    float FAnimationStep = 10;
    bool FAnimate = true;
    bool FTransparent = false;
    float FAnimationStretchFactor = 1.7f;
};

} // namespace marquee
