#include "controls/marquee/shape_fill.h"

#include "base/property_stream.h"
#include "controls/marquee/fill_geometry.h"
#include "framework/exception.h"
#include "framework/ini_file.h"
#include "framework/testing/test_support.h"

#include <gtest/gtest.h>

#include <memory>

namespace marquee {
namespace {

using framework::testing::TestSurface;

constexpr TFillColor Red = 0x0000FF, Green = 0x00FF00, Blue = 0xFF0000, Yellow = 0x00FFFF, White = 0xFFFFFF,
                     Black = 0;

// A fill drawing on a test surface.
struct Painter
{
    explicit Painter(int w = 120, int h = 120, COLORREF background = RGB(255, 0, 255))
        : Surface(w, h, background), Graphics(Surface.Dc())
    {
    }
    TRectF Fill(const TRectF& r) { return Shape.Fill(&Graphics, r); }
    // One colour from start to end.
    void Solid(TFillColor c)
    {
        Shape.SetColor(c);
        Shape.SetColorTo(c);
    }
    COLORREF At(int x, int y)
    {
        Graphics.Flush(Gdiplus::FlushIntentionSync);
        return Surface.Pixel(x, y);
    }
    int Count(COLORREF c, RECT r)
    {
        Graphics.Flush(Gdiplus::FlushIntentionSync);
        return Surface.Count(c, r);
    }

