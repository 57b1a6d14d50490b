#include "controls/panel/image_form.h"
#include "controls/panel/themed_panel.h"

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

TEST_F(ThemedPanel, GradientsBordersAndHandlesPaintWithoutLeavingThePanel)
{
    for (int type = bgtTileBitmap; type <= bgtTopRightDiagonalGradient; ++type) {
        for (TFlatBorderType border : {fbtFlat, fbtSunken, fbtBigBump, fbtFramed, fbtColorLineBorder}) {
            auto* panel = new TThemedPanel(&Form);
            panel->SetParent(&Form);
            panel->SetBounds(10, 10, 120, 80);
            panel->SetThemeMode(ttmNone);
            panel->SetBackgroundType(static_cast<TBackgroundType>(type));
            panel->SetGradient(framework::clBlack, framework::RGBColor(255, 0, 0), 8);
            panel->SetBorderStyle(pbsSingle);
            panel->SetBorderType(border);
            panel->GrabHandle(1).Visible = true;
            TestSurface s = Paint();
            EXPECT_EQ(s.Pixel(9, 9), RGB(255, 255, 255)) << type;
            EXPECT_EQ(s.Pixel(130, 90), RGB(255, 255, 255)) << type;
            delete panel;
        }
    }
}

} // namespace
} // namespace panel
