#include "controls/panel/image_form.h"
#include "controls/panel/themed_panel.h"

#include "framework/label.h"
#include "framework/testing/form_test.h"

#include <gtest/gtest.h>

#include <memory>

namespace panel {
namespace {

using framework::testing::TestSurface;

using ThemedPanel = framework::testing::TFormTest;

TEST_F(ThemedPanel, APlainColourPanelIsItsColourEdgeToEdge)
{
    auto* panel = new TThemedPanel(&Form);
    panel->SetParent(&Form);
    panel->SetBounds(10, 10, 100, 50);
    panel->SetColor(framework::RGBColor(0, 123, 206));
    panel->SetBorderType(fbtNone);
    panel->SetBevelOuter(bvNone);
    panel->SetTransparentXPThemes(false);
    panel->SetThemeMode(ttmNone);
    TestSurface s = Paint();
    const COLORREF blue = RGB(0, 123, 206);
    EXPECT_EQ(s.Count(blue, {10, 10, 110, 60}), 100 * 50);
    EXPECT_EQ(s.Pixel(9, 30), RGB(255, 255, 255));
    EXPECT_EQ(s.Pixel(110, 30), RGB(255, 255, 255));
}

TEST_F(ThemedPanel, DefaultsAreAFaceColouredRaisedPanelWithACentredCaption)
{
    auto* panel = new TThemedPanel(&Form);
    panel->SetParent(&Form);
    panel->SetBounds(10, 10, 200, 60);
    panel->SetThemeMode(ttmNone);
    panel->SetCaption(L"IIIIIIII");
    panel->Font().SetHeight(-20);
    panel->Font().SetColor(framework::clBlack);
    TestSurface s = Paint();
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE), light = ::GetSysColor(COLOR_BTNHIGHLIGHT),
                   shadow = ::GetSysColor(COLOR_BTNSHADOW);
    EXPECT_EQ(s.Pixel(100, 10), light);
    EXPECT_EQ(s.Pixel(10, 40), light);
    EXPECT_EQ(s.Pixel(100, 69), shadow);
    EXPECT_EQ(s.Pixel(209, 40), shadow);
    EXPECT_EQ(s.Pixel(20, 20), face);
    // The caption in the middle: dark pixels around the centre, none near the edges.
    EXPECT_GT(s.Count(RGB(0, 0, 0), {60, 25, 160, 55}), 20);
    EXPECT_EQ(s.Count(RGB(0, 0, 0), {12, 12, 50, 68}), 0);
    // Children are aligned inside the bevel and the border width.
    panel->SetBorderWidth(3);
    auto* child = new framework::TWinControl(&Form);
    child->SetParent(panel);
    child->SetAlign(framework::alClient);
    EXPECT_EQ(child->Left(), 4);
    EXPECT_EQ(child->Width(), 200 - 8);
}

TEST_F(ThemedPanel, PanelsShareTheImageOfAnImageFormAndTintIt)
{
    // A 200 x 100 image, red on its left half, green on its right, belonging to the form.
    base::WindowDc screen(nullptr);
    auto bitmap = std::make_shared<base::GdiObject>(::CreateCompatibleBitmap(screen.Get(), 200, 100));
    {
        base::MemoryDc dc(::CreateCompatibleDC(screen.Get()));
        base::DcSelection selected(dc.Get(), bitmap->Get());
        base::GdiObject red(::CreateSolidBrush(RGB(255, 0, 0))), green(::CreateSolidBrush(RGB(0, 255, 0)));
        RECT left{0, 0, 100, 100}, right{100, 0, 200, 100};
        ::FillRect(dc.Get(), &left, static_cast<HBRUSH>(red.Get()));
        ::FillRect(dc.Get(), &right, static_cast<HBRUSH>(green.Get()));
    }
    auto* image = new TImageForm(&Form);
    image->SetBitmap(bitmap);
    image->SetControl(&Form);
    auto* panel = new TThemedPanel(&Form);
    panel->SetParent(&Form);
    panel->SetBounds(80, 10, 60, 40);
    panel->SetThemeMode(ttmNone);
    panel->SetBevelOuter(bvNone);
    panel->SetImageForm(image);
    TestSurface s = Paint();

    EXPECT_EQ(s.Pixel(85, 30), RGB(255, 0, 0));  // the image's left half under the panel
    EXPECT_EQ(s.Pixel(130, 30), RGB(0, 255, 0)); // and its right half
    panel->SetColor(framework::clBlack);
    panel->SetAlphaLevel(128);
    TestSurface tinted = Paint();
    EXPECT_EQ(tinted.Pixel(85, 30), RGB(127, 0, 0));
    delete image;
    EXPECT_EQ(panel->ImageForm(), nullptr);
}

// A 200 x 100 panel at (10, 10) without border or bevel.
TThemedPanel* PlainPanel(framework::TForm& form)
{
    auto* panel = new TThemedPanel(&form);
    panel->SetParent(&form);
    panel->SetBounds(10, 10, 200, 100);
    panel->SetThemeMode(ttmNone);
    panel->SetBevelOuter(bvNone);
    panel->SetBorderType(fbtNone);
    return panel;
}

TEST_F(ThemedPanel, GradientsRunFromTheStartColourToTheEndColourInTheirDirection)
{
    // Where the start colour (black) and where the end colour (red) lies, in per cent of the
    // panel's width and height.
    struct Case
    {
        TBackgroundType Type;
        int StartX, StartY, EndX, EndY;
    };
    const Case cases[] = {
        {bgtHorzGradient, 3, 50, 97, 50},           {bgtVertGradient, 50, 4, 50, 96},
        {bgtSquareGradient, 2, 50, 50, 50},         {bgtEllipticGradient, 2, 3, 50, 50},
        {bgtTopLeftGradient, 97, 96, 2, 3},         {bgtTopRightGradient, 2, 96, 97, 3},
        {bgtBottomLeftGradient, 97, 3, 2, 96},      {bgtBottomRightGradient, 2, 3, 97, 96},
        {bgtTopLeftDiagonalGradient, 97, 96, 2, 3}, {bgtTopRightDiagonalGradient, 2, 96, 97, 3},
    };
    for (const Case& c : cases) {
        auto panel = std::unique_ptr<TThemedPanel>(PlainPanel(Form));
        panel->SetBackgroundType(c.Type);
        panel->SetGradient(framework::clBlack, framework::RGBColor(255, 0, 0), 8);
        TestSurface s = Paint();
        EXPECT_LT(GetRValue(s.Pixel(10 + 2 * c.StartX, 10 + c.StartY)), 40) << c.Type;
        EXPECT_GT(GetRValue(s.Pixel(10 + 2 * c.EndX, 10 + c.EndY)), 215) << c.Type;
        EXPECT_EQ(s.Pixel(9, 9), RGB(255, 255, 255)) << c.Type;
        EXPECT_EQ(s.Pixel(210, 110), RGB(255, 255, 255)) << c.Type;
    }
}

TEST_F(ThemedPanel, TheTopLeftBitmapGivesThePanelItsCornerColour)
{
    // 4 x 4, red but for a green bottom-right pixel.
    base::WindowDc screen(nullptr);
    auto bitmap = std::make_shared<base::GdiObject>(::CreateCompatibleBitmap(screen.Get(), 4, 4));
    {
        base::MemoryDc dc(::CreateCompatibleDC(screen.Get()));
        base::DcSelection selected(dc.Get(), bitmap->Get());
        base::GdiObject red(::CreateSolidBrush(RGB(255, 0, 0)));
        RECT all{0, 0, 4, 4};
        ::FillRect(dc.Get(), &all, static_cast<HBRUSH>(red.Get()));
        ::SetPixel(dc.Get(), 3, 3, RGB(0, 255, 0));
    }
    TThemedPanel* panel = PlainPanel(Form);
    panel->SetBackgroundType(bgtTopLeftBitmap);
    panel->SetBackground(bitmap);
    TestSurface s = Paint();
    EXPECT_EQ(s.Pixel(11, 11), RGB(255, 0, 0));
    EXPECT_EQ(s.Pixel(100, 60), RGB(0, 255, 0));
    EXPECT_EQ(framework::ColorToRGB(panel->Color()), RGB(0, 255, 0));
}

TEST_F(ThemedPanel, BordersAndGrabHandlesDrawOnTheEdges)
{
    const COLORREF blue = RGB(0, 0, 255);
    for (TFlatBorderType border : {fbtFlat, fbtSunken, fbtBigBump, fbtFramed, fbtLine}) {
        auto panel = std::unique_ptr<TThemedPanel>(PlainPanel(Form));
        panel->SetColor(framework::RGBColor(0, 0, 255));
        panel->SetBorderStyle(pbsSingle);
        panel->SetBorderType(border);
        TestSurface s = Paint();
        EXPECT_NE(s.Pixel(10, 60), blue) << border;
        EXPECT_NE(s.Pixel(110, 10), blue) << border;
        EXPECT_EQ(s.Pixel(110, 60), blue) << border;
    }
    // A visible top handle with a raised bevel: drawn in its strip, and the children are
    // laid out below it.
    TThemedPanel* panel = PlainPanel(Form);
    panel->SetColor(framework::RGBColor(0, 0, 255));
    panel->GrabHandle(1).Visible = true;
    TestSurface s = Paint();
    EXPECT_EQ(s.Pixel(110, 10), ::GetSysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(s.Pixel(110, 40), blue);
    auto* child = new framework::TWinControl(&Form);
    child->SetParent(panel);
    child->SetAlign(framework::alClient);
    EXPECT_EQ(child->Top(), 8);
}

TEST_F(ThemedPanel, CaptionLineBreaksCountWithoutWordWrap)
{
    TThemedPanel* panel = PlainPanel(Form);
    panel->SetColor(framework::clWhite);
    panel->SetLayout(framework::tlTop);
    panel->Font().SetHeight(-20);
    panel->Font().SetColor(framework::clBlack);
    panel->SetCaption(L"I\r\nI");
    TestSurface s = Paint();
    EXPECT_GT(s.Count(RGB(0, 0, 0), {10, 10, 210, 34}), 5);
    EXPECT_GT(s.Count(RGB(0, 0, 0), {10, 36, 210, 62}), 5); // the second line
}

TEST_F(ThemedPanel, EdgesSizeAResizablePanelAndHandlesOrTheBodyMoveIt)
{
    TThemedPanel* panel = PlainPanel(Form);
    panel->SetBounds(10, 10, 200, 160);
    Form.Show();
    auto hit = [&](int x, int y) {
        POINT p{x, y};
        ::ClientToScreen(panel->Handle(), &p);
        return ::SendMessageW(panel->Handle(), WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
    };
    EXPECT_EQ(hit(100, 15), HTCLIENT);
    panel->SetResizable(true);
    EXPECT_EQ(hit(100, 15), HTTOP); // within an eighth of the height (20 pixels)
    EXPECT_EQ(hit(100, 25), HTCLIENT);
    EXPECT_EQ(hit(195, 155), HTBOTTOMRIGHT);
    panel->SetResizable(false);
    // A handle of the moving kind acts as a caption bar on its own; Movable makes the
    // whole panel one.
    panel->GrabHandle(1).Visible = true;
    EXPECT_EQ(hit(100, 3), HTCAPTION);
    EXPECT_EQ(hit(100, 80), HTCLIENT);
    panel->GrabHandle(1).Kind = ghkSize;
    EXPECT_EQ(hit(100, 3), HTTOP);
    panel->SetMovable(true);
    EXPECT_EQ(hit(100, 80), HTCAPTION);
    // Not where a windowless child takes the mouse.
    auto* label = new framework::TLabel(&Form);
    label->SetParent(panel);
    label->SetBounds(90, 70, 40, 20);
    EXPECT_EQ(hit(100, 80), HTCLIENT);
    EXPECT_EQ(hit(60, 80), HTCAPTION);
}

} // namespace
} // namespace panel
