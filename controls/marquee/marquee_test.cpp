#include "controls/marquee/marquee.h"

#include "controls/marquee/marquee_styles.h"
#include "framework/form.h"
#include "framework/panel.h"
#include "framework/testing/test_support.h"

#include <gtest/gtest.h>

namespace marquee {
namespace {

using framework::testing::PumpUntil;
using framework::testing::TestSurface;

constexpr COLORREF WhitePixel = RGB(255, 255, 255), BlackPixel = RGB(0, 0, 0);

// The download window's overlay: a white panel of 445 x 417 filled by a marquee with white
// background and black bullets.
struct Overlay
{
    Overlay()
    {
        Form.SetBounds(0, 0, 460, 440);
        Panel = new framework::TPanel(&Form);
        Panel->SetParent(&Form);
        Panel->SetBounds(0, 0, 445, 417);
        Panel->SetColor(framework::clWhite);
        Panel->SetBevelOuter(framework::bvNone);
        Panel->SetShowCaption(false);
        Marquee = new TMarquee(&Form);
        Marquee->SetParent(Panel);
        Marquee->SetAlign(framework::alClient);
        Marquee->Fill().SetColor(0xFFFFFF);
        Marquee->Fill().SetGradientType(gtSolid);
        Marquee->Fill().SetBorderColor(0xFFFFFF);
        Marquee->Bullets().SetColor(0);
    }
    // Paints the marquee off screen at the given position.
    void Paint(TestSurface& s, float position)
    {
        Marquee->SetAnimate(false);
        Marquee->SetPosition(position);
        Marquee->PaintTo(s.Dc());
    }

