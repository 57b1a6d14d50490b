#include "controls/marquee/shape_fill.h"

#include "controls/marquee/fill_geometry.h"
#include "framework/graphics.h"

#include <cmath>

namespace marquee {
namespace {

using Gdiplus::Graphics;
using Gdiplus::GraphicsPath;
using Gdiplus::RectF;

RectF ToGdi(const TRectF& r)
{
    return {r.X, r.Y, r.Width, r.Height};
}

uint8_t Resolve(uint8_t argument, uint8_t own)
{
    return argument < 255 ? argument : own;
}

// Restricts drawing to a path or rectangle for this object's lifetime, then puts the
// previous clip back (so that a clip of the caller survives).
class ClipScope
{
public:
    ClipScope(Graphics& g, const GraphicsPath* path, const RectF* rect) : FGraphics(g)
    {
        g.GetClip(&FSaved);
        if (path)
            g.SetClip(path, Gdiplus::CombineModeIntersect);
        else
            g.SetClip(*rect, Gdiplus::CombineModeIntersect);
    }
    ~ClipScope() { FGraphics.SetClip(&FSaved, Gdiplus::CombineModeReplace); }
    ClipScope(const ClipScope&) = delete;
    ClipScope& operator=(const ClipScope&) = delete;

private:
    Graphics& FGraphics;
    Gdiplus::Region FSaved;
};

// Sets a smoothing mode for this object's lifetime.
class SmoothingScope
{
public:
    SmoothingScope(Graphics& g, Gdiplus::SmoothingMode mode) : FGraphics(g), FSaved(g.GetSmoothingMode())
    {
        g.SetSmoothingMode(mode);
    }
    ~SmoothingScope() { FGraphics.SetSmoothingMode(FSaved); }
    SmoothingScope(const SmoothingScope&) = delete;
    SmoothingScope& operator=(const SmoothingScope&) = delete;

private:
    Graphics& FGraphics;
    Gdiplus::SmoothingMode FSaved;
};

void FillArea(Graphics& g, const Gdiplus::Brush& brush, const GraphicsPath* path, const RectF& r)
{
    if (brush.GetLastStatus() != Gdiplus::Ok)
        return;
    if (path)
        g.FillPath(&brush, path);
    else
        g.FillRectangle(&brush, r);
}

void FillTriangle(Graphics& g, const Gdiplus::Brush& brush, Gdiplus::PointF a, Gdiplus::PointF b,
                  Gdiplus::PointF c)
{
    const Gdiplus::PointF points[] = {a, b, c};
    g.FillPolygon(&brush, points, 3);
}

} // namespace

Gdiplus::Color ArgbColor(uint8_t opacity, TFillColor color)
{
    const COLORREF rgb = framework::ColorToRGB(color);
    return Gdiplus::Color(opacity, GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

std::unique_ptr<GraphicsPath> CreateRoundRectPath(const TRectF& r, int radius, TFillRoundingType type)
{
    auto path = std::make_unique<GraphicsPath>(Gdiplus::FillModeAlternate);
    const unsigned corners = radius > 0 ? RoundedCorners(type) : 0;
    const auto d = static_cast<float>(2 * static_cast<double>(radius));
    const float left = r.X, top = r.Y, right = r.X + r.Width, bottom = r.Y + r.Height;
    // Each corner in clockwise order: an arc, or the corner point itself (GDI+ joins the
    // figure's pieces with straight edges).
    auto corner = [&](unsigned which, float arcX, float arcY, float start, float x, float y) {
        if (corners & which)
            path->AddArc(arcX, arcY, d, d, start, 90);
        else
            path->AddLine(x, y, x, y);
    };
    path->StartFigure();
    corner(cnTopLeft, left, top, 180, left, top);
    corner(cnTopRight, right - d, top, 270, right, top);
    corner(cnBottomRight, right - d, bottom - d, 0, right, bottom);
    corner(cnBottomLeft, left, bottom - d, 90, left, bottom);
    path->CloseFigure();
    return path;
}

void FillRadialGradient(Graphics& g, const TRectF& r, TFillColor color, TFillColor colorTo, uint8_t opacity,
                        uint8_t opacityTo, bool top, int radius, TFillRoundingType type)
{
    const auto outline = CreateRoundRectPath(r, radius, type);
    const RectF rect = ToGdi(r);
    Gdiplus::SolidBrush solid(top ? ArgbColor(opacity, color) : ArgbColor(opacityTo, colorTo));
    FillArea(g, solid, outline.get(), rect);

    ClipScope clip(g, outline.get(), nullptr);
    GraphicsPath ellipse;
    ellipse.AddEllipse(r.X, top ? r.Y - r.Height / 2 : r.Y, r.Width, 1.5f * r.Height);
    Gdiplus::PathGradientBrush brush(&ellipse);
    if (brush.GetLastStatus() != Gdiplus::Ok)
        return;
    brush.SetCenterPoint(Gdiplus::PointF(r.X + r.Width / 2, top ? r.Y : r.Y + r.Height));
    Gdiplus::Color centre = top ? ArgbColor(opacityTo, colorTo) : ArgbColor(opacity, color);
    Gdiplus::Color surround = top ? ArgbColor(opacity, color) : ArgbColor(opacityTo, colorTo);
    brush.SetCenterColor(centre);
    INT count = 1;
    brush.SetSurroundColors(&surround, &count);
    g.FillRectangle(&brush, rect);
}

void PaintGradient(Graphics& g, const GraphicsPath* path, const TRectF& r, const TGradientPaint& p)
{
    const RectF rect = ToGdi(r);
    const Gdiplus::Color from = ArgbColor(p.Opacity, p.Color), to = ArgbColor(p.OpacityTo, p.ColorTo);
    const RectF grown(r.X - 1, r.Y - 1, r.Width + 2, r.Height + 2);
    switch (p.Kind) {
    case gtSolid: {
        Gdiplus::SolidBrush brush(from);
        FillArea(g, brush, path, rect);
        break;
    }
    case gtVertical:
    case gtHorizontal:
    case gtForwardDiagonal:
    case gtBackwardDiagonal: {
        const Gdiplus::LinearGradientMode mode =
            p.Kind == gtVertical          ? Gdiplus::LinearGradientModeVertical
            : p.Kind == gtHorizontal      ? Gdiplus::LinearGradientModeHorizontal
            : p.Kind == gtForwardDiagonal ? Gdiplus::LinearGradientModeForwardDiagonal
                                          : Gdiplus::LinearGradientModeBackwardDiagonal;
        Gdiplus::LinearGradientBrush brush(grown, from, to, mode);
        brush.SetGammaCorrection(TRUE);
        FillArea(g, brush, path, rect);
        if (p.Mirror) {
            // The mirror part starts with a line of its start colour, so the seam between the
            // two parts stays sharp.
            Gdiplus::SolidBrush strip(from);
            g.FillRectangle(&strip, RectF(r.X, r.Y, r.Width, 1));
        }
        break;
    }
    case gtAngle: {
        Gdiplus::LinearGradientBrush brush(grown, from, to, static_cast<float>(p.Angle), TRUE);
        brush.SetGammaCorrection(TRUE);
        FillArea(g, brush, path, rect);
        break;
    }
    case gtHatch: {
        Gdiplus::HatchBrush brush(static_cast<Gdiplus::HatchStyle>(p.Hatch), from, to);
        FillArea(g, brush, path, rect);
        break;
    }
    case gtTexture:
        if (p.Texture)
            p.Texture->FillTexture(g, rect, path);
        break;
    case gtRadial:
    case gtPath:
    case gtNone:
        break;
    }
    if (p.BorderColor != ColorNone) {
        Gdiplus::Pen pen(ArgbColor(p.Opacity, p.BorderColor), static_cast<float>(p.BorderWidth));
        pen.SetDashStyle(p.BorderDash);
        if (path)
            g.DrawPath(&pen, path);
        else
            g.DrawRectangle(&pen, rect);
    }
}

TShapeFill::TShapeFill()
{
    FPicture.OnChange = [this](framework::TObject*) { Changed(); };
    FBackGroundPicture.OnChange = [this](framework::TObject*) { Changed(); };
}

TShapeFill::~TShapeFill() = default;

#define MARQUEE_FILL_SETTER(Type, Name, Initial)                                                             \
    void TShapeFill::Set##Name(Type value)                                                                   \
    {                                                                                                        \
        if (framework::SetIfChanged(F##Name, value))                                                         \
            Changed();                                                                                       \
    }
MARQUEE_FILL_PROPERTIES(MARQUEE_FILL_SETTER)
#undef MARQUEE_FILL_SETTER

void TShapeFill::SetFocus(bool value)
{
    if (framework::SetIfChanged(FFocus, value))
        Changed();
}

void TShapeFill::SetFocusColor(TFillColor value)
{
    if (framework::SetIfChanged(FFocusColor, value))
        Changed();
}

void TShapeFill::Changed()
{
    if (OnChange && FUpdateCount == 0)
        OnChange(this);
}

void TShapeFill::Assign(const TShapeFill& source)
{
    if (&source == this)
        return;
    ++FUpdateCount; // the pictures announce their own changes; one announcement at the end
#define MARQUEE_FILL_COPY(Type, Name, Initial) F##Name = source.F##Name;
    MARQUEE_FILL_PROPERTIES(MARQUEE_FILL_COPY)
#undef MARQUEE_FILL_COPY
    FPicture.Assign(source.FPicture);
    FBackGroundPicture.Assign(source.FBackGroundPicture);
    --FUpdateCount;
    Changed();
}

TRectF TShapeFill::Fill(Graphics* graphics, const TRectF& rect, uint8_t ABorderOpacity, uint8_t AOpacity,
                        uint8_t AOpacityTo, uint8_t AOpacityMirror, uint8_t AOpacityMirrorTo)
{
    if (!graphics || !FSession.Ok())
        return rect;
    Graphics& g = *graphics;
    const uint8_t borderOpacity = Resolve(ABorderOpacity, FBorderOpacity);
    const uint8_t opacity = Resolve(AOpacity, FOpacity), opacityTo = Resolve(AOpacityTo, FOpacityTo);
    const uint8_t opacityMirror = Resolve(AOpacityMirror, FOpacityMirror);
    const uint8_t opacityMirrorTo = Resolve(AOpacityMirrorTo, FOpacityMirrorTo);
    const bool border = FBorderWidth > 0 && FBorderColor != ColorNone;
    TRectF r = rect;

    if (r.Height == 1 || r.Width == 1) {
        // Line mode: a line in the border colour, no fill.
        if (border) {
            Gdiplus::Pen pen(ArgbColor(borderOpacity, FBorderColor), static_cast<float>(FBorderWidth));
            g.DrawLine(&pen, r.X, r.Y, r.X + r.Width, r.Y + r.Height);
        }
    } else {
        if (FShadowOffset > 0 && FShadowColor != ColorNone) {
            if (FShadowType == stBottom) {
                const float o = static_cast<float>(FShadowOffset);
                FillRadialGradient(g, {r.X, r.Y + r.Height - 2 * o, r.Width, 2 * o}, FShadowColor,
                                   FShadowColor, 0, 255, true, FRounding, rtBottom);
            } else {
                const bool surround = FShadowType == stSurround;
                const auto path = CreateRoundRectPath(r, surround ? FShadowOffset : FRounding,
                                                      surround ? rtBoth : FRoundingType);
                Gdiplus::PathGradientBrush brush(path.get());
                if (brush.GetLastStatus() == Gdiplus::Ok) {
                    brush.SetWrapMode(Gdiplus::WrapModeClamp);
                    const Gdiplus::Color colors[] = {Gdiplus::Color(0, 0, 0, 0), ArgbColor(180, FShadowColor),
                                                     ArgbColor(180, FShadowColor)};
                    float positions[] = {0, 0.1f, 1}; // GDI+ takes them without const
                    brush.SetInterpolationColors(colors, positions, 3);
                    g.FillPath(&brush, path.get());
                }
            }
            r = ShadowRemainder(r, FShadowType, FShadowOffset);
        }

        if (FColorMirror != ColorNone && FGradientType != gtHatch && FGradientType != gtTexture) {
            const TMirrorParts parts = MirrorParts(r);
            if (FGradientType == gtRadial) {
                if (FColor != ColorNone)
                    FillRadialGradient(g, parts.Upper, FColor, FColorTo != ColorNone ? FColorTo : FColor,
                                       opacity, opacityTo, true, FRounding, rtTop);
            } else {
                DrawGradientBackGround(g, parts.Upper, false, opacity, opacityTo, opacityMirror,
                                       opacityMirrorTo);
            }
            if (FGradientMirrorType == gtRadial)
                FillRadialGradient(g, parts.Lower, FColorMirror,
                                   FColorMirrorTo != ColorNone ? FColorMirrorTo : FColorMirror, opacityMirror,
                                   opacityMirrorTo, false, FRounding, rtBottom);
            else
                DrawGradientBackGround(g, parts.Lower, true, opacity, opacityTo, opacityMirror,
                                       opacityMirrorTo);
        } else if (FGradientType == gtRadial) {
            if (FColor != ColorNone)
                FillRadialGradient(g, r, FColor, FColorTo != ColorNone ? FColorTo : FColor, opacity,
                                   opacityTo, true, FRounding, FRoundingType);
        } else {
            DrawGradientBackGround(g, r, false, opacity, opacityTo, opacityMirror, opacityMirrorTo);
        }

        if (FBackGroundPictureMode == pmInsideFill && !FBackGroundPicture.Empty() &&
            FGradientType == gtTexture) {
            const auto outline = CreateRoundRectPath(r, FRounding, FRoundingType);
            ClipScope clip(g, outline.get(), nullptr);
            DrawBackGroundPicture(g, r);
        }
        if (border) {
            const auto outline = CreateRoundRectPath(r, FRounding, FRoundingType);
            Gdiplus::Pen pen(ArgbColor(borderOpacity, FBorderColor), static_cast<float>(FBorderWidth));
            g.DrawPath(&pen, outline.get());
        }
    }

    DrawGlow(g, r);

    const auto bw = static_cast<float>(FBorderWidth);
    FFocusRect = {r.X + bw, r.Y + bw, r.Width - 2 * bw, r.Height - 2 * bw};
    if (FFocus) {
        const auto outline = CreateRoundRectPath(FFocusRect, FRounding - FBorderWidth, FRoundingType);
        Gdiplus::Pen pen(ArgbColor(opacity, FFocusColor), 1);
        pen.SetDashStyle(Gdiplus::DashStyleDot);
        SmoothingScope sharp(g, Gdiplus::SmoothingModeNone);
        g.DrawPath(&pen, outline.get());
    }

    if (FBackGroundPictureMode == pmOutsideFill && !FBackGroundPicture.Empty() && FGradientType == gtTexture)
        DrawBackGroundPicture(g, r);
    if (!FPicture.Empty()) {
        const bool own = FPictureSize == psOriginal;
        const int w = own ? FPicture.Width() : FPictureWidth, h = own ? FPicture.Height() : FPictureHeight;
        DrawFillPicture(g, FPictureAspectRatio, FPictureAspectMode, FPictureLeft, FPictureTop,
                        PictureBox(r, FPicturePosition, FPictureLeft, FPictureTop), w, h, FPicturePosition,
                        FPicture);
    }
    return r;
}

void TShapeFill::DrawBackGroundPicture(Graphics& g, const TRectF& r)
{
    DrawFillPicture(g, FBackGroundPictureAspectRatio, FBackGroundPictureAspectMode, FBackGroundPictureLeft,
                    FBackGroundPictureTop,
                    PictureBox(r, FBackGroundPicturePosition, FBackGroundPictureLeft, FBackGroundPictureTop),
                    FBackGroundPicture.Width(), FBackGroundPicture.Height(), FBackGroundPicturePosition,
                    FBackGroundPicture);
}

void TShapeFill::DrawGradientBackGround(Graphics& g, const TRectF& r, bool Mirror, uint8_t oc, uint8_t octo,
                                        uint8_t ocmr, uint8_t ocmrto)
{
    TGradientPaint p;
    p.Kind = Mirror ? FGradientMirrorType : FGradientType;
    p.Color = Mirror ? FColorMirror : FColor;
    p.ColorTo = Mirror ? FColorMirrorTo : FColorTo;
    p.Opacity = Mirror ? ocmr : oc;
    p.OpacityTo = Mirror ? ocmrto : octo;
    p.Hatch = Mirror ? FHatchStyleMirror : FHatchStyle;
    p.Angle = FAngle;
    p.Mirror = Mirror;
    p.Texture = FBackGroundPicturePosition == ppTiled ? &FBackGroundPicture : nullptr;
    if (p.Color == ColorNone)
        p.Kind = gtNone;
    else if (p.ColorTo == ColorNone)
        p.Kind = gtSolid;

    if (FRounding == 0) {
        PaintGradient(g, nullptr, r, p);
        return;
    }
    const auto outline =
        CreateRoundRectPath(r, FRounding, PartRoundingType(FRoundingType, FColorMirror != ColorNone, Mirror));
    SmoothingScope smooth(g, Gdiplus::SmoothingModeAntiAlias);
    PaintGradient(g, outline.get(), r, p);
}

void TShapeFill::DrawGlow(Graphics& g, const TRectF& r)
{
    if (FGlow == gmNone)
        return;
    const RectF whole = ToGdi(r);
    ClipScope clip(g, nullptr, &whole);
    const float ix = r.X + 1, iy = r.Y + 1, iw = r.Width - 2, ih = r.Height - 2;
    using Gdiplus::PointF;
    if (FGlow == gmGradient || FGlow == gmRadialGradient) {
        const auto outline = CreateRoundRectPath({ix, iy, iw, ih}, FRounding, FRoundingType);
        Gdiplus::Pen pen(ArgbColor(200, FGlowGradientColor), 1);
        g.DrawPath(&pen, outline.get());

        const RectF top(ix + 5, iy, iw - 10, 4);
        Gdiplus::LinearGradientBrush topBrush(
            RectF(top.X - 1, top.Y - 1, top.Width + 2, top.Height + 2), ArgbColor(175, FGlowGradientColor),
            ArgbColor(0, FGlowGradientColor), Gdiplus::LinearGradientModeVertical);
        if (topBrush.GetLastStatus() == Gdiplus::Ok) {
            FillTriangle(g, topBrush, {ix, iy}, {ix + 5, iy}, {ix + 5, iy + 4});
            FillTriangle(g, topBrush, {ix + iw, iy}, {ix + iw - 5, iy}, {ix + iw - 5, iy + 4});
            g.FillRectangle(&topBrush, top);
        }

        const RectF bottom(ix + 5, iy + ih - 7, iw - 10, 7);
        Gdiplus::LinearGradientBrush bottomBrush(
            RectF(bottom.X - 1, bottom.Y - 1, bottom.Width + 2, bottom.Height + 2),
            ArgbColor(0, FGlowGradientColor), ArgbColor(220, FGlowGradientColor),
            Gdiplus::LinearGradientModeVertical);
        if (bottomBrush.GetLastStatus() == Gdiplus::Ok) {
            FillTriangle(g, bottomBrush, {ix, iy + ih}, {ix + 5, iy + ih}, {ix + 5, iy + ih - 7});
            FillTriangle(g, bottomBrush, {ix + iw, iy + ih}, {ix + iw - 5, iy + ih},
                         {ix + iw - 5, iy + ih - 7});
            g.FillRectangle(&bottomBrush, bottom);
        }
    }
    if (FGlow == gmRadial || FGlow == gmRadialGradient) {
        GraphicsPath ellipse;
        ellipse.AddEllipse(ix + 10, iy - ih / 2, iw - 20, 3 * ih);
        Gdiplus::PathGradientBrush brush(&ellipse);
        if (brush.GetLastStatus() == Gdiplus::Ok) {
            brush.SetCenterPoint(PointF(ix + 10 + (iw - 20) / 2, iy - ih / 2 + 3 * ih / 2));
            brush.SetCenterColor(ArgbColor(150, FGlowRadialColor));
            Gdiplus::Color surround = ArgbColor(0, FColor);
            INT count = 1;
            brush.SetSurroundColors(&surround, &count);
            g.FillPath(&brush, &ellipse);
        }
    }
}

void TShapeFill::DrawFillPicture(Graphics& g, bool aspectRatio, TPictureMode aspectMode, int left, int top,
                                 const TRectI& box, int w, int h, TFillPicturePosition position,
                                 TFillPicture& picture)
{
    if (picture.Empty())
        return;
    if (position == ppTiled) {
        picture.SetSize(w, h);
        picture.FillTexture(g,
                            RectF(static_cast<float>(box.Left), static_cast<float>(box.Top),
                                  static_cast<float>(box.Width()), static_cast<float>(box.Height())),
                            nullptr);
        return;
    }
    const TRectI at = PictureRect(position, box, w, h, left, top, aspectRatio, aspectMode);
    picture.Draw(g, RectF(static_cast<float>(at.Left), static_cast<float>(at.Top),
                          static_cast<float>(at.Width()), static_cast<float>(at.Height())));
}

} // namespace marquee
