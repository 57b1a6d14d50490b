#include "framework/graphics.h"

#include "framework/form.h"
#include "framework/label.h"

#include <gtest/gtest.h>

namespace framework {
namespace {

TEST(Graphics, SettersAnnounceOnlyRealChanges)
{
    TFont font;
    int changes = 0;
    font.OnChange = [&](TObject*) { ++changes; };
    font.SetName(L"Tahoma"); // already the default
    font.SetHeight(-11);
    EXPECT_EQ(changes, 0);
    font.SetName(L"Verdana");
    font.SetHeight(-13);
    font.SetStyle(fsBold);
    font.SetColor(clWhite);
    EXPECT_EQ(changes, 4);
    TFont same;
    same.Assign(font);
    font.Assign(same);
    EXPECT_EQ(changes, 4);

    TBrush brush;
    int brushChanges = 0;
    brush.OnChange = [&](TObject*) { ++brushChanges; };
    brush.SetColor(clWhite);
    brush.SetColor(clBlack);
    brush.SetColor(clBlack);
    EXPECT_EQ(brushChanges, 1);
}

TEST(Graphics, FontSizeAndHeightAtNinetySixDotsPerInch)
{
    TFont font;
    font.SetSize(10);
    EXPECT_EQ(font.Height(), -13);
    font.SetHeight(-15);
    EXPECT_EQ(font.Size(), 11);
}

TEST(Graphics, ColorsResolveSystemIndexes)
{
    EXPECT_EQ(ColorToRGB(RGBColor(0, 123, 206)), RGB(0, 123, 206));
    EXPECT_EQ(ColorToRGB(clWindowText), ::GetSysColor(COLOR_WINDOWTEXT));
    EXPECT_EQ(ColorToRGB(clBtnFace), ::GetSysColor(COLOR_BTNFACE));
}

// A label counts what its setters announce.
class CountingLabel : public TLabel
{
public:
    using TLabel::TLabel;
    int Colors = 0, Captions = 0, Fonts = 0;

protected:
    void ColorChanged() override
    {
        ++Colors;
        TLabel::ColorChanged();
    }
    void CaptionChanged() override
    {
        ++Captions;
        TLabel::CaptionChanged();
    }
    void FontChanged() override
    {
        ++Fonts;
        TLabel::FontChanged();
    }
};

TEST(Graphics, ControlSettersAnnounceOnlyRealChangesAndFollowTheParentFont)
{
    TForm form(nullptr);
    form.Font().SetName(L"Verdana");
    auto* label = new CountingLabel(&form);
    label->SetParent(&form);
    EXPECT_EQ(label->Font().Name(), L"Verdana");
    EXPECT_TRUE(label->ParentFont());
    const int fonts = label->Fonts;

    label->SetCaption(L"a");
    label->SetCaption(L"a");
    EXPECT_EQ(label->Captions, 1);
    label->SetColor(clWhite);
    label->SetColor(clWhite);
    EXPECT_EQ(label->Colors, 1);

    form.Font().SetHeight(-20);
    EXPECT_EQ(label->Font().Height(), -20);
    EXPECT_TRUE(label->ParentFont());
    label->Font().SetHeight(-9); // now the label's own font
    EXPECT_FALSE(label->ParentFont());
    form.Font().SetHeight(-30);
    EXPECT_EQ(label->Font().Height(), -9);
    EXPECT_EQ(label->Fonts, fonts + 2);
}

} // namespace
} // namespace framework
