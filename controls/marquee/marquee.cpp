#include "controls/marquee/marquee.h"

#include "controls/marquee/marquee_styles.h"

namespace marquee {

template <class T> void TMarqueeBullets::Store(T& field, T value)
{
    field = value;
    FOwner->Invalidate();
}

void TMarqueeBullets::SetColor(TFillColor value)
{
    Store(FColor, value);
}
void TMarqueeBullets::SetBorderColor(TFillColor value)
{
    Store(FBorderColor, value);
}
void TMarqueeBullets::SetOpacity(uint8_t value)
{
    Store(FOpacity, value);
}
void TMarqueeBullets::SetBorderOpacity(uint8_t value)
{
    Store(FBorderOpacity, value);
}
void TMarqueeBullets::SetCount(int value)
{
    Store(FCount, value);
}
void TMarqueeBullets::SetWidth(int value)
{
    Store(FWidth, value);
}
void TMarqueeBullets::SetHeight(int value)
{
    Store(FHeight, value);
}
void TMarqueeBullets::SetSpacing(int value)
{
    Store(FSpacing, value);
}
void TMarqueeBullets::SetShape(TBulletShape value)
{
    Store(FShape, value);
}

void TMarqueeBullets::Assign(const TMarqueeBullets& source)
{
    FCount = source.FCount;
    FWidth = source.FWidth;
    FHeight = source.FHeight;
    FSpacing = source.FSpacing;
    FBorderColor = source.FBorderColor;
    FColor = source.FColor;
    FOpacity = source.FOpacity;
    FBorderOpacity = source.FBorderOpacity;
    FShape = source.FShape;
    FOwner->Invalidate();
}

TMarquee::TMarquee(framework::TComponent* AOwner)
    : TWinControl(AOwner), FAnimationTimer(std::make_unique<framework::TTimer>(nullptr)),
      FFill(std::make_unique<TShapeFill>()), FBullets(std::make_unique<TMarqueeBullets>(this))
{
    FFill->OnChange = [this](framework::TObject*) { Invalidate(); };
    FAnimationTimer->SetInterval(10);
    FAnimationTimer->OnTimer = [this](framework::TObject*) { AnimationTick(); };
    FAnimationTimer->SetEnabled(true);
    SetTabStop(true);
    SetBounds(Left(), Top(), 400, 20);
}

TMarquee::~TMarquee() = default;

void TMarquee::SetAnimationStretchFactor(float value)
{
    FAnimationStretchFactor = value;
    Invalidate();
}

void TMarquee::SetTransparent(bool value)
{
    FTransparent = value;
    Invalidate();
}

void TMarquee::SetAnimate(bool value)
{
    FAnimate = value;
    FAnimationTimer->SetEnabled(value);
    Invalidate();
}

void TMarquee::SetPosition(float value)
{
    const TMarqueeMeasures m = MeasureMarquee(Width(), Height(), FBullets->Layout(), FAnimationStretchFactor);
    FPosition = WrapPosition(value, Width(), m.Total);
    Invalidate();
}

void TMarquee::AnimationTick()
{
    if (FDesignTime)
        return;
    if (const auto next = TickPosition(FPosition, FAnimationStep, FAnimationFactor))
        SetPosition(*next);
}

void TMarquee::Assign(const TMarquee& source)
{
    FBullets->Assign(*source.FBullets);
    FFill->Assign(*source.FFill);
    Invalidate();
}

void TMarquee::SetStyle(int styleNumber)
{
    const TMarqueeStyle* style = MarqueeStyle(styleNumber);
    if (!style)
        return;
    FStyleNumber = styleNumber;
    FFill->BeginUpdate();
    FFill->SetColor(style->Color);
    FFill->SetColorTo(style->ColorTo);
    FFill->SetColorMirror(style->ColorMirror);
    FFill->SetColorMirrorTo(style->ColorMirrorTo);
    FFill->SetBorderColor(style->BorderColor);
    FFill->EndUpdate();
    FBullets->SetColor(style->BulletColor);
    FBullets->SetBorderColor(style->BulletBorderColor);
}

void TMarquee::SetColorTones(const TColorTones& tones)
{
    FFill->BeginUpdate();
    FFill->SetColor(tones.BrushColor);
    FFill->SetColorTo(tones.BrushColor);
    FFill->SetColorMirror(tones.BrushColor);
    FFill->SetColorMirrorTo(tones.BrushColor);
    FFill->SetBorderColor(tones.BorderColor);
    FFill->EndUpdate();
    FBullets->SetBorderColor(tones.BorderColor);
    FBullets->SetColor(tones.SelectedBrushColor);
}

void TMarquee::PaintWindow(framework::TCanvas& canvas)
{
    HDC dc = canvas.Handle();
    const int w = Width(), h = Height();
    // The background first, then the parent's surface under the control, so the parent shows
    // wherever the marquee paints nothing.
    if (Color() != framework::clNone) {
        canvas.Brush.SetColor(Color());
        canvas.FillRect(ClientRect());
    }
    if (Parent()) {
        POINT origin;
        ::GetViewportOrgEx(dc, &origin);
        ::SetViewportOrgEx(dc, origin.x - Left(), origin.y - Top(), nullptr);
        Parent()->PaintSurfaceTo(dc);
        ::SetViewportOrgEx(dc, origin.x, origin.y, nullptr);
    }
    Gdiplus::Graphics graphics(dc);
    if (graphics.GetLastStatus() != Gdiplus::Ok)
        return;
    graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    if (!FTransparent)
        FFill->Fill(&graphics, {0, 0, static_cast<float>(w - 1), static_cast<float>(h - 1)});
    PaintBullets(graphics);
}

void TMarquee::PaintBullets(Gdiplus::Graphics& graphics)
{
    const TMarqueeBullets& b = *FBullets;
    std::unique_ptr<Gdiplus::SolidBrush> brush;
    std::unique_ptr<Gdiplus::Pen> pen;
    if (b.Color() != ColorNone)
        brush = std::make_unique<Gdiplus::SolidBrush>(ArgbColor(b.Opacity(), b.Color()));
    if (b.BorderColor() != ColorNone)
        pen = std::make_unique<Gdiplus::Pen>(ArgbColor(b.BorderOpacity(), b.BorderColor()), 1.0f);
    if (!brush && !pen)
        return;
    const TBulletLayout layout = b.Layout();
    const TMarqueeMeasures m = MeasureMarquee(Width(), Height(), layout, FAnimationStretchFactor);
    for (int i = 0; i < layout.Count; ++i) {
        TRectF r = BulletRect(m, FPosition, Width(), layout, i);
        const Gdiplus::RectF rect(r.X, r.Y, r.Width, r.Height);
        switch (b.Shape()) {
        case bsEllipse:
            if (brush)
                graphics.FillEllipse(brush.get(), rect);
            if (pen)
                graphics.DrawEllipse(pen.get(), rect);
            break;
        case bsRectangle:
            if (brush)
                graphics.FillRectangle(brush.get(), rect);
            if (pen)
                graphics.DrawRectangle(pen.get(), rect);
            break;
        case bsTriangle: {
            Gdiplus::GraphicsPath path(Gdiplus::FillModeAlternate);
            path.AddLine(r.X + r.Width / 2, r.Y, r.X + r.Width, r.Y + r.Height);
            path.AddLine(r.X + r.Width, r.Y + r.Height, r.X, r.Y + r.Height);
            path.CloseFigure();
            if (brush)
                graphics.FillPath(brush.get(), &path);
            if (pen)
                graphics.DrawPath(pen.get(), &path);
            break;
        }
        case bsCustom:
            if (OnCustomBulletShape)
                OnCustomBulletShape(this, &graphics, i, r);
            break;
        }
    }
}

} // namespace marquee