    TShapeFill Shape;
    TestSurface Surface;
    Gdiplus::Graphics Graphics;
};

// A 24-bit BMP of one colour.
std::vector<uint8_t> BmpOf(int w, int h, uint8_t r, uint8_t g, uint8_t b)
{
    const int row = (w * 3 + 3) & ~3;
    const uint32_t size = 54 + static_cast<uint32_t>(row * h);
    std::vector<uint8_t> bmp(size, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bmp[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, size);
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(w));
    put32(22, static_cast<uint32_t>(h));
    bmp[26] = 1;
    bmp[28] = 24;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const size_t at = 54 + static_cast<size_t>(y * row + x * 3);
            bmp[at] = b;
            bmp[at + 1] = g;
            bmp[at + 2] = r;
        }
    return bmp;
}

// A 2 x 2 blue PNG and a 1 x 1 green GIF.
const std::vector<uint8_t> BluePng{0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D,
                                   0x49, 0x48, 0x44, 0x52, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02,
                                   0x08, 0x02, 0x00, 0x00, 0x00, 0xFD, 0xD4, 0x9A, 0x73, 0x00, 0x00, 0x00,
                                   0x0F, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0x60, 0x60, 0xF8, 0x0F,
                                   0x46, 0x60, 0x0A, 0x00, 0x17, 0xF6, 0x03, 0xFD, 0x7E, 0xEB, 0x37, 0xF3,
                                   0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
const std::vector<uint8_t> GreenGif{'G', 'I', 'F',  '8', '9', 'a', 1, 0,    1,    0, 0x80, 0,
                                    0,   0,   0xFF, 0,   0,   0,   0, 0x2C, 0,    0, 0,    0,
                                    1,   0,   1,    0,   0,   2,   2, 0x44, 0x01, 0, 0x3B};

TEST(FillPicture, DecodesPngGifAndBmpAndDrawsThemScaled)
{
    struct Case
    {
        std::vector<uint8_t> Data;
        int Width;
        COLORREF Colour;
    };
    for (const Case& c : {Case{BluePng, 2, RGB(0, 0, 255)}, Case{GreenGif, 1, RGB(0, 255, 0)},
                          Case{BmpOf(3, 3, 255, 0, 0), 3, RGB(255, 0, 0)}}) {
        TFillPicture picture;
        int changes = 0;
        picture.OnChange = [&](framework::TObject*) { ++changes; };
        picture.LoadFromBytes(c.Data);
        EXPECT_EQ(changes, 1);
        ASSERT_FALSE(picture.Empty());
        EXPECT_EQ(picture.Width(), c.Width);
        EXPECT_EQ(picture.Height(), c.Width);
        TestSurface surface(40, 40);
        Gdiplus::Graphics g(surface.Dc());
        picture.Draw(g, Gdiplus::RectF(10, 10, 20, 20));
        g.Flush(Gdiplus::FlushIntentionSync);
        EXPECT_EQ(surface.Pixel(20, 20), c.Colour);
        EXPECT_EQ(surface.Pixel(5, 5), RGB(255, 255, 255));

        TFillPicture copy;
        copy.Assign(picture);
        EXPECT_EQ(copy.Data(), c.Data);
        EXPECT_EQ(copy.Width(), c.Width);
    }
    TFillPicture cleared;
    cleared.LoadFromBytes(BluePng);
    cleared.LoadFromBytes({});
    EXPECT_TRUE(cleared.Empty());
    EXPECT_EQ(cleared.Width(), 0);
}

TEST(ShapeFill, InitialValuesAndTheChangeRule)
{
    TShapeFill fill;
    EXPECT_EQ(fill.Color(), 0xC0C0C0u);
    EXPECT_EQ(fill.ColorMirror(), ColorNone);
    EXPECT_EQ(fill.GradientType(), gtVertical);
    EXPECT_EQ(fill.BackGroundPictureMode(), pmOutsideFill);
    EXPECT_EQ(fill.PictureWidth(), 50);
    EXPECT_EQ(fill.BorderWidth(), 1);
    EXPECT_EQ(fill.RoundingType(), rtBoth);
    EXPECT_EQ(fill.GlowRadialColor(), 0xFFFFFFu);
    EXPECT_TRUE(fill.Picture().Empty());

    int changes = 0;
    fill.OnChange = [&](framework::TObject*) { ++changes; };
    fill.SetColor(0xC0C0C0);
    fill.SetRounding(0);
    EXPECT_EQ(changes, 0);
    fill.SetColor(Red);
    fill.SetFocus(true);
    EXPECT_EQ(changes, 2);
    fill.BeginUpdate();
    fill.SetColorTo(Red);
    fill.SetGlow(gmRadial);
    fill.LoadPicture(BmpOf(2, 2, 1, 2, 3));
    fill.EndUpdate();
    EXPECT_EQ(changes, 2);
    fill.EndUpdate(); // unbalanced: stays at 0
    fill.SetAngle(45);
    EXPECT_EQ(changes, 3);

    TShapeFill copy;
    int copyChanges = 0;
    copy.OnChange = [&](framework::TObject*) { ++copyChanges; };
    copy.Assign(fill);
    EXPECT_EQ(copyChanges, 1);
    EXPECT_EQ(copy.Color(), Red);
    EXPECT_EQ(copy.Glow(), gmRadial);
    EXPECT_EQ(copy.Angle(), 45);
    EXPECT_EQ(copy.Picture().Data(), fill.Picture().Data());
    EXPECT_EQ(copy.Picture().Width(), 2);
    EXPECT_FALSE(copy.Focus()); // not a published value
}

TEST(ShapeFill, TheDownloadWindowsFillIsAWhiteRectangle)
{
    Painter p;
    TShapeFill& f = p.Shape;
    f.SetColor(White);
    f.SetGradientType(gtSolid);
    f.SetGradientMirrorType(gtSolid);
    f.SetBorderColor(White);
    const TRectF r{10, 10, 80, 60};
    EXPECT_EQ(p.Fill(r), r);
    EXPECT_EQ(p.At(50, 40), RGB(255, 255, 255));
    EXPECT_EQ(p.At(12, 12), RGB(255, 255, 255));
    EXPECT_EQ(p.At(5, 5), RGB(255, 0, 255));
    EXPECT_EQ(p.At(100, 40), RGB(255, 0, 255));
    EXPECT_EQ(p.At(50, 80), RGB(255, 0, 255));
    EXPECT_EQ(f.FocusRect(), (TRectF{11, 11, 78, 58}));
}

TEST(ShapeFill, NoneColoursTurnGradientsSolidOrPaintNothing)
{
    Painter p;
    p.Shape.SetColor(Blue);
    p.Shape.SetColorTo(ColorNone); // the vertical gradient becomes solid blue
    p.Fill({0, 0, 50, 100});
    EXPECT_EQ(p.At(25, 5), RGB(0, 0, 255));
    EXPECT_EQ(p.At(25, 95), RGB(0, 0, 255));

    Painter none;
    none.Shape.SetColor(ColorNone);
    none.Fill({0, 0, 50, 100});
    EXPECT_EQ(none.Count(RGB(255, 0, 255), {0, 0, 120, 120}), 120 * 120);
}

TEST(ShapeFill, AMirroredFillIsTwoOverlappingPartsWithAStripOfTheMirrorColour)
{
    Painter p;
    TShapeFill& f = p.Shape;
    f.SetColor(Blue);
    f.SetColorTo(Blue);
    f.SetGradientType(gtSolid);
    f.SetColorMirror(Green);
    f.SetColorMirrorTo(Red);
    f.SetGradientMirrorType(gtVertical);
    EXPECT_EQ(p.Fill({10, 0, 40, 100}), (TRectF{10, 0, 40, 100}));
    EXPECT_EQ(p.At(30, 5), RGB(0, 0, 255));
    EXPECT_EQ(p.At(30, 48), RGB(0, 0, 255));
    // The lower part starts at 49, over the upper part's last two rows, with one row of its
    // start colour.
    EXPECT_EQ(p.At(30, 49), RGB(0, 255, 0));
    const COLORREF low = p.At(30, 97);
    EXPECT_GT(GetRValue(low), 200);
    EXPECT_LT(GetGValue(low), 60);
    EXPECT_EQ(p.At(5, 50), RGB(255, 0, 255));

    // Hatches and textures are never split.
    Painter hatch;
    hatch.Shape.SetColor(Blue);
    hatch.Shape.SetColorTo(Yellow);
    hatch.Shape.SetGradientType(gtHatch);
    hatch.Shape.SetColorMirror(Green);
    hatch.Shape.SetColorMirrorTo(Green);
    hatch.Fill({10, 0, 40, 100});
    EXPECT_EQ(hatch.Count(RGB(0, 255, 0), {10, 0, 50, 100}), 0);
    EXPECT_GT(hatch.Count(RGB(0, 0, 255), {12, 60, 48, 98}), 0);
    EXPECT_GT(hatch.Count(RGB(255, 255, 0), {12, 60, 48, 98}), 0);
}

TEST(ShapeFill, ShadowsReturnWhatIsLeftAndTheFillPaintsThere)
{
    for (TShadowType type : {stSurround, stRightBottom, stBottom}) {
        Painter p;
        p.Solid(Blue);
        p.Shape.SetShadowOffset(5);
        p.Shape.SetShadowType(type);
        p.Shape.SetShadowColor(Black);
        const TRectF left = p.Fill({10, 20, 100, 50});
        EXPECT_EQ(left, ShadowRemainder({10, 20, 100, 50}, type, 5)) << type;
        EXPECT_EQ(p.At(60, 45), RGB(0, 0, 255)) << type;
        EXPECT_EQ(p.At(5, 45), RGB(255, 0, 255)) << type;
    }
    Painter surround;
    surround.Shape.SetShadowOffset(5);
    surround.Shape.SetShadowType(stSurround);
    EXPECT_EQ(surround.Fill({10, 20, 100, 50}), (TRectF{15, 25, 90, 40}));
    Painter rightBottom;
    rightBottom.Shape.SetShadowOffset(5);
    EXPECT_EQ(rightBottom.Fill({10, 20, 100, 50}), (TRectF{10, 20, 95, 45}));
    // Without a shadow colour nothing is taken.
    Painter none;
    none.Shape.SetShadowOffset(5);
    none.Shape.SetShadowColor(ColorNone);
    EXPECT_EQ(none.Fill({10, 20, 100, 50}), (TRectF{10, 20, 100, 50}));
}

TEST(ShapeFill, ARectangleOnePixelHighIsALineInTheBorderColour)
{
    Painter p;
    p.Solid(Red);
    p.Shape.SetBorderColor(Blue);
    p.Fill({10, 20, 80, 1});
    EXPECT_EQ(p.Count(RGB(255, 0, 0), {0, 0, 120, 120}), 0);
    EXPECT_GT(p.Count(RGB(0, 0, 255), {20, 19, 80, 23}), 40);
    EXPECT_EQ(p.Count(RGB(0, 0, 255), {0, 25, 120, 120}), 0);

    // Without a border: nothing at all.
    Painter bare;
    bare.Shape.SetColor(Red);
    bare.Fill({10, 20, 1, 80});
    EXPECT_EQ(bare.Count(RGB(255, 0, 255), {0, 0, 120, 120}), 120 * 120);
}

TEST(ShapeFill, RoundedCornersStayClearOutsideTheArc)
{
    for (TFillRoundingType type : {rtNone, rtTop, rtBottom, rtBoth, rtLeft, rtRight}) {
        Painter p;
        p.Solid(Blue);
        p.Shape.SetRounding(10);
        p.Shape.SetRoundingType(type);
        p.Fill({10, 10, 100, 60});
        const unsigned corners = RoundedCorners(type);
        const COLORREF clear = RGB(255, 0, 255), blue = RGB(0, 0, 255);
        EXPECT_EQ(p.At(11, 11), corners & cnTopLeft ? clear : blue) << type;
        EXPECT_EQ(p.At(108, 11), corners & cnTopRight ? clear : blue) << type;
        EXPECT_EQ(p.At(108, 68), corners & cnBottomRight ? clear : blue) << type;
        EXPECT_EQ(p.At(11, 68), corners & cnBottomLeft ? clear : blue) << type;
        EXPECT_EQ(p.At(60, 40), blue) << type;
    }
    // Rounding 0 keeps square corners whatever the type.
    Painter square;
    square.Solid(Blue);
    square.Shape.SetRoundingType(rtBoth);
    square.Fill({10, 10, 100, 60});
    EXPECT_EQ(square.At(11, 11), RGB(0, 0, 255));
}

TEST(ShapeFill, GradientsRadialFillsAndGlowsPaintInsideTheirRectangle)
{
    for (TFillGradientType kind : {gtRadial, gtVertical, gtHorizontal, gtForwardDiagonal, gtBackwardDiagonal,
                                   gtAngle, gtHatch, gtPath, gtTexture, gtNone}) {
        for (TGlowMode glow : {gmNone, gmGradient, gmRadial, gmRadialGradient}) {
            Painter p;
            p.Shape.SetColor(Blue);
            p.Shape.SetColorTo(Green);
            p.Shape.SetGradientType(kind);
            p.Shape.SetAngle(30);
            p.Shape.SetGlow(glow);
            p.Shape.SetRounding(6);
            p.Fill({20, 20, 80, 60});
            // Nothing outside the rectangle.
            EXPECT_EQ(p.Count(RGB(255, 0, 255), {0, 0, 120, 18}), 120 * 18) << kind << " " << glow;
            EXPECT_EQ(p.Count(RGB(255, 0, 255), {0, 82, 120, 120}), 120 * 38) << kind << " " << glow;
            const bool paints = kind != gtPath && kind != gtTexture && kind != gtNone;
            if (paints && glow == gmNone) {
                EXPECT_NE(p.At(60, 50), RGB(255, 0, 255)) << kind;
            }
        }
    }
}

// Mostly blue / mostly red, as a gradient from blue to red shows its ends.
bool Bluish(COLORREF c)
{
    return GetBValue(c) > 180 && GetRValue(c) < 75;
}
bool Reddish(COLORREF c)
{
    return GetRValue(c) > 180 && GetBValue(c) < 75;
}

TEST(ShapeFill, GradientsRunInTheirDirection)
{
    struct Case
    {
        TFillGradientType Kind;
        int Angle;
        POINT Start, End; // where the start colour (blue) and the end colour (red) show
    };
    const Case cases[] = {
        {gtVertical, 0, {50, 1}, {50, 98}},       {gtHorizontal, 0, {1, 50}, {98, 50}},
        {gtForwardDiagonal, 0, {2, 2}, {97, 97}}, {gtBackwardDiagonal, 0, {97, 2}, {2, 97}},
        {gtAngle, 0, {1, 50}, {98, 50}},          {gtAngle, 90, {50, 1}, {50, 98}},
    };
    for (const Case& c : cases) {
        Painter p;
        p.Shape.SetColor(Blue);
        p.Shape.SetColorTo(Red);
        p.Shape.SetGradientType(c.Kind);
        p.Shape.SetAngle(c.Angle);
        p.Fill({0, 0, 100, 100});
        EXPECT_TRUE(Bluish(p.At(c.Start.x, c.Start.y))) << c.Kind << " " << c.Angle;
        EXPECT_TRUE(Reddish(p.At(c.End.x, c.End.y))) << c.Kind << " " << c.Angle;
    }
}

TEST(ShapeFill, ARadialFillIsTheEndColourAtTheTopCentreInTheStartColour)
{
    Painter p;
    p.Shape.SetColor(Blue);
    p.Shape.SetColorTo(Red);
    p.Shape.SetGradientType(gtRadial);
    p.Fill({0, 0, 100, 100});
    EXPECT_TRUE(Reddish(p.At(50, 1)));
    EXPECT_EQ(p.At(2, 97), RGB(0, 0, 255)); // outside the ellipse: the solid start colour
    EXPECT_EQ(p.At(97, 97), RGB(0, 0, 255));
}

TEST(ShapeFill, OpacityArgumentsOverrideTheFillsOwnUnless255)
{
    auto paint = [](uint8_t own, uint8_t argument) {
        Painter p;
        p.Solid(Blue);
        p.Shape.SetGradientType(gtSolid);
        p.Shape.SetOpacity(own);
        p.Shape.Fill(&p.Graphics, {0, 0, 100, 100}, 255, argument);
        return p.At(50, 50);
    };
    EXPECT_EQ(paint(255, 0), RGB(255, 0, 255)); // transparent: the background shows
    EXPECT_EQ(paint(0, 255), RGB(255, 0, 255)); // 255 takes the fill's own opacity
    const COLORREF half = paint(255, 128);
    EXPECT_EQ(GetBValue(half), 255);
    EXPECT_GT(GetRValue(half), 100);
    EXPECT_LT(GetRValue(half), 160);
    EXPECT_EQ(paint(0, 254), RGB(1, 0, 255)); // nearly opaque over magenta
}

TEST(ShapeFill, GlowsLightenTheEdgesOrTheBottomCentre)
{
    auto paint = [](TGlowMode glow) {
        auto p = std::make_unique<Painter>();
        p->Solid(Blue);
        p->Shape.SetGlow(glow);
        p->Fill({0, 0, 100, 100});
        return p;
    };
    const COLORREF blue = RGB(0, 0, 255);
    auto plain = paint(gmNone);
    EXPECT_EQ(plain->At(50, 2), blue);
    // The gradient glow: white highlights along the top and the bottom, none in between.
    auto gradient = paint(gmGradient);
    EXPECT_GT(GetRValue(gradient->At(50, 2)), 60);
    EXPECT_GT(GetRValue(gradient->At(50, 97)), 100);
    EXPECT_EQ(gradient->At(50, 50), blue);
    // The radial glow: brightest at the bottom centre, nothing beside the ellipse.
    auto radial = paint(gmRadial);
    EXPECT_GT(GetRValue(radial->At(50, 95)), 100);
    EXPECT_LT(GetRValue(radial->At(50, 20)), GetRValue(radial->At(50, 95)));
    EXPECT_EQ(radial->At(5, 50), blue);
    EXPECT_NE(radial->At(50, 2), blue);
    // Both, in the glow colours given.
    Painter both;
    both.Solid(Blue);
    both.Shape.SetGlow(gmRadialGradient);
    both.Shape.SetGlowGradientColor(Red);
    both.Shape.SetGlowRadialColor(Green);
    both.Fill({0, 0, 100, 100});
    const COLORREF top = both.At(50, 2), bottom = both.At(50, 95);
    EXPECT_GT(GetRValue(top), 60); // the red highlight
    EXPECT_GT(GetRValue(top), GetGValue(top));
    EXPECT_GT(GetGValue(bottom), 60); // the green radial glow
    EXPECT_NE(both.At(50, 50), blue);
}

TEST(ShapeFill, AShadowTakesItsColourAndTheFocusOutlineIsDotted)
{
    Painter p;
    p.Solid(Blue);
    p.Shape.SetShadowOffset(8);
    p.Shape.SetShadowColor(Green);
    p.Fill({10, 10, 100, 100});
    // In the shadow band beside the fill the shadow paints over the magenta background.
    // (Wine paints path gradients without their interpolation colours, in white: the green
    // channel is the one check that holds there and on Windows.)
    EXPECT_GT(GetGValue(p.At(105, 60)), 40);
    EXPECT_GT(GetGValue(p.At(60, 105)), 40);
    EXPECT_EQ(GetGValue(p.At(60, 60)), 0); // the fill itself is blue
    // The bottom shadow: its colour, strongest at the top centre of its band (under the
    // fill) and fading towards the band's lower edge.
    Painter bottom;
    bottom.Solid(Blue);
    bottom.Shape.SetShadowOffset(8);
    bottom.Shape.SetShadowType(stBottom);
    bottom.Shape.SetShadowColor(Green);
    EXPECT_EQ(bottom.Fill({10, 10, 100, 100}), (TRectF{10, 10, 100, 92}));
    const COLORREF upper = bottom.At(60, 103), lower = bottom.At(60, 108);
    EXPECT_GT(GetGValue(upper), 80);
    EXPECT_GT(GetGValue(upper), GetGValue(lower));
    EXPECT_LT(GetRValue(upper), GetRValue(lower)); // less of the magenta background shows
    EXPECT_EQ(bottom.At(60, 60), RGB(0, 0, 255));

    Painter focused;
    focused.Solid(Blue);
    focused.Shape.SetBorderColor(Blue);
    focused.Shape.SetFocusColor(Green);
    focused.Fill({10, 10, 100, 100});
    EXPECT_EQ(focused.Count(RGB(0, 255, 0), {0, 0, 120, 120}), 0);
    focused.Shape.SetFocus(true);
    focused.Fill({10, 10, 100, 100});
    const int row = focused.Count(RGB(0, 255, 0), {11, 11, 109, 12}); // FocusRect's top edge
    EXPECT_GT(row, 20);
    EXPECT_LT(row, 90); // dotted, not solid
    EXPECT_EQ(focused.Count(RGB(0, 255, 0), {20, 20, 100, 100}), 0);
}

TEST(ShapeFill, PicturesArePlacedByTheirPosition)
{
    Painter p;
    p.Solid(White);
    p.Shape.LoadPicture(BmpOf(10, 10, 255, 0, 0));
    ASSERT_FALSE(p.Shape.Picture().Empty());
    EXPECT_EQ(p.Shape.Picture().Width(), 10);
    p.Shape.SetPicturePosition(ppBottomRight);
    p.Fill({20, 20, 80, 60});
    EXPECT_EQ(p.At(95, 75), RGB(255, 0, 0));
    EXPECT_EQ(p.At(25, 25), RGB(255, 255, 255));
    EXPECT_EQ(p.At(85, 75), RGB(255, 255, 255));

    // Custom size, and the offsets move it.
    Painter q;
    q.Solid(White);
    q.Shape.LoadPicture(BmpOf(4, 4, 0, 0, 255));
    q.Shape.SetPictureSize(psCustom);
    q.Shape.SetPictureWidth(20);
    q.Shape.SetPictureHeight(20);
    q.Shape.SetPictureLeft(5);
    q.Shape.SetPictureTop(5);
    q.Fill({20, 20, 80, 60});
    EXPECT_EQ(q.At(35, 35), RGB(0, 0, 255));
    EXPECT_EQ(q.At(50, 50), RGB(255, 255, 255));

    // A tiled texture background fills the whole shape.
    Painter t;
    t.Shape.SetGradientType(gtTexture);
    t.Shape.LoadBackGroundPicture(BmpOf(3, 3, 0, 255, 0));
    t.Shape.SetBackGroundPicturePosition(ppTiled);
    t.Fill({20, 20, 80, 60});
    EXPECT_EQ(t.At(30, 30), RGB(0, 255, 0));
    EXPECT_EQ(t.At(90, 70), RGB(0, 255, 0));
    EXPECT_EQ(t.At(10, 10), RGB(255, 0, 255));

    // Bytes that are no picture are kept but draw nothing.
    TShapeFill damaged;
    const std::vector<uint8_t> junk{'B', 'M', 1, 2, 3};
    damaged.LoadPicture(junk);
    EXPECT_TRUE(damaged.Picture().Empty());
    EXPECT_EQ(damaged.Picture().Data(), junk);
}

// Every published value of two fills, and their pictures' bytes, are equal.
void ExpectSameValues(const TShapeFill& a, const TShapeFill& b)
{
#define MARQUEE_FILL_EXPECT(Type, Name, Initial) EXPECT_EQ(a.Name(), b.Name()) << #Name;
    MARQUEE_FILL_PROPERTIES(MARQUEE_FILL_EXPECT)
#undef MARQUEE_FILL_EXPECT
    EXPECT_EQ(a.Picture().Data(), b.Picture().Data());
    EXPECT_EQ(a.BackGroundPicture().Data(), b.BackGroundPicture().Data());
}

// A fill with a value differing from the initial one in every saved key.
void SetEverySavedValue(TShapeFill& f)
{
    f.SetColor(0x112233);
    f.SetColorTo(0xFF000005); // a system colour
    f.SetColorMirror(0x445566);
    f.SetColorMirrorTo(0x778899);
    f.SetGradientType(gtHatch);
    f.SetGradientMirrorType(gtAngle);
    f.SetHatchStyle(THatchStyle{52});
    f.SetHatchStyleMirror(THatchStyle{7});
    f.SetBackGroundPictureMode(pmInsideFill);
    f.SetBackGroundPicturePosition(ppCustom);
    f.SetBackGroundPictureLeft(-3);
    f.SetBackGroundPictureTop(4);
    f.SetPicturePosition(ppCenterRight);
    f.SetPictureLeft(5);
    f.SetPictureTop(-6);
    f.SetPictureSize(psCustom);
    f.SetPictureWidth(70);
    f.SetPictureHeight(80);
    f.SetOpacity(1);
    f.SetOpacityTo(2);
    f.SetOpacityMirror(3);
    f.SetOpacityMirrorTo(0);
    f.SetBorderColor(0x010203);
    f.SetBorderOpacity(9);
    f.SetBorderWidth(3);
    f.SetRounding(12);
    f.SetRoundingType(rtRight);
    f.SetShadowOffset(4);
    f.SetShadowColor(0x0A0B0C);
    f.SetAngle(-90);
    f.SetGlow(gmRadialGradient);
    f.SetGlowGradientColor(0x123456);
    f.SetGlowRadialColor(0x654321);
    f.LoadPicture(BmpOf(3, 2, 10, 20, 30));
    f.LoadBackGroundPicture(BmpOf(1, 1, 200, 100, 0));
}

std::wstring TempIni(const wchar_t* name)
{
    wchar_t folder[MAX_PATH];
    ::GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + name;
    ::DeleteFileW(path.c_str());
    return path;
}

TEST(ShapeFillStorage, ASavedFillLoadsBackWithBothPictureSizeValues)
{
    const std::wstring path = TempIni(L"lumigate_fill_test.ini");
    TShapeFill saved;
    SetEverySavedValue(saved);
    saved.SaveToFile(path, L"Fill");

    framework::TIniFile ini(path);
    EXPECT_EQ(ini.ReadInteger(L"Fill", L"PictureSize", -1),
              static_cast<int>(saved.Picture().Data().size() * 2)); // the text's length
    EXPECT_EQ(ini.ReadInteger(L"Fill", L"PictureSizeMode", -1), psCustom);
    EXPECT_EQ(ini.ReadInteger(L"Fill", L"ColorTo", 0), static_cast<int>(0xFF000005));
    const std::wstring text = ini.ReadString(L"Fill", L"Picture", L"");
    EXPECT_EQ(text.substr(0, 4), L"424D"); // "BM" in upper-case digits

    TShapeFill loaded;
    int changes = 0;
    loaded.OnChange = [&](framework::TObject*) { ++changes; };
    loaded.LoadFromFile(path, L"Fill");
    EXPECT_EQ(changes, 1);
    ExpectSameValues(saved, loaded);
    ::DeleteFileW(path.c_str());
}

TEST(ShapeFillStorage, BadValuesInAFile)
{
    const std::wstring path = TempIni(L"lumigate_fill_bad.ini");
    framework::TIniFile ini(path);
    ini.WriteInteger(L"Fill", L"Color", 0x0000FF);
    ini.WriteString(L"Fill", L"GradientType", L"99"); // no such kind: keeps its value
    ini.WriteString(L"Fill", L"Opacity", L"300");
    ini.WriteString(L"Fill", L"Angle", L"ten");
    ini.WriteInteger(L"Fill", L"PictureSize", 4);
    ini.WriteString(L"Fill", L"Picture", L"4g4D");

    TShapeFill fill;
    int changes = 0;
    fill.OnChange = [&](framework::TObject*) { ++changes; };
    try {
        fill.LoadFromFile(ini, L"Fill");
        ADD_FAILURE() << "no conversion error";
    } catch (const framework::EConvertError& e) {
        EXPECT_EQ(e.Message(), L"No Hex-Number");
    }
    EXPECT_EQ(fill.Color(), 0x0000FFu); // read before the picture stopped the load
    EXPECT_EQ(fill.GradientType(), gtVertical);
    EXPECT_EQ(fill.Opacity(), 255);
    EXPECT_EQ(fill.Angle(), 0);
    EXPECT_TRUE(fill.Picture().Data().empty());
    EXPECT_EQ(changes, 1);

    // Lower-case digits are read.
    ini.WriteString(L"Fill", L"Picture", L"424d");
    fill.LoadFromFile(ini, L"Fill");
    EXPECT_EQ(fill.Picture().Data(), (std::vector<uint8_t>{'B', 'M'}));
    ::DeleteFileW(path.c_str());
}

TEST(ShapeFillStorage, ClipboardRoundTrip)
{
    TShapeFill saved;
    SetEverySavedValue(saved);
    saved.SetBackGroundPictureAspectRatio(true);
    saved.SetPictureAspectMode(pmNormal);
    saved.SetShadowType(stSurround);
    ASSERT_TRUE(saved.SaveToClipBoard());

    TShapeFill loaded;
    ASSERT_TRUE(loaded.LoadFromClipBoard());
    ExpectSameValues(saved, loaded);

    // Other data on the clipboard: nothing happens.
    ASSERT_TRUE(::OpenClipboard(nullptr));
    ::EmptyClipboard();
    ::CloseClipboard();
    TShapeFill untouched;
    int changes = 0;
    untouched.OnChange = [&](framework::TObject*) { ++changes; };
    EXPECT_TRUE(untouched.LoadFromClipBoard());
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(untouched.Color(), 0xC0C0C0u);
}

TEST(ShapeFillStorage, DamagedStreamsAreReadAsFarAsTheyGo)
{
    TShapeFill saved;
    SetEverySavedValue(saved);
    std::vector<uint8_t> stream = saved.SaveToStream();
    for (size_t cut = 0; cut < stream.size(); cut += 7) {
        TShapeFill f;
        f.LoadFromStream({stream.data(), cut});
    }
    // A value out of range is refused, the rest taken.
    TShapeFill f;
    f.SetGlow(gmRadial);
    auto bad = saved.SaveToStream();
    base::TStreamReadResult parsed = base::ReadPropertyStream(bad);
    for (auto& p : parsed.Root.Properties)
        if (p.Name == "SaveObject.Glow")
            p.Int = 17;
    f.LoadFromStream(base::WritePropertyStream(parsed.Root));
    EXPECT_EQ(f.Glow(), gmRadial);
    EXPECT_EQ(f.Color(), saved.Color());
}

} // namespace
} // namespace marquee