    framework::TForm Form{nullptr};
    framework::TPanel* Panel;
    TMarquee* Marquee;
};

TEST(Marquee, DefaultsOfANewControl)
{
    framework::TForm form(nullptr);
    TMarquee m(&form);
    EXPECT_EQ(m.Width(), 400);
    EXPECT_EQ(m.Height(), 20);
    EXPECT_TRUE(m.TabStop());
    EXPECT_TRUE(m.Animate());
    EXPECT_FALSE(m.Transparent());
    EXPECT_EQ(m.AnimationFactor(), 3.0f);
    EXPECT_EQ(m.AnimationStep(), 10.0f);
    EXPECT_EQ(m.AnimationStretchFactor(), 1.7f);
    EXPECT_EQ(m.Position(), 0.0f);
    const TMarqueeBullets& b = m.Bullets();
    EXPECT_EQ(b.Color(), 0xE16941u);
    EXPECT_EQ(b.BorderColor(), ColorNone);
    EXPECT_EQ(b.Count(), 6);
    EXPECT_EQ(b.Width(), 10);
    EXPECT_EQ(b.Height(), 10);
    EXPECT_EQ(b.Spacing(), 3);
    EXPECT_EQ(b.Shape(), bsEllipse);
    EXPECT_EQ(b.Opacity(), 255);
}

TEST(Marquee, TicksMoveTheRowAndItWrapsAtTheRightEnd)
{
    Overlay o;
    TMarquee& m = *o.Marquee;
    ASSERT_EQ(m.Width(), 445);
    m.SetAnimate(false);
    m.AnimationTick();
    EXPECT_EQ(m.Position(), static_cast<float>(10.0 / 3));
    m.SetPosition(261);
    EXPECT_EQ(m.Position(), 261.0f);
    m.Step(0.5f);
    EXPECT_EQ(m.Position(), -261.0f);
    m.SetAnimationStep(0.005f);
    m.AnimationTick();
    EXPECT_EQ(m.Position(), -261.0f);
}

TEST(Marquee, TheTimerAnimatesAlsoWhileHidden)
{
    Overlay o;
    o.Form.Show();
    const float start = o.Marquee->Position();
    EXPECT_TRUE(PumpUntil([&] { return o.Marquee->Position() > start + 20; }));
    o.Panel->Hide();
    const float hidden = o.Marquee->Position();
    EXPECT_TRUE(PumpUntil([&] { return o.Marquee->Position() > hidden + 20; }));
    o.Marquee->SetAnimate(false);
    const float stopped = o.Marquee->Position();
    for (int i = 0; i < 20; ++i) {
        ::Sleep(5);
        framework::Application()->ProcessMessages();
    }
    EXPECT_EQ(o.Marquee->Position(), stopped);
}

TEST(Marquee, PaintsBlackBulletsOnWhite)
{
    Overlay o;
    TestSurface s(445, 417, RGB(255, 0, 255));
    o.Paint(s, 0);
    // Position 0: bullet i at x0 + 13 i (x0 156.55), y 203, 10 x 10.
    for (int i = 0; i < 6; ++i) {
        const int cx = 161 + 13 * i;
        EXPECT_EQ(s.Pixel(cx, 208), BlackPixel) << i;
        EXPECT_EQ(s.Pixel(cx + 7, 208), WhitePixel) << i; // the gap between two bullets
    }
    EXPECT_EQ(s.Pixel(161, 195), WhitePixel);
    EXPECT_EQ(s.Pixel(20, 20), WhitePixel);
    EXPECT_EQ(s.Pixel(440, 410), WhitePixel);
    EXPECT_EQ(s.Count(BlackPixel, {0, 0, 445, 200}), 0);

    // At -200 the row enters from the left, spread apart: bullets no longer 13 apart.
    TestSurface left(445, 417, RGB(255, 0, 255));
    o.Paint(left, -200);
    const TMarqueeMeasures m = MeasureMarquee(445, 417, o.Marquee->Bullets().Layout(), 1.7f);
    for (int i = 0; i < 6; ++i) {
        const TRectF r = BulletRect(m, -200, 445, o.Marquee->Bullets().Layout(), i);
        if (r.X + 5 >= 0) {
            EXPECT_EQ(left.Pixel(static_cast<int>(r.X + 5), 208), BlackPixel) << i;
        }
    }
}

TEST(Marquee, NoBulletsWithoutCountOrColoursOrCustomHandler)
{
    {
        Overlay o;
        o.Marquee->Bullets().SetCount(0);
        TestSurface s(445, 417, RGB(255, 0, 255));
        o.Paint(s, 0);
        EXPECT_EQ(s.Count(BlackPixel), 0);
        EXPECT_EQ(s.Pixel(200, 208), WhitePixel); // the background still is
    }
    {
        Overlay o;
        o.Marquee->Bullets().SetColor(ColorNone);
        o.Marquee->Bullets().SetShape(bsCustom);
        int calls = 0;
        o.Marquee->OnCustomBulletShape = [&](framework::TObject*, Gdiplus::Graphics*, int, TRectF&) {
            ++calls;
        };
        TestSurface s(445, 417, RGB(255, 0, 255));
        o.Paint(s, 0);
        EXPECT_EQ(calls, 0);
        EXPECT_EQ(s.Count(BlackPixel), 0);
    }
    {
        Overlay o;
        o.Marquee->Bullets().SetShape(bsCustom);
        TestSurface s(445, 417, RGB(255, 0, 255));
        o.Paint(s, 0);
        EXPECT_EQ(s.Count(BlackPixel), 0);
    }
}

TEST(Marquee, ShapesAndTheCustomHandler)
{
    Overlay o;
    o.Marquee->Bullets().SetWidth(20);
    o.Marquee->Bullets().SetHeight(20);
    // Bullet 0 at position 0: x0 = (444 - (6*20 + 6*3 - 1) * 1.7) / 2, y = (416 - 20) / 2.
    const TMarqueeMeasures m = MeasureMarquee(445, 417, o.Marquee->Bullets().Layout(), 1.7f);
    const int x = static_cast<int>(std::ceil(m.X0)), y = static_cast<int>(m.Y);

    o.Marquee->Bullets().SetShape(bsRectangle);
    TestSurface rect(445, 417, RGB(255, 0, 255));
    o.Paint(rect, 0);
    EXPECT_EQ(rect.Pixel(x + 1, y + 1), BlackPixel);
    EXPECT_EQ(rect.Pixel(x + 10, y + 10), BlackPixel);

    o.Marquee->Bullets().SetShape(bsEllipse);
    TestSurface ellipse(445, 417, RGB(255, 0, 255));
    o.Paint(ellipse, 0);
    EXPECT_EQ(ellipse.Pixel(x + 1, y + 1), WhitePixel);
    EXPECT_EQ(ellipse.Pixel(x + 10, y + 10), BlackPixel);

    o.Marquee->Bullets().SetShape(bsTriangle);
    TestSurface triangle(445, 417, RGB(255, 0, 255));
    o.Paint(triangle, 0);
    EXPECT_EQ(triangle.Pixel(x + 2, y + 2), WhitePixel);
    EXPECT_EQ(triangle.Pixel(x + 17, y + 2), WhitePixel);
    EXPECT_EQ(triangle.Pixel(x + 10, y + 17), BlackPixel);

    o.Marquee->Bullets().SetShape(bsCustom);
    std::vector<int> indices;
    o.Marquee->OnCustomBulletShape = [&](framework::TObject* sender, Gdiplus::Graphics* g, int index,
                                         TRectF& r) {
        EXPECT_EQ(sender, o.Marquee);
        indices.push_back(index);
        EXPECT_EQ(r.Width, 20.0f);
        Gdiplus::SolidBrush red(Gdiplus::Color(255, 255, 0, 0));
        g->FillRectangle(&red, Gdiplus::RectF(r.X, r.Y, r.Width, r.Height));
    };
    TestSurface custom(445, 417, RGB(255, 0, 255));
    o.Paint(custom, 0);
    EXPECT_EQ(indices, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(custom.Pixel(x + 1, y + 1), RGB(255, 0, 0));
    EXPECT_EQ(custom.Count(BlackPixel), 0);

    // An outline only, in another colour.
    o.Marquee->Bullets().SetShape(bsRectangle);
    o.Marquee->Bullets().SetColor(ColorNone);
    o.Marquee->Bullets().SetBorderColor(0xFF0000);
    TestSurface outline(445, 417, RGB(255, 0, 255));
    o.Paint(outline, 0);
    EXPECT_EQ(outline.Pixel(x + 10, y + 10), WhitePixel);
    EXPECT_GT(outline.Count(RGB(0, 0, 255), {x - 1, y - 1, x + 22, y + 22}), 40);
}

TEST(Marquee, TransparentShowsTheParentBehindTheBullets)
{
    Overlay o;
    o.Panel->SetColor(framework::RGBColor(0, 128, 0));
    o.Marquee->SetTransparent(true);
    TestSurface s(445, 417, RGB(255, 0, 255));
    o.Paint(s, 0);
    EXPECT_EQ(s.Pixel(20, 20), RGB(0, 128, 0));
    EXPECT_EQ(s.Pixel(161, 208), BlackPixel);
    o.Marquee->SetTransparent(false);
    TestSurface opaque(445, 417, RGB(255, 0, 255));
    o.Paint(opaque, 0);
    EXPECT_EQ(opaque.Pixel(20, 20), WhitePixel);
}

TEST(Marquee, StylesAndColourTones)
{
    framework::TForm form(nullptr);
    TMarquee m(&form);
    m.SetStyle(2);
    const TMarqueeStyle* style = MarqueeStyle(2);
    ASSERT_TRUE(style);
    EXPECT_EQ(m.StyleNumber(), 2);
    EXPECT_EQ(m.Fill().Color(), style->Color);
    EXPECT_EQ(m.Fill().ColorMirrorTo(), style->ColorMirrorTo);
    EXPECT_EQ(m.Bullets().Color(), style->BulletColor);
    m.SetStyle(24);
    EXPECT_EQ(m.StyleNumber(), 2);
    EXPECT_FALSE(MarqueeStyle(-1));
    for (int i = 0; i < MarqueeStyleCount; ++i)
        EXPECT_TRUE(MarqueeStyle(i)) << i;
    m.LoadStyleNumber(7);
    EXPECT_EQ(m.StyleNumber(), 7);
    EXPECT_EQ(m.Fill().Color(), style->Color);

    m.SetColorTones({0x111111, 0x222222, 0x333333});
    EXPECT_EQ(m.Fill().Color(), 0x111111u);
    EXPECT_EQ(m.Fill().ColorMirrorTo(), 0x111111u);
    EXPECT_EQ(m.Fill().BorderColor(), 0x222222u);
    EXPECT_EQ(m.Bullets().BorderColor(), 0x222222u);
    EXPECT_EQ(m.Bullets().Color(), 0x333333u);

    TMarquee copy(&form);
    copy.Assign(m);
    EXPECT_EQ(copy.Fill().Color(), 0x111111u);
    EXPECT_EQ(copy.Bullets().Color(), 0x333333u);
}

} // namespace
} // namespace marquee
